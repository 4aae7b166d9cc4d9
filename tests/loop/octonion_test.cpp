// Cayley–Dickson basis products and single-octonion operations.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

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

double norm(const Octonion &x) {
    double s = 0;
    for (double v : x) s += v * v;
    return std::sqrt(s);
}

void expect_near(const Octonion &got, const Octonion &want, double tolerance, const char *what) {
    for (int k = 0; k < 8; ++k) EXPECT_NEAR(got[k], want[k], tolerance) << what << ", component " << k;
}

// Independent reference: Cayley–Dickson doubling applied to coefficient
// vectors, (a, b)·(c, d) = (a·c − d̄·b, d·a + b·c̄), recursively down to reals.
using Coefficients = std::vector<int>;

Coefficients conjugate(Coefficients x) {
    for (size_t k = 1; k < x.size(); ++k) x[k] = -x[k];
    return x;
}

Coefficients doubling_product(const Coefficients &x, const Coefficients &y) {
    const size_t n = x.size();
    if (n == 1) return {x[0] * y[0]};
    const size_t h = n / 2;
    const Coefficients a(x.begin(), x.begin() + h), b(x.begin() + h, x.end());
    const Coefficients c(y.begin(), y.begin() + h), d(y.begin() + h, y.end());
    const Coefficients ac = doubling_product(a, c), db = doubling_product(conjugate(d), b);
    const Coefficients da = doubling_product(d, a), bc = doubling_product(b, conjugate(c));
    Coefficients out(n);
    for (size_t k = 0; k < h; ++k) {
        out[k] = ac[k] - db[k];
        out[h + k] = da[k] + bc[k];
    }
    return out;
}

} // namespace

TEST(CayleyDickson, BasisProductsMatchExplicitDoublingInEveryDimension) {
    // The doubling product is bilinear, so e_i·y with y = Σ_j (j + 1) e_j holds
    // sign(i, j)·(j + 1) at index i XOR j: one product gives a whole row.
    for (int n = 1; n <= 64; n *= 2) {
        Coefficients weights(n);
        for (int j = 0; j < n; ++j) weights[j] = j + 1;
        for (int i = 0; i < n; ++i) {
            Coefficients ei(n, 0);
            ei[i] = 1;
            const Coefficients row = doubling_product(ei, weights);
            for (int j = 0; j < n; ++j) {
                uint32_t index = 99;
                int32_t sign = 0;
                ASSERT_EQ(kelvra_cd_basis_product(n, i, j, &index, &sign), KELVRA_OK);
                ASSERT_EQ(index, static_cast<uint32_t>(i ^ j)) << n << ": " << i << "," << j;
                ASSERT_EQ(row[index], sign * (j + 1)) << n << ": e" << i << "·e" << j;
            }
        }
    }
}

TEST(CayleyDickson, OctonionTableAndKnownEntries) {
    // The octonion product agrees with the basis table (checked above against doubling).
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 8; ++j) {
            uint32_t index;
            int32_t sign;
            ASSERT_EQ(kelvra_cd_basis_product(8, i, j, &index, &sign), KELVRA_OK);
            EXPECT_EQ(product(basis(i), basis(j)), basis(static_cast<int>(index), sign)) << "e" << i << "·e" << j;
        }
    }
    uint32_t index;
    int32_t sign;
    ASSERT_EQ(kelvra_cd_basis_product(16, 1, 10, &index, &sign), KELVRA_OK);
    EXPECT_EQ(index, 11u);
    EXPECT_EQ(sign, -1);
}

TEST(CayleyDickson, RejectsBadArguments) {
    uint32_t index = 7;
    int32_t sign = 7;
    EXPECT_EQ(kelvra_cd_basis_product(8, 1, 2, nullptr, &sign), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_cd_basis_product(0, 0, 0, &index, nullptr), KELVRA_ERR_ARG) << "pointers before domain";
    for (int n : {0, -8, 3, 12, 128, 1 << 30}) EXPECT_EQ(kelvra_cd_basis_product(n, 0, 0, &index, &sign), KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_cd_basis_product(8, 8, 0, &index, &sign), KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_cd_basis_product(8, 0, -1, &index, &sign), KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_cd_basis_product(64, 63, 64, &index, &sign), KELVRA_ERR_DATA);
    EXPECT_EQ(index, 7u);
    EXPECT_EQ(sign, 7);
}

TEST(Octonion, ProductFollowsTheDocumentedGroupingBitForBit) {
    std::mt19937_64 rng(11);
    for (int trial = 0; trial < 2000; ++trial) {
        const Octonion x = random_octonion(rng), y = random_octonion(rng);
        const Octonion want = kelvra_test::grouped_product(x, y);
        const Octonion got = product(x, y);
        ASSERT_EQ(std::memcmp(got.data(), want.data(), sizeof got), 0) << "trial " << trial;
    }
}

