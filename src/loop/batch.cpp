// Batch ("hd") operations over n blocks of 8 doubles.
//
// Binding picks a kernel per call through the processor-tier rule (the
// environment may force a tier; a tier the processor lacks is never run). The
// kernel binds whole groups from the start; the remaining blocks go through the
// scalar product. The other operations loop over the single-octonion ones and
// stop at the first failing block, leaving the blocks before it written.
#include "frame/tier.hpp"
#include "kelvra.h"
#include "loop/batch_kernels.hpp"
#include "loop/octonion.hpp"

namespace kelvra::loop {

namespace {

uint64_t bind_no_blocks(const double *, const double *, uint64_t, double *) noexcept { return 0; }

constexpr BindKernel kBindKernels[] = {bind_no_blocks, bind_blocks_sse2, bind_blocks_avx};

void bind_scalar(const double *a, const double *b, uint64_t first, uint64_t n, double *out) noexcept {
    for (uint64_t k = first; k < n; ++k) octonion_product(a + 8 * k, b + 8 * k, out + 8 * k);
}

enum class Order { conjugate_first, conjugate_second };

// out_k = ā_k·b_k or b_k·ā_k; the conjugate lives in a local copy, so out may alias a or b.
void unbind(const double *a, const double *b, uint64_t n, Order order, double *out) noexcept {
    for (uint64_t k = 0; k < n; ++k) {
        double a_bar[8];
        octonion_conjugate(a + 8 * k, a_bar);
        if (order == Order::conjugate_first) octonion_product(a_bar, b + 8 * k, out + 8 * k);
        else octonion_product(b + 8 * k, a_bar, out + 8 * k);
    }
}

bool any_null(const void *p, const void *q, const void *r) noexcept {
    return p == nullptr || q == nullptr || r == nullptr;
}

} // namespace

} // namespace kelvra::loop

using namespace kelvra::loop;

extern "C" KELVRA_API kelvra_status kelvra_loop_bind_hd_f64(const double *a, const double *b, uint64_t n,
                                                            double *out) noexcept {
    if (n == 0) return KELVRA_OK;
    if (any_null(a, b, out)) return KELVRA_ERR_ARG;
    const BindKernel kernel = kelvra::tier::pick(kelvra::tier::octonion_batch, kBindKernels);
    const uint64_t handled = kernel(a, b, n, out);
    bind_scalar(a, b, handled, n, out);
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_loop_conj_hd_f64(const double *a, uint64_t n, double *out) noexcept {
    if (n == 0) return KELVRA_OK;
    if (a == nullptr || out == nullptr) return KELVRA_ERR_ARG;
    for (uint64_t k = 0; k < n; ++k) octonion_conjugate(a + 8 * k, out + 8 * k);
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_loop_inv_hd_f64(const double *a, uint64_t n, double *out) noexcept {
    if (n == 0) return KELVRA_OK;
    if (a == nullptr || out == nullptr) return KELVRA_ERR_ARG;
    for (uint64_t k = 0; k < n; ++k) {
        if (!octonion_inverse(a + 8 * k, out + 8 * k)) return KELVRA_ERR_DATA;
    }
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_loop_unbind_hd_f64(const double *a, const double *b, uint64_t n,
                                                              double *out) noexcept {
    if (n == 0) return KELVRA_OK;
    if (any_null(a, b, out)) return KELVRA_ERR_ARG;
    unbind(a, b, n, Order::conjugate_first, out);
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_loop_runbind_hd_f64(const double *a, const double *b, uint64_t n,
                                                               double *out) noexcept {
    if (n == 0) return KELVRA_OK;
    if (any_null(a, b, out)) return KELVRA_ERR_ARG;
    unbind(a, b, n, Order::conjugate_second, out);
    return KELVRA_OK;
}
