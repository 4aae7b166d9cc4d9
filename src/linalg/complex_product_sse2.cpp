// The complex products of complex_product.hpp. On x86-64 one complex element
// (re, im) fills an SSE2 register (part of the baseline, so no processor query
// is needed); elsewhere a pair of doubles stands for the register and every
// lane gets the same operation, so the bits are the same.
//
// One term of b(l, j) a(i, l) as two lanes (re, im):
//   b * (a.re, a.re) + swap(b) * (-a.im, a.im)
//   = (b.re a.re - b.im a.im, b.im a.re + b.re a.im),
// the stated products and sums exactly: x + (-y) is x - y, and a sum of two
// values does not depend on their order. The term is formed in full before it
// joins the running sum.
#include "linalg/complex_product.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelvra::linalg {

namespace {

#if defined(__SSE2__)

using V = __m128d;

inline V zero() noexcept { return _mm_setzero_pd(); }
inline V load(const double *p) noexcept { return _mm_loadu_pd(p); }
inline void store(double *p, V v) noexcept { _mm_storeu_pd(p, v); }
inline V add(V x, V y) noexcept { return _mm_add_pd(x, y); }
inline V swap_lanes(V v) noexcept { return _mm_shuffle_pd(v, v, 1); }

struct Factor {
    V re_re; // (a.re, a.re)
    V im_im; // (-a.im, a.im)
};

inline Factor factor(const double *a) noexcept {
    const V v = _mm_loadu_pd(a);
    const V re = _mm_unpacklo_pd(v, v), im = _mm_unpackhi_pd(v, v);
    return {re, _mm_xor_pd(im, _mm_set_pd(0.0, -0.0))};
}

inline V term(V b, V b_swapped, const Factor &a) noexcept {
    return _mm_add_pd(_mm_mul_pd(b, a.re_re), _mm_mul_pd(b_swapped, a.im_im));
}

#else

struct V {
    double lo, hi;
};

inline V zero() noexcept { return {0.0, 0.0}; }
inline V load(const double *p) noexcept { return {p[0], p[1]}; }
inline void store(double *p, V v) noexcept { p[0] = v.lo, p[1] = v.hi; }
inline V add(V x, V y) noexcept { return {x.lo + y.lo, x.hi + y.hi}; }
inline V swap_lanes(V v) noexcept { return {v.hi, v.lo}; }

struct Factor {
    V re_re; // (a.re, a.re)
    V im_im; // (-a.im, a.im)
};

inline Factor factor(const double *a) noexcept { return {{a[0], a[0]}, {-a[1], a[1]}}; }

inline V term(V b, V b_swapped, const Factor &a) noexcept {
    return {b.lo * a.re_re.lo + b_swapped.lo * a.im_im.lo, b.hi * a.re_re.hi + b_swapped.hi * a.im_im.hi};
}

#endif

// C(i0 .. i0+R-1, j0 .. j0+J-1) with l = 0 .. inner-1 in order; the sums stay
// in registers (R x J of them).
template <int R, int J>
void product_tile(uint32_t inner, uint32_t cols, const double *a, const double *b, double *c, size_t i0,
                  size_t j0) noexcept {
    V sum[R][J];
    for (int r = 0; r < R; ++r) {
        for (int j = 0; j < J; ++j) sum[r][j] = zero();
    }
    for (size_t l = 0; l < inner; ++l) {
        Factor f[R];
        for (int r = 0; r < R; ++r) f[r] = factor(a + 2 * ((i0 + r) * inner + l));
        const double *b_row = b + 2 * (l * cols + j0);
        for (int j = 0; j < J; ++j) {
            const V bj = load(b_row + 2 * j), bs = swap_lanes(bj);
            for (int r = 0; r < R; ++r) sum[r][j] = add(sum[r][j], term(bj, bs, f[r]));
        }
    }
    for (int r = 0; r < R; ++r) {
        for (int j = 0; j < J; ++j) store(c + 2 * ((i0 + r) * cols + j0 + j), sum[r][j]);
    }
}

template <int R>
void product_rows(uint32_t inner, uint32_t cols, const double *a, const double *b, double *c, size_t i0) noexcept {
    constexpr int kCols = 4;
    size_t j = 0;
    for (; j + kCols <= cols; j += kCols) product_tile<R, kCols>(inner, cols, a, b, c, i0, j);
    for (; j < cols; ++j) product_tile<R, 1>(inner, cols, a, b, c, i0, j);
}

} // namespace

void matmul_complex(uint32_t rows, uint32_t inner, uint32_t cols, const double *a, const double *b,
                    double *c) noexcept {
    constexpr int kRows = 2;
    size_t i = 0;
    for (; i + kRows <= rows; i += kRows) product_rows<kRows>(inner, cols, a, b, c, i);
    for (; i < rows; ++i) product_rows<1>(inner, cols, a, b, c, i);
}

void multiply_complex(size_t count, const double *a, const double *b, double *out) noexcept {
    for (size_t i = 0; i < count; ++i) {
        const V bi = load(b + 2 * i);
        store(out + 2 * i, term(bi, swap_lanes(bi), factor(a + 2 * i)));
    }
}

} // namespace kelvra::linalg
