// Deterministic Miller-Rabin for 64-bit integers.
//
// Below 2^32 the bases {2, 7, 61} are proven (no strong pseudoprime to all
// three below 4759123141); above it, Sinclair's seven bases are proven for
// every n < 2^64. All bases share the odd part d of n - 1, so their
// exponentiations run interleaved in one loop: the chains do not depend on
// each other and the multiplier stays busy instead of waiting on one chain's
// latency. The 64-bit set runs in two groups so that composites, which
// nearly always fail base 2, pay only for the first; three chains still fit
// in the latency of one, the rest go to the second group.
#include "exact/prime.hpp"

namespace kelvra::exact {
namespace {

constexpr uint32_t kBasesBelow2To32[] = {2, 7, 61};
constexpr uint32_t kFirstBases[] = {2, 325, 9375};
constexpr uint32_t kSecondBases[] = {28178, 450775, 9780504, 1795265022};

// Trial division inside is_prime_u64 stops at 59; 61 squared bounds what it clears.
constexpr uint32_t kQuickTrialPrimes = 16;
constexpr uint64_t kQuickTrialClearedBound = 61 * 61;

// The squaring tail of a strong test, given x = b^d.
bool finishes_strong_test(const Montgomery &mont, uint64_t x, int twos) noexcept {
    const uint64_t minus_one = mont.minus_one();
    if (x == mont.one || x == minus_one) return true;
    for (int r = 1; r < twos; ++r) {
        x = mont.square(x);
        if (x == minus_one) return true;
        if (x == mont.one) return false;
    }
    return false;
}

// Strong probable-prime test to every base at once (all bases below n and
// non-zero, as guaranteed by the callers). b^d runs right to left: the
// repeated squarings of b form one chain and the product of the selected
// powers trails it by a single multiplication, so the latency is one
// multiplication per bit of d rather than up to two.
template <int K>
bool passes_strong_tests(const Montgomery &mont, const uint32_t (&bases)[K], uint64_t d, int twos) noexcept {
    uint64_t power[K];
    uint64_t x[K];
    for (int k = 0; k < K; ++k) {
        power[k] = mont.mul(bases[k], mont.r_squared);
        x[k] = power[k]; // d is odd
    }
    for (d >>= 1; d != 0; d >>= 1) {
        for (int k = 0; k < K; ++k) power[k] = mont.square(power[k]);
        if (d & 1) {
            for (int k = 0; k < K; ++k) x[k] = mont.mul(x[k], power[k]);
        }
    }
    for (int k = 0; k < K; ++k) {
        if (!finishes_strong_test(mont, x[k], twos)) return false;
    }
    return true;
}

bool passes_miller_rabin(uint64_t n) noexcept {
    const int twos = __builtin_ctzll(n - 1);
    const uint64_t d = (n - 1) >> twos;
    const Montgomery mont = Montgomery::for_odd_modulus(n);
    if (n < (uint64_t{1} << 32)) return passes_strong_tests(mont, kBasesBelow2To32, d, twos);
    return passes_strong_tests(mont, kFirstBases, d, twos) && passes_strong_tests(mont, kSecondBases, d, twos);
}

} // namespace

bool is_prime_without_small_factors(uint64_t n) noexcept {
    if (n < kQuickTrialClearedBound) return true;
    return passes_miller_rabin(n);
}

bool is_prime_u64(uint64_t n) noexcept {
    if (n < 2) return false;
    if ((n & 1) == 0) return n == 2;
    for (uint32_t i = 0; i < kQuickTrialPrimes; ++i) {
        if (kTrialPrimes[i].divides(n)) return n == kTrialPrimes[i].p;
    }
    return is_prime_without_small_factors(n);
}

} // namespace kelvra::exact
