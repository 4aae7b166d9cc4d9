// Binding and bundling written once for the Klein-four and bipolar families,
// over an element trait (elements.hpp) that adds:
//   Type                      the byte type of an element;
//   bind(a, b)                the group operation on two elements;
//   bind_run(a, b, len, out)  the same over a run known to be valid;
//   Tally                     per-position counts of a block of a bundle, with
//                             clear(len), add(v, end) and resolve(i, count).
// Every operation validates its elements as it goes: an invalid element
// stops it with status 2, the output before it written.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/status.hpp"
#include "hdc/bytes.hpp"
#include "hdc/elements.hpp"
#include "kelvra.h"

namespace kelvra::hdc {

template <class E>
bool bind_checked(const typename E::Type *a, const typename E::Type *b, uint64_t n, typename E::Type *out) noexcept {
    for (uint64_t i = 0; i < n; ++i) {
        if (!E::valid(a[i]) || !E::valid(b[i])) return false;
        out[i] = E::bind(a[i], b[i]);
    }
    return true;
}

// Block by block: a block whose elements are all valid goes through the run
// form; the first block that is not goes element by element and stops there.
template <class E>
bool bind_blocks(const typename E::Type *a, const typename E::Type *b, uint64_t n, typename E::Type *out) noexcept {
    for (uint64_t start = 0; start < n; start += kElementBlock) {
        const size_t len = block_length(n, start);
        if (!valid_block<E>(a + start, len) || !valid_block<E>(b + start, len))
            return bind_checked<E>(a + start, b + start, len, out + start);
        E::bind_run(a + start, b + start, len, out + start);
    }
    return true;
}

// out[i] = bind(a[i], b[i]). Blocks are used only where out cannot overwrite
// an input element before it is read.
template <class E>
kelvra_status bind_elements(const typename E::Type *a, const typename E::Type *b, uint32_t n,
                            typename E::Type *out) noexcept {
    if (a == nullptr || b == nullptr || out == nullptr) return KELVRA_ERR_ARG;
    if (n == 0) return KELVRA_ERR_DATA;
    const bool wide = blockwise_safe(out, a, n) && blockwise_safe(out, b, n);
    const bool valid = wide ? bind_blocks<E>(a, b, n, out) : bind_checked<E>(a, b, n, out);
    return valid ? KELVRA_OK : KELVRA_ERR_DATA;
}

// Bundles elements [start, start + len) of all vectors into out. Vectors are
// taken one after the other for speed, but the outcome is that of going
// element by element through all vectors: if some vector holds an invalid
// element, output stops just before the earliest such position.
template <class E>
bool bundle_block(const typename E::Type *const *vectors, uint32_t count, uint64_t start, size_t len,
                  typename E::Type *out, typename E::Tally &tally) noexcept {
    tally.clear(len);
    size_t end = len;
    for (uint32_t v = 0; v < count; ++v) {
        const typename E::Type *p = vectors[v] + start;
        end = static_cast<size_t>(find_invalid<E>(p, end));
        tally.add(p, end);
    }
    for (size_t i = 0; i < end; ++i) out[start + i] = tally.resolve(i, count);
    return end == len;
}

// Going element by element, a missing vector is met at element 0, unless an
// earlier vector's element 0 is invalid first; so every vector's element 0 is
// looked at before anything is written.
template <class E>
kelvra_status bundle_elements(const typename E::Type *const *vectors, uint32_t count, uint32_t n,
                              typename E::Type *out) noexcept {
    if (vectors == nullptr || out == nullptr) return KELVRA_ERR_ARG;
    if (count == 0 || n == 0) return KELVRA_ERR_DATA;
    for (uint32_t v = 0; v < count; ++v) {
        if (vectors[v] == nullptr) return KELVRA_ERR_ARG;
        if (!E::valid(vectors[v][0])) return KELVRA_ERR_DATA;
    }
    typename E::Tally tally;
    for (uint64_t start = 0; start < n; start += kElementBlock) {
        if (!bundle_block<E>(vectors, count, start, block_length(n, start), out, tally)) return KELVRA_ERR_DATA;
    }
    return KELVRA_OK;
}

} // namespace kelvra::hdc
