// Exact big-integer references (GMP) for the rational and continued-fraction
// cross-checks: the library's overflow rules, lowest terms, and random
// operands across all bit lengths.
#pragma once

#include <gmpxx.h>

#include <cstdint>
#include <random>

#include "exact/fraction_record.hpp"

namespace exact_test {

inline mpz_class Z(int64_t x) { return mpz_class(static_cast<long>(x)); }
inline mpz_class U(uint64_t x) { return mpz_class(static_cast<unsigned long>(x)); }

// A signed product may not exceed 2^63 - 1 in magnitude, a signed sum must stay
// in -2^63 ... 2^63 - 1, an unsigned value below 2^64.
inline bool product_fails(const mpz_class &p) { return abs(p) > Z(INT64_MAX); }
inline bool sum_fails(const mpz_class &s) { return s > Z(INT64_MAX) || s < Z(INT64_MIN); }
inline bool unsigned_fails(const mpz_class &p) { return p > U(UINT64_MAX); }

// num/den (den > 0) in lowest terms.
inline Fraction reduced(const mpz_class &num, const mpz_class &den) {
    if (num == 0) return {0, 0, 1};
    const mpz_class g = gcd(num, den), n = num / g, d = den / g;
    return {0, n.get_si(), d.get_ui()};
}

// Operands across all bit lengths, with the extremes often.
inline int64_t random_signed(std::mt19937_64 &rng) {
    switch (rng() % 16) {
    case 0: return 0;
    case 1: return INT64_MIN;
    case 2: return INT64_MAX;
    case 3: return static_cast<int64_t>(rng() % 7) - 3;
    default: {
        const uint64_t m = rng() >> (1 + rng() % 63);
        return (rng() & 1) ? -static_cast<int64_t>(m) : static_cast<int64_t>(m);
    }
    }
}

inline uint64_t random_unsigned(std::mt19937_64 &rng) {
    const uint64_t special[] = {0, UINT64_MAX, INT64_MAX, uint64_t{1} << 63, 1 + rng() % 6};
    return rng() % 16 < 5 ? special[rng() % 5] : rng() >> (rng() % 64);
}

} // namespace exact_test