TEST(Octonion, AlgebraicIdentities) {
    std::mt19937_64 rng(13);
    const double tol = 1e-12;
    for (int trial = 0; trial < 300; ++trial) {
        const Octonion x = random_octonion(rng), y = random_octonion(rng), z = random_octonion(rng);
        // Alternativity: the associator vanishes when two arguments are equal.
        expect_near(associator(x, x, y), {}, tol, "[x,x,y]");
        expect_near(associator(y, x, x), {}, tol, "[y,x,x]");
        expect_near(associator(x, y, x), {}, tol, "[x,y,x] (flexible)");
        // The four Moufang identities.
        expect_near(product(z, product(x, product(z, y))), product(product(product(z, x), z), y), tol, "z(x(zy)) = ((zx)z)y");
        expect_near(product(x, product(z, product(y, z))), product(product(product(x, z), y), z), tol, "x(z(yz)) = ((xz)y)z");
        expect_near(product(product(z, x), product(y, z)), product(product(z, product(x, y)), z), tol, "(zx)(yz) = (z(xy))z");
        expect_near(product(product(z, x), product(y, z)), product(z, product(product(x, y), z)), tol, "(zx)(yz) = z((xy)z)");
        // A composition algebra: |xy| = |x||y|.
        EXPECT_NEAR(norm(product(x, y)), norm(x) * norm(y), 1e-13 * norm(x) * norm(y));
        // x·x⁻¹ = x⁻¹·x = 1.
        Octonion inverse{};
        ASSERT_EQ(kelvra_loop_inv_f64(x.data(), 8, inverse.data()), KELVRA_OK);
        expect_near(product(x, inverse), basis(0), 1e-14, "x·x⁻¹");
        expect_near(product(inverse, x), basis(0), 1e-14, "x⁻¹·x");
    }
    // Not associative: a random triple has a clearly non-zero associator.
    const Octonion a = random_octonion(rng), b = random_octonion(rng), c = random_octonion(rng);
    EXPECT_GT(norm(associator(a, b, c)), 1e-3);
}

TEST(Octonion, AssociatorOfBasisTriples) {
    EXPECT_EQ(associator(basis(1), basis(2), basis(3)), Octonion{}) << "a quaternion subalgebra";
    EXPECT_EQ(associator(basis(1), basis(2), basis(4)), basis(7, 2.0));
}

TEST(Octonion, ConjugateAndInverseAreExact) {
    const Octonion x{1.5, -2.0, 0.0, -0.0, 3.0, 4.0, -5.0, 6.0};
    Octonion conj{};
    ASSERT_EQ(kelvra_loop_conj_f64(x.data(), 8, conj.data()), KELVRA_OK);
    const Octonion want_conj{1.5, 2.0, -0.0, 0.0, -3.0, -4.0, 5.0, -6.0};
    EXPECT_EQ(std::memcmp(conj.data(), want_conj.data(), sizeof conj), 0) << "signs of zeros flip too";

    // Division per component by the squared norm summed in index order.
    Octonion inverse{};
    ASSERT_EQ(kelvra_loop_inv_f64(x.data(), 8, inverse.data()), KELVRA_OK);
    double s = 0.0;
    for (double v : x) s = s + v * v;
    for (int k = 0; k < 8; ++k) EXPECT_EQ(inverse[k], (k == 0 ? x[k] : -x[k]) / s) << k;

    Octonion untouched;
    untouched.fill(42.0);
    const Octonion zero{0.0, -0.0, 0.0, 0.0, 0.0, 0.0, 0.0, -0.0};
    EXPECT_EQ(kelvra_loop_inv_f64(zero.data(), 8, untouched.data()), KELVRA_ERR_DATA);
    const Octonion tiny = basis(3, 1e-170);  // the square underflows to exactly 0
    EXPECT_EQ(kelvra_loop_inv_f64(tiny.data(), 8, untouched.data()), KELVRA_ERR_DATA);
    for (double v : untouched) EXPECT_EQ(v, 42.0);
}

TEST(Octonion, OutputsMayAliasInputs) {
    std::mt19937_64 rng(14);
    const Octonion x = random_octonion(rng), y = random_octonion(rng), z = random_octonion(rng);
    Octonion inout = x;
    ASSERT_EQ(kelvra_loop_bind_f64(inout.data(), y.data(), 8, inout.data()), KELVRA_OK);
    EXPECT_EQ(inout, product(x, y));
    inout = y;
    ASSERT_EQ(kelvra_loop_bind_f64(x.data(), inout.data(), 8, inout.data()), KELVRA_OK);
    EXPECT_EQ(inout, product(x, y));
    inout = x;
    ASSERT_EQ(kelvra_loop_associator_f64(inout.data(), y.data(), z.data(), 8, inout.data()), KELVRA_OK);
    EXPECT_EQ(inout, associator(x, y, z));
    Octonion separate{};
    inout = x;
    ASSERT_EQ(kelvra_loop_inv_f64(x.data(), 8, separate.data()), KELVRA_OK);
    ASSERT_EQ(kelvra_loop_inv_f64(inout.data(), 8, inout.data()), KELVRA_OK);
    EXPECT_EQ(inout, separate);
}

