// Counting the bits in which two packed vectors differ. One kernel per
// processor tier; all of them count exactly the bits a byte-by-byte table
// lookup over a XOR b would count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kelvra::hdc {

// Helpers of the kernels, with internal linkage: each tier file keeps its own
// copy built with its own flags, so no baseline caller can end up with a copy
// compiled for a wider tier.
namespace {

// Population count of one 64-bit word by the SWAR ladder (no table, no
// special instruction).
inline uint64_t popcount_swar(uint64_t x) noexcept {
    x = x - ((x >> 1) & 0x5555555555555555u);
    x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
    x = (x + (x >> 4)) & 0x0f0f0f0f0f0f0f0fu;
    return (x * 0x0101010101010101u) >> 56;
}

inline uint64_t load64(const uint8_t *p) noexcept {
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

// Differing bits of the last n < 8 bytes (and of any short run).
inline uint64_t differing_bits_words(const uint8_t *a, const uint8_t *b, size_t n) noexcept {
    uint64_t count = 0;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) count += popcount_swar(load64(a + i) ^ load64(b + i));
    uint64_t tail = 0;
    for (size_t k = 0; i < n; ++i, ++k) tail |= uint64_t(a[i] ^ b[i]) << (8 * k);
    return count + popcount_swar(tail);
}

} // namespace

// Tier 0: the SWAR ladder 16 bytes at a time in SSE2 registers (part of the
// x86-64 baseline, so no processor query is needed), 8 bytes at a time
// elsewhere; popcount_sse2.cpp.
uint64_t differing_bits_portable(const uint8_t *a, const uint8_t *b, size_t n) noexcept;
// Tier 1: the POPCNT instruction (popcount_popcnt.cpp, built with -mpopcnt).
uint64_t differing_bits_popcnt(const uint8_t *a, const uint8_t *b, size_t n) noexcept;
// Tier 2: 256-bit nibble lookups (popcount_avx2.cpp).
uint64_t differing_bits_avx2(const uint8_t *a, const uint8_t *b, size_t n) noexcept;

// The kernel for the tier in force ("KELVRA_HDC_FORCE_TIER", clamped to what
// the processor supports).
uint64_t differing_bits(const uint8_t *a, const uint8_t *b, size_t n) noexcept;

} // namespace kelvra::hdc
