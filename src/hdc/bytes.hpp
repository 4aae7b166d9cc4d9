// Byte-block helpers shared by the hypervector families.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvra::hdc {

// True when working through [0, n) front to back in blocks, each block read
// before it is written, leaves the same bytes as going one byte at a time:
// `out` starts at or before `in`, or the two ranges do not overlap. (When out
// starts inside `in`, a byte-order loop reads bytes it has just written.)
inline bool blockwise_safe(const void *out, const void *in, size_t n) noexcept {
    const uintptr_t o = reinterpret_cast<uintptr_t>(out), i = reinterpret_cast<uintptr_t>(in);
    return o <= i || o - i >= n;
}

// out = a XOR b over n bytes (xor_bytes_sse2.cpp), 16 bytes per instruction;
// large outputs are written with streaming stores so they do not evict the
// inputs from cache.
// Requires blockwise_safe(out, a, n) and blockwise_safe(out, b, n).
void xor_bytes(const uint8_t *a, const uint8_t *b, size_t n, uint8_t *out) noexcept;

} // namespace kelvra::hdc
