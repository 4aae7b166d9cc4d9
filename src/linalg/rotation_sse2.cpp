// The rotation updates of rotation.hpp on the baseline: two doubles (one
// complex element) per SSE2 instruction on x86-64, where SSE2 is part of the
// baseline; elsewhere the scalar formulas, lane by lane, with the same
// products and sums in the same order, so the same bits.
#include "linalg/rotation.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelvra::linalg {

ComplexFactors complex_factors(const ComplexRotation &r) noexcept {
    return {{r.c, r.c}, {r.w_re, r.w_re}, {-r.w_im, r.w_im}, {r.w_im, -r.w_im}};
}

namespace {

inline void real_pair_scalar(double *x, double *y, double c, double s) noexcept {
    const double u = *x, v = *y;
    *x = c * u - s * v;
    *y = s * u + c * v;
}

#if defined(__SSE2__)

struct Factors {
    __m128d c, w_re, w_im, conj_w_im;
};

inline Factors load(const ComplexFactors &f) noexcept {
    return {_mm_load_pd(f.c), _mm_load_pd(f.w_re), _mm_load_pd(f.w_im), _mm_load_pd(f.conj_w_im)};
}

inline __m128d swap_halves(__m128d v) noexcept { return _mm_shuffle_pd(v, v, 1); }

// x <- c x - w y, y <- c y + conj(w) x on registers.
inline void complex_step(__m128d &u, __m128d &v, const Factors &f) noexcept {
    const __m128d wv = _mm_add_pd(_mm_mul_pd(v, f.w_re), _mm_mul_pd(swap_halves(v), f.w_im));
    const __m128d conj_wu = _mm_add_pd(_mm_mul_pd(u, f.w_re), _mm_mul_pd(swap_halves(u), f.conj_w_im));
    u = _mm_sub_pd(_mm_mul_pd(f.c, u), wv);
    v = _mm_add_pd(_mm_mul_pd(f.c, v), conj_wu);
}

#else

// The same lane formulas on two-element arrays (re, im).
inline void complex_step(double u[2], double v[2], const ComplexFactors &f) noexcept {
    double wv[2], conj_wu[2];
    for (int k = 0; k < 2; ++k) {
        wv[k] = v[k] * f.w_re[k] + v[1 - k] * f.w_im[k];
        conj_wu[k] = u[k] * f.w_re[k] + u[1 - k] * f.conj_w_im[k];
    }
    for (int k = 0; k < 2; ++k) {
        u[k] = f.c[k] * u[k] - wv[k];
        v[k] = f.c[k] * v[k] + conj_wu[k];
    }
}

#endif

} // namespace

#if defined(__SSE2__)

// Contiguous elements, two per instruction.
void real_rows_sse2(double *x, double *y, size_t len, size_t, const RealRotation &r) noexcept {
    const __m128d c = _mm_set1_pd(r.c), s = _mm_set1_pd(r.s);
    size_t k = 0;
    for (; k + 2 <= len; k += 2) {
        const __m128d u = _mm_loadu_pd(x + k), v = _mm_loadu_pd(y + k);
        _mm_storeu_pd(x + k, _mm_sub_pd(_mm_mul_pd(c, u), _mm_mul_pd(s, v)));
        _mm_storeu_pd(y + k, _mm_add_pd(_mm_mul_pd(s, u), _mm_mul_pd(c, v)));
    }
    for (; k < len; ++k) real_pair_scalar(x + k, y + k, r.c, r.s);
}

// One complex element per register (re, im).
void complex_pairs_sse2(double *x, double *y, size_t len, size_t stride, const ComplexRotation &r) noexcept {
    const ComplexFactors factors = complex_factors(r);
    const Factors f = load(factors);
    for (size_t k = 0; k < len; ++k) {
        double *xk = x + k * stride, *yk = y + k * stride;
        __m128d u = _mm_loadu_pd(xk), v = _mm_loadu_pd(yk);
        complex_step(u, v, f);
        _mm_storeu_pd(xk, u);
        _mm_storeu_pd(yk, v);
    }
}

