// Dense linear algebra on caller arrays: Gauss-Jordan solving in the caller's
// workspace, complex matrix products and element-wise operations.
#include <cmath>
#include <cstring>

#include "frame/status.hpp"
#include "frame/tier.hpp"
#include "kelvra.h"
#include "linalg/complex_product.hpp"
#include "linalg/dense_workspace.hpp"
#include "linalg/elimination_kernels.hpp"
#include "linalg/gauss_jordan.hpp"

namespace kelvra::linalg {

namespace {

// The workspace size, or none when it passes 2^64 (no workspace can then be
// large enough).
bool workspace_needed(uint32_t n, uint32_t m, uint64_t &bytes) noexcept {
    const unsigned __int128 need = dense_workspace_bytes(n, m);
    if (need > UINT64_MAX) return false;
    bytes = static_cast<uint64_t>(need);
    return true;
}

SubtractSteps row_kernel() noexcept {
    static constexpr SubtractSteps by_tier[] = {subtract_steps_sse2, subtract_steps_avx};
    return tier::pick(tier::dense_elimination, by_tier);
}

double *align8(void *workspace) noexcept {
    const uintptr_t address = reinterpret_cast<uintptr_t>(workspace);
    return reinterpret_cast<double *>((address + 7) & ~uintptr_t{7});
}

// The complex products: complex_product.hpp.

} // namespace

void subtract_steps_sse2(double *targets, const double *multipliers, size_t row_stride, size_t rows,
                         const DelayedSteps &d) noexcept {
    subtract_steps_body(targets, multipliers, row_stride, rows, d);
}

} // namespace kelvra::linalg

using namespace kelvra::linalg;

extern "C" KELVRA_API kelvra_status kelvra_dense_solve_f64_ws(uint32_t n, uint32_t m, const double *a, const double *b,
                                                              double *x, void *workspace,
                                                              uint64_t workspace_bytes) noexcept {
    if (a == nullptr || b == nullptr || x == nullptr) return KELVRA_ERR_ARG;
    if (n == 0 || m == 0) return KELVRA_OK;
    if (workspace == nullptr) return KELVRA_ERR_ARG;
    uint64_t needed = 0;
    if (!workspace_needed(n, m, needed) || workspace_bytes < needed) return KELVRA_ERR_CAPACITY;
    GaussJordan system(n, m, align8(workspace), row_kernel());
    system.load(a, b);
    if (!system.reduce()) return KELVRA_ERR_DATA;
    system.store_solution(x);
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_dense_matmul_complex(uint32_t rows, uint32_t inner, uint32_t cols,
                                                                const double *a, const double *b, double *c) noexcept {
    if (a == nullptr || b == nullptr || c == nullptr) return KELVRA_ERR_ARG;
    if (rows == 0 || cols == 0) return KELVRA_OK;
    matmul_complex(rows, inner, cols, a, b, c);
    return KELVRA_OK;
}

// Each element's inputs are loaded before its output is stored, so out may
// be a or b itself.
extern "C" KELVRA_API kelvra_status kelvra_elementwise_multiply_complex(uint32_t count, const double *a,
                                                                        const double *b, double *out) noexcept {
    if (out == nullptr) return KELVRA_ERR_ARG;
    if (count > 0 && (a == nullptr || b == nullptr)) return KELVRA_ERR_ARG;
    multiply_complex(count, a, b, out);
    return KELVRA_OK;
}

// The library's own exp, cos, sin and log, element by element; their
// per-element statuses are not consulted. For log every input is checked
// first, so a non-positive one leaves out untouched (a NaN passes).
extern "C" KELVRA_API kelvra_status kelvra_elementwise_transcendental(uint32_t count, const double *in, uint32_t op,
                                                                      double *out) noexcept {
    if (out == nullptr) return KELVRA_ERR_ARG;
    if (count > 0 && in == nullptr) return KELVRA_ERR_ARG;
    if (op > 3) return KELVRA_ERR_DATA;
    if (count == 0) return KELVRA_OK;
    using Function = kelvra_status (*)(double, double *) noexcept;
    static constexpr Function by_op[4] = {kelvra_exp, kelvra_cos, kelvra_sin, kelvra_log};
    if (op == 3) {
        for (size_t i = 0; i < count; ++i) {
            if (in[i] <= 0.0) return KELVRA_ERR_DATA;
        }
    }
    for (size_t i = 0; i < count; ++i) (void)by_op[op](in[i], out + i);
    return KELVRA_OK;
}
