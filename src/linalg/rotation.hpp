// The row updates of the Jacobi eigensolvers' plane rotations,
// the part of a sweep that costs O(n) per rotation. Each update is written
// once per instruction set (rotation_kernels.hpp for SSE2, rotation_avx.cpp)
// and every version forms the same products and sums as the scalar formulas
// below, rounding each product before it is added (nothing is fused), so
// every version gives the same bits.
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
using ComplexPairUpdate = void (*)(double *x, double *y, size_t len, size_t stride,
                                   const ComplexRotation &r) noexcept;

// The row updates (contiguous: stride 1 real, 2 complex). The column updates
// run in eigen.cpp, gathered per row (see there).
struct RotationKernels {
    RealPairUpdate real_rows;
    ComplexPairUpdate complex_rows;
};

// Baseline (SSE2) and AVX versions.
extern const RotationKernels rotation_kernels_sse2;
extern const RotationKernels rotation_kernels_avx;

} // namespace kelvra::linalg
