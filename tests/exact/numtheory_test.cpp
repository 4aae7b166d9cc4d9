// The ten number-theory exports: documented edge cases and statuses, named
// hard cases, and results against sieve and trial-division references. The
// random sweeps against 128-bit references are in fuzz/exact_fuzz.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <random>
#include <vector>

#include "kelvra.h"

namespace {

__extension__ typedef unsigned __int128 u128;

constexpr uint64_t kMax = UINT64_MAX;
constexpr uint64_t kSentinel = 0xA5A5A5A5A5A5A5A5u;

// A call's status and its output, which starts as kSentinel.
using Result = std::pair<kelvra_status, uint64_t>;
template <class Call>
Result run(Call call) {
    uint64_t out = kSentinel;
    const kelvra_status status = call(&out);
    return {status, out};
}
#define CALL(fn, ...) run(std::bind_front(fn, __VA_ARGS__))
Result ok(uint64_t value) { return {KELVRA_OK, value}; }
Result failed(kelvra_status status) { return {status, kSentinel}; }  // nothing written

uint64_t mul_ref(uint64_t a, uint64_t b, uint64_t m) { return static_cast<uint64_t>(static_cast<u128>(a) * b % m); }

uint64_t pow_ref(uint64_t base, uint64_t e, uint64_t m) {
    uint64_t result = 1 % m;
    for (base %= m; e != 0; e >>= 1, base = mul_ref(base, base, m)) {
        if (e & 1) result = mul_ref(result, base, m);
    }
    return result;
}

// Trial division by every d with d^2 <= n.
bool prime_ref(uint64_t n) {
    for (uint64_t d = 2; d * d <= n; ++d)
        if (n % d == 0) return false;
    return n > 1;
}

using Factors = std::vector<std::pair<uint64_t, unsigned>>;

Factors factor_of(uint64_t n) {
    uint64_t primes[15];
    uint8_t exponents[15];
    uint32_t count = 99;
    EXPECT_EQ(kelvra_factor(n, primes, exponents, 15, &count), KELVRA_OK) << n;
    Factors out;
    for (uint32_t i = 0; i < count && i < 15; ++i) out.emplace_back(primes[i], exponents[i]);
    return out;
}

bool prime(uint64_t n) {
    uint8_t out = 7;
    EXPECT_EQ(kelvra_is_prime(n, &out), KELVRA_OK);
    return out == 1;
}

}  // namespace

