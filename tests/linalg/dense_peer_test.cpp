// The dense solver against LAPACK's dgesv for accuracy; bit for bit against
// the plain algorithm in dense_test.cpp.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "kelvra.h"

extern "C" void dgesv_(int *n, int *nrhs, double *a, int *lda, int *ipiv, double *b, int *ldb, int *info);

namespace {

using Matrix = std::vector<double>;

kelvra_status solve(uint32_t n, const Matrix &a, const Matrix &b, Matrix &x) {
    const uint64_t bytes = kelvra_dense_solve_arena_bytes(n, 1);
    std::vector<unsigned char> workspace(bytes);
    x.assign(n, -7.0);
    return kelvra_dense_solve_f64_ws(n, 1, a.data(), b.data(), x.data(), workspace.data(), bytes);
}

Matrix random_matrix(std::mt19937_64 &rng, size_t count) {
    std::normal_distribution<double> normal;
    Matrix v(count);
    for (auto &e : v) e = normal(rng);
    return v;
}

// dgesv on a column-major copy of a, one right-hand side.
Matrix lapack_solve(int n, const Matrix &a, Matrix b) {
    Matrix column_major(a.size());
    for (int i = 0; i < n * n; ++i) column_major[i % n * n + i / n] = a[i];
    std::vector<int> pivots(n);
    int one = 1, info = -1;
    dgesv_(&n, &one, column_major.data(), &n, pivots.data(), b.data(), &n, &info);
    EXPECT_EQ(info, 0);
    return b;
}

} // namespace

TEST(DenseSolve, AgreesWithLapack) {
    std::mt19937_64 rng(42);
    const uint32_t n = 50;
    Matrix a = random_matrix(rng, size_t{n} * n), b = random_matrix(rng, n), x;
    for (uint32_t i = 0; i < n; ++i) a[i * n + i] += 2.0 * std::sqrt(double(n)); // well conditioned
    ASSERT_EQ(solve(n, a, b, x), KELVRA_OK);
    const Matrix y = lapack_solve(static_cast<int>(n), a, b);
    for (size_t i = 0; i < n; ++i) EXPECT_NEAR(x[i], y[i], 1e-12 * (1 + std::fabs(y[i])));
}