TEST(Octonion, LeftAndRightOperatorsHoldTheProductsWithBasisOctonions) {
    std::mt19937_64 rng(15);
    const Octonion x = random_octonion(rng);
    std::array<double, 64> left{}, right{};
    ASSERT_EQ(kelvra_loop_left_op_f64(x.data(), 8, left.data()), KELVRA_OK);
    ASSERT_EQ(kelvra_loop_right_op_f64(x.data(), 8, right.data()), KELVRA_OK);
    // Column c is exactly x·e_c (respectively e_c·x), so L·y = x·y and R·y = y·x.
    for (int c = 0; c < 8; ++c) {
        const Octonion xe = product(x, basis(c)), ex = product(basis(c), x);
        for (int r = 0; r < 8; ++r) {
            EXPECT_EQ(left[r * 8 + c], xe[r]) << r << "," << c;
            EXPECT_EQ(right[r * 8 + c], ex[r]) << r << "," << c;
        }
    }
}

TEST(Octonion, CrossProductAndThreeForm) {
    std::mt19937_64 rng(16);
    Octonion u = random_octonion(rng), v = random_octonion(rng), x = random_octonion(rng);
    Octonion uv{};
    ASSERT_EQ(kelvra_cross7_f64(u.data(), v.data(), 8, uv.data()), KELVRA_OK);
    Octonion want = product(u, v);  // the real parts take part in the product
    want[0] = 0.0;
    EXPECT_EQ(uv, want);
    // φ(x, u, v) = ⟨x, u × v⟩ summed left to right from 0.0, and alternating.
    double phi = 1;
    ASSERT_EQ(kelvra_g2_three_form_f64(x.data(), u.data(), v.data(), 8, &phi), KELVRA_OK);
    double sum = 0.0 + x[0] * 0.0;
    for (int k = 1; k < 8; ++k) sum = sum + x[k] * uv[k];
    EXPECT_EQ(phi, sum);
    u[0] = v[0] = 0.0;  // on imaginary arguments
    ASSERT_EQ(kelvra_g2_three_form_f64(u.data(), u.data(), v.data(), 8, &phi), KELVRA_OK);
    EXPECT_NEAR(phi, 0.0, 1e-13);
    ASSERT_EQ(kelvra_g2_three_form_f64(basis(3).data(), basis(1).data(), basis(2).data(), 8, &phi), KELVRA_OK);
    EXPECT_EQ(phi, 1.0);
    Octonion infinite_real = basis(3);
    infinite_real[0] = std::numeric_limits<double>::infinity();
    ASSERT_EQ(kelvra_g2_three_form_f64(infinite_real.data(), basis(1).data(), basis(2).data(), 8, &phi), KELVRA_OK);
    EXPECT_TRUE(std::isnan(phi)) << "x0·0.0 is part of the sum";
}

TEST(Octonion, PointerChecksComeBeforeTheDimension) {
    const Octonion x = basis(1);
    Octonion out{};
    double matrix[64], scalar;
    for (uint64_t dim : {uint64_t{0}, uint64_t{7}, uint64_t{9}, uint64_t{16}, ~uint64_t{0}}) {
        EXPECT_EQ(kelvra_loop_bind_f64(x.data(), x.data(), dim, out.data()), KELVRA_ERR_DATA);
        EXPECT_EQ(kelvra_loop_conj_f64(x.data(), dim, out.data()), KELVRA_ERR_DATA);
        EXPECT_EQ(kelvra_loop_inv_f64(x.data(), dim, out.data()), KELVRA_ERR_DATA);
        EXPECT_EQ(kelvra_loop_associator_f64(x.data(), x.data(), x.data(), dim, out.data()), KELVRA_ERR_DATA);
        EXPECT_EQ(kelvra_loop_left_op_f64(x.data(), dim, matrix), KELVRA_ERR_DATA);
        EXPECT_EQ(kelvra_loop_right_op_f64(x.data(), dim, matrix), KELVRA_ERR_DATA);
        EXPECT_EQ(kelvra_cross7_f64(x.data(), x.data(), dim, out.data()), KELVRA_ERR_DATA);
        EXPECT_EQ(kelvra_g2_three_form_f64(x.data(), x.data(), x.data(), dim, &scalar), KELVRA_ERR_DATA);
    }
    EXPECT_EQ(kelvra_loop_bind_f64(nullptr, x.data(), 7, out.data()), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_loop_bind_f64(x.data(), x.data(), 7, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_loop_conj_f64(nullptr, 7, out.data()), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_loop_inv_f64(x.data(), 7, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_loop_associator_f64(x.data(), x.data(), nullptr, 7, out.data()), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_loop_left_op_f64(nullptr, 7, matrix), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_loop_right_op_f64(x.data(), 7, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_cross7_f64(x.data(), nullptr, 7, out.data()), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_g2_three_form_f64(x.data(), x.data(), x.data(), 7, nullptr), KELVRA_ERR_ARG);
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
