// Powers and the exact exponential partial sums against exact big-integer
// arithmetic (GMP); their documented cases are in rational_test.cpp.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "exact/gmp_reference.hpp"
#include "kelvra.h"

namespace {

using namespace exact_test;

constexpr int kRandomCases = 1500;

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
        ASSERT_EQ(rational_pow(pn, pd, e), want) << "(" << pn << "/" << pd << ")^" << e;
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
        ASSERT_EQ(exp_series(xn, xd, order), want) << "x = " << xn << "/" << xd << ", order " << order;
    }
}

} // namespace
