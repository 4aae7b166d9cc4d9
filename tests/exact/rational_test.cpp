// Rational arithmetic and the exact exponential partial sums: documented
// cases and statuses. Powers and partial sums against exact big-integer
// arithmetic (GMP) are in rational_peer_test.cpp; the random sweeps of +, *
// and / are in fuzz/exact_fuzz.cpp.
#include <gtest/gtest.h>

#include <cstdint>

#include "exact/fraction_record.hpp"
#include "kelvra.h"

namespace {

using namespace exact_test;

Fraction add(int64_t an, uint64_t ad, int64_t bn, uint64_t bd) {
    return run([&](int64_t *n, uint64_t *d) { return kelvra_rational_add(an, ad, bn, bd, n, d); });
}
Fraction mul(int64_t an, uint64_t ad, int64_t bn, uint64_t bd) {
    return run([&](int64_t *n, uint64_t *d) { return kelvra_rational_mul(an, ad, bn, bd, n, d); });
}
Fraction div(int64_t an, uint64_t ad, int64_t bn, uint64_t bd) {
    return run([&](int64_t *n, uint64_t *d) { return kelvra_rational_div(an, ad, bn, bd, n, d); });
}

TEST(Rational, DocumentedCases) {
    const struct {
        Fraction got, want;
    } cases[] = {
        {add(1, 2, 1, 3), {0, 5, 6}},
        {add(1, 2, -1, 2), {0, 0, 1}},
        {add(1, uint64_t{1} << 63, 1, 2), failed(4)},
        {add(1, 0, 1, 2), failed(2)},
        {add(INT64_MIN + 1, 1, -1, 1), {0, INT64_MIN, 1}}, // -2^63 is fine as a sum
        {add(INT64_MAX, 2, 1, 3), failed(4)},               // a cross product overflows
        {mul(2, 4, 3, 9), {0, 1, 6}},
        {mul(0, 5, 7, 3), {0, 0, 1}},
        {mul(1, UINT64_MAX, 1, 1), {0, 1, UINT64_MAX}}, // denominators up to 2^64 - 1
        {mul(INT64_MIN, 1, 1, 1), failed(4)},            // but refused as a product
        {mul(INT64_MIN + 2, 2, 1, 1), {0, INT64_MIN / 2 + 1, 1}},
        {div(1, 2, -3, 4), {0, -2, 3}},
        {div(1, 2, 0, 4), failed(2)},
        {div(1, 2, 1, uint64_t{1} << 63), failed(4)},
        {div(INT64_MAX, 1, 1, 2), failed(4)},
        {rational_pow(2, 3, 3), {0, 8, 27}},
        {rational_pow(-1, 2, 3), {0, -1, 8}},
        {rational_pow(0, 5, 0), {0, 1, 1}},
        {rational_pow(7, 0, 0), failed(2)},
        {rational_pow(1, 2, 65), failed(4)},
        {rational_pow(2, 4, 40), failed(4)}, // the unreduced denominator 4^40 overflows
        {rational_pow(1, 2, 40), {0, 1, uint64_t{1} << 40}},
        {rational_pow(0, 4, 40), failed(4)}, // even for a zero base
        // The exponential series; failures leave 0/1 behind.
        {exp_series(1, 1, 5), {0, 163, 60}},
        {exp_series(-1, 1, 1), {0, 0, 1}},
        {exp_series(1, 2, 3), {0, 79, 48}},
        {exp_series(5, 7, 0), {0, 1, 1}},
        {exp_series(1, 1, 20), {0, 6613313319248080001, 2432902008176640000}},
        {exp_series(2, 1, 20), {4, 0, 1}},
        {exp_series(1, 1, 21), {4, 0, 1}},
        {exp_series(1, 0, 3), {2, 0, 1}},
    };
    for (const auto &c : cases) EXPECT_EQ(c.got, c.want) << "case " << &c - cases;
}

TEST(Rational, NullOutPointerFirst) {
    int64_t n;
    uint64_t d;
    EXPECT_EQ(kelvra_rational_add(1, 0, 1, 0, nullptr, &d), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_rational_mul(1, 0, 1, 0, &n, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_rational_div(1, 0, 0, 0, nullptr, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_rational_pow_uint(1, 0, 99, nullptr, &d), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_exp_series_truncate(1, 0, 99, &n, nullptr), KELVRA_ERR_ARG);
}

} // namespace
