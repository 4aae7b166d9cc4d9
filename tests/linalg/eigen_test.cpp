// The Jacobi eigensolvers: bit for bit against the rotations written out
// plainly (on every tier), against LAPACK's zheev/dsyev for accuracy, and
// their statuses, check order, workspace size and node limit.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "kelvra.h"

extern "C" void zheev_(const char *jobz, const char *uplo, int *n, double *a, int *lda, double *w, double *work,
                       int *lwork, double *rwork, int *info);
extern "C" void dsyev_(const char *jobz, const char *uplo, int *n, double *a, int *lda, double *w, double *work,
                       int *lwork, int *info);

namespace {

using Matrix = std::vector<double>;
using C = std::complex<double>;

double root(double x) {
    double r = 0;
    kelvra_rational_sqrt(x, &r);
    return r;
}

void cs_for(double theta, double &c, double &s) {
    const double t = theta >= 0 ? 1 / (theta + root(theta * theta + 1)) : 1 / (theta - root(theta * theta + 1));
    c = 1 / root(t * t + 1);
    s = c * t;
}

// Product (a.re b.re - a.im b.im, a.re b.im + a.im b.re), rounded term by term.
C mul(C a, C b) { return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()}; }

// The Hermitian solver written out plainly: H and V as n x n complex arrays,
// columns of V swapped in the sort. Returns the status it should give.
kelvra_status reference_hermitian(uint32_t n, const Matrix &in, Matrix &values, Matrix &vectors) {
    std::vector<C> h(size_t{n} * n), v(size_t{n} * n);
    for (size_t i = 0; i < h.size(); ++i) h[i] = {in[2 * i], in[2 * i + 1]};
    for (size_t i = 0; i < n; ++i) v[i * n + i] = 1.0;
    auto off = [&] {
        double sum = 0;
        for (size_t i = 0; i < n; ++i) {
            for (size_t j = i + 1; j < n; ++j) sum += 2 * (h[i * n + j].real() * h[i * n + j].real() +
                                                           h[i * n + j].imag() * h[i * n + j].imag());
        }
        return sum;
    };
    const double limit = 1e-24 * off();
    int sweeps = 0;
    for (;; ++sweeps) {
        const double o = off();
        if (o <= limit || o < 1e-300) break;
        if (sweeps == 100) return KELVRA_ERR_CAPACITY;
        for (size_t p = 0; p + 1 < n; ++p) {
            for (size_t q = p + 1; q < n; ++q) {
                const C x = h[p * n + q];
                const double m2 = x.real() * x.real() + x.imag() * x.imag();
                if (m2 < 1e-300) continue;
                const double r = root(m2);
                const C u{x.real() / r, x.imag() / r};
                double c, s;
                cs_for((h[q * n + q].real() - h[p * n + p].real()) / (2 * r), c, s);
                const C su{s * u.real(), s * u.imag()}, sub{s * u.real(), s * -u.imag()};
                for (size_t k = 0; k < n; ++k) {
                    const C a = h[p * n + k], b = h[q * n + k];
                    h[p * n + k] = C{c * a.real(), c * a.imag()} - mul(su, b);
                    h[q * n + k] = C{c * b.real(), c * b.imag()} + mul(sub, a);
                }
                for (std::vector<C> *m : {&h, &v}) {
                    for (size_t k = 0; k < n; ++k) {
                        const C a = (*m)[k * n + p], b = (*m)[k * n + q];
                        (*m)[k * n + p] = C{c * a.real(), c * a.imag()} - mul(sub, b);
                        (*m)[k * n + q] = C{c * b.real(), c * b.imag()} + mul(su, a);
                    }
                }
            }
        }
    }
    values.resize(n);
    for (size_t i = 0; i < n; ++i) values[i] = h[i * n + i].real();
    for (size_t i = 0; i + 1 < n; ++i) {
        size_t m = i;
        for (size_t j = i + 1; j < n; ++j) m = values[j] < values[m] ? j : m;
        if (m == i) continue;
        std::swap(values[i], values[m]);
        for (size_t k = 0; k < n; ++k) std::swap(v[k * n + i], v[k * n + m]);
    }
    vectors.resize(2 * size_t{n} * n);
    for (size_t i = 0; i < v.size(); ++i) vectors[2 * i] = v[i].real(), vectors[2 * i + 1] = v[i].imag();
    return KELVRA_OK;
}

