// Cyclic Jacobi eigensolvers: the Hermitian eigendecomposition (eigenvalues
// ascending, unit eigenvectors as columns) in the caller's workspace, bounded
// by the configured node limit, and the eigenvalues of a real symmetric
// matrix reduced in place.
//
// Every rotation follows one fixed recipe, and the row and column updates of
// the matrix are done over all n elements, old values first, exactly as
// written below; each square root comes from exact::rational_sqrt. The
// results are therefore the same bits on every processor and in every tier.
#include <cstring>
#include <utility>

#include "exact/rational.hpp"
#include "frame/config.hpp"
#include "frame/status.hpp"
#include "frame/tier.hpp"
#include "kelvra.h"
#include "linalg/rotation.hpp"

namespace kelvra::linalg {

namespace {

const RotationKernels &kernels_for() noexcept {
    static constexpr const RotationKernels *by_tier[] = {&rotation_kernels_sse2, &rotation_kernels_avx};
    return *tier::pick(tier::jacobi_rotations, by_tier);
}

constexpr double kTiny = 1e-300;

// t = 1 / (theta +- sqrt(theta^2 + 1)) with the sign of theta (theta >= 0
// takes +), c = 1 / sqrt(t^2 + 1), s = c t.
RealRotation rotation_for(double theta) noexcept {
    const double root = exact::rational_sqrt(theta * theta + 1.0);
    const double t = theta >= 0.0 ? 1.0 / (theta + root) : 1.0 / (theta - root);
    const double c = 1.0 / exact::rational_sqrt(t * t + 1.0);
    return {c, c * t};
}

// ---- real symmetric -----------------------------------------------------

// Sum over i < j of 2 a_ij^2, row by row from the top.
double off_real(const double *a, size_t n) noexcept {
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i) {
        for (size_t j = i + 1; j < n; ++j) sum += 2.0 * (a[i * n + j] * a[i * n + j]);
    }
    return sum;
}

// ---- one sweep, column updates gathered per block --------------------------
//
// A rotation (p, q) updates rows p and q over every column, then columns p and
// q over every row. A column update touches only entries (k, p) and (k, q) of
// row k, and row k is read again only when it becomes row p or q of a later
// rotation. So for the rotations (p, q0) .. (p, q0 + m - 1) of one block the
// column updates of every other row can wait until the block ends and then run
// row by row, entry (k, p) held in a register, in the same order and with the
// same operands as one at a time: the same bits, with far fewer cache lines
// touched (column pairs of a power-of-two-wide matrix fall into a handful of
// cache sets). Row p is kept current after every rotation, and row q of the
// j-th rotation receives the block's first j column updates just before its
// own row update.
constexpr size_t kBlock = 16;

// RealStep and ComplexStep: rotation.hpp.

// Column updates [from, to) of a block on one row: x = row[p], y = row[q0 + i].
void real_columns_one(double *row, size_t p, size_t q0, const RealStep *steps, size_t from, size_t to) noexcept {
    double x = row[p];
    for (size_t i = from; i < to; ++i) {
        if (steps[i].skip) continue;
        const double y = row[q0 + i], c = steps[i].c, s = steps[i].s;
        row[q0 + i] = s * x + c * y;
        x = c * x - s * y;
    }
    row[p] = x;
}

// real_columns_two (two rows at once, one per lane): rotation_sse2.cpp.

// After a block: every row but p receives its outstanding column updates;
// rows outside the block all of them (two at a time), block row q0 + j those
// from j on.
template <class One, class Two>
void finish_block(size_t n, size_t p, size_t q0, size_t m, One one, Two two) noexcept {
    size_t waiting = n; // a row outside the block not yet paired
    for (size_t k = 0; k < n; ++k) {
        if (k == p) continue;
        if (k >= q0 && k < q0 + m) {
            one(k, k - q0);
        } else if (waiting == n) {
            waiting = k;
        } else {
            two(waiting, k);
            waiting = n;
        }
    }
    if (waiting != n) one(waiting, 0);
}

void sweep_real(double *a, size_t n, const RotationKernels &k) noexcept {
    RealStep steps[kBlock];
    for (size_t p = 0; p + 1 < n; ++p) {
        double *rp = a + p * n;
        for (size_t q0 = p + 1; q0 < n; q0 += kBlock) {
            const size_t m = n - q0 < kBlock ? n - q0 : kBlock;
            for (size_t j = 0; j < m; ++j) {
                double *rq = a + (q0 + j) * n;
                real_columns_one(rq, p, q0, steps, 0, j);
                const double apq = rp[q0 + j];
                steps[j].skip = apq == 0.0;
                if (steps[j].skip) continue;
                const RealRotation r = rotation_for((rq[q0 + j] - rp[p]) / (2.0 * apq));
                steps[j].c = r.c, steps[j].s = r.s;
                k.real_rows(rp, rq, n, 1, r);
                real_columns_one(rp, p, q0, steps, j, j + 1);
            }
            finish_block(
                n, p, q0, m, [&](size_t row, size_t from) { real_columns_one(a + row * n, p, q0, steps, from, m); },
                [&](size_t r0, size_t r1) { real_columns_two(a + r0 * n, a + r1 * n, p, q0, steps, m); });
        }
    }
}

void jacobi_real(double *a, size_t n, int32_t max_sweeps, double tolerance, double *eigenvalues) noexcept {
    const RotationKernels &k = kernels_for();
    const double threshold = off_real(a, n) * (tolerance * tolerance);
    for (int32_t sweep = 0; sweep < max_sweeps; ++sweep) {
        const double off = off_real(a, n);
        if (off <= threshold || off < kTiny) break;
        sweep_real(a, n, k);
    }
    for (size_t i = 0; i < n; ++i) eigenvalues[i] = a[i * n + i];
}

// ---- complex Hermitian --------------------------------------------------

// Sum over i < j of 2 |H_ij|^2, |h|^2 = re^2 + im^2, row by row from the top.
double off_complex(const double *h, size_t n) noexcept {
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i) {
        for (size_t j = i + 1; j < n; ++j) {
            const double re = h[2 * (i * n + j)], im = h[2 * (i * n + j) + 1];
            sum += 2.0 * (re * re + im * im);
        }
    }
    return sum;
}

