// The Jacobi eigensolvers against LAPACK's zheev/dsyev for accuracy, with
// H v = lambda v and V unitary; bit for bit against the plain rotations in
// eigen_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <cstdint>
#include <random>
#include <vector>

#include "kelvra.h"
#include "linalg/random_matrix.hpp"

extern "C" void zheev_(const char *jobz, const char *uplo, int *n, double *a, int *lda, double *w, double *work,
                       int *lwork, double *rwork, int *info);
extern "C" void dsyev_(const char *jobz, const char *uplo, int *n, double *a, int *lda, double *w, double *work,
                       int *lwork, int *info);

namespace {

using Matrix = std::vector<double>;
using C = std::complex<double>;

using kelvra_test::random_matrix;

kelvra_status decompose(uint32_t n, const Matrix &h, Matrix &values, Matrix &vectors) {
    Matrix ws(2 * size_t{n} * n + 1); // passed as exactly 2 n^2 doubles
    values.assign(n, -7.0), vectors.assign(2 * size_t{n} * n, -7.0);
    return kelvra_hermitian_eigendecompose_ws(n, h.data(), values.data(), vectors.data(), ws.data(), 2 * n * n);
}

} // namespace

// Eigenvalues as zheev's (it reads H^T = conj H, with the same eigenvalues),
// H v = lambda v for every pair, and V unitary; the real solver's as dsyev's.
TEST(JacobiSolvers, AgreeWithLapack) {
    const uint32_t n = 24;
    const Matrix h = random_matrix(100 + n, n, true);
    Matrix values, vectors, a = h, w(n), rwork(3 * n), work(2 * 64 * n);
    ASSERT_EQ(decompose(n, h, values, vectors), KELVRA_OK);
    int nn = static_cast<int>(n), lwork = 64 * nn, info = -1;
    zheev_("N", "U", &nn, a.data(), &nn, w.data(), work.data(), &lwork, rwork.data(), &info);
    ASSERT_EQ(info, 0);
    const C *hc = reinterpret_cast<const C *>(h.data()), *v = reinterpret_cast<const C *>(vectors.data());
    for (size_t j = 0; j < n; ++j) {
        EXPECT_NEAR(values[j], w[j], 1e-12 * n);
        for (size_t i = 0; i < n; ++i) {
            C hv = -values[j] * v[i * n + j], dot = -double(i == j); // H v - lambda v, v_j^H v_i - [i = j]
            for (size_t k = 0; k < n; ++k)
                hv += hc[i * n + k] * v[k * n + j], dot += std::conj(v[k * n + j]) * v[k * n + i];
            ASSERT_LT(std::abs(hv) + std::abs(dot), 1e-12 * n) << i << ", " << j;
        }
    }
    Matrix real = random_matrix(200 + n, n, false), lapack = real;
    ASSERT_EQ(kelvra_jacobi_eigvals(n, real.data(), 100, 1e-14, values.data()), KELVRA_OK);
    std::sort(values.begin(), values.end());
    lwork = 64 * nn, info = -1;
    dsyev_("N", "U", &nn, lapack.data(), &nn, w.data(), work.data(), &lwork, &info);
    ASSERT_EQ(info, 0);
    for (size_t i = 0; i < n; ++i) EXPECT_NEAR(values[i], w[i], 1e-12 * n);
}
