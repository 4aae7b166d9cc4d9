// Cascade kernels on signs, order and rationals.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "kelvra.h"
#include "support/bits.hpp"
#include "support/guard_pages.hpp"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

using kelvra_test::bits;
using kelvra_test::from_bits;

// Prefix sums: an operator that is not symmetric under reversal.
kelvra_status prefix_sum(const double *in, uint64_t n, double *out, void *ctx) {
    if (ctx != nullptr) ++*static_cast<int *>(ctx);
    double s = 0;
    for (uint64_t i = 0; i < n; ++i) out[i] = s = s + in[i];
    return KELVRA_OK;
}

kelvra_status refuse(const double *, uint64_t, double *, void *) { return KELVRA_ERR_CAPACITY; }

} // namespace

// Only negative signs flip the sign bit on reorienting, of zeros and NaN too.
TEST(CascadeSigns, PinSlotMagnitudeAndReorient) {
    const struct {
        double x;
        int8_t sign;
        double magnitude;
    } cases[] = {{-2.5, -1, 2.5}, {3.0, 1, 3.0}, {0.0, 0, 0.0}, {-0.0, 0, 0.0}, {kNaN, 0, 0.0},
                 {-kNaN, 0, 0.0}, {-kInf, -1, kInf}, {kInf, 1, kInf}, {-4.9e-324, -1, 4.9e-324}};
    for (const auto &c : cases) {
        int8_t sign = 9;
        double magnitude = 9, alone = 9, out = 9;
        ASSERT_EQ(kelvra_cascade_pin_slot_at_zero_f64(c.x, &sign, &magnitude), KELVRA_OK);
        ASSERT_EQ(kelvra_cascade_magnitude_f64(c.x, &alone), KELVRA_OK);
        EXPECT_EQ(sign, c.sign) << c.x;
        EXPECT_EQ(bits(magnitude), bits(c.magnitude)) << c.x << ": zeros and NaN give +0.0";
        EXPECT_EQ(bits(alone), bits(c.magnitude)) << c.x;
        for (int8_t s : {int8_t{0}, int8_t{1}, int8_t{127}, int8_t{-1}, int8_t{-128}}) {
            ASSERT_EQ(kelvra_cascade_reorient_f64(s, c.x, &out), KELVRA_OK);
            EXPECT_EQ(bits(out), s < 0 ? bits(c.x) ^ (uint64_t{1} << 63) : bits(c.x)) << int{s} << ", " << c.x;
        }
    }
    const int64_t table[][3] = {{-5, 42, -42}, {-1, INT64_MIN, INT64_MIN}, {0, -7, -7}, {1, 7, 7}};
    for (const auto &t : table) {
        int64_t out = 99;
        ASSERT_EQ(kelvra_cascade_reorient_i64(static_cast<int8_t>(t[0]), t[1], &out), KELVRA_OK);
        EXPECT_EQ(out, t[2]) << t[0] << ", " << t[1] << " (negation wraps)";
    }
    int8_t sign;
    EXPECT_EQ(kelvra_cascade_pin_slot_at_zero_f64(1.0, &sign, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_cascade_magnitude_f64(1.0, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_cascade_reorient_f64(-1, 1.0, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_cascade_reorient_i64(-1, 1, nullptr), KELVRA_ERR_ARG);
}

TEST(CascadeSigns, NetChirality) {
    const struct {
        std::vector<int8_t> signs;
        int8_t net;
    } cases[] = {{{1, -1, -1}, 1}, {{-1, 5}, -1}, {{-1, 0, -1}, 0}, {{}, 1}, {{-128}, -1}, {{127, 127}, 1}};
    int8_t out = 9;
    for (const auto &c : cases) {
        ASSERT_EQ(kelvra_cascade_net_chirality_i8(c.signs.empty() ? nullptr : c.signs.data(), c.signs.size(), &out),
                  KELVRA_OK);
        EXPECT_EQ(out, c.net);
    }
    EXPECT_EQ(kelvra_cascade_net_chirality_i8(nullptr, 1, &out), KELVRA_ERR_ARG);
    // Reading stops at the first zero: here the last byte of a page whose successor is unreadable.
    const kelvra_test::GuardedPage guarded;
    ASSERT_TRUE(guarded.ok());
    int8_t *signs = reinterpret_cast<int8_t *>(guarded.end()) - 4;
    signs[0] = -1, signs[1] = 1, signs[2] = -1, signs[3] = 0;
    EXPECT_EQ(kelvra_cascade_net_chirality_i8(signs, 1000, &out), KELVRA_OK);
    EXPECT_EQ(out, 0);
}

TEST(CascadeOrder, ChiralFlipMovesBitPatterns) {
    const double snan = from_bits(0x7FF0000000000123u); // a signalling NaN with a payload
    for (size_t n : {1u, 2u, 3u, 4u, 7u}) {
        std::vector<double> in(n);
        for (size_t i = 0; i < n; ++i) in[i] = i == n / 2 ? snan : -0.0 + static_cast<double>(i) - 1.0;
        std::vector<double> out(n, 99.0), inplace = in;
        ASSERT_EQ(kelvra_cascade_chiral_flip_f64(in.data(), n, out.data()), KELVRA_OK);
        ASSERT_EQ(kelvra_cascade_chiral_flip_f64(inplace.data(), n, inplace.data()), KELVRA_OK);
        for (size_t i = 0; i < n; ++i) {
            EXPECT_EQ(bits(out[i]), bits(in[n - 1 - i])) << n << ":" << i;
            EXPECT_EQ(bits(inplace[i]), bits(in[n - 1 - i])) << n << ":" << i << " in place";
        }
    }
    std::vector<int64_t> in = {INT64_MIN, -1, 0, 5, INT64_MAX}, out(5);
    ASSERT_EQ(kelvra_cascade_chiral_flip_i64(in.data(), 5, out.data()), KELVRA_OK);
    EXPECT_EQ(out, (std::vector<int64_t>{INT64_MAX, 5, 0, -1, INT64_MIN}));
    EXPECT_EQ(kelvra_cascade_chiral_flip_f64(nullptr, 0, nullptr), KELVRA_OK);
    EXPECT_EQ(kelvra_cascade_chiral_flip_i64(nullptr, 1, out.data()), KELVRA_ERR_ARG);
}

TEST(CascadeOrder, ChiralDualConjugatesTheOperatorByReversal) {
    // reverse(prefix_sum(reverse(x))) is the suffix sum.
    const std::vector<double> in = {1, 2, 3, 4, 5};
    std::vector<double> out(5), scratch(5);
    int calls = 0;
    ASSERT_EQ(kelvra_cascade_chiral_dual_f64(prefix_sum, &calls, in.data(), 5, out.data(), scratch.data()), KELVRA_OK);
    EXPECT_EQ(out, (std::vector<double>{15, 14, 12, 9, 5}));
    EXPECT_EQ(in, (std::vector<double>{1, 2, 3, 4, 5})) << "the input is left alone";
    double *o = out.data(), *s = scratch.data();
    const double *i = in.data();
    const struct {
        kelvra_cascade_op_f64 op;
        const double *in;
        uint64_t n;
        double *out, *scratch;
        kelvra_status status;
    } cases[] = {
        {refuse, i, 5, o, s, KELVRA_ERR_CAPACITY}, // the operator's failure comes back unchanged
        {refuse, nullptr, 0, o, nullptr, KELVRA_ERR_CAPACITY}, // n = 0 goes straight to the operator
        {nullptr, nullptr, 0, o, nullptr, KELVRA_ERR_ARG}, // op and out before n = 0
        {prefix_sum, i, 5, o, nullptr, KELVRA_ERR_ARG}};
    for (const auto &c : cases)
        EXPECT_EQ(kelvra_cascade_chiral_dual_f64(c.op, &calls, c.in, c.n, c.out, c.scratch), c.status) << &c - cases;
    EXPECT_EQ(calls, 1) << "only the call with data reaches prefix_sum";
}

TEST(CascadeOrder, ReverseOrderAndCyclicGcd) {
    std::vector<uint32_t> out(4);
    ASSERT_EQ(kelvra_reverse_order(4, out.data()), KELVRA_OK);
    EXPECT_EQ(out, (std::vector<uint32_t>{3, 2, 1, 0}));
    EXPECT_EQ(kelvra_reverse_order(0, nullptr), KELVRA_OK);
    EXPECT_EQ(kelvra_reverse_order(1, nullptr), KELVRA_ERR_ARG);
    uint64_t g = 0;
    ASSERT_EQ(kelvra_cascade_cyclic_gcd_u64(1071, 462, &g), KELVRA_OK);
    EXPECT_EQ(g, 21u);
    EXPECT_EQ(kelvra_cascade_cyclic_gcd_u64(4, 6, nullptr), KELVRA_ERR_ARG);
}

TEST(CascadeExact, BestRationalSignedEdges) {
    const struct {
        double x;
        int64_t max_den, scale, num, den;
    } cases[] = {
        {-0.5, 10, 1000, -1, 2}, {0.5, 10, 1000, 1, 2}, {1e-13, 10, 1000, 0, 1},
        {1e-12, 1000000000000, 1000000000000, 1, 1000000000000}, // exactly the threshold passes
        {-0.0, 10, 10, 0, 1}, {kNaN, 10, 10, 0, 1}, {kInf, 10, 10, 0, 1},
        {0.4, 10, 1, 0, 1},   // rounds to N = 0
        {0.5, 10, 1, 0, 1}, {1.5, 10, 1, 2, 1}, {-2.5, 10, 1, -2, 1}, // ties to even
        {9223372036854775808.0, 10, 1, 0, 1},                   // 2^63 is beyond the 64-bit range
        {9223372036854774784.0, 10, 1, 9223372036854774784, 1}, // the largest double below it is not
        {4.7e18, 10, 2, 0, 1},                                  // the product 9.4e18 passes 2^63
        {4.5e18, 10, 2, 4500000000000000000, 1},                // 9e18 fits: 9e18/2 in lowest terms
        {3.141592653589793, 113, 1000000000, 355, 113},
        {-3.141592653589793, 7, 1000000, -22, 7}, {2.0 / 3.0, 1, 1000, 1, 1},
    };
    for (const auto &c : cases) {
        int64_t num = -7, den = -7;
        const kelvra_status status = kelvra_cascade_best_rational_signed_f64(c.x, c.max_den, c.scale, &num, &den);
        EXPECT_TRUE(status == KELVRA_OK && num == c.num && den == c.den)
            << c.x << " " << c.max_den << " " << c.scale << ": " << status << ", " << num << "/" << den;
    }
    int64_t num, den;
    EXPECT_EQ(kelvra_cascade_best_rational_signed_f64(0.5, 0, 10, &num, &den), KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_cascade_best_rational_signed_f64(0.5, 10, 0, &num, &den), KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_cascade_best_rational_signed_f64(0.5, 0, 0, &num, nullptr), KELVRA_ERR_ARG);
}
