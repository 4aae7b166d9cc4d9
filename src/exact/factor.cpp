// Factorisation of 64-bit integers: the power of two by counting zero bits,
// the odd primes below kTrialDivisionBound by division-free divisibility
// tests, then the cofactor (all of whose prime factors exceed the bound) is
// split recursively: a prime is recorded, a perfect square is replaced by
// its root with doubled multiplicity, a product of two factors close to its
// square root is split by a few steps of Fermat's method, and anything else
// by Pollard's rho with Brent's cycle finding in Montgomery arithmetic. Rho
// costs about the square root of the factor it finds, so on large cofactors
// it only gets a short walk for small factors and elliptic curves look for
// the larger ones first; the unbounded rho walk stays as the last resort.
#include "exact/factor.hpp"

#include "exact/close_factor.hpp"
#include "exact/elliptic_factor.hpp"
#include "exact/modarith.hpp"
#include "exact/prime.hpp"

namespace kelvra::exact {
namespace {

// A 64-bit integer has at most 63 prime factors counted with multiplicity.
constexpr uint32_t kMaxPrimePowers = 64;

// Prime powers in the order they were found (a prime may repeat).
struct PrimePowerList {
    uint64_t primes[kMaxPrimePowers];
    uint32_t exponents[kMaxPrimePowers];
    uint32_t size;

