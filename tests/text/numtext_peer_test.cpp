// The power-of-ten table behind number text, entry by entry against exact
// big-integer arithmetic (GMP).
#include <gmp.h>
#include <gtest/gtest.h>

#include "text/pow10_table.hpp"

namespace {

// The power-of-ten table against GMP: entry k is c = floor(10^k / 2^q) with
// q = binary_exponent(k), between 2^127 and 2^128. With both sides scaled by
// 2^max(-q, 0) * 10^max(-k, 0) to stay in integers, c * 2^q <= 10^k < (c + 1) * 2^q
// reads 0 <= rhs - c * scale < scale.
TEST(Pow10Table, EntriesAreTheTruncatedSignificands) {
    namespace pow10 = kelvra::text::pow10;
    mpz_t c, power, scale, rhs;
    mpz_inits(c, power, scale, rhs, nullptr);
    bool ok = true;
    for (int k = pow10::pow10_min; k <= pow10::pow10_max && ok; ++k) {
        const pow10::Significand128 entry = pow10::table[k - pow10::pow10_min];
        const int q = pow10::binary_exponent(k);
        mpz_set_ui(c, entry.hi);
        mpz_mul_2exp(c, c, 64);
        mpz_add_ui(c, c, entry.lo);
        mpz_ui_pow_ui(power, 10, static_cast<unsigned long>(k < 0 ? -k : k));
        mpz_set_ui(scale, 1);
        mpz_set_ui(rhs, 1);
        mpz_mul(k < 0 ? scale : rhs, k < 0 ? scale : rhs, power);
        mpz_mul_2exp(q < 0 ? rhs : scale, q < 0 ? rhs : scale, static_cast<mp_bitcnt_t>(q < 0 ? -q : q));
        mpz_submul(rhs, c, scale);
        ok = entry.hi >> 63 == 1 && mpz_sgn(rhs) >= 0 && mpz_cmp(rhs, scale) < 0;
        EXPECT_TRUE(ok) << "entry " << k;
    }
    mpz_clears(c, power, scale, rhs, nullptr);
}

} // namespace