TEST(NumTheory, NullOutputsAreRejectedBeforeAnything) {
    EXPECT_EQ(kelvra_gcd(1, 2, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_lcm(0, 2, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_mod_add(1, 2, 0, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_mod_mul(1, 2, 0, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_mod_pow(1, 2, 0, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_mod_inv(1, 0, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_three_cycle(1, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_cyclic_period(1, 0, 0, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_is_prime(7, nullptr), KELVRA_ERR_ARG);
    uint64_t primes[1] = {kSentinel};
    uint8_t exponents[1] = {0xEE};
    uint32_t count = 99;
    EXPECT_EQ(kelvra_factor(12, nullptr, exponents, 1, &count), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_factor(12, primes, nullptr, 1, &count), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_factor(12, primes, exponents, 1, nullptr), KELVRA_ERR_ARG);
    EXPECT_TRUE(count == 99 && primes[0] == kSentinel && exponents[0] == 0xEE);
}

TEST(NumTheory, EdgeCases) {
    EXPECT_EQ(CALL(kelvra_gcd, 0, 0), ok(0));
    EXPECT_EQ(CALL(kelvra_gcd, kMax, 0), ok(kMax));
    // Consecutive Fibonacci numbers: the longest remainder sequence below 2^64.
    EXPECT_EQ(CALL(kelvra_gcd, 7540113804746346429u, 12200160415121876738u), ok(1));
    EXPECT_EQ(CALL(kelvra_lcm, 0, 5), ok(0));
    EXPECT_EQ(CALL(kelvra_lcm, 5, 0), ok(0));
    EXPECT_EQ(CALL(kelvra_lcm, 1ull << 32, 1ull << 32), ok(1ull << 32));
    EXPECT_EQ(CALL(kelvra_lcm, 0xFFFFFFFFu, 0x100000001u), ok(kMax));  // coprime, product 2^64 - 1
    EXPECT_EQ(CALL(kelvra_lcm, 1ull << 63, 3), failed(KELVRA_ERR_CAPACITY));
    EXPECT_EQ(CALL(kelvra_lcm, 1ull << 32, 0x100000001u), failed(KELVRA_ERR_CAPACITY));

    EXPECT_EQ(CALL(kelvra_mod_add, 1, 2, 0), failed(KELVRA_ERR_DATA));
    EXPECT_EQ(CALL(kelvra_mod_mul, 1, 2, 0), failed(KELVRA_ERR_DATA));
    EXPECT_EQ(CALL(kelvra_mod_pow, 1, 2, 0), failed(KELVRA_ERR_DATA));
    EXPECT_EQ(CALL(kelvra_mod_add, kMax, kMax, kMax), ok(0));
    EXPECT_EQ(CALL(kelvra_mod_add, kMax - 1, kMax - 1, kMax), ok(kMax - 2));  // the sum wraps past 2^64
    EXPECT_EQ(CALL(kelvra_mod_mul, kMax - 1, kMax - 1, kMax), ok(1));
    EXPECT_EQ(CALL(kelvra_mod_pow, 0, 0, 7), ok(1));
    EXPECT_EQ(CALL(kelvra_mod_pow, 5, 100, 1), ok(0));
    EXPECT_EQ(CALL(kelvra_mod_pow, 3, 0, 1ull << 63), ok(1));
    EXPECT_EQ(CALL(kelvra_mod_pow, 6, 63, 1ull << 63), ok(0));
    EXPECT_EQ(CALL(kelvra_mod_pow, 2, kMax - 59, kMax - 58), ok(1));  // Fermat, modulo the largest 64-bit prime
    // Even moduli with an odd part: the power is put together from both parts.
    EXPECT_EQ(CALL(kelvra_mod_pow, 0x123456789abcdef1u, 0xfedcba9876543210u, 3ull << 41), ok(6399550572289u));
    EXPECT_EQ(CALL(kelvra_mod_pow, kMax, kMax, (1ull << 63) + 2), ok(5225615664276461435u));
    EXPECT_EQ(CALL(kelvra_mod_pow, 0xdeadbeefcafebabeu, 12345678901234567u, 0x7fffffff00000000u), ok(5846027711985745920u));
    EXPECT_EQ(CALL(kelvra_mod_pow, 5, kMax - 1, 1000003ull << 40), ok(406118869389761577u));
    EXPECT_EQ(CALL(kelvra_mod_mul, kMax - 1, kMax - 2, (1ull << 63) + 2), ok(42));

    EXPECT_EQ(CALL(kelvra_mod_inv, 3, 7), ok(5));
    EXPECT_EQ(CALL(kelvra_mod_inv, kMax, 2), ok(1));
    EXPECT_EQ(CALL(kelvra_mod_inv, 0xdeadbeefcafebabeu, (1ull << 63) - 3), ok(6762181543614694111u));
    EXPECT_EQ(CALL(kelvra_mod_inv, 2, 4), failed(KELVRA_ERR_DATA));
    EXPECT_EQ(CALL(kelvra_mod_inv, 14, 7), failed(KELVRA_ERR_DATA));
    EXPECT_EQ(CALL(kelvra_mod_inv, 3, 1), failed(KELVRA_ERR_DATA));
    EXPECT_EQ(CALL(kelvra_mod_inv, 3, 1ull << 63), failed(KELVRA_ERR_CAPACITY));
    EXPECT_EQ(CALL(kelvra_mod_inv, 0, kMax), failed(KELVRA_ERR_CAPACITY));  // the modulus is checked first

    for (auto [x, y] : std::vector<std::pair<uint64_t, uint64_t>>{{0, 1}, {1, 2}, {2, 0}, {5, 0}, {kMax, 1}, {kMax - 1, 0}})
        EXPECT_EQ(CALL(kelvra_three_cycle, x), ok(y)) << x;

    EXPECT_EQ(CALL(kelvra_cyclic_period, 2, 7, 10), ok(3));
    EXPECT_EQ(CALL(kelvra_cyclic_period, 1, 5, 1), ok(1));
    EXPECT_EQ(CALL(kelvra_cyclic_period, 3, 1ull << 63, kMax), ok(1ull << 61));
    EXPECT_EQ(CALL(kelvra_cyclic_period, 2, 7, 2), failed(KELVRA_ERR_CAPACITY));
    EXPECT_EQ(CALL(kelvra_cyclic_period, 2, 4, 100), failed(KELVRA_ERR_CAPACITY));
    EXPECT_EQ(CALL(kelvra_cyclic_period, 6, 10, kMax), failed(KELVRA_ERR_CAPACITY));
    EXPECT_EQ(CALL(kelvra_cyclic_period, 1, 1, 5), failed(KELVRA_ERR_DATA));
    EXPECT_EQ(CALL(kelvra_cyclic_period, 14, 7, 5), failed(KELVRA_ERR_DATA));
    EXPECT_EQ(CALL(kelvra_cyclic_period, 3, 7, 0), failed(KELVRA_ERR_DATA));
}

// The period is the exact order, found by stepping (limits up to 64) or from
// the factors of the group order: every small modulus, then random large ones.
TEST(NumTheory, CyclicPeriodIsTheExactOrder) {
    std::vector<std::pair<uint64_t, uint64_t>> cases; // a, m
    for (uint64_t m = 2; m < 150; ++m)
        for (uint64_t a = 1; a < 2 * m; ++a)
            if (a % m != 0) cases.emplace_back(a, m);
    std::mt19937_64 rng(4);
    for (int i = 0; i < 300; ++i) {
        const uint64_t m = 2 + (rng() >> (rng() % 64)) % (kMax - 1); // all magnitudes
        cases.emplace_back(1 + rng() % (m - 1), m);
    }
    for (const auto &[a, m] : cases) {
        if (std::gcd(a, m) != 1) {
            ASSERT_EQ(CALL(kelvra_cyclic_period, a, m, kMax), failed(KELVRA_ERR_CAPACITY)) << a << " mod " << m;
            ASSERT_EQ(CALL(kelvra_cyclic_period, a, m, 1), failed(KELVRA_ERR_CAPACITY)) << a << " mod " << m;
            continue;
        }
        const auto [status, order] = CALL(kelvra_cyclic_period, a, m, kMax);
        ASSERT_EQ(status, KELVRA_OK) << a << " mod " << m;
        ASSERT_EQ(pow_ref(a, order, m), 1u) << a << " mod " << m;
        for (auto [q, e] : factor_of(order)) ASSERT_NE(pow_ref(a, order / q, m), 1u) << a << " mod " << m;
        for (const uint64_t limit : {order, order - 1, uint64_t{64}}) {
            const Result want = limit == 0 ? failed(KELVRA_ERR_DATA) : order <= limit ? ok(order) : failed(KELVRA_ERR_CAPACITY);
            ASSERT_EQ(CALL(kelvra_cyclic_period, a, m, limit), want) << a << " mod " << m << ", limit " << limit;
        }
    }
}

TEST(NumTheory, IsPrimeSmallAndNearPowersOfTwo) {
    // Every n below 2^17, and around 2^32, where the base set changes.
    for (uint64_t n = 0; n < (1ull << 32) + 600; n = n + 1 == (1 << 17) ? (1ull << 32) - 600 : n + 1)
        ASSERT_EQ(prime(n), prime_ref(n)) << n;
    // The primes among the last 400 integers below 2^64 are 2^64 - k for these k.
    const std::vector<uint64_t> below_2_64 = {59, 83, 95, 179, 189, 257, 279, 323, 353, 363};
    for (uint64_t k = 1; k < 400; ++k) {
        ASSERT_EQ(prime(0 - k), std::count(below_2_64.begin(), below_2_64.end(), k) == 1) << "2^64 - " << k;
    }
    EXPECT_TRUE(prime((1ull << 61) - 1));
    EXPECT_TRUE(prime((1ull << 63) - 25));
}

TEST(NumTheory, IsPrimeRejectsPseudoprimes) {
    const uint64_t composites[] = {
        // Carmichael numbers beyond the exhaustive range above.
        825265, 321197185, 5394826801u, 232250619601u, 9746347772161u,
        // Strong pseudoprimes to the first primes as bases.
        1373653, 25326001, 3215031751u, 2152302898747u, 3474749660383u, 341550071728321u, 3825123056546413051u,
        // To bases 2, 7 and 61: the first beyond the reach of that set.
        4759123141u,
        // To the first four or five of the seven bases used above 2^32.
        18434103094909614421u, 18439817375559158881u, 18257320482426295201u, 18435641994298922581u,
        18429885587110658251u, 18437368834044383101u, 15319140446488187713u,
        // Base 2 only; products of primes near 2^32; a square and a cube of primes.
        18446743208455367653u, 4294967291ull * 4294967279ull, 4294967029ull * 4294967291ull,
        4294967291ull * 4294967291ull, 2097143ull * 2097143ull * 2097143ull};
    for (uint64_t n : composites) EXPECT_FALSE(prime(n)) << n;
}

TEST(NumTheory, FactorKnownValuesAndCapacityPrefix) {
    EXPECT_EQ(factor_of(360), (Factors{{2, 3}, {3, 2}, {5, 1}}));
    EXPECT_EQ(factor_of(kMax), (Factors{{3, 1}, {5, 1}, {17, 1}, {257, 1}, {641, 1}, {65537, 1}, {6700417, 1}}));
    EXPECT_EQ(factor_of(1ull << 63), (Factors{{2, 63}}));
    EXPECT_EQ(factor_of(12157665459056928801u), (Factors{{3, 40}}));
    EXPECT_EQ(factor_of(1031ull * 1031 * 1031 * 1031 * 1031 * 1031), (Factors{{1031, 6}}));
    EXPECT_EQ(factor_of(4294967291ull * 4294967291ull), (Factors{{4294967291u, 2}}));
    EXPECT_EQ(factor_of(2097143ull * 2097143ull * 2097143ull), (Factors{{2097143, 3}}));
    EXPECT_EQ(factor_of(1021 * 1031), (Factors{{1021, 1}, {1031, 1}}));
    EXPECT_EQ(factor_of(kMax - 58), (Factors{{kMax - 58, 1}}));
    // The primorial of 47 has the most distinct primes a 64-bit integer can have.
    const Factors primorial = factor_of(614889782588491410u);
    ASSERT_EQ(primorial.size(), 15u);
    EXPECT_EQ(primorial.back(), (std::pair<uint64_t, unsigned>{47, 1}));

    // n, capacity, status, entries written.
    const std::tuple<uint64_t, uint32_t, kelvra_status, uint32_t> prefixes[] = {
        {0, 0, KELVRA_OK, 0}, {1, 0, KELVRA_OK, 0}, {30, 2, KELVRA_ERR_CAPACITY, 2}, {30, 3, KELVRA_OK, 3},
        {8, 0, KELVRA_ERR_CAPACITY, 0}, {9, 0, KELVRA_ERR_CAPACITY, 0}, {8, 1, KELVRA_OK, 1},
        {4294967291ull * 3, 1, KELVRA_ERR_CAPACITY, 1}};
    for (const auto &[n, capacity, status, written] : prefixes) {
        uint64_t primes[4] = {kSentinel, kSentinel, kSentinel, kSentinel};
        uint8_t exponents[4] = {0xEE, 0xEE, 0xEE, 0xEE};
        uint32_t count = 99;
        EXPECT_EQ(kelvra_factor(n, primes, exponents, capacity, &count), status) << n;
        EXPECT_EQ(count, written) << n;
        EXPECT_TRUE(primes[written] == kSentinel && exponents[written] == 0xEE) << "nothing written past the prefix";
        if (n == 30) {
            EXPECT_TRUE(primes[0] == 2 && exponents[0] == 1 && primes[1] == 3 && exponents[1] == 1);
        }
    }
}

// Cofactors that are squares, cubes or products of two close factors are
// split without rho; the rest here (a prime twice beside a small one,
// Carmichael numbers) must still come out whole. Expected values from FLINT.
TEST(NumTheory, FactorRepeatedCloseAndCarmichaelValues) {
    const std::pair<uint64_t, Factors> cases[] = {
        {2097143ull * 2097143ull * 4194301ull, {{2097143, 2}, {4194301, 1}}},
        {4093ull * 67108859ull * 67108859ull, {{4093, 1}, {67108859, 2}}},
        {3ull * 2147483647ull * 2147483647ull, {{3, 1}, {2147483647, 2}}},
        {2642239ull * 2642239ull * 2642239ull, {{2642239, 3}}},
        {4294967279ull * 4294967279ull, {{4294967279u, 2}}},
        {4294967279ull * 4294967291ull, {{4294967279u, 1}, {4294967291u, 1}}},
        // The primes are 1048602 apart: the last Fermat step still reaches them.
        {4293918689ull * 4294967291ull, {{4293918689u, 1}, {4294967291u, 1}}},
        // Fermat's split gives two composites, 65519 * 65539 and 65521 * 65537.
        {65519ull * 65521ull * 65537ull * 65539ull, {{65519, 1}, {65521, 1}, {65537, 1}, {65539, 1}}},
        {561, {{3, 1}, {11, 1}, {17, 1}}},
        {41041, {{7, 1}, {11, 1}, {13, 1}, {41, 1}}},
        {825265, {{5, 1}, {7, 1}, {17, 1}, {19, 1}, {73, 1}}},
        {3215031751u, {{151, 1}, {751, 1}, {28351, 1}}},
        {18404023255395111361u, {{1452961, 1}, {2905921, 1}, {4358881, 1}}},  // Chernick, k = 242160
    };
    for (const auto &[n, factors] : cases) EXPECT_EQ(factor_of(n), factors) << n;
}

// A factorisation is right when its primes ascend strictly and multiply back
// to n: products of two primes just above the trial-division table (near
// 2^16, 2^21, 2^32 and 2^63), and composites just below 2^64 whose prime
// factors all exceed 1021. Random values are in fuzz/exact_fuzz.cpp.
TEST(NumTheory, FactorsAscendArePrimeAndMultiplyBack) {
    const uint64_t known[] = {1031,        1033,        65521,       65537,       2097143,     2097169,
                              4294967029u, 4294967291u, 4294967311u, 4294967357u, (1ull << 63) - 165,
                              (1ull << 63) - 25};
    std::vector<uint64_t> words = {0 - 39ull, 0 - 45ull, 0 - 87ull, 0 - 89ull, 0 - 105ull, 0 - 113ull, 0 - 117ull, 0 - 125ull};
    for (uint64_t p : known)
        for (uint64_t q : known)
            if (((u128(p) * q) >> 64) == 0) words.push_back(p * q);
    for (uint64_t n : words) {
        u128 product = 1;
        uint64_t previous = 1;
        for (auto [p, e] : factor_of(n)) {
            ASSERT_GT(p, previous) << n;
            ASSERT_TRUE(prime(p)) << p << " in " << n;
            for (unsigned j = 0; j < e; ++j) product *= p;
            previous = p;
        }
        ASSERT_EQ(product, n);
    }
}
