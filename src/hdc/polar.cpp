// Bipolar (ternary) hypervectors: one signed byte per element, -1, 0 or +1.
// Every operation validates its elements as it goes: any other value stops it
// with status 2 and the earlier output written.
#include "frame/status.hpp"
#include "hdc/element_ops.hpp"
#include "kelvra.h"

namespace kelvra::hdc {

namespace {

uint64_t first_invalid(const int8_t *v, uint64_t n) noexcept { return find_invalid<PolarElement>(v, n); }

} // namespace

} // namespace kelvra::hdc

using namespace kelvra::hdc;

extern "C" KELVRA_API kelvra_status kelvra_polar_bind(const int8_t *a, const int8_t *b, uint32_t n,
                                                      int8_t *out) noexcept {
    return bind_elements<PolarElement>(a, b, n, out);
}

extern "C" KELVRA_API kelvra_status kelvra_polar_bundle(const int8_t *const *vectors, uint32_t count, uint32_t n,
                                                        int8_t *out) noexcept {
    return bundle_elements<PolarElement>(vectors, count, n, out);
}

extern "C" KELVRA_API kelvra_status kelvra_polar_density(const int8_t *v, uint32_t n, double *out) noexcept {
    if (v == nullptr || out == nullptr) return KELVRA_ERR_ARG;
    if (n == 0) return KELVRA_ERR_DATA;
    if (first_invalid(v, n) < n) return KELVRA_ERR_DATA;
    uint32_t nonzero = 0;
    for (uint32_t i = 0; i < n; ++i) nonzero += v[i] != 0 ? 1u : 0u;
    *out = static_cast<double>(nonzero) / static_cast<double>(n);
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_polar_similarity(const int8_t *a, const int8_t *b, uint32_t n,
                                                            int32_t nonzero_only, double *out) noexcept {
    if (a == nullptr || b == nullptr || out == nullptr) return KELVRA_ERR_ARG;
    if (n == 0) return KELVRA_ERR_DATA;
    if (first_invalid(a, n) < n || first_invalid(b, n) < n) return KELVRA_ERR_DATA;
    uint32_t counted = 0, agreements = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const bool counts = nonzero_only == 0 || (a[i] != 0 && b[i] != 0);
        counted += counts ? 1u : 0u;
        agreements += counts && a[i] == b[i] ? 1u : 0u;
    }
    *out = counted == 0 ? 0.0 : static_cast<double>(agreements) / static_cast<double>(counted);
    return KELVRA_OK;
}
