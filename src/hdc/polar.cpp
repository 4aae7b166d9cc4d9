// Bipolar (ternary) hypervectors: one signed byte per element, -1, 0 or +1.
// Every operation validates its elements as it goes: any other value stops it
// with status 2 and the earlier output written.
#include "frame/status.hpp"
#include "hdc/bytes.hpp"
#include "hdc/elements.hpp"
#include "kelvra.h"

namespace kelvra::hdc {

namespace {

constexpr kelvra_status ok = KELVRA_OK;
constexpr kelvra_status bad_arg = to_c(Status::arg);
constexpr kelvra_status bad_data = to_c(Status::data);

constexpr size_t kBlock = kElementBlock;

inline bool valid(int8_t x) noexcept { return PolarElement::valid(x); }

uint64_t first_invalid(const int8_t *v, uint64_t n) noexcept { return find_invalid<PolarElement>(v, n); }

bool all_valid(const int8_t *v, size_t n) noexcept { return valid_block<PolarElement>(v, n); }

bool bind_checked(const int8_t *a, const int8_t *b, uint32_t n, int8_t *out) noexcept {
    for (uint32_t i = 0; i < n; ++i) {
        if (!valid(a[i]) || !valid(b[i])) return false;
        out[i] = static_cast<int8_t>(a[i] * b[i]);
    }
    return true;
}

bool bind_blocks(const int8_t *a, const int8_t *b, uint32_t n, int8_t *out) noexcept {
    for (uint64_t start = 0; start < n; start += kBlock) {
        const size_t len = block_length(n, start);
        if (!all_valid(a + start, len) || !all_valid(b + start, len)) {
            return bind_checked(a + start, b + start, static_cast<uint32_t>(len), out + start);
        }
        for (size_t i = 0; i < len; ++i) out[start + i] = static_cast<int8_t>(a[start + i] * b[start + i]);
    }
    return true;
}

// Bundles elements [start, start + len): vectors one after the other, with
// the outcome of going element by element through all vectors (output stops
// just before the earliest position where some vector is invalid).
bool bundle_block(const int8_t *const *vectors, uint32_t count, uint64_t start, size_t len, int8_t *out,
                  int64_t *sums) noexcept {
    for (size_t i = 0; i < len; ++i) sums[i] = 0;
    size_t end = len;
    for (uint32_t v = 0; v < count; ++v) {
        const int8_t *p = vectors[v] + start;
        end = static_cast<size_t>(first_invalid(p, end));
        for (size_t i = 0; i < end; ++i) sums[i] += p[i];
    }
    for (size_t i = 0; i < end; ++i) out[start + i] = static_cast<int8_t>((sums[i] > 0) - (sums[i] < 0));
    return end == len;
}

// Element 0 of every vector is visited before anything is written.
kelvra_status first_vector_problem(const int8_t *const *vectors, uint32_t count) noexcept {
    for (uint32_t v = 0; v < count; ++v) {
        if (vectors[v] == nullptr) return bad_arg;
        if (!valid(vectors[v][0])) return bad_data;
    }
    return ok;
}

} // namespace

} // namespace kelvra::hdc

using namespace kelvra::hdc;

extern "C" KELVRA_API kelvra_status kelvra_polar_bind(const int8_t *a, const int8_t *b, uint32_t n,
                                                      int8_t *out) noexcept {
    if (a == nullptr || b == nullptr || out == nullptr) return bad_arg;
    if (n == 0) return bad_data;
    const bool wide = blockwise_safe(out, a, n) && blockwise_safe(out, b, n);
    const bool all_ok = wide ? bind_blocks(a, b, n, out) : bind_checked(a, b, n, out);
    return all_ok ? ok : bad_data;
}

// The sum per position is kept in 64 bits, so any number of vectors sums
// without overflow.
extern "C" KELVRA_API kelvra_status kelvra_polar_bundle(const int8_t *const *vectors, uint32_t count, uint32_t n,
                                                        int8_t *out) noexcept {
    if (vectors == nullptr || out == nullptr) return bad_arg;
    if (count == 0 || n == 0) return bad_data;
    if (const kelvra_status s = first_vector_problem(vectors, count)) return s;
    int64_t sums[kBlock];
    for (uint64_t start = 0; start < n; start += kBlock) {
        if (!bundle_block(vectors, count, start, block_length(n, start), out, sums)) return bad_data;
    }
    return ok;
}

extern "C" KELVRA_API kelvra_status kelvra_polar_density(const int8_t *v, uint32_t n, double *out) noexcept {
    if (v == nullptr || out == nullptr) return bad_arg;
    if (n == 0) return bad_data;
    if (first_invalid(v, n) < n) return bad_data;
    uint32_t nonzero = 0;
    for (uint32_t i = 0; i < n; ++i) nonzero += v[i] != 0 ? 1u : 0u;
    *out = static_cast<double>(nonzero) / static_cast<double>(n);
    return ok;
}

extern "C" KELVRA_API kelvra_status kelvra_polar_similarity(const int8_t *a, const int8_t *b, uint32_t n,
                                                            int32_t nonzero_only, double *out) noexcept {
    if (a == nullptr || b == nullptr || out == nullptr) return bad_arg;
    if (n == 0) return bad_data;
    if (first_invalid(a, n) < n || first_invalid(b, n) < n) return bad_data;
    uint32_t counted = 0, agreements = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const bool counts = nonzero_only == 0 || (a[i] != 0 && b[i] != 0);
        counted += counts ? 1u : 0u;
        agreements += counts && a[i] == b[i] ? 1u : 0u;
    }
    *out = counted == 0 ? 0.0 : static_cast<double>(agreements) / static_cast<double>(counted);
    return ok;
}