void reference_jacobi(uint32_t n, Matrix &a, int sweeps, double tolerance, Matrix &values) {
    auto off = [&] {
        double sum = 0;
        for (size_t i = 0; i < n; ++i) {
            for (size_t j = i + 1; j < n; ++j) sum += 2 * (a[i * n + j] * a[i * n + j]);
        }
        return sum;
    };
    const double threshold = off() * (tolerance * tolerance);
    for (int sweep = 0; sweep < sweeps; ++sweep) {
        const double o = off();
        if (o <= threshold || o < 1e-300) break;
        for (size_t p = 0; p + 1 < n; ++p) {
            for (size_t q = p + 1; q < n; ++q) {
                if (a[p * n + q] == 0.0) continue;
                double c, s;
                cs_for((a[q * n + q] - a[p * n + p]) / (2 * a[p * n + q]), c, s);
                for (size_t k = 0; k < n; ++k) {
                    const double x = a[p * n + k], y = a[q * n + k];
                    a[p * n + k] = c * x - s * y, a[q * n + k] = s * x + c * y;
                }
                for (size_t k = 0; k < n; ++k) {
                    const double x = a[k * n + p], y = a[k * n + q];
                    a[k * n + p] = c * x - s * y, a[k * n + q] = s * x + c * y;
                }
            }
        }
    }
    values.resize(n);
    for (size_t i = 0; i < n; ++i) values[i] = a[i * n + i];
}

Matrix random_hermitian(std::mt19937_64 &rng, uint32_t n) {
    std::normal_distribution<double> normal;
    Matrix h(2 * size_t{n} * n);
    for (size_t i = 0; i < n; ++i) {
        h[2 * (i * n + i)] = normal(rng);
        for (size_t j = i + 1; j < n; ++j) {
            const double re = normal(rng), im = normal(rng);
            h[2 * (i * n + j)] = re, h[2 * (i * n + j) + 1] = im;
            h[2 * (j * n + i)] = re, h[2 * (j * n + i) + 1] = -im;
        }
    }
    return h;
}

Matrix random_symmetric(std::mt19937_64 &rng, uint32_t n) {
    std::normal_distribution<double> normal;
    Matrix a(size_t{n} * n);
    for (size_t i = 0; i < n; ++i) {
        for (size_t j = i; j < n; ++j) a[i * n + j] = a[j * n + i] = normal(rng);
    }
    return a;
}

struct Decomposition {
    kelvra_status status;
    Matrix values, vectors;
};

Decomposition decompose(uint32_t n, const Matrix &h) {
    Decomposition d{KELVRA_OK, Matrix(n, -7.0), Matrix(2 * size_t{n} * n, -7.0)};
    Matrix workspace(2 * size_t{n} * n + 1);
    d.status = kelvra_hermitian_eigendecompose_ws(n, h.data(), d.values.data(), d.vectors.data(), workspace.data(),
                                                  2 * uint64_t{n} * n);
    return d;
}

bool same_bits(const Matrix &x, const Matrix &y) {
    return x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size() * sizeof(double)) == 0;
}

// Runs body once per rotation tier.
template <class Body>
void on_every_tier(Body body) {
    for (const char *tier : {"0", "1"}) {
        setenv("KELVRA_JACOBI_FORCE_TIER", tier, 1);
        SCOPED_TRACE(std::string("tier ") + tier);
        body();
    }
    unsetenv("KELVRA_JACOBI_FORCE_TIER");
}

} // namespace

TEST(HermitianEigen, StatusesAndCheckOrder) {
    double h[8] = {2, 0, 0, 1, 0, -1, 2, 0}, values[2], vectors[8], ws[8];
    EXPECT_EQ(kelvra_hermitian_eigendecompose_ws(2, nullptr, values, vectors, ws, 8), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_hermitian_eigendecompose_ws(2, h, nullptr, vectors, ws, 8), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_hermitian_eigendecompose_ws(2, h, values, nullptr, ws, 8), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_hermitian_eigendecompose_ws(0, h, values, vectors, nullptr, 0), KELVRA_ERR_ARG)
        << "pointers come before everything";
    EXPECT_EQ(kelvra_hermitian_eigendecompose_ws(2049, h, values, vectors, ws, 0), KELVRA_ERR_CAPACITY)
        << "the default limit of 2048, before the workspace is looked at";
    EXPECT_EQ(kelvra_hermitian_eigendecompose_ws(0, h, values, vectors, ws, 0), KELVRA_OK);
    EXPECT_EQ(kelvra_hermitian_eigendecompose_ws(2, h, values, vectors, ws, 7), KELVRA_ERR_CAPACITY);
    EXPECT_EQ(kelvra_hermitian_eigendecompose_ws(2, h, values, vectors, ws, 8), KELVRA_OK) << "exactly 2 n^2";
    EXPECT_EQ(kelvra_hermitian_eigendecompose_ws(UINT32_MAX, h, values, vectors, ws, UINT64_MAX),
              KELVRA_ERR_CAPACITY);
}

