// Element validation shared by the Klein-four and bipolar families. Work goes
// in blocks: a block is checked as a whole first (a loop the compiler turns
// into wide compares), and only a block that holds an invalid element is
// searched one element at a time for where to stop.
#pragma once

#include <cstddef>
#include <cstdint>

#include "hdc/bytes.hpp"

namespace kelvra::hdc {

inline constexpr size_t kElementBlock = 4096;

inline size_t block_length(uint64_t n, uint64_t start) noexcept {
    return n - start < kElementBlock ? static_cast<size_t>(n - start) : kElementBlock;
}

// Klein-four elements are 0..3; the group operation is XOR of the two bits,
// and a bundle keeps each bit where more than half of the vectors have it.
struct Klein4Element {
    using Type = uint8_t;
    static bool valid(uint8_t x) noexcept { return x <= 3; }
    static uint8_t bind(uint8_t a, uint8_t b) noexcept { return a ^ b; }
    static void bind_run(const uint8_t *a, const uint8_t *b, size_t len, uint8_t *out) noexcept {
        xor_bytes(a, b, len, out);
    }
    struct Tally {
        uint32_t bit0[kElementBlock], bit1[kElementBlock];
        void clear(size_t len) noexcept {
            for (size_t i = 0; i < len; ++i) bit0[i] = bit1[i] = 0;
        }
        void add(const uint8_t *v, size_t end) noexcept {
            for (size_t i = 0; i < end; ++i) {
                bit0[i] += v[i] & 1u;
                bit1[i] += v[i] >> 1;
            }
        }
        uint8_t resolve(size_t i, uint32_t count) const noexcept {
            const uint32_t half = count / 2;
            return static_cast<uint8_t>((bit1[i] > half ? 2u : 0u) | (bit0[i] > half ? 1u : 0u));
        }
    };
};

// Bipolar elements are -1, 0, +1: exactly the bytes that become 0, 1, 2 when
// 1 is added. The group operation is the product; a bundle keeps the sign of
// the sum, which is kept in 64 bits so any number of vectors sums exactly.
struct PolarElement {
    using Type = int8_t;
    static bool valid(int8_t x) noexcept { return static_cast<uint8_t>(x + 1) <= 2; }
    static int8_t bind(int8_t a, int8_t b) noexcept { return static_cast<int8_t>(a * b); }
    static void bind_run(const int8_t *a, const int8_t *b, size_t len, int8_t *out) noexcept {
        for (size_t i = 0; i < len; ++i) out[i] = bind(a[i], b[i]);
    }
    struct Tally {
        int64_t sums[kElementBlock];
        void clear(size_t len) noexcept {
            for (size_t i = 0; i < len; ++i) sums[i] = 0;
        }
        void add(const int8_t *v, size_t end) noexcept {
            for (size_t i = 0; i < end; ++i) sums[i] += v[i];
        }
        int8_t resolve(size_t i, uint32_t) const noexcept { return static_cast<int8_t>((sums[i] > 0) - (sums[i] < 0)); }
    };
};

template <class Element, class T>
bool valid_block(const T *v, size_t n) noexcept {
    unsigned invalid = 0;
    for (size_t i = 0; i < n; ++i) invalid |= Element::valid(v[i]) ? 0u : 1u;
    return invalid == 0;
}

// Index of the first invalid element, or n.
template <class Element, class T>
uint64_t find_invalid(const T *v, uint64_t n) noexcept {
    for (uint64_t start = 0; start < n; start += kElementBlock) {
        const size_t len = block_length(n, start);
        if (valid_block<Element>(v + start, len)) continue;
        for (size_t i = 0;; ++i) {
            if (!Element::valid(v[start + i])) return start + i;
        }
    }
    return n;
}

} // namespace kelvra::hdc
