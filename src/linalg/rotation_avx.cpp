// The rotation updates built for AVX: four doubles (two complex elements) per
// instruction, separate multiplies and adds (no FMA), the same products and
// sums as the SSE2 version, so the same bits. Built with -mavx; runs only
// where the tier rule has found AVX usable. The tails go to the baseline
// updates of rotation_sse2.cpp.
#include "linalg/rotation.hpp"

#if defined(__AVX__)
#include <immintrin.h>

namespace kelvra::linalg {

namespace {

void real_rows_avx(double *x, double *y, size_t len, size_t stride, const RealRotation &r) noexcept {
    const __m256d c = _mm256_set1_pd(r.c), s = _mm256_set1_pd(r.s);
    size_t k = 0;
    for (; k + 4 <= len; k += 4) {
        const __m256d u = _mm256_loadu_pd(x + k), v = _mm256_loadu_pd(y + k);
        _mm256_storeu_pd(x + k, _mm256_sub_pd(_mm256_mul_pd(c, u), _mm256_mul_pd(s, v)));
        _mm256_storeu_pd(y + k, _mm256_add_pd(_mm256_mul_pd(s, u), _mm256_mul_pd(c, v)));
    }
    real_rows_sse2(x + k, y + k, len - k, stride, r);
}

struct ComplexFactors4 {
    __m256d c, w_re, w_im, conj_w_im;
};

inline ComplexFactors4 complex_factors4(const ComplexRotation &r) noexcept {
    return {_mm256_set1_pd(r.c), _mm256_set1_pd(r.w_re), _mm256_set_pd(r.w_im, -r.w_im, r.w_im, -r.w_im),
            _mm256_set_pd(-r.w_im, r.w_im, -r.w_im, r.w_im)};
}

// Two complex elements per register; see ComplexFactors in rotation.hpp.
inline void complex_two(__m256d u, __m256d v, __m256d &nu, __m256d &nv, const ComplexFactors4 &f) noexcept {
    const __m256d wv = _mm256_add_pd(_mm256_mul_pd(v, f.w_re), _mm256_mul_pd(_mm256_permute_pd(v, 5), f.w_im));
    const __m256d conj_wu =
        _mm256_add_pd(_mm256_mul_pd(u, f.w_re), _mm256_mul_pd(_mm256_permute_pd(u, 5), f.conj_w_im));
    nu = _mm256_sub_pd(_mm256_mul_pd(f.c, u), wv);
    nv = _mm256_add_pd(_mm256_mul_pd(f.c, v), conj_wu);
}

void complex_rows_avx(double *x, double *y, size_t len, size_t stride, const ComplexRotation &r) noexcept {
    const ComplexFactors4 f = complex_factors4(r);
    size_t k = 0;
    for (; k + 2 <= len; k += 2) {
        __m256d nu, nv;
        complex_two(_mm256_loadu_pd(x + 2 * k), _mm256_loadu_pd(y + 2 * k), nu, nv, f);
        _mm256_storeu_pd(x + 2 * k, nu);
        _mm256_storeu_pd(y + 2 * k, nv);
    }
    complex_pairs_sse2(x + 2 * k, y + 2 * k, len - k, stride, r);
}

} // namespace

const RotationKernels rotation_kernels_avx{real_rows_avx, complex_rows_avx};

} // namespace kelvra::linalg

#else

// Not built for AVX (not x86-64): the tier is never chosen; the baseline
// updates stand in.
namespace kelvra::linalg {
const RotationKernels rotation_kernels_avx{real_rows_sse2, complex_pairs_sse2};
} // namespace kelvra::linalg

#endif