// The limit is read on every call. It is set through the TOML loader when the
// library has one.
TEST(HermitianEigen, ConfiguredNodeLimit) {
    using Load = kelvra_status (*)(const uint8_t *, uint64_t, uint8_t *, uint64_t) noexcept;
    const auto load = reinterpret_cast<Load>(dlsym(RTLD_DEFAULT, "kelvra_config_load_toml"));
    if (load == nullptr) GTEST_SKIP() << "no TOML configuration yet";
    struct Restore {
        ~Restore() { kelvra_config_reset_defaults(); }
    } restore;
    std::vector<uint8_t> arena(1 << 16);
    const std::string text = "[hermitian]\nmax_nodes = 2\n";
    ASSERT_EQ(load(reinterpret_cast<const uint8_t *>(text.data()), text.size(), arena.data(), arena.size()),
              KELVRA_OK);
    ASSERT_EQ(kelvra_config_hermitian_max_nodes(), 2u);
    std::mt19937_64 rng(7);
    EXPECT_EQ(decompose(2, random_hermitian(rng, 2)).status, KELVRA_OK);
    EXPECT_EQ(decompose(3, random_hermitian(rng, 3)).status, KELVRA_ERR_CAPACITY);
    kelvra_config_reset_defaults();
    EXPECT_EQ(decompose(3, random_hermitian(rng, 3)).status, KELVRA_OK);
}

// Small cases by hand. [[2, i], [-i, 2]] takes one rotation with theta = 0,
// t = 1 and c = s = 1 / rational_sqrt(2); following its products gives
// H = diag(2 (c c), 2 (c (3 c))) and V = [[c, i c], [i c, c]], after which
// the off-diagonal part is exactly zero.
TEST(HermitianEigen, PublishedCasesExactly) {
    const double c = 1 / 0x1.6a09e667f3bccp+0; // rational_sqrt(2), one unit below the rounded root
    Decomposition d = decompose(2, {2, 0, 0, 1, 0, -1, 2, 0});
    ASSERT_EQ(d.status, KELVRA_OK);
    EXPECT_TRUE(same_bits(d.values, {2 * (c * c), 2 * (c * (3 * c))}));
    EXPECT_TRUE(same_bits(d.vectors, {c, 0, 0, c, 0, c, c, 0}));
    EXPECT_NEAR(d.values[0], 1.0, 1e-15);
    EXPECT_NEAR(d.values[1], 3.0, 1e-15);

    d = decompose(2, {1, 0, 1, 1, 1, -1, 2, 0});
    ASSERT_EQ(d.status, KELVRA_OK);
    EXPECT_NEAR(d.values[0], 0.0, 1e-15);
    EXPECT_NEAR(d.values[1], 3.0, 1e-15);

    d = decompose(3, {5, 0, 0, 0, 0, 0, 0, 0, -1, 0, 0, 0, 0, 0, 0, 0, 2, 0});
    ASSERT_EQ(d.status, KELVRA_OK);
    EXPECT_EQ(d.values, (Matrix{-1, 2, 5}));
    EXPECT_EQ(d.vectors, (Matrix{0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0})) << "a permutation";
}

TEST(HermitianEigen, BitIdenticalToThePlainRotations) {
    std::mt19937_64 rng(11);
    for (uint32_t n : {1u, 2u, 3u, 7u, 24u, 41u}) {
        Matrix h = random_hermitian(rng, n);
        if (n == 7) h[2 * (1 * n + 4)] = h[2 * (4 * n + 1)] = h[2 * (1 * n + 4) + 1] = h[2 * (4 * n + 1) + 1] = 0;
        Matrix values, vectors;
        ASSERT_EQ(reference_hermitian(n, h, values, vectors), KELVRA_OK);
        on_every_tier([&] {
            const Decomposition d = decompose(n, h);
            ASSERT_EQ(d.status, KELVRA_OK);
            EXPECT_TRUE(same_bits(d.values, values)) << "n " << n;
            EXPECT_TRUE(same_bits(d.vectors, vectors)) << "n " << n;
        });
    }
}

