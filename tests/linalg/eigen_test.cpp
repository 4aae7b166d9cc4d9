// The Jacobi eigensolvers: statuses, and bit for bit against the rotations
// written out plainly (on every tier). Against LAPACK's zheev/dsyev for
// accuracy in eigen_peer_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "kelvra.h"
#include "support/scoped_env.hpp"
#include "linalg/random_matrix.hpp"

namespace {

using Matrix = std::vector<double>;
using C = std::complex<double>;

double root(double x) { return kelvra_rational_sqrt(x, &x), x; }

// t = 1 / (theta +- sqrt(theta^2 + 1)), c = 1 / sqrt(t^2 + 1), s = c t.
void cs_for(double theta, double &c, double &s) {
    const double t = theta >= 0 ? 1 / (theta + root(theta * theta + 1)) : 1 / (theta - root(theta * theta + 1));
    c = 1 / root(t * t + 1), s = c * t;
}

// Every product written out and rounded term by term.
C mul(C a, C b) { return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()}; }
C scale(double c, C a) { return {c * a.real(), c * a.imag()}; }
double norm2(C a) { return a.real() * a.real() + a.imag() * a.imag(); }
double norm2(double a) { return a * a; }

// Sum over i < j of 2 |m_ij|^2, row by row.
template <class T>
double off(const std::vector<T> &m, size_t n) {
    double sum = 0;
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i + 1; j < n; ++j) sum += 2 * norm2(m[i * n + j]);
    return sum;
}

// Rotations (p, q) in cyclic order, each on rows p and q of H, then columns p
// and q of H and V, over all n entries from the old values:
//   x <- c x - w y, y <- c y + conj(w) x,  w = s h_pq / |h_pq| (rows), conj(w) (columns).
// Then a selection sort (a later value moves only when strictly smaller).
bool reference_hermitian(uint32_t n, const Matrix &in, Matrix &values, Matrix &vectors) {
    std::vector<C> h(reinterpret_cast<const C *>(in.data()), reinterpret_cast<const C *>(in.data()) + n * n);
    std::vector<C> v(h.size());
    for (size_t i = 0; i < n; ++i) v[i * n + i] = 1.0;
    auto rotate = [](double c, C w, C &x, C &y) {
        const C u = x;
        x = scale(c, u) - mul(w, y), y = scale(c, y) + mul(std::conj(w), u);
    };
    const double limit = 1e-24 * off(h, n);
    for (int sweep = 0; !(off(h, n) <= limit || off(h, n) < 1e-300); ++sweep) {
        if (sweep == 100) return false;
        for (size_t p = 0; p + 1 < n; ++p)
            for (size_t q = p + 1; q < n; ++q) {
                const C x = h[p * n + q];
                if (norm2(x) < 1e-300) continue;
                const double r = root(norm2(x));
                double c, s;
                cs_for((h[q * n + q].real() - h[p * n + p].real()) / (2 * r), c, s);
                const C w{s * (x.real() / r), s * (x.imag() / r)};
                for (size_t k = 0; k < n; ++k) rotate(c, w, h[p * n + k], h[q * n + k]);
                for (size_t k = 0; k < n; ++k) rotate(c, std::conj(w), h[k * n + p], h[k * n + q]);
                for (size_t k = 0; k < n; ++k) rotate(c, std::conj(w), v[k * n + p], v[k * n + q]);
            }
    }
    for (size_t i = 0; i < n; ++i) values.push_back(h[i * n + i].real());
    for (size_t i = 0; i + 1 < n; ++i) {
        size_t m = i;
        for (size_t j = i + 1; j < n; ++j) m = values[j] < values[m] ? j : m;
        std::swap(values[i], values[m]);
        for (size_t k = 0; k < n; ++k) std::swap(v[k * n + i], v[k * n + m]);
    }
    vectors.assign(reinterpret_cast<double *>(v.data()), reinterpret_cast<double *>(v.data() + v.size()));
    return true;
}

