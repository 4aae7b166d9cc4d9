// Dense linear algebra on caller arrays: Gauss-Jordan solving in the caller's
// workspace, complex matrix products and element-wise operations.
#include <emmintrin.h>

#include <cmath>
#include <cstring>

#include "frame/status.hpp"
#include "frame/tier.hpp"
#include "kelvra.h"
#include "linalg/elimination_kernels.hpp"
#include "linalg/gauss_jordan.hpp"

namespace kelvra::linalg {

namespace {

constexpr kelvra_status ok = KELVRA_OK;
constexpr kelvra_status bad_arg = to_c(Status::arg);
constexpr kelvra_status bad_data = to_c(Status::data);
constexpr kelvra_status too_small = to_c(Status::capacity);

// The workspace formula (n + m) n 8 + 8, or none when it passes 2^64 (no
// workspace can then be large enough).
bool workspace_needed(uint32_t n, uint32_t m, uint64_t &bytes) noexcept {
    const unsigned __int128 need = (static_cast<unsigned __int128>(n) + m) * n * 8 + 8;
    if (need > UINT64_MAX) return false;
    bytes = static_cast<uint64_t>(need);
    return true;
}

// Below this many augmented-matrix cells the processor query (microseconds
// where it traps to a hypervisor) would cost more than the wider row updates
// save.
constexpr uint64_t kTieredFrom = 64 * 64;

SubtractSteps row_kernel(uint32_t n, uint32_t m) noexcept {
    if (uint64_t{n} * (uint64_t{n} + m) < kTieredFrom) return subtract_steps_sse2;
    static constexpr SubtractSteps by_tier[] = {subtract_steps_sse2, subtract_steps_avx};
    return tier::pick(tier::dense_elimination, by_tier);
}

double *align8(void *workspace) noexcept {
    const uintptr_t address = reinterpret_cast<uintptr_t>(workspace);
    return reinterpret_cast<double *>((address + 7) & ~uintptr_t{7});
}

// ---- complex products -------------------------------------------------------
//
// One term of b(l, j) a(i, l) as two lanes (re, im):
//   b * (a.re, a.re) + swap(b) * (-a.im, a.im)
//   = (b.re a.re - b.im a.im, b.im a.re + b.re a.im),
// the stated products and sums exactly: x + (-y) is x - y, and a sum of two
// values does not depend on their order. The term is formed in full before it
// joins the running sum.

struct Factor {
    __m128d re_re; // (a.re, a.re)
    __m128d im_im; // (-a.im, a.im)
};

inline Factor factor(const double *a) noexcept {
    const __m128d v = _mm_loadu_pd(a);
    const __m128d re = _mm_unpacklo_pd(v, v), im = _mm_unpackhi_pd(v, v);
    return {re, _mm_xor_pd(im, _mm_set_pd(0.0, -0.0))};
}

inline __m128d swap_lanes(__m128d v) noexcept { return _mm_shuffle_pd(v, v, 1); }

inline __m128d term(__m128d b, __m128d b_swapped, const Factor &a) noexcept {
    return _mm_add_pd(_mm_mul_pd(b, a.re_re), _mm_mul_pd(b_swapped, a.im_im));
}

// C(i0 .. i0+R-1, j0 .. j0+J-1) with l = 0 .. inner-1 in order; the sums stay
// in registers (R x J of them).
template <int R, int J>
void product_tile(uint32_t inner, uint32_t cols, const double *a, const double *b, double *c, size_t i0,
                  size_t j0) noexcept {
    __m128d sum[R][J];
    for (int r = 0; r < R; ++r) {
        for (int j = 0; j < J; ++j) sum[r][j] = _mm_setzero_pd();
    }
    for (size_t l = 0; l < inner; ++l) {
        Factor f[R];
        for (int r = 0; r < R; ++r) f[r] = factor(a + 2 * ((i0 + r) * inner + l));
        const double *b_row = b + 2 * (l * cols + j0);
        for (int j = 0; j < J; ++j) {
            const __m128d bj = _mm_loadu_pd(b_row + 2 * j), bs = swap_lanes(bj);
            for (int r = 0; r < R; ++r) sum[r][j] = _mm_add_pd(sum[r][j], term(bj, bs, f[r]));
        }
    }
    for (int r = 0; r < R; ++r) {
        for (int j = 0; j < J; ++j) _mm_storeu_pd(c + 2 * ((i0 + r) * cols + j0 + j), sum[r][j]);
    }
}

template <int R>
void product_rows(uint32_t inner, uint32_t cols, const double *a, const double *b, double *c, size_t i0) noexcept {
    constexpr int kCols = 4;
    size_t j = 0;
    for (; j + kCols <= cols; j += kCols) product_tile<R, kCols>(inner, cols, a, b, c, i0, j);
    for (; j < cols; ++j) product_tile<R, 1>(inner, cols, a, b, c, i0, j);
}

void matmul_complex(uint32_t rows, uint32_t inner, uint32_t cols, const double *a, const double *b,
                    double *c) noexcept {
    constexpr int kRows = 2;
    size_t i = 0;
    for (; i + kRows <= rows; i += kRows) product_rows<kRows>(inner, cols, a, b, c, i);
    for (; i < rows; ++i) product_rows<1>(inner, cols, a, b, c, i);
}

} // namespace

void subtract_steps_sse2(double *targets, const double *multipliers, size_t row_stride, size_t rows,
                         const DelayedSteps &d) noexcept {
    subtract_steps_body(targets, multipliers, row_stride, rows, d);
}

} // namespace kelvra::linalg

