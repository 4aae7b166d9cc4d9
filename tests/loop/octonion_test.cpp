// Cayley–Dickson basis products and single-octonion operations.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "kelvra.h"
#include "loop/octonion_reference.hpp"

namespace {

using kelvra_test::Octonion;
using kelvra_test::random_octonion;

Octonion product(const Octonion &x, const Octonion &y) {
    Octonion out{};
    EXPECT_EQ(kelvra_loop_bind_f64(x.data(), y.data(), 8, out.data()), KELVRA_OK);
    return out;
}

Octonion associator(const Octonion &x, const Octonion &y, const Octonion &z) {
    Octonion out{};
    EXPECT_EQ(kelvra_loop_associator_f64(x.data(), y.data(), z.data(), 8, out.data()), KELVRA_OK);
    return out;
}

Octonion basis(int i, double scale = 1.0) {
    Octonion e{};
    e[i] = scale;
    return e;
}

// Independent reference: e_i·e_j = sign·e_(i XOR j) by the doubling
// (a, b)·(c, d) = (a·c − d̄·b, d·a + b·c̄) on basis halves, down to the reals;
// the conjugate of e_k is −e_k except for e_0.
int doubling_sign(int n, int i, int j) {
    if (n == 1) return 1;
    const int h = n / 2, bar_j = j % h == 0 ? 1 : -1;
    if (i < h && j < h) return doubling_sign(h, i, j);
    if (i < h) return doubling_sign(h, j - h, i);         // d·a
    if (j < h) return bar_j * doubling_sign(h, i - h, j); // b·c̄
    return -bar_j * doubling_sign(h, j - h, i - h);       // −d̄·b
}

} // namespace

TEST(CayleyDickson, BasisProductsMatchExplicitDoublingAndBadArgumentsAreRefused) {
    uint32_t index = 99;
    int32_t sign = 0;
    for (int n = 1; n <= 64; n *= 2) {
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < n; ++j) {
                ASSERT_EQ(kelvra_cd_basis_product(n, i, j, &index, &sign), KELVRA_OK);
                ASSERT_TRUE(index == static_cast<uint32_t>(i ^ j) && sign == doubling_sign(n, i, j))
                    << n << ": e" << i << "·e" << j << " = " << sign << " e" << index;
            }
        }
    }
    index = sign = 7;
    EXPECT_EQ(kelvra_cd_basis_product(8, 1, 2, nullptr, &sign), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_cd_basis_product(0, 0, 0, &index, nullptr), KELVRA_ERR_ARG) << "pointers before domain";
    const int bad[][3] = {{0, 0, 0}, {-8, 0, 0}, {3, 0, 0}, {128, 0, 0}, {8, 8, 0}, {8, -1, 0}, {8, 0, -1}, {64, 63, 64}};
    for (const auto &b : bad) EXPECT_EQ(kelvra_cd_basis_product(b[0], b[1], b[2], &index, &sign), KELVRA_ERR_DATA);
    EXPECT_TRUE(index == 7u && sign == 7) << "nothing written";
}

// Bit for bit the documented grouping; the associator is (xy)z − x(yz) through that product.
TEST(Octonion, ProductAndAssociatorBitForBit) {
    std::mt19937_64 rng(11);
    for (int trial = 0; trial < 300; ++trial) {
        const Octonion x = random_octonion(rng), y = random_octonion(rng), z = random_octonion(rng);
        const Octonion got = product(x, y), want = kelvra_test::grouped_product(x, y);
        ASSERT_EQ(std::memcmp(got.data(), want.data(), sizeof got), 0) << "trial " << trial;
        const Octonion xy_z = product(product(x, y), z), x_yz = product(x, product(y, z)), a = associator(x, y, z);
        for (int k = 0; k < 8; ++k) ASSERT_EQ(a[k], xy_z[k] - x_yz[k]) << "trial " << trial;
    }
}

TEST(Octonion, ConjugateAndInverseAreExact) {
    const Octonion x{1.5, -2.0, 0.0, -0.0, 3.0, 4.0, -5.0, 6.0}, want_conj{1.5, 2.0, -0.0, 0.0, -3.0, -4.0, 5.0, -6.0};
    Octonion conj{}, inverse{};
    ASSERT_EQ(kelvra_loop_conj_f64(x.data(), 8, conj.data()), KELVRA_OK);
    EXPECT_EQ(std::memcmp(conj.data(), want_conj.data(), sizeof conj), 0) << "signs of zeros flip too";
    // Division per component by the squared norm summed in index order.
    ASSERT_EQ(kelvra_loop_inv_f64(x.data(), 8, inverse.data()), KELVRA_OK);
    double s = 0.0;
    for (double v : x) s = s + v * v;
    for (int k = 0; k < 8; ++k) EXPECT_EQ(inverse[k], (k == 0 ? x[k] : -x[k]) / s) << k;
    // A zero (of either sign) or a norm whose square underflows to exactly 0.
    Octonion untouched = basis(0, 42.0);
    const Octonion zero{0.0, -0.0, 0.0, 0.0, 0.0, 0.0, 0.0, -0.0};
    EXPECT_EQ(kelvra_loop_inv_f64(zero.data(), 8, untouched.data()), KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_loop_inv_f64(basis(3, 1e-170).data(), 8, untouched.data()), KELVRA_ERR_DATA);
    EXPECT_EQ(untouched, basis(0, 42.0)) << "nothing written";
}

