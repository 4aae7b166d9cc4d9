// Klein-four hypervectors: one element 0..3 per byte, the group operation is
// XOR of the two bits. Every operation validates its elements as it goes: an
// element above 3 stops it with status 2 and the earlier output written.
// Bundles count each bit separately and keep it where more than half of the
// vectors have it.
#include "frame/status.hpp"
#include "hdc/element_ops.hpp"
#include "kelvra.h"

namespace kelvra::hdc {

namespace {

constexpr uint8_t kMaxElement = 3;

uint64_t first_invalid(const uint8_t *v, uint64_t n) noexcept { return find_invalid<Klein4Element>(v, n); }

// Adds elements [0, end) of v to an accumulator for n elements: bit 0 to
// counter 1 + i, bit 1 to counter 1 + n + i.
void add_bits(uint32_t *acc, const uint8_t *v, uint64_t n, uint64_t end) noexcept {
    uint32_t *bit0 = acc + 1, *bit1 = acc + 1 + n;
    for (uint64_t i = 0; i < end; ++i) {
        bit0[i] += v[i] & 1u;
        bit1[i] += v[i] >> 1;
    }
}

// One vector into an accumulator, element by element: an invalid element
// leaves the earlier elements counted and counter [0] unchanged.
bool accumulate(uint32_t *acc, const uint8_t *v, uint64_t n) noexcept {
    const uint64_t end = first_invalid(v, n);
    add_bits(acc, v, n, end);
    if (end < n) return false;
    ++acc[0];
    return true;
}

constexpr uint8_t kCycle[2][4] = {{0, 2, 3, 1}, {0, 3, 1, 2}};

} // namespace

} // namespace kelvra::hdc

using namespace kelvra::hdc;

extern "C" KELVRA_API kelvra_status kelvra_klein4_bind(const uint8_t *a, const uint8_t *b, uint32_t n,
                                                       uint8_t *out) noexcept {
    return bind_elements<Klein4Element>(a, b, n, out);
}

extern "C" KELVRA_API kelvra_status kelvra_klein4_bundle(const uint8_t *const *vectors, uint32_t count, uint32_t n,
                                                         uint8_t *out) noexcept {
    return bundle_elements<Klein4Element>(vectors, count, n, out);
}

extern "C" KELVRA_API kelvra_status kelvra_klein4_bundle_accumulate(uint32_t *acc, const uint8_t *v,
                                                                    uint64_t n) noexcept {
    if (acc == nullptr || v == nullptr) return KELVRA_ERR_ARG;
    if (n == 0) return KELVRA_ERR_DATA;
    return accumulate(acc, v, n) ? KELVRA_OK : KELVRA_ERR_DATA;
}

extern "C" KELVRA_API kelvra_status kelvra_klein4_bundle_resolve(const uint32_t *acc, uint8_t *out,
                                                                 uint64_t n) noexcept {
    if (acc == nullptr || out == nullptr) return KELVRA_ERR_ARG;
    if (n == 0) return KELVRA_ERR_DATA;
    const uint32_t half = acc[0] / 2;
    const uint32_t *bit0 = acc + 1, *bit1 = acc + 1 + n;
    for (uint64_t i = 0; i < n; ++i) {
        out[i] = static_cast<uint8_t>((bit1[i] > half ? 2u : 0u) | (bit0[i] > half ? 1u : 0u));
    }
    return KELVRA_OK;
}

// Each table row is a bundle accumulator for its centre token; every context
// position in the window adds its codebook row once and counts once.
extern "C" KELVRA_API kelvra_status kelvra_klein4_cooccurrence_fold(const uint8_t *codebook, uint32_t vocab,
                                                                    const uint32_t *tokens, uint32_t ntokens,
                                                                    uint32_t window, uint64_t dim,
                                                                    uint32_t *table) noexcept {
    if (codebook == nullptr || tokens == nullptr || table == nullptr) return KELVRA_ERR_ARG;
    if (vocab == 0 || window == 0 || dim == 0) return KELVRA_ERR_DATA;
    // A table of 2^64 bytes or more cannot exist; refuse rather than wrap.
    constexpr uint64_t kMaxCounters = UINT64_MAX / sizeof(uint32_t);
    if (dim > (kMaxCounters - 1) / 2 || 2 * dim + 1 > kMaxCounters / vocab) return KELVRA_ERR_DATA;
    const uint64_t row_counters = 2 * dim + 1;
    const uint64_t all_counters = row_counters * vocab;
    for (uint64_t i = 0; i < all_counters; ++i) table[i] = 0;
    for (uint64_t t = 0; t < ntokens; ++t) {
        const uint32_t centre = tokens[t];
        if (centre >= vocab) return KELVRA_ERR_DATA;
        const uint64_t lo = t > window ? t - window : 0;
        const uint64_t hi = window >= ntokens - t ? ntokens : t + window + 1;
        uint32_t *row = table + centre * row_counters;
        for (uint64_t u = lo; u < hi; ++u) {
            if (u == t) continue;
            const uint32_t context = tokens[u];
            if (context >= vocab) return KELVRA_ERR_DATA;
            if (!accumulate(row, codebook + context * dim, dim)) return KELVRA_ERR_DATA;
        }
    }
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_klein4_similarity(const uint8_t *a, const uint8_t *b, uint32_t n,
                                                             double *out) noexcept {
    if (a == nullptr || b == nullptr || out == nullptr) return KELVRA_ERR_ARG;
    if (n == 0) return KELVRA_ERR_DATA;
    if (first_invalid(a, n) < n || first_invalid(b, n) < n) return KELVRA_ERR_DATA;
    uint32_t equal = 0;
    for (uint32_t i = 0; i < n; ++i) equal += a[i] == b[i] ? 1u : 0u;
    *out = static_cast<double>(equal) / static_cast<double>(n);
    return KELVRA_OK;
}

// Direction 0 maps 1 -> 2 -> 3 -> 1, the other direction back; 0 stays.
extern "C" KELVRA_API kelvra_status kelvra_klein4_triality_cycle(const uint8_t *in, uint32_t n, int32_t inverse,
                                                                 uint8_t *out) noexcept {
    if (in == nullptr || out == nullptr) return KELVRA_ERR_ARG;
    if (n == 0) return KELVRA_ERR_DATA;
    const uint8_t *cycle = kCycle[inverse != 0 ? 1 : 0];
    for (uint32_t i = 0; i < n; ++i) {
        if (in[i] > kMaxElement) return KELVRA_ERR_DATA;
        out[i] = cycle[in[i]];
    }
    return KELVRA_OK;
}
