// Rational arithmetic and the exact exponential partial sums: documented
// cases and statuses, and powers and partial sums against exact big-integer
// arithmetic (GMP). The random sweeps of +, * and / are in fuzz/exact_fuzz.cpp.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "exact/gmp_reference.hpp"
#include "kelvra.h"

namespace {

using namespace exact_test;

constexpr int kRandomCases = 1500;

Fraction add(int64_t an, uint64_t ad, int64_t bn, uint64_t bd) {
    return run([&](int64_t *n, uint64_t *d) { return kelvra_rational_add(an, ad, bn, bd, n, d); });
}
Fraction mul(int64_t an, uint64_t ad, int64_t bn, uint64_t bd) {
    return run([&](int64_t *n, uint64_t *d) { return kelvra_rational_mul(an, ad, bn, bd, n, d); });
}
Fraction div(int64_t an, uint64_t ad, int64_t bn, uint64_t bd) {
    return run([&](int64_t *n, uint64_t *d) { return kelvra_rational_div(an, ad, bn, bd, n, d); });
}
Fraction pow(int64_t n0, uint64_t d0, uint32_t e) {
    return run([&](int64_t *n, uint64_t *d) { return kelvra_rational_pow_uint(n0, d0, e, n, d); });
}
Fraction series(int64_t xn, uint64_t xd, uint32_t order) {
    return run([&](int64_t *n, uint64_t *d) { return kelvra_exp_series_truncate(xn, xd, order, n, d); });
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
        {pow(2, 3, 3), {0, 8, 27}},
        {pow(-1, 2, 3), {0, -1, 8}},
        {pow(0, 5, 0), {0, 1, 1}},
        {pow(7, 0, 0), failed(2)},
        {pow(1, 2, 65), failed(4)},
        {pow(2, 4, 40), failed(4)}, // the unreduced denominator 4^40 overflows
        {pow(1, 2, 40), {0, 1, uint64_t{1} << 40}},
        {pow(0, 4, 40), failed(4)}, // even for a zero base
        // The exponential series; failures leave 0/1 behind.
        {series(1, 1, 5), {0, 163, 60}},
        {series(-1, 1, 1), {0, 0, 1}},
        {series(1, 2, 3), {0, 79, 48}},
        {series(5, 7, 0), {0, 1, 1}},
        {series(1, 1, 20), {0, 6613313319248080001, 2432902008176640000}},
        {series(2, 1, 20), {4, 0, 1}},
        {series(1, 1, 21), {4, 0, 1}},
        {series(1, 0, 3), {2, 0, 1}},
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

// Powers against GMP (add, multiply and divide are in fuzz/exact_fuzz.cpp);
// small bases reach high exponents before overflowing.
TEST(RationalExact, PowerAgainstGmp) {
    std::mt19937_64 rng(21);
    for (int i = 0; i < kRandomCases; ++i) {
        const bool small = rng() % 2 == 0;
        const int64_t pn = small ? static_cast<int64_t>(rng() % 9) - 4 : random_signed(rng);
        const uint64_t pd = small ? rng() % 6 : random_unsigned(rng);
        const uint32_t e = static_cast<uint32_t>(rng() % 68);
        Fraction want = pd == 0 ? failed(2) : failed(4);
        if (pd != 0 && e <= 64) {
            mpz_class p, q;
            mpz_pow_ui(p.get_mpz_t(), Z(pn).get_mpz_t(), e);
            mpz_pow_ui(q.get_mpz_t(), U(pd).get_mpz_t(), e);
            want = product_fails(p) || unsigned_fails(q) ? failed(4) : reduced(p, q);
        }
        ASSERT_EQ(pow(pn, pd, e), want) << "(" << pn << "/" << pd << ")^" << e;
    }
}

// Term k: xd^(N-k) |xn|^k N!/k!, summed in order; the denominator xd^N N!.
TEST(RationalExact, ExponentialSeriesAgainstGmp) {
    std::mt19937_64 rng(24);
    for (int i = 0; i < kRandomCases; ++i) {
        const uint32_t order = static_cast<uint32_t>(rng() % 22);
        int64_t xn = static_cast<int64_t>(rng() >> (1 + rng() % 63));
        if (rng() & 1) xn = -xn;
        if (rng() % 50 == 0) xn = INT64_MIN;
        const uint64_t xd = rng() % 40 == 0 ? 0 : 1 + (rng() >> (44 + rng() % 20));
        Fraction want{xd == 0 ? 2 : 4, 0, 1};
        if (xd != 0 && order <= 20) {
            mpz_class fact_n, p, sum;
            mpz_fac_ui(fact_n.get_mpz_t(), order);
            mpz_pow_ui(p.get_mpz_t(), U(xd).get_mpz_t(), order);
            bool overflow = unsigned_fails(p);
            for (uint32_t k = 0; k <= order && !overflow; ++k) {
                mpz_class a, b, fact_k;
                mpz_pow_ui(a.get_mpz_t(), U(xd).get_mpz_t(), order - k);
                mpz_pow_ui(b.get_mpz_t(), mpz_class(abs(Z(xn))).get_mpz_t(), k);
                mpz_fac_ui(fact_k.get_mpz_t(), k);
                mpz_class t = fact_n / fact_k * a * b;
                overflow = product_fails(t);
                sum += xn < 0 && k % 2 == 1 ? mpz_class(-t) : t;
                overflow = overflow || sum_fails(sum);
            }
            const mpz_class d = p * fact_n;
            if (!overflow && !unsigned_fails(d)) want = reduced(sum, d);
        }
        ASSERT_EQ(series(xn, xd, order), want) << "x = " << xn << "/" << xd << ", order " << order;
    }
}

} // namespace
