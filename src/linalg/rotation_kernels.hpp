// The rotation updates of rotation.hpp in SSE2, compiled into each file that
// includes this one with that file's flags (internal linkage), so the AVX
// file reuses the parts it does not widen.
#pragma once

#include <emmintrin.h>

#include <cstddef>

#include "linalg/rotation.hpp"

namespace kelvra::linalg {
namespace {

inline void real_pair_scalar(double *x, double *y, double c, double s) noexcept {
    const double u = *x, v = *y;
    *x = c * u - s * v;
    *y = s * u + c * v;
}

// Contiguous elements, two per instruction.
inline void real_rows_sse2(double *x, double *y, size_t len, size_t, const RealRotation &r) noexcept {
    const __m128d c = _mm_set1_pd(r.c), s = _mm_set1_pd(r.s);
    size_t k = 0;
    for (; k + 2 <= len; k += 2) {
        const __m128d u = _mm_loadu_pd(x + k), v = _mm_loadu_pd(y + k);
        _mm_storeu_pd(x + k, _mm_sub_pd(_mm_mul_pd(c, u), _mm_mul_pd(s, v)));
        _mm_storeu_pd(y + k, _mm_add_pd(_mm_mul_pd(s, u), _mm_mul_pd(c, v)));
    }
    for (; k < len; ++k) real_pair_scalar(x + k, y + k, r.c, r.s);
}

// One complex element per register (re, im). A product w v is formed as
//   v (w.re, w.re) + swap(v) (-w.im, w.im) = (w.re v.re - w.im v.im, w.re v.im + w.im v.re)
// and conj(w) v as v (w.re, w.re) + swap(v) (w.im, -w.im): the stated
// products exactly, since a + (-b) is a - b and (-a) b is -(a b).
struct ComplexFactors {
    __m128d c, w_re, w_im, conj_w_im;
};

inline ComplexFactors complex_factors(const ComplexRotation &r) noexcept {
    return {_mm_set1_pd(r.c), _mm_set1_pd(r.w_re), _mm_set_pd(r.w_im, -r.w_im), _mm_set_pd(-r.w_im, r.w_im)};
}

inline __m128d swap_halves(__m128d v) noexcept { return _mm_shuffle_pd(v, v, 1); }

// x <- c x - w y, y <- c y + conj(w) x on registers.
inline void complex_step_sse2(__m128d &u, __m128d &v, const ComplexFactors &f) noexcept {
    const __m128d wv = _mm_add_pd(_mm_mul_pd(v, f.w_re), _mm_mul_pd(swap_halves(v), f.w_im));
    const __m128d conj_wu = _mm_add_pd(_mm_mul_pd(u, f.w_re), _mm_mul_pd(swap_halves(u), f.conj_w_im));
    u = _mm_sub_pd(_mm_mul_pd(f.c, u), wv);
    v = _mm_add_pd(_mm_mul_pd(f.c, v), conj_wu);
}

inline void complex_pair_sse2(double *x, double *y, const ComplexFactors &f) noexcept {
    __m128d u = _mm_loadu_pd(x), v = _mm_loadu_pd(y);
    complex_step_sse2(u, v, f);
    _mm_storeu_pd(x, u);
    _mm_storeu_pd(y, v);
}

inline void complex_pairs_sse2(double *x, double *y, size_t len, size_t stride, const ComplexRotation &r) noexcept {
    const ComplexFactors f = complex_factors(r);
    for (size_t k = 0; k < len; ++k) complex_pair_sse2(x + k * stride, y + k * stride, f);
}

} // namespace
} // namespace kelvra::linalg