// Eigenvalues agree with zheev; every pair satisfies H v = lambda v and V is
// unitary.
TEST(HermitianEigen, AgreesWithLapack) {
    std::mt19937_64 rng(12);
    for (uint32_t n : {4u, 16u, 40u}) {
        const Matrix h = random_hermitian(rng, n);
        const Decomposition d = decompose(n, h);
        ASSERT_EQ(d.status, KELVRA_OK);
        Matrix a = h, w(n), rwork(3 * n), work(2 * 64 * n); // zheev reads columns: H^T = conj(H) has the same spectrum
        int nn = static_cast<int>(n), lwork = 64 * nn, info = -1;
        zheev_("N", "U", &nn, a.data(), &nn, w.data(), work.data(), &lwork, rwork.data(), &info);
        ASSERT_EQ(info, 0);
        const double tol = 1e-12 * n;
        for (size_t i = 0; i < n; ++i) EXPECT_NEAR(d.values[i], w[i], tol);
        auto at = [&](const Matrix &m, size_t i, size_t j) { return C{m[2 * (i * n + j)], m[2 * (i * n + j) + 1]}; };
        for (size_t col = 0; col < n; ++col) {
            for (size_t i = 0; i < n; ++i) {
                C hv = 0;
                for (size_t k = 0; k < n; ++k) hv += at(h, i, k) * at(d.vectors, k, col);
                ASSERT_LT(std::abs(hv - d.values[col] * at(d.vectors, i, col)), tol) << "residual " << col;
            }
            for (size_t other = col; other < n; ++other) {
                C dot = 0;
                for (size_t k = 0; k < n; ++k) dot += std::conj(at(d.vectors, k, col)) * at(d.vectors, k, other);
                ASSERT_LT(std::abs(dot - (col == other ? 1.0 : 0.0)), tol) << col << " . " << other;
            }
        }
    }
}

// Entries the rotations cannot reduce (NaN, infinite, or squares beyond the
// double range) give 4, never a success holding an unreduced diagonal.
TEST(HermitianEigen, UnreducibleInputIsNotConvergence) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    for (double bad : {nan, inf, 1e200}) {
        EXPECT_EQ(decompose(2, {1, 0, bad, 0, bad, 0, 2, 0}).status, KELVRA_ERR_CAPACITY) << bad;
    }
    EXPECT_EQ(decompose(2, {1, 0, 0.5, 0, 0.5, 0, inf, 0}).status, KELVRA_ERR_CAPACITY) << "an infinite diagonal";
    Matrix values, vectors;
    EXPECT_EQ(reference_hermitian(2, {1, 0, nan, 0, nan, 0, 2, 0}, values, vectors), KELVRA_ERR_CAPACITY);
}

TEST(JacobiEigvals, PublishedCaseAndStatuses) {
    Matrix a = {2, 1, 1, 2}, values(2);
    ASSERT_EQ(kelvra_jacobi_eigvals(2, a.data(), 10, 1e-12, values.data()), KELVRA_OK);
    EXPECT_EQ(values, (Matrix{1.0000000000000002, 3.0000000000000004}));
    EXPECT_EQ(kelvra_jacobi_eigvals(2, nullptr, 10, 1e-12, values.data()), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_jacobi_eigvals(0, a.data(), 10, 1e-12, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_jacobi_eigvals(0, a.data(), 10, 1e-12, values.data()), KELVRA_OK);
}

// One sweep, the full budget, and the budgets that mean 100, bit for bit with
// the plain rotations (matrix and eigenvalues) on every tier.
TEST(JacobiEigvals, BitIdenticalToThePlainRotations) {
    std::mt19937_64 rng(13);
    for (uint32_t n : {1u, 2u, 5u, 24u, 50u}) {
        const Matrix a = random_symmetric(rng, n);
        for (int budget : {1, 3, 100}) {
            for (double tolerance : {0.0, 1e-8}) {
                Matrix want_a = a, want;
                reference_jacobi(n, want_a, budget, tolerance, want);
                const int asks[] = {budget, budget == 100 ? 0 : budget, budget == 100 ? 500 : budget};
                on_every_tier([&] {
                    for (int ask : asks) {
                        Matrix got_a = a, got(n);
                        ASSERT_EQ(kelvra_jacobi_eigvals(n, got_a.data(), ask, tolerance, got.data()), KELVRA_OK);
                        EXPECT_TRUE(same_bits(got, want) && same_bits(got_a, want_a))
                            << "n " << n << " sweeps " << ask << " tolerance " << tolerance;
                    }
                });
            }
        }
    }
}

TEST(JacobiEigvals, AgreesWithLapack) {
    std::mt19937_64 rng(14);
    for (uint32_t n : {3u, 20u, 64u}) {
        const Matrix a = random_symmetric(rng, n);
        Matrix work_a = a, values(n);
        ASSERT_EQ(kelvra_jacobi_eigvals(n, work_a.data(), 100, 1e-14, values.data()), KELVRA_OK);
        std::sort(values.begin(), values.end());
        Matrix b = a, w(n), work(64 * n);
        int nn = static_cast<int>(n), lwork = 64 * nn, info = -1;
        dsyev_("N", "U", &nn, b.data(), &nn, w.data(), work.data(), &lwork, &info);
        ASSERT_EQ(info, 0);
        for (size_t i = 0; i < n; ++i) EXPECT_NEAR(values[i], w[i], 1e-12 * n);
    }
}
