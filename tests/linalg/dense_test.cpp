// Dense linear algebra: the solver is compared bit for bit with Gauss-Jordan
// written out plainly over all n + m columns (against LAPACK's dgesv for
// accuracy in dense_peer_test.cpp); the complex products against the stated
// summation order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "kelvra.h"
#include "support/scoped_env.hpp"

namespace {

using Matrix = std::vector<double>;

// Gauss-Jordan exactly as documented, every column of every row every time.
// Returns false on an exactly zero pivot.
bool reference_solve(uint32_t n, uint32_t m, const Matrix &a, const Matrix &b, Matrix &x) {
    const size_t w = size_t{n} + m;
    Matrix g(n * w);
    for (size_t i = 0; i < n; ++i) {
        std::copy_n(&a[i * n], n, &g[i * w]);
        std::copy_n(&b[i * m], m, &g[i * w + n]);
    }
    for (size_t k = 0; k < n; ++k) {
        double largest = 0.0;
        size_t p = k;
        for (size_t i = k; i < n; ++i)
            if (std::fabs(g[i * w + k]) > largest) largest = std::fabs(g[i * w + k]), p = i;
        if (p != k) std::swap_ranges(&g[p * w], &g[p * w] + w, &g[k * w]);
        if (largest == 0.0) return false;
        const double pivot = g[k * w + k];
        for (size_t j = 0; j < w; ++j) g[k * w + j] /= pivot;
        for (size_t i = 0; i < n; ++i) {
            const double f = g[i * w + k];
            if (i == k || f == 0.0) continue;
            for (size_t j = 0; j < w; ++j) g[i * w + j] -= f * g[k * w + j];
        }
    }
    x.assign(size_t{n} * m, 0.0);
    for (size_t i = 0; i < n; ++i) std::copy_n(&g[i * w + n], m, &x[i * m]);
    return true;
}

kelvra_status solve(uint32_t n, uint32_t m, const Matrix &a, const Matrix &b, Matrix &x, size_t skew = 0) {
    const uint64_t bytes = kelvra_dense_solve_arena_bytes(n, m);
    std::vector<unsigned char> workspace(bytes + skew);
    x.assign(size_t{n} * m, -7.0);
    return kelvra_dense_solve_f64_ws(n, m, a.data(), b.data(), x.data(), workspace.data() + skew, bytes);
}

Matrix random_matrix(std::mt19937_64 &rng, size_t count, double zero_share = 0.0) {
    std::normal_distribution<double> normal;
    std::uniform_real_distribution<double> unit;
    Matrix v(count);
    for (auto &e : v) e = unit(rng) < zero_share ? 0.0 : normal(rng);
    return v;
}

bool same_bits(const Matrix &x, const Matrix &y) {
    return x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size() * sizeof(double)) == 0;
}

// b times a, each product rounded term by term: (br ar - bi ai, br ai + bi ar).
void multiply_into(const double *a, const double *b, double *re, double *im) {
    *re = b[0] * a[0] - b[1] * a[1], *im = b[0] * a[1] + b[1] * a[0];
}

// Each entry summed from 0.0 in order of the inner index.
Matrix reference_matmul(uint32_t rows, uint32_t inner, uint32_t cols, const Matrix &a, const Matrix &b) {
    Matrix c(2 * size_t{rows} * cols);
    for (size_t i = 0; i < rows; ++i)
        for (size_t j = 0; j < cols; ++j)
            for (size_t l = 0; l < inner; ++l) {
                double re, im;
                multiply_into(&a[2 * (i * inner + l)], &b[2 * (l * cols + j)], &re, &im);
                c[2 * (i * cols + j)] += re, c[2 * (i * cols + j) + 1] += im;
            }
    return c;
}

} // namespace

TEST(DenseSolve, WorkspaceSizeAndCheckOrder) {
    EXPECT_EQ(kelvra_dense_solve_arena_bytes(3, 1), 104u);
    EXPECT_EQ(kelvra_dense_solve_arena_bytes(0, 5), 8u);
    double a[4] = {1, 0, 0, 1}, b[2] = {1, 2}, x[2];
    unsigned char ws[64];
    EXPECT_EQ(kelvra_dense_solve_f64_ws(2, 1, nullptr, b, x, ws, 64), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_dense_solve_f64_ws(0, 1, a, b, nullptr, ws, 64), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_dense_solve_f64_ws(0, 1, a, b, x, nullptr, 0), KELVRA_OK);
    EXPECT_EQ(kelvra_dense_solve_f64_ws(2, 0, a, b, x, nullptr, 0), KELVRA_OK);
    EXPECT_EQ(kelvra_dense_solve_f64_ws(2, 1, a, b, x, nullptr, 0), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_dense_solve_f64_ws(2, 1, a, b, x, ws, 55), KELVRA_ERR_CAPACITY) << "one byte short of 56";
    EXPECT_EQ(kelvra_dense_solve_f64_ws(2, 1, a, b, x, ws, 56), KELVRA_OK);
    // (n + m) n 8 + 8 wraps past 2^64 here; no workspace is that large.
    EXPECT_EQ(kelvra_dense_solve_f64_ws(UINT32_MAX, UINT32_MAX, a, b, x, ws, UINT64_MAX), KELVRA_ERR_CAPACITY);
}