// Two rows, one per lane.
void real_columns_two(double *r0, double *r1, size_t p, size_t q0, const RealStep *steps, size_t to) noexcept {
    __m128d x = _mm_loadh_pd(_mm_load_sd(r0 + p), r1 + p);
    for (size_t i = 0; i < to; ++i) {
        if (steps[i].skip) continue;
        const __m128d c = _mm_set1_pd(steps[i].c), s = _mm_set1_pd(steps[i].s);
        const __m128d y = _mm_loadh_pd(_mm_load_sd(r0 + q0 + i), r1 + q0 + i);
        const __m128d ny = _mm_add_pd(_mm_mul_pd(s, x), _mm_mul_pd(c, y));
        x = _mm_sub_pd(_mm_mul_pd(c, x), _mm_mul_pd(s, y));
        _mm_store_sd(r0 + q0 + i, ny), _mm_storeh_pd(r1 + q0 + i, ny);
    }
    _mm_store_sd(r0 + p, x), _mm_storeh_pd(r1 + p, x);
}

void complex_columns_one(double *row, size_t p, size_t q0, const ComplexStep *steps, size_t from, size_t to) noexcept {
    __m128d x = _mm_loadu_pd(row + 2 * p);
    for (size_t i = from; i < to; ++i) {
        if (steps[i].skip) continue;
        double *yp = row + 2 * (q0 + i);
        __m128d y = _mm_loadu_pd(yp);
        complex_step(x, y, load(steps[i].f));
        _mm_storeu_pd(yp, y);
    }
    _mm_storeu_pd(row + 2 * p, x);
}

// Two rows interleaved (independent chains).
void complex_columns_two(double *r0, double *r1, size_t p, size_t q0, const ComplexStep *steps, size_t to) noexcept {
    __m128d x0 = _mm_loadu_pd(r0 + 2 * p), x1 = _mm_loadu_pd(r1 + 2 * p);
    for (size_t i = 0; i < to; ++i) {
        if (steps[i].skip) continue;
        const Factors f = load(steps[i].f);
        double *y0p = r0 + 2 * (q0 + i), *y1p = r1 + 2 * (q0 + i);
        __m128d y0 = _mm_loadu_pd(y0p), y1 = _mm_loadu_pd(y1p);
        complex_step(x0, y0, f);
        complex_step(x1, y1, f);
        _mm_storeu_pd(y0p, y0), _mm_storeu_pd(y1p, y1);
    }
    _mm_storeu_pd(r0 + 2 * p, x0), _mm_storeu_pd(r1 + 2 * p, x1);
}

#else

void real_rows_sse2(double *x, double *y, size_t len, size_t, const RealRotation &r) noexcept {
    for (size_t k = 0; k < len; ++k) real_pair_scalar(x + k, y + k, r.c, r.s);
}

void complex_pairs_sse2(double *x, double *y, size_t len, size_t stride, const ComplexRotation &r) noexcept {
    const ComplexFactors f = complex_factors(r);
    for (size_t k = 0; k < len; ++k) complex_step(x + k * stride, y + k * stride, f);
}

namespace {

inline void real_columns_one(double *row, size_t p, size_t q0, const RealStep *steps, size_t to) noexcept {
    double x = row[p];
    for (size_t i = 0; i < to; ++i) {
        if (steps[i].skip) continue;
        const double y = row[q0 + i], c = steps[i].c, s = steps[i].s;
        row[q0 + i] = s * x + c * y;
        x = c * x - s * y;
    }
    row[p] = x;
}

} // namespace

// Each row's chain on its own: the lanes of the SSE2 form do not interact.
void real_columns_two(double *r0, double *r1, size_t p, size_t q0, const RealStep *steps, size_t to) noexcept {
    real_columns_one(r0, p, q0, steps, to);
    real_columns_one(r1, p, q0, steps, to);
}

void complex_columns_one(double *row, size_t p, size_t q0, const ComplexStep *steps, size_t from, size_t to) noexcept {
    double x[2] = {row[2 * p], row[2 * p + 1]};
    for (size_t i = from; i < to; ++i) {
        if (!steps[i].skip) complex_step(x, row + 2 * (q0 + i), steps[i].f);
    }
    row[2 * p] = x[0], row[2 * p + 1] = x[1];
}

void complex_columns_two(double *r0, double *r1, size_t p, size_t q0, const ComplexStep *steps, size_t to) noexcept {
    complex_columns_one(r0, p, q0, steps, 0, to);
    complex_columns_one(r1, p, q0, steps, 0, to);
}

#endif

const RotationKernels rotation_kernels_sse2{real_rows_sse2, complex_pairs_sse2};

} // namespace kelvra::linalg