// The unitary similarity that annihilates H(p, q) and H(q, p): with
// r = |h|, u = h / r, theta = (Re H(q,q) - Re H(p,p)) / 2r and c, s as in the
// real case,
//   rows of H:    H(p,k) <- c H(p,k) - (s u) H(q,k),     H(q,k) <- c H(q,k) + (s conj u) H(p,k)
//   columns of H: H(k,p) <- c H(k,p) - (s conj u) H(k,q), H(k,q) <- c H(k,q) + (s u) H(k,p)
// and the same column update on V. V is kept transposed (w = V^T), so its
// column update is a row update of w. The columns of H wait for the end of
// the block, as in the real sweep.
// The column updates on one and on two rows: rotation_sse2.cpp.

void sweep_complex_once(double *h, double *w, size_t n, const RotationKernels &k) noexcept {
    ComplexStep steps[kBlock];
    for (size_t p = 0; p + 1 < n; ++p) {
        double *hp = h + 2 * p * n;
        for (size_t q0 = p + 1; q0 < n; q0 += kBlock) {
            const size_t m = n - q0 < kBlock ? n - q0 : kBlock;
            for (size_t j = 0; j < m; ++j) {
                const size_t q = q0 + j;
                double *hq = h + 2 * q * n;
                complex_columns_one(hq, p, q0, steps, 0, j);
                const double re = hp[2 * q], im = hp[2 * q + 1];
                const double magnitude2 = re * re + im * im;
                steps[j].skip = magnitude2 < kTiny;
                if (steps[j].skip) continue;
                const double r = exact::rational_sqrt(magnitude2);
                const double u_re = re / r, u_im = im / r;
                const RealRotation cs = rotation_for((hq[2 * q] - hp[2 * p]) / (2.0 * r));
                const double su_re = cs.s * u_re, su_im = cs.s * u_im;
                const ComplexRotation rows{cs.c, su_re, su_im}, columns{cs.c, su_re, -su_im};
                steps[j].f = complex_factors(columns);
                k.complex_rows(hp, hq, n, 2, rows);
                k.complex_rows(w + 2 * p * n, w + 2 * q * n, n, 2, columns);
                complex_columns_one(hp, p, q0, steps, j, j + 1);
            }
            finish_block(
                n, p, q0, m,
                [&](size_t row, size_t from) { complex_columns_one(h + 2 * row * n, p, q0, steps, from, m); },
                [&](size_t r0, size_t r1) { complex_columns_two(h + 2 * r0 * n, h + 2 * r1 * n, p, q0, steps, m); });
        }
    }
}