TEST(DenseSolve, PivotsAndPublishedCases) {
    Matrix x;
    ASSERT_EQ(solve(2, 1, {0, 1, 1, 0}, {2, 3}, x), KELVRA_OK);
    EXPECT_EQ(x, (Matrix{3, 2}));
    ASSERT_EQ(solve(2, 1, {1e-300, 0, 0, 1}, {1e-300, 5}, x), KELVRA_OK) << "a tiny pivot is not singular";
    EXPECT_EQ(x, (Matrix{1, 5}));
    ASSERT_EQ(solve(2, 1, {4.9e-324, 0, 0, 1}, {4.9e-324, 5}, x), KELVRA_OK) << "nor a subnormal one";
    EXPECT_EQ(x, (Matrix{1, 5}));
}

TEST(DenseSolve, SingularSystemsLeaveXUntouched) {
    Matrix x;
    EXPECT_EQ(solve(3, 1, {1, 0, 2, 3, 0, 4, 5, 0, 6}, {1, 2, 3}, x), KELVRA_ERR_DATA) << "zero column";
    EXPECT_EQ(x, Matrix(3, -7.0));
    EXPECT_EQ(solve(2, 2, {1, 2, 2, 4}, {1, 0, 0, 1}, x), KELVRA_ERR_DATA) << "dependent rows";
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(solve(2, 1, {nan, 1, 0, 1}, {1, 1}, x), KELVRA_ERR_DATA) << "NaN is never a pivot";
    Matrix a = {0, 0, 0, 0}, b = {1, 1}, before_a = a, before_b = b;
    EXPECT_EQ(solve(2, 1, a, b, x), KELVRA_ERR_DATA);
    EXPECT_EQ(a, before_a);
    EXPECT_EQ(b, before_b);
}

// Carrying only the unfinished columns must not change a bit of X: random
// systems, systems with many exact zeros (skipped rows), signed zeros and
// ties in the pivot search, at aligned and odd workspace addresses; larger
// systems (several column tiles, a last panel narrower than the others) on
// both row-update tiers.
TEST(DenseSolve, BitIdenticalToThePlainAlgorithm) {
    std::mt19937_64 rng(41);
    struct Shape {
        uint32_t n, m;
        double zeros;
    };
    std::vector<Shape> shapes = {{130, 3, 0.05}, {67, 300, 0.05}, {203, 60, 0.05}};
    for (uint32_t n : {1u, 2u, 3u, 5u, 8u, 17u, 33u, 64u})
        for (uint32_t m : {1u, 2u, 7u})
            for (double zeros : {0.0, 0.6}) shapes.push_back({n, m, zeros});
    for (const auto [n, m, zeros] : shapes) {
        Matrix a = random_matrix(rng, size_t{n} * n, zeros), b = random_matrix(rng, size_t{n} * m, zeros == 0.6 ? zeros : 0);
        if (zeros == 0.6) {
            for (auto &e : a) e = e == 0.0 && (rng() & 1) ? -0.0 : std::round(e * 2);
            for (uint32_t i = 0; i < n; ++i) a[i * n + i] += 3.0;
        }
        Matrix expect, got;
        const bool regular = reference_solve(n, m, a, b, expect);
        for (const char *tier : {"0", "1"}) {
            kelvra_test::ScopedEnv forced("KELVRA_DENSE_FORCE_TIER", tier);
            for (size_t skew : {0u, 1u, 3u, 7u}) {
                ASSERT_EQ(solve(n, m, a, b, got, skew), regular ? KELVRA_OK : KELVRA_ERR_DATA);
                if (regular) {
                    ASSERT_TRUE(same_bits(got, expect)) << "n " << n << " m " << m << " skew " << skew << " tier " << tier;
                }
            }
        }
    }
}