TEST(Octonion, OutputsMayAliasInputsAndOperatorsHoldBasisProducts) {
    std::mt19937_64 rng(14);
    const Octonion x = random_octonion(rng), y = random_octonion(rng), z = random_octonion(rng);
    Octonion a = x, b = y, c = x, d = x, inverse{};
    ASSERT_EQ(kelvra_loop_bind_f64(a.data(), y.data(), 8, a.data()), KELVRA_OK);
    ASSERT_EQ(kelvra_loop_bind_f64(x.data(), b.data(), 8, b.data()), KELVRA_OK);
    ASSERT_EQ(kelvra_loop_associator_f64(c.data(), y.data(), z.data(), 8, c.data()), KELVRA_OK);
    ASSERT_EQ(kelvra_loop_inv_f64(x.data(), 8, inverse.data()), KELVRA_OK);
    ASSERT_EQ(kelvra_loop_inv_f64(d.data(), 8, d.data()), KELVRA_OK);
    EXPECT_TRUE(a == product(x, y) && b == product(x, y) && c == associator(x, y, z) && d == inverse);
    // Column c of L (R) is exactly x·e_c (e_c·x), so L·y = x·y and R·y = y·x.
    std::array<double, 64> left{}, right{};
    ASSERT_EQ(kelvra_loop_left_op_f64(x.data(), 8, left.data()), KELVRA_OK);
    ASSERT_EQ(kelvra_loop_right_op_f64(x.data(), 8, right.data()), KELVRA_OK);
    for (int col = 0; col < 8; ++col) {
        const Octonion xe = product(x, basis(col)), ex = product(basis(col), x);
        for (int r = 0; r < 8; ++r)
            EXPECT_TRUE(left[r * 8 + col] == xe[r] && right[r * 8 + col] == ex[r]) << r << "," << col;
    }
}

// u × v is Im(u·v), the real parts taking part; φ(x, u, v) = ⟨x, u × v⟩
// summed from 0.0 with x0·0.0 in it, so an infinite x0 gives NaN.
TEST(Octonion, CrossProductAndThreeForm) {
    std::mt19937_64 rng(16);
    const Octonion u = random_octonion(rng), v = random_octonion(rng);
    Octonion uv{}, want = product(u, v);
    want[0] = 0.0;
    ASSERT_EQ(kelvra_cross7_f64(u.data(), v.data(), 8, uv.data()), KELVRA_OK);
    EXPECT_EQ(uv, want);
    double phi = 0;
    ASSERT_EQ(kelvra_g2_three_form_f64(basis(3).data(), basis(1).data(), basis(2).data(), 8, &phi), KELVRA_OK);
    EXPECT_EQ(phi, 1.0);
    Octonion infinite_real = basis(3);
    infinite_real[0] = std::numeric_limits<double>::infinity();
    ASSERT_EQ(kelvra_g2_three_form_f64(infinite_real.data(), basis(1).data(), basis(2).data(), 8, &phi), KELVRA_OK);
    EXPECT_TRUE(std::isnan(phi));
}

// Every operation: a missing input or output before a dimension other than 8.
TEST(Octonion, PointerChecksComeBeforeTheDimension) {
    using P = const double *;
    using Call = kelvra_status (*)(P, P, uint64_t, double *);
    const Call calls[] = {
        [](P a, P b, uint64_t d, double *o) { return kelvra_loop_bind_f64(a, b, d, o); },
        [](P a, P, uint64_t d, double *o) { return kelvra_loop_conj_f64(a, d, o); },
        [](P a, P, uint64_t d, double *o) { return kelvra_loop_inv_f64(a, d, o); },
        [](P a, P b, uint64_t d, double *o) { return kelvra_loop_associator_f64(b, b, a, d, o); },
        [](P a, P, uint64_t d, double *o) { return kelvra_loop_left_op_f64(a, d, o); },
        [](P a, P, uint64_t d, double *o) { return kelvra_loop_right_op_f64(a, d, o); },
        [](P a, P b, uint64_t d, double *o) { return kelvra_cross7_f64(a, b, d, o); },
        [](P a, P b, uint64_t d, double *o) { return kelvra_g2_three_form_f64(a, b, b, d, o); },
    };
    const Octonion x = basis(1);
    double out[64];
    for (const Call &call : calls) {
        for (uint64_t dim : {uint64_t{0}, uint64_t{7}, uint64_t{9}, ~uint64_t{0}})
            EXPECT_EQ(call(x.data(), x.data(), dim, out), KELVRA_ERR_DATA) << &call - calls << ", " << dim;
        EXPECT_EQ(call(nullptr, x.data(), 7, out), KELVRA_ERR_ARG) << &call - calls;
        EXPECT_EQ(call(x.data(), x.data(), 7, nullptr), KELVRA_ERR_ARG) << &call - calls;
    }
}

TEST(ThreeFoldBands, SplitsIntoNearlyEqualBands) {
    uint32_t b[3];
    const uint32_t cases[][4] = {{0, 0, 0, 0}, {1, 0, 0, 1}, {2, 0, 1, 1}, {7, 2, 2, 3}, {8, 2, 3, 3}, {9, 3, 3, 3},
                                 {0xFFFFFFFFu, 0x55555555u, 0x55555555u, 0x55555555u}};
    for (const auto &c : cases) {
        ASSERT_EQ(kelvra_three_fold_bands(c[0], &b[0], &b[1], &b[2]), KELVRA_OK);
        EXPECT_TRUE(b[0] == c[1] && b[1] == c[2] && b[2] == c[3]) << c[0];
    }
    EXPECT_EQ(kelvra_three_fold_bands(5, &b[0], nullptr, &b[2]), KELVRA_ERR_ARG);
}