// The real sweep: x <- c x - s y, y <- s x + c y with theta = (a_qq - a_pp) / 2 a_pq,
// a zero a_pq skipped; the matrix is left reduced.
void reference_jacobi(uint32_t n, Matrix &a, int sweeps, double tolerance, Matrix &values) {
    const double threshold = off(a, n) * (tolerance * tolerance);
    for (int sweep = 0; sweep < sweeps && !(off(a, n) <= threshold || off(a, n) < 1e-300); ++sweep)
        for (size_t p = 0; p + 1 < n; ++p)
            for (size_t q = p + 1; q < n; ++q) {
                if (a[p * n + q] == 0.0) continue;
                double c, s;
                cs_for((a[q * n + q] - a[p * n + p]) / (2 * a[p * n + q]), c, s);
                auto rot = [c, s](double &x, double &y) { const double u = x; x = c * u - s * y, y = s * u + c * y; };
                for (size_t k = 0; k < n; ++k) rot(a[p * n + k], a[q * n + k]);
                for (size_t k = 0; k < n; ++k) rot(a[k * n + p], a[k * n + q]);
            }
    for (size_t i = 0; i < n; ++i) values.push_back(a[i * n + i]);
}

using kelvra_test::random_matrix;

Matrix scratch[2];
kelvra_status decompose(uint32_t n, const Matrix &h, Matrix &values = scratch[0], Matrix &vectors = scratch[1]) {
    Matrix ws(2 * size_t{n} * n + 1); // passed as exactly 2 n^2 doubles
    values.assign(n, -7.0), vectors.assign(2 * size_t{n} * n, -7.0);
    return kelvra_hermitian_eigendecompose_ws(n, h.data(), values.data(), vectors.data(), ws.data(), 2 * n * n);
}

bool same_bits(const Matrix &x, const Matrix &y) {
    return x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size() * sizeof(double)) == 0;
}

} // namespace