using namespace kelvra::linalg;

extern "C" KELVRA_API kelvra_status kelvra_dense_solve_f64_ws(uint32_t n, uint32_t m, const double *a,
                                                              const double *b, double *x, void *workspace,
                                                              uint64_t workspace_bytes) noexcept {
    if (a == nullptr || b == nullptr || x == nullptr) return bad_arg;
    if (n == 0 || m == 0) return ok;
    if (workspace == nullptr) return bad_arg;
    uint64_t needed = 0;
    if (!workspace_needed(n, m, needed) || workspace_bytes < needed) return too_small;
    GaussJordan system(n, m, align8(workspace), row_kernel(n, m));
    system.load(a, b);
    if (!system.reduce()) return bad_data;
    system.store_solution(x);
    return ok;
}

extern "C" KELVRA_API kelvra_status kelvra_dense_matmul_complex(uint32_t rows, uint32_t inner, uint32_t cols,
                                                                const double *a, const double *b,
                                                                double *c) noexcept {
    if (a == nullptr || b == nullptr || c == nullptr) return bad_arg;
    if (rows == 0 || cols == 0) return ok;
    matmul_complex(rows, inner, cols, a, b, c);
    return ok;
}

// Each element's inputs are loaded before its output is stored, so out may
// be a or b itself.
extern "C" KELVRA_API kelvra_status kelvra_elementwise_multiply_complex(uint32_t count, const double *a,
                                                                        const double *b, double *out) noexcept {
    if (out == nullptr) return bad_arg;
    if (count > 0 && (a == nullptr || b == nullptr)) return bad_arg;
    for (size_t i = 0; i < count; ++i) {
        const __m128d bi = _mm_loadu_pd(b + 2 * i);
        _mm_storeu_pd(out + 2 * i, term(bi, swap_lanes(bi), factor(a + 2 * i)));
    }
    return ok;
}

// The library's own exp, cos, sin and log, element by element; their
// per-element statuses are not consulted. For log every input is checked
// first, so a non-positive one leaves out untouched (a NaN passes).
extern "C" KELVRA_API kelvra_status kelvra_elementwise_transcendental(uint32_t count, const double *in, uint32_t op,
                                                                      double *out) noexcept {
    if (out == nullptr) return bad_arg;
    if (count > 0 && in == nullptr) return bad_arg;
    if (op > 3) return bad_data;
    if (count == 0) return ok;
    using Function = kelvra_status (*)(double, double *) noexcept;
    static constexpr Function by_op[4] = {kelvra_exp, kelvra_cos, kelvra_sin, kelvra_log};
    if (op == 3) {
        for (size_t i = 0; i < count; ++i) {
            if (in[i] <= 0.0) return bad_data;
        }
    }
    for (size_t i = 0; i < count; ++i) (void)by_op[op](in[i], out + i);
    return ok;
}