    void append(uint64_t p, uint32_t e) noexcept {
        primes[size] = p;
        exponents[size] = e;
        ++size;
    }
};

// Divides the odd primes of the table out of n (n odd, n > 1). Returns the
// cofactor, whose prime factors all exceed the table, or 1.
uint64_t remove_table_primes(uint64_t n, PrimePowerList &found) noexcept {
    for (const TrialPrime &tp : kTrialPrimes) {
        if (tp.p * tp.p > n) {
            if (n > 1) found.append(n, 1);
            return 1;
        }
        if (!tp.divides(n)) continue;
        uint32_t e = 0;
        do {
            n = tp.exact_quotient(n);
            ++e;
        } while (tp.divides(n));
        found.append(tp.p, e);
    }
    return n;
}

// Pollard's rho with Brent's cycle finding. Each walk iterates the map
// y -> y^2 / R + c (mod n) on Montgomery residues, which is the quadratic
// u -> u^2 + c / R on the residues u = y / R themselves. Several walks with
// different constants advance in lockstep: their dependency chains are
// independent, so they share the multiplier instead of each waiting on its
// own latency, and the first one to expose a divisor ends the search.
constexpr int kRhoWalksInStep = 2;

// Lockstep groups tried (each with fresh constants) before the fallback.
constexpr uint64_t kRhoAttempts = 32;

// Every constant used is below this.
constexpr uint64_t kRhoConstantBound = 1 + kRhoAttempts * kRhoWalksInStep;

// Steps between gcd evaluations: the differences of a batch are multiplied
// together and only the product meets gcd.
constexpr uint64_t kRhoBatch = 256;

// A batch whose product turns out divisible by n is replayed in chunks of
// this many steps, then one step at a time inside the offending chunk.
constexpr uint64_t kReplayChunk = 16;

// How a walk represents its values. Keeping them out of [0, n) saves the
// final correction of each Montgomery reduction, which sits on the step's
// critical path:
//  - signed_range: n < kSignedWalkLimit; values in (-n + c, n + c) as
//    int64_t, no correction at all (the square does not care about the sign);
//  - loose: n <= kLooseWalkLimit; values in [0, n + c), the constant joins
//    the high word off the multiply chain;
//  - canonical: values in [0, n) (only the last few hundred odd integers
//    below 2^64 need it).
// In each form (n + c)^2 < n 2^64, which keeps the reduction exact.
enum class WalkForm { signed_range, loose, canonical };

constexpr uint64_t kSignedWalkLimit = (uint64_t{1} << 63) - 2 * kRhoConstantBound;
constexpr uint64_t kLooseWalkLimit = UINT64_MAX - 2 * kRhoConstantBound;

template <WalkForm kForm>
inline uint64_t rho_step(const Montgomery &mont, uint64_t y, uint64_t c) noexcept {
    if constexpr (kForm == WalkForm::canonical) return mont.reduce(static_cast<u128>(y) * y + c);
    __extension__ typedef __int128 i128;
    const u128 square = kForm == WalkForm::signed_range
                            ? static_cast<u128>(static_cast<i128>(static_cast<int64_t>(y)) * static_cast<int64_t>(y))
                            : static_cast<u128>(y) * y;
    const uint64_t m = low_word(square) * mont.n_inv;
    const uint64_t mn_high = high_word(static_cast<u128>(m) * mont.n);
    const uint64_t hi = high_word(square) + c;
    const uint64_t difference = hi - mn_high;
    if constexpr (kForm == WalkForm::signed_range) return difference;
    return hi < mn_high ? difference + mont.n : difference;
}

// |x - y| (below 2^64 in every form): congruent to 0 modulo a prime exactly
// when the walk values are.
template <WalkForm kForm>
inline uint64_t distance(uint64_t x, uint64_t y) noexcept {
    const bool x_smaller = kForm == WalkForm::signed_range ? static_cast<int64_t>(x) < static_cast<int64_t>(y) : x < y;
    return x_smaller ? y - x : x - y;
}

// The state of one walk.
struct RhoWalk {
    uint64_t c;           // the constant of the map
    uint64_t x;           // the value fixed at the start of the current round
    uint64_t y;           // the current value
    uint64_t batch_start; // y when the current batch began
    uint64_t product;     // product of the distances so far (Montgomery form),
    uint64_t product_odd; // split over even and odd steps to halve its chain
};

// Advances every walk by `steps`, multiplying the distances from x into the
// products; the two products of a walk take turns, so each multiplication
// has two steps' time to finish. Leaves the whole product in `product`.
template <WalkForm kForm>
void advance_batch(const Montgomery &mont, RhoWalk (&walks)[kRhoWalksInStep], uint64_t steps) noexcept {
    uint64_t i = 0;
    for (; i + 2 <= steps; i += 2) {
        for (RhoWalk &walk : walks) {
            walk.y = rho_step<kForm>(mont, walk.y, walk.c);
            walk.product = mont.mul(walk.product, distance<kForm>(walk.x, walk.y));
        }
        for (RhoWalk &walk : walks) {
            walk.y = rho_step<kForm>(mont, walk.y, walk.c);
            walk.product_odd = mont.mul(walk.product_odd, distance<kForm>(walk.x, walk.y));
        }
    }
    for (RhoWalk &walk : walks) {
        if (i < steps) {
            walk.y = rho_step<kForm>(mont, walk.y, walk.c);
            walk.product = mont.mul(walk.product, distance<kForm>(walk.x, walk.y));
        }
        walk.product = mont.mul(walk.product, walk.product_odd);
        walk.product_odd = mont.one;
    }
}

// Replays the last batch of a walk (whose product was divisible by n).
// Every prime of n divides some single distance of the batch (the earlier
// batches' product was coprime to n), so a divisor turns up inside it; n
// means the walk collided modulo every prime at once.
template <WalkForm kForm>
uint64_t replay_batch(const Montgomery &mont, const RhoWalk &walk, uint64_t steps) noexcept {
    uint64_t y = walk.batch_start;
    for (uint64_t done = 0; done < steps; done += kReplayChunk) {
        const uint64_t chunk_start = y;
        const uint64_t chunk = (steps - done) < kReplayChunk ? (steps - done) : kReplayChunk;
        uint64_t product = mont.one;
        for (uint64_t i = 0; i < chunk; ++i) {
            y = rho_step<kForm>(mont, y, walk.c);
            product = mont.mul(product, distance<kForm>(walk.x, y));
        }
        const uint64_t g = binary_gcd(product, mont.n);
        if (g == 1) continue;
        if (g != mont.n) return g;
        y = chunk_start;
        for (uint64_t i = 0; i < chunk; ++i) {
            y = rho_step<kForm>(mont, y, walk.c);
            const uint64_t single = binary_gcd(distance<kForm>(walk.x, y), mont.n);
            if (single != 1) return single;
        }
    }
    return mont.n;
}

// Runs kRhoWalksInStep walks with the constants first_c, first_c + 1, ...
// on odd composite n, for rounds up to max_round steps. Returns a divisor
// 1 < d < n, n when the walk that finished first collided modulo every prime
// at once, or 1 when the rounds ran out.
template <WalkForm kForm>
uint64_t pollard_brent(const Montgomery &mont, uint64_t first_c, uint64_t max_round) noexcept {
    RhoWalk walks[kRhoWalksInStep];
    for (int w = 0; w < kRhoWalksInStep; ++w) {
        walks[w] = RhoWalk{first_c + static_cast<uint64_t>(w), mont.one, mont.one, mont.one, mont.one, mont.one};
    }
    for (uint64_t r = 1;; r <<= 1) {
        if (r > max_round) return 1;
        for (RhoWalk &walk : walks) walk.x = walk.y;
        for (uint64_t i = 0; i < r; ++i) {
            for (RhoWalk &walk : walks) walk.y = rho_step<kForm>(mont, walk.y, walk.c);
        }
        for (uint64_t k = 0; k < r; k += kRhoBatch) {
            const uint64_t steps = (r - k) < kRhoBatch ? (r - k) : kRhoBatch;
            for (RhoWalk &walk : walks) walk.batch_start = walk.y;
            advance_batch<kForm>(mont, walks, steps);
            for (const RhoWalk &walk : walks) {
                const uint64_t g = binary_gcd(walk.product, mont.n);
                if (g == 1) continue;
                return g == mont.n ? replay_batch<kForm>(mont, walk, steps) : g;
            }
        }
    }
}

uint64_t rho_divisor(const Montgomery &mont, uint64_t first_c, uint64_t max_round) noexcept {
    const uint64_t n = mont.n;
    return n < kSignedWalkLimit   ? pollard_brent<WalkForm::signed_range>(mont, first_c, max_round)
           : n <= kLooseWalkLimit ? pollard_brent<WalkForm::loose>(mont, first_c, max_round)
                                  : pollard_brent<WalkForm::canonical>(mont, first_c, max_round);
}

// Below this, every cofactor has a prime factor under 2^25, which rho finds
// about as fast as the curves would (measured: rho wins below 2^24, the
// curves above 2^26).
constexpr uint64_t kEllipticCurveMinimum = uint64_t{1} << 50;

// The short walk's last round: by then rho has found most factors below
// about 2^16, for a tenth of a curve's cost (longer walks measured slower).
constexpr uint64_t kShortRhoRound = 256;

// Curves before giving up on the method: for a factor near 2^32 about one in
// seven succeeds (smaller factors do better), so (6/7)^128, one such number
// in a few hundred million, goes on to the full rho walk.
constexpr uint32_t kEllipticCurves = 128;

// A divisor 1 < d < n of an odd composite n without prime factors in the table.
uint64_t find_divisor(uint64_t n) noexcept {
    const Montgomery mont = Montgomery::for_odd_modulus(n);
    if (n >= kEllipticCurveMinimum) {
        const uint64_t d = rho_divisor(mont, 1, kShortRhoRound);
        if (d != 1 && d != n) return d;
        const uint64_t e = elliptic_curve_divisor(mont, kEllipticCurves);
        if (e != 0) return e;
    }
    for (uint64_t attempt = 0; attempt < kRhoAttempts; ++attempt) {
        const uint64_t first_c = 1 + attempt * kRhoWalksInStep;
        const uint64_t d = rho_divisor(mont, first_c, UINT64_MAX);
        if (d != n) return d;
    }
    // Never reached in practice; kept so the result does not rest on a heuristic.
    for (uint64_t d = kTrialDivisionBound + 1;; d += 2) {
        if (n % d == 0) return d;
    }
}

// Splits a cofactor with no prime factors in the table into primes.
void split_cofactor(uint64_t n, PrimePowerList &found) noexcept {
    uint64_t pending[kMaxPrimePowers];
    uint32_t multiplicity[kMaxPrimePowers];
    uint32_t depth = 0;
    pending[depth] = n;
    multiplicity[depth++] = 1;
    while (depth > 0) {
        --depth;
        const uint64_t m = pending[depth];
        const uint32_t e = multiplicity[depth];
        if (is_prime_without_small_factors(m)) {
            found.append(m, e);
            continue;
        }
        const uint64_t close = close_divisor(m);
        if (close != 0 && close * close == m) {
            pending[depth] = close;
            multiplicity[depth++] = 2 * e;
            continue;
        }
        const uint64_t d = close != 0 ? close : find_divisor(m);
        pending[depth] = d;
        multiplicity[depth++] = e;
        pending[depth] = m / d;
        multiplicity[depth++] = e;
    }
}

// Sorts by prime and merges repeats into the output.
void collect_in_order(PrimePowerList &found, Factorisation &out) noexcept {
    for (uint32_t i = 1; i < found.size; ++i) {
        const uint64_t p = found.primes[i];
        const uint32_t e = found.exponents[i];
        uint32_t j = i;
        for (; j > 0 && found.primes[j - 1] > p; --j) {
            found.primes[j] = found.primes[j - 1];
            found.exponents[j] = found.exponents[j - 1];
        }
        found.primes[j] = p;
        found.exponents[j] = e;
    }
    out.count = 0;
    for (uint32_t i = 0; i < found.size; ++i) {
        if (out.count > 0 && out.primes[out.count - 1] == found.primes[i]) {
            out.exponents[out.count - 1] = static_cast<uint8_t>(out.exponents[out.count - 1] + found.exponents[i]);
            continue;
        }
        out.primes[out.count] = found.primes[i];
        out.exponents[out.count] = static_cast<uint8_t>(found.exponents[i]);
        ++out.count;
    }
}

} // namespace

void factorise(uint64_t n, Factorisation &out) noexcept {
    out.count = 0;
    if (n < 2) return;
    PrimePowerList found;
    found.size = 0;
    const int twos = __builtin_ctzll(n);
    if (twos > 0) {
        found.append(2, static_cast<uint32_t>(twos));
        n >>= twos;
    }
    if (n > 1) {
        const uint64_t cofactor = remove_table_primes(n, found);
        if (cofactor > 1) split_cofactor(cofactor, found);
    }
    collect_in_order(found, out);
}

} // namespace kelvra::exact