TEST(JacobiSolvers, StatusesCheckOrderAndNodeLimit) {
    constexpr auto eig = kelvra_hermitian_eigendecompose_ws;
    double h[8] = {2, 0, 0, 1, 0, -1, 2, 0}, values[2], vectors[8], ws[8];
    EXPECT_EQ(eig(2, nullptr, values, vectors, ws, 8), KELVRA_ERR_ARG);
    EXPECT_EQ(eig(2, h, nullptr, vectors, ws, 8), KELVRA_ERR_ARG);
    EXPECT_EQ(eig(2, h, values, nullptr, ws, 8), KELVRA_ERR_ARG);
    EXPECT_EQ(eig(0, h, values, vectors, nullptr, 0), KELVRA_ERR_ARG) << "pointers before everything";
    EXPECT_EQ(eig(2049, h, values, vectors, ws, 0), KELVRA_ERR_CAPACITY) << "default limit 2048";
    EXPECT_EQ(eig(0, h, values, vectors, ws, 0), KELVRA_OK);
    EXPECT_EQ(eig(2, h, values, vectors, ws, 7), KELVRA_ERR_CAPACITY);
    EXPECT_EQ(eig(2, h, values, vectors, ws, 8), KELVRA_OK) << "exactly 2 n^2";
    EXPECT_EQ(eig(UINT32_MAX, h, values, vectors, ws, UINT64_MAX), KELVRA_ERR_CAPACITY);
    const char text[] = "[hermitian]\nmax_nodes = 2\n"; // read on every call
    std::vector<uint8_t> arena(1 << 16);
    ASSERT_EQ(kelvra_config_load_toml(reinterpret_cast<const uint8_t *>(text), sizeof text - 1, arena.data(), 1 << 16),
              KELVRA_OK);
    EXPECT_EQ(decompose(2, random_matrix(1, 2, true)), KELVRA_OK);
    EXPECT_EQ(decompose(3, random_matrix(1, 3, true)), KELVRA_ERR_CAPACITY);
    kelvra_config_reset_defaults();
    EXPECT_EQ(decompose(3, random_matrix(1, 3, true)), KELVRA_OK);
    // NaN, infinite, or squares beyond the double range are never a success.
    for (double bad : {double(NAN), HUGE_VAL, 1e200}) EXPECT_EQ(decompose(2, {1, 0, bad, 0, bad, 0, 2, 0}), 4) << bad;
    EXPECT_EQ(decompose(2, {1, 0, 0.5, 0, 0.5, 0, HUGE_VAL, 0}), 4) << "infinite diagonal";
    EXPECT_EQ(kelvra_jacobi_eigvals(2, nullptr, 10, 1e-12, values), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_jacobi_eigvals(0, h, 10, 1e-12, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_jacobi_eigvals(0, h, 10, 1e-12, values), KELVRA_OK);
}

// [[2, i], [-i, 2]] takes one rotation, theta = 0, c = s = 1 / rational_sqrt(2):
// H = diag(2 (c c), 2 (c (3 c))), V = [[c, i c], [i c, c]]. [[2, 1], [1, 2]] in the real solver.
TEST(JacobiSolvers, HandCheckedCases) {
    const double c = 1 / 0x1.6a09e667f3bccp+0; // rational_sqrt(2), one unit below the rounded root
    Matrix values, vectors, a = {2, 1, 1, 2};
    ASSERT_EQ(decompose(2, {2, 0, 0, 1, 0, -1, 2, 0}, values, vectors), KELVRA_OK);
    EXPECT_TRUE(same_bits(values, {2 * (c * c), 2 * (c * (3 * c))}));
    EXPECT_TRUE(same_bits(vectors, {c, 0, 0, c, 0, c, c, 0}));
    ASSERT_EQ(kelvra_jacobi_eigvals(2, a.data(), 10, 1e-12, values.data()), KELVRA_OK);
    EXPECT_EQ(Matrix(values.begin(), values.begin() + 2), (Matrix{1.0000000000000002, 3.0000000000000004}));
}

// Orders past the tier threshold (24) and across the 16-wide blocks, on both
// tiers; the real solver with 1, 3 and 100 sweeps (100 asked also as 0 and
// 500), matrix and eigenvalues. At n = 7 the first rotation is skipped.
TEST(JacobiSolvers, BitIdenticalToThePlainRotations) {
    for (const char *tier : {"0", "1"}) {
        kelvra_test::ScopedEnv forced("KELVRA_JACOBI_FORCE_TIER", tier);
        for (uint32_t n : {1u, 2u, 3u, 7u, 24u, 41u, 50u}) {
            SCOPED_TRACE(std::string("tier ") + tier + ", n " + std::to_string(n));
            Matrix h = random_matrix(n, n, true), a = random_matrix(n, n, false), values, vectors, got, got_v;
            if (n == 7) h[2] = h[3] = h[2 * n] = h[2 * n + 1] = a[1] = a[n] = 0;
            ASSERT_TRUE(reference_hermitian(n, h, values, vectors));
            EXPECT_EQ(decompose(n, h, got, got_v), KELVRA_OK);
            EXPECT_TRUE(same_bits(got, values) && same_bits(got_v, vectors));
            for (int budget : {1, 3, 100})
                for (double tolerance : {0.0, 1e-8}) {
                    Matrix want_a = a, want;
                    reference_jacobi(n, want_a, budget, tolerance, want);
                    for (int ask : {budget, budget == 100 ? 0 : budget, budget == 100 ? 500 : budget}) {
                        Matrix got_a = a;
                        got.assign(n, -7.0);
                        ASSERT_EQ(kelvra_jacobi_eigvals(n, got_a.data(), ask, tolerance, got.data()), KELVRA_OK);
                        EXPECT_TRUE(same_bits(got, want) && same_bits(got_a, want_a))
                            << ask << " sweeps, tolerance " << tolerance;
                    }
                }
        }
    }
}
