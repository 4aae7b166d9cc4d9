// The row and column updates of the Jacobi eigensolvers' plane rotations,
// the part of a sweep that costs O(n) per rotation. Each update is written
// once per instruction set (rotation_sse2.cpp, with a scalar form where the
// target is not x86-64; rotation_avx.cpp) and every version forms the same
// products and sums as the scalar formulas below, rounding each product
// before it is added (nothing is fused), so every version gives the same bits.
#pragma once

#include <cstddef>

namespace kelvra::linalg {

// Real pair update over `len` elements, x and y `stride` doubles apart
// between elements, with the old values of both:
//   x <- c x - s y,   y <- s x + c y.
struct RealRotation {
    double c, s;
};

// Complex pair update over `len` complex elements (re, im), x and y `stride`
// doubles apart between elements, with the old values of both:
//   x <- c x - w y,   y <- c y + conj(w) x,
// where w y is (w.re y.re - w.im y.im, w.re y.im + w.im y.re).
struct ComplexRotation {
    double c;
    double w_re, w_im;
};

using RealPairUpdate = void (*)(double *x, double *y, size_t len, size_t stride, const RealRotation &r) noexcept;
using ComplexPairUpdate = void (*)(double *x, double *y, size_t len, size_t stride, const ComplexRotation &r) noexcept;

// The row updates (contiguous: stride 1 real, 2 complex). The column updates
// run in eigen.cpp, gathered per row (see there).
struct RotationKernels {
    RealPairUpdate real_rows;
    ComplexPairUpdate complex_rows;
};

// Baseline (SSE2) and AVX versions.
extern const RotationKernels rotation_kernels_sse2;
extern const RotationKernels rotation_kernels_avx;

// The baseline row updates, also the tails of the AVX ones (rotation_sse2.cpp).
void real_rows_sse2(double *x, double *y, size_t len, size_t stride, const RealRotation &r) noexcept;
void complex_pairs_sse2(double *x, double *y, size_t len, size_t stride, const ComplexRotation &r) noexcept;

// ---- column updates, gathered per row (eigen.cpp) ---------------------------
//
// Steps of a block of rotations (p, q0 + i): on one row, x = row[p] is carried
// through the steps in order and y = row[q0 + i] receives step i.

struct RealStep {
    double c, s;
    bool skip;
};

// A complex update's factors as the lane pairs the SSE2 form loads:
// (c, c), (w.re, w.re), (-w.im, w.im), (w.im, -w.im). A product w v is
//   v (w.re, w.re) + swap(v) (-w.im, w.im) = (w.re v.re - w.im v.im, w.re v.im + w.im v.re)
// and conj(w) v is v (w.re, w.re) + swap(v) (w.im, -w.im): the stated
// products exactly, since a + (-b) is a - b and (-a) b is -(a b).
struct alignas(16) ComplexFactors {
    double c[2], w_re[2], w_im[2], conj_w_im[2];
};

ComplexFactors complex_factors(const ComplexRotation &r) noexcept;

struct ComplexStep {
    ComplexFactors f; // the column update: c and s conj u
    bool skip;
};

// Real column updates [0, to) of a block on two rows at once.
void real_columns_two(double *r0, double *r1, size_t p, size_t q0, const RealStep *steps, size_t to) noexcept;

// Complex column updates [from, to) on one row, and [0, to) on two rows.
void complex_columns_one(double *row, size_t p, size_t q0, const ComplexStep *steps, size_t from, size_t to) noexcept;
void complex_columns_two(double *r0, double *r1, size_t p, size_t q0, const ComplexStep *steps, size_t to) noexcept;

} // namespace kelvra::linalg