// off <= 1e-24 off0 or off < 1e-300.
bool converged(double off, double limit) noexcept { return off <= limit || off < kTiny; }

// The measure is finite for every matrix the rotations can reduce: an infinite
// or NaN entry (or squares beyond the double range) makes it infinite or NaN,
// and no later sweep brings it back.
bool reducible(double off) noexcept { return off - off == 0.0; }

enum class Outcome { converged, stuck };

Outcome sweep_complex(double *h, double *w, size_t n) noexcept {
    constexpr int kMaxSweeps = 100;
    const RotationKernels &k = kernels_for();
    const double off0 = off_complex(h, n);
    const double limit = 1e-24 * off0;
    for (int sweep = 0; sweep <= kMaxSweeps; ++sweep) {
        const double off = off_complex(h, n);
        if (!reducible(off)) return Outcome::stuck;
        if (converged(off, limit)) return Outcome::converged;
        if (sweep == kMaxSweeps) return Outcome::stuck;
        sweep_complex_once(h, w, n, k);
    }
    return Outcome::stuck;
}

void swap_rows(double *m, size_t n, size_t i, size_t j) noexcept {
    for (size_t k = 0; k < 2 * n; ++k) std::swap(m[2 * i * n + k], m[2 * j * n + k]);
}

// Complex n x n in place.
void transpose(double *m, size_t n) noexcept {
    for (size_t i = 0; i < n; ++i) {
        for (size_t j = i + 1; j < n; ++j) {
            std::swap(m[2 * (i * n + j)], m[2 * (j * n + i)]);
            std::swap(m[2 * (i * n + j) + 1], m[2 * (j * n + i) + 1]);
        }
    }
}

// Selection sort: the smallest of positions i .. n-1 (a later one only when
// strictly smaller) moves to i with its eigenvector (a row of w = V^T).
void sort_ascending(double *eigenvalues, double *w, size_t n) noexcept {
    for (size_t i = 0; i + 1 < n; ++i) {
        size_t smallest = i;
        for (size_t j = i + 1; j < n; ++j) {
            if (eigenvalues[j] < eigenvalues[smallest]) smallest = j;
        }
        if (smallest != i) {
            std::swap(eigenvalues[i], eigenvalues[smallest]);
            swap_rows(w, n, i, smallest);
        }
    }
}

kelvra_status eigendecompose(const double *input, double *eigenvalues, double *v, double *h, size_t n) noexcept {
    std::memmove(h, input, 2 * n * n * sizeof(double));
    std::memset(v, 0, 2 * n * n * sizeof(double));
    for (size_t i = 0; i < n; ++i) v[2 * (i * n + i)] = 1.0;
    if (sweep_complex(h, v, n) == Outcome::stuck) {
        transpose(v, n);
        return KELVRA_ERR_CAPACITY;
    }
    for (size_t i = 0; i < n; ++i) eigenvalues[i] = h[2 * (i * n + i)];
    sort_ascending(eigenvalues, v, n);
    transpose(v, n);
    return KELVRA_OK;
}

} // namespace

} // namespace kelvra::linalg

using namespace kelvra::linalg;

extern "C" KELVRA_API kelvra_status kelvra_hermitian_eigendecompose_ws(uint32_t n, const double *h, double *eigenvalues,
                                                                       double *eigenvectors, double *workspace,
                                                                       uint64_t workspace_doubles) noexcept {
    if (h == nullptr || eigenvalues == nullptr || eigenvectors == nullptr || workspace == nullptr)
        return KELVRA_ERR_ARG;
    if (n > kelvra::config::hermitian_limit()) return KELVRA_ERR_CAPACITY;
    if (n == 0) return KELVRA_OK;
    const unsigned __int128 needed = static_cast<unsigned __int128>(2) * n * n;
    if (workspace_doubles < needed) return KELVRA_ERR_CAPACITY;
    return eigendecompose(h, eigenvalues, eigenvectors, workspace, n);
}

extern "C" KELVRA_API kelvra_status kelvra_jacobi_eigvals(uint32_t n, double *a, int32_t max_sweeps, double tolerance,
                                                          double *eigenvalues) noexcept {
    if (a == nullptr || eigenvalues == nullptr) return KELVRA_ERR_ARG;
    if (n == 0) return KELVRA_OK;
    if (max_sweeps < 1 || max_sweeps > 100) max_sweeps = 100;
    jacobi_real(a, n, max_sweeps, tolerance, eigenvalues);
    return KELVRA_OK;
}