TEST(DenseMatmul, StatedOrderAndShapes) {
    Matrix c(2, 9.0);
    ASSERT_EQ(kelvra_dense_matmul_complex(1, 1, 1, Matrix{1, 2}.data(), Matrix{3, 4}.data(), c.data()), KELVRA_OK);
    EXPECT_EQ(c, (Matrix{-5, 10}));
    std::mt19937_64 rng(43);
    for (uint32_t rows : {1u, 2u, 3u, 5u}) {
        for (uint32_t inner : {0u, 1u, 7u, 64u}) {
            for (uint32_t cols : {1u, 3u, 4u, 9u}) {
                const Matrix a = random_matrix(rng, 2 * size_t{rows} * inner + 1);
                const Matrix b = random_matrix(rng, 2 * size_t{inner} * cols + 1);
                Matrix got(2 * size_t{rows} * cols, 9.0);
                ASSERT_EQ(kelvra_dense_matmul_complex(rows, inner, cols, a.data(), b.data(), got.data()), KELVRA_OK);
                ASSERT_TRUE(same_bits(got, reference_matmul(rows, inner, cols, a, b)))
                    << rows << "x" << inner << "x" << cols;
            }
        }
    }
    double one[2] = {1, 1};
    EXPECT_EQ(kelvra_dense_matmul_complex(0, 1, 1, one, one, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_dense_matmul_complex(0, 1, 1, one, one, c.data()), KELVRA_OK);
    EXPECT_EQ(kelvra_dense_matmul_complex(1, 1, 0, one, one, c.data()), KELVRA_OK);
    EXPECT_EQ(c, (Matrix{-5, 10})) << "an empty product writes nothing";
}

TEST(DenseElementwise, ComplexProductMayWriteOverItsInputs) {
    std::mt19937_64 rng(44);
    const Matrix a = random_matrix(rng, 2 * 37), b = random_matrix(rng, 2 * 37);
    Matrix expect(2 * 37);
    for (size_t i = 0; i < 37; ++i) multiply_into(&a[2 * i], &b[2 * i], &expect[2 * i], &expect[2 * i + 1]);
    Matrix out(2 * 37);
    for (int where = 0; where < 3; ++where) { // into out, over a, over b
        Matrix in_a = a, in_b = b;
        double *dst = where == 0 ? out.data() : where == 1 ? in_a.data() : in_b.data();
        ASSERT_EQ(kelvra_elementwise_multiply_complex(37, in_a.data(), in_b.data(), dst), KELVRA_OK);
        EXPECT_TRUE(same_bits(Matrix(dst, dst + 2 * 37), expect)) << where;
    }
    EXPECT_EQ(kelvra_elementwise_multiply_complex(0, nullptr, nullptr, out.data()), KELVRA_OK);
    EXPECT_EQ(kelvra_elementwise_multiply_complex(1, nullptr, b.data(), out.data()), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_elementwise_multiply_complex(0, a.data(), b.data(), nullptr), KELVRA_ERR_ARG);
}

// Operations 0 to 3 are kelvra_exp, cos, sin and log, bit for bit, also in place.
TEST(DenseElementwise, TranscendentalUsesTheLibraryFunctions) {
    using Function = kelvra_status (*)(double, double *) noexcept;
    const Function functions[] = {kelvra_exp, kelvra_cos, kelvra_sin, kelvra_log};
    for (uint32_t op = 0; op < 4; ++op) {
        Matrix args = {0.0, 1.0, -2.5, 0.75, 1e-3}, expect(5), got(5);
        for (size_t i = 0; i < 5; ++i) {
            if (op == 3) args[i] = std::fabs(args[i]) + 0.5;
            functions[op](args[i], &expect[i]);
        }
        ASSERT_EQ(kelvra_elementwise_transcendental(5, args.data(), op, got.data()), KELVRA_OK);
        EXPECT_TRUE(same_bits(got, expect)) << "op " << op;
        ASSERT_EQ(kelvra_elementwise_transcendental(5, args.data(), op, args.data()), KELVRA_OK);
        EXPECT_TRUE(same_bits(args, expect)) << "op " << op << " in place";
    }
    Matrix out = {7, 7};
    EXPECT_EQ(kelvra_elementwise_transcendental(2, Matrix{1.0, 0.0}.data(), 3, out.data()), KELVRA_ERR_DATA);
    EXPECT_EQ(out, (Matrix{7, 7})) << "log refuses before writing anything";
    EXPECT_EQ(kelvra_elementwise_transcendental(2, Matrix{1.0, -0.0}.data(), 3, out.data()), KELVRA_ERR_DATA);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(kelvra_elementwise_transcendental(2, Matrix{nan, 1.0}.data(), 3, out.data()), KELVRA_OK)
        << "a NaN passes the check";
    EXPECT_EQ(kelvra_elementwise_transcendental(1, Matrix{1.0}.data(), 4, out.data()), KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_elementwise_transcendental(0, nullptr, 9, out.data()), KELVRA_ERR_DATA) << "op before count";
    EXPECT_EQ(kelvra_elementwise_transcendental(0, nullptr, 0, out.data()), KELVRA_OK);
    EXPECT_EQ(kelvra_elementwise_transcendental(1, nullptr, 0, out.data()), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_elementwise_transcendental(0, nullptr, 0, nullptr), KELVRA_ERR_ARG);
}
