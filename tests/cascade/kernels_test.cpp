// Cascade kernels on signs, order and rationals.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "kelvra.h"
#include "support/bits.hpp"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

using kelvra_test::bits;
using kelvra_test::from_bits;

struct Rational {
    kelvra_status status;
    int64_t num, den;
};

Rational signed_rational(double x, int64_t max_den, int64_t scale) {
    Rational r{0, -7, -7};
    r.status = kelvra_cascade_best_rational_signed_f64(x, max_den, scale, &r.num, &r.den);
    return r;
}

// Prefix sums: an operator that is not symmetric under reversal.
kelvra_status prefix_sum(const double *in, uint64_t n, double *out, void *ctx) {
    if (ctx != nullptr) ++*static_cast<int *>(ctx);
    double s = 0;
    for (uint64_t i = 0; i < n; ++i) out[i] = s = s + in[i];
    return KELVRA_OK;
}

kelvra_status refuse(const double *, uint64_t, double *out, void *) {
    if (out) out[0] = -1;
    return KELVRA_ERR_CAPACITY;
}

} // namespace

TEST(CascadeSigns, PinSlotAndMagnitude) {
    const struct {
        double x;
        int8_t sign;
        double magnitude;
    } cases[] = {{-2.5, -1, 2.5}, {3.0, 1, 3.0}, {0.0, 0, 0.0}, {-0.0, 0, 0.0}, {kNaN, 0, 0.0},
                 {-kNaN, 0, 0.0}, {-kInf, -1, kInf}, {kInf, 1, kInf}, {-4.9e-324, -1, 4.9e-324}};
    for (const auto &c : cases) {
        int8_t sign = 9;
        double magnitude = 9, alone = 9;
        ASSERT_EQ(kelvra_cascade_pin_slot_at_zero_f64(c.x, &sign, &magnitude), KELVRA_OK);
        ASSERT_EQ(kelvra_cascade_magnitude_f64(c.x, &alone), KELVRA_OK);
        EXPECT_EQ(sign, c.sign) << c.x;
        EXPECT_EQ(bits(magnitude), bits(c.magnitude)) << c.x << ": zeros and NaN give +0.0";
        EXPECT_EQ(bits(alone), bits(c.magnitude)) << c.x;
    }
    int8_t sign;
    double magnitude;
    EXPECT_EQ(kelvra_cascade_pin_slot_at_zero_f64(1.0, nullptr, &magnitude), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_cascade_pin_slot_at_zero_f64(1.0, &sign, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_cascade_magnitude_f64(1.0, nullptr), KELVRA_ERR_ARG);
}

TEST(CascadeSigns, Reorient) {
    double out;
    for (int8_t sign : {int8_t{0}, int8_t{1}, int8_t{127}}) {
        for (double x : {1.5, -0.0, kNaN}) {
            ASSERT_EQ(kelvra_cascade_reorient_f64(sign, x, &out), KELVRA_OK);
            EXPECT_EQ(bits(out), bits(x)) << "unchanged for sign " << int{sign};
        }
    }
    for (int8_t sign : {int8_t{-1}, int8_t{-128}}) {
        for (double x : {1.5, 0.0, -0.0, kNaN, -kInf}) {
            ASSERT_EQ(kelvra_cascade_reorient_f64(sign, x, &out), KELVRA_OK);
            EXPECT_EQ(bits(out), bits(x) ^ (uint64_t{1} << 63)) << "the sign bit flips, for zeros and NaN too";
        }
    }
    int64_t i;
    ASSERT_EQ(kelvra_cascade_reorient_i64(-5, 42, &i), KELVRA_OK);
    EXPECT_EQ(i, -42);
    ASSERT_EQ(kelvra_cascade_reorient_i64(-1, INT64_MIN, &i), KELVRA_OK);
    EXPECT_EQ(i, INT64_MIN) << "negation wraps";
    ASSERT_EQ(kelvra_cascade_reorient_i64(0, -7, &i), KELVRA_OK);
    EXPECT_EQ(i, -7);
    EXPECT_EQ(kelvra_cascade_reorient_f64(-1, 1.0, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_cascade_reorient_i64(-1, 1, nullptr), KELVRA_ERR_ARG);
}

TEST(CascadeSigns, NetChirality) {
    const struct {
        std::vector<int8_t> signs;
        int8_t net;
    } cases[] = {{{1, -1, -1}, 1}, {{-1, 5}, -1}, {{-1, 0, -1}, 0}, {{}, 1}, {{-128}, -1}, {{127, 127}, 1}};
    for (const auto &c : cases) {
        int8_t out = 9;
        ASSERT_EQ(kelvra_cascade_net_chirality_i8(c.signs.data(), c.signs.size(), &out), KELVRA_OK);
        EXPECT_EQ(out, c.net);
    }
    int8_t out = 9;
    EXPECT_EQ(kelvra_cascade_net_chirality_i8(nullptr, 0, &out), KELVRA_OK);
    EXPECT_EQ(out, 1);
    EXPECT_EQ(kelvra_cascade_net_chirality_i8(nullptr, 1, &out), KELVRA_ERR_ARG);
    const int8_t one = 1;
    EXPECT_EQ(kelvra_cascade_net_chirality_i8(&one, 1, nullptr), KELVRA_ERR_ARG);
}

TEST(CascadeSigns, NetChiralityStopsReadingAtTheFirstZero) {
    // The zero sits on the last byte of a page whose successor is unreadable.
    const long page = sysconf(_SC_PAGESIZE);
    void *map = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    auto *base = static_cast<int8_t *>(map);
    ASSERT_EQ(mprotect(base + page, page, PROT_NONE), 0);
    int8_t *signs = base + page - 4;
    signs[0] = -1;
    signs[1] = 1;
    signs[2] = -1;
    signs[3] = 0;
    int8_t out = 9;
    EXPECT_EQ(kelvra_cascade_net_chirality_i8(signs, 1000, &out), KELVRA_OK);
    EXPECT_EQ(out, 0);
    munmap(map, 2 * page);
}

TEST(CascadeOrder, ChiralFlipMovesBitPatterns) {
    const double snan = from_bits(0x7FF0000000000123u);  // a signalling NaN with a payload
    for (size_t n : {1u, 2u, 3u, 4u, 7u, 8u}) {
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
    ASSERT_EQ(kelvra_cascade_chiral_flip_i64(in.data(), 4, in.data()), KELVRA_OK);
    EXPECT_EQ(in, (std::vector<int64_t>{5, 0, -1, INT64_MIN, INT64_MAX}));

    EXPECT_EQ(kelvra_cascade_chiral_flip_f64(nullptr, 0, nullptr), KELVRA_OK);
    EXPECT_EQ(kelvra_cascade_chiral_flip_i64(nullptr, 0, nullptr), KELVRA_OK);
    double one = 1;
    EXPECT_EQ(kelvra_cascade_chiral_flip_f64(&one, 1, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_cascade_chiral_flip_i64(nullptr, 1, out.data()), KELVRA_ERR_ARG);
}

TEST(CascadeOrder, ChiralDualConjugatesTheOperatorByReversal) {
    // reverse(prefix_sum(reverse(x))) is the suffix sum.
    const std::vector<double> in = {1, 2, 3, 4, 5};
    std::vector<double> out(5), scratch(5);
    int calls = 0;
    ASSERT_EQ(kelvra_cascade_chiral_dual_f64(prefix_sum, &calls, in.data(), 5, out.data(), scratch.data()), KELVRA_OK);
    EXPECT_EQ(out, (std::vector<double>{15, 14, 12, 9, 5}));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(in, (std::vector<double>{1, 2, 3, 4, 5})) << "the input is left alone";

    // The operator's failure comes back unchanged.
    EXPECT_EQ(kelvra_cascade_chiral_dual_f64(refuse, nullptr, in.data(), 5, out.data(), scratch.data()),
              KELVRA_ERR_CAPACITY);
    // n = 0 goes straight to the operator, whatever in and scratch are.
    EXPECT_EQ(kelvra_cascade_chiral_dual_f64(refuse, nullptr, nullptr, 0, out.data(), nullptr), KELVRA_ERR_CAPACITY);
    EXPECT_EQ(kelvra_cascade_chiral_dual_f64(prefix_sum, &calls, nullptr, 0, out.data(), nullptr), KELVRA_OK);
    EXPECT_EQ(calls, 2);

    EXPECT_EQ(kelvra_cascade_chiral_dual_f64(nullptr, nullptr, in.data(), 5, out.data(), scratch.data()), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_cascade_chiral_dual_f64(prefix_sum, nullptr, in.data(), 5, nullptr, scratch.data()), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_cascade_chiral_dual_f64(prefix_sum, nullptr, in.data(), 5, out.data(), nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_cascade_chiral_dual_f64(prefix_sum, nullptr, nullptr, 5, out.data(), scratch.data()), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_cascade_chiral_dual_f64(nullptr, nullptr, nullptr, 0, out.data(), nullptr), KELVRA_ERR_ARG);
}

TEST(CascadeOrder, ReverseOrder) {
    std::vector<uint32_t> out(4);
    ASSERT_EQ(kelvra_reverse_order(4, out.data()), KELVRA_OK);
    EXPECT_EQ(out, (std::vector<uint32_t>{3, 2, 1, 0}));
    EXPECT_EQ(kelvra_reverse_order(0, nullptr), KELVRA_OK);
    EXPECT_EQ(kelvra_reverse_order(1, nullptr), KELVRA_ERR_ARG);
}

TEST(CascadeExact, CyclicGcdIsKelvraGcd) {
    const uint64_t values[] = {0, 1, 2, 12, 18, 1071, 462, 0xFFFFFFFFFFFFFFC5u, UINT64_MAX, 12200160415121876738u,
                               7540113804746346429u};
    for (uint64_t a : values) {
        for (uint64_t b : values) {
            uint64_t want = 7, got = 9;
            const kelvra_status want_status = kelvra_gcd(a, b, &want);
            EXPECT_EQ(kelvra_cascade_cyclic_gcd_u64(a, b, &got), want_status);
            EXPECT_EQ(got, want) << a << ", " << b;
        }
    }
    EXPECT_EQ(kelvra_cascade_cyclic_gcd_u64(4, 6, nullptr), KELVRA_ERR_ARG);
}

TEST(CascadeExact, BestRationalSignedEdges) {
    const struct {
        double x;
        int64_t max_den, scale, num, den;
    } cases[] = {
        {-0.5, 10, 1000, -1, 2},
        {0.5, 10, 1000, 1, 2},
        {1e-13, 10, 1000, 0, 1},
        {1e-12, 1000000000000, 1000000000000, 1, 1000000000000},  // exactly the threshold passes
        {-0.0, 10, 10, 0, 1},
        {0.0, 10, 10, 0, 1},
        {kNaN, 10, 10, 0, 1},
        {kInf, 10, 10, 0, 1},
        {-kInf, 10, 10, 0, 1},
        {0.4, 10, 1, 0, 1},      // rounds to N = 0
        {0.5, 10, 1, 0, 1},      // ties to even: 0
        {1.5, 10, 1, 2, 1},      // ties to even: 2
        {-2.5, 10, 1, -2, 1},    // ties to even: 2
        {9223372036854775808.0, 10, 1, 0, 1},   // 2^63 is beyond the 64-bit range
        {9223372036854774784.0, 10, 1, 9223372036854774784, 1},  // the largest double below it is not
        {4.7e18, 10, 2, 0, 1},                  // the product 9.4e18 passes 2^63
        {4.5e18, 10, 2, 4500000000000000000, 1},  // 9e18 fits: 9e18/2 in lowest terms
        {1e300, 10, 1000, 0, 1},
        {3.141592653589793, 113, 1000000000, 355, 113},
        {-3.141592653589793, 7, 1000000, -22, 7},
        {2.0 / 3.0, 1, 1000, 1, 1},
    };
    for (const auto &c : cases) {
        const Rational r = signed_rational(c.x, c.max_den, c.scale);
        EXPECT_TRUE(r.status == KELVRA_OK && r.num == c.num && r.den == c.den)
            << c.x << " " << c.max_den << " " << c.scale << ": " << r.status << ", " << r.num << "/" << r.den;
    }
    int64_t num, den;
    EXPECT_EQ(kelvra_cascade_best_rational_signed_f64(0.5, 0, 10, &num, &den), KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_cascade_best_rational_signed_f64(0.5, 10, 0, &num, &den), KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_cascade_best_rational_signed_f64(0.5, -1, 10, &num, &den), KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_cascade_best_rational_signed_f64(0.5, 0, 0, nullptr, &den), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_cascade_best_rational_signed_f64(0.5, 0, 0, &num, nullptr), KELVRA_ERR_ARG);
}

TEST(CascadeExact, BestRationalSignedIsTheGridThenKelvraBestRational) {
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> value(-50.0, 50.0);
    for (int trial = 0; trial < 500; ++trial) {
        const double x = value(rng);
        const int64_t scale = 1 + static_cast<int64_t>(rng() % 1000000000);
        const int64_t max_den = 1 + static_cast<int64_t>(rng() % 100000);
        const long long n = std::llrint(static_cast<double>(scale) * std::fabs(x));
        const Rational r = signed_rational(x, max_den, scale);
        ASSERT_EQ(r.status, KELVRA_OK);
        if (n <= 0) {
            EXPECT_EQ(r.num, 0);
            EXPECT_EQ(r.den, 1);
            continue;
        }
        uint64_t p, q;
        ASSERT_EQ(kelvra_best_rational(static_cast<uint64_t>(n), static_cast<uint64_t>(scale),
                                       static_cast<uint64_t>(max_den), &p, &q), KELVRA_OK);
        EXPECT_EQ(r.num, x < 0 ? -static_cast<int64_t>(p) : static_cast<int64_t>(p)) << x;
        EXPECT_EQ(r.den, static_cast<int64_t>(q)) << x;
        EXPECT_EQ(signed_rational(-x, max_den, scale).num, -r.num) << "odd in x";
    }
}
