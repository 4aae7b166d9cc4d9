// Element validation shared by the Klein-four and bipolar families. Work goes
// in blocks: a block is checked as a whole first (a loop the compiler turns
// into wide compares), and only a block that holds an invalid element is
// searched one element at a time for where to stop.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvra::hdc {

inline constexpr size_t kElementBlock = 4096;

inline size_t block_length(uint64_t n, uint64_t start) noexcept {
    return n - start < kElementBlock ? static_cast<size_t>(n - start) : kElementBlock;
}

// Klein-four elements are 0..3.
struct Klein4Element {
    static bool valid(uint8_t x) noexcept { return x <= 3; }
};

// Bipolar elements are -1, 0, +1: exactly the bytes that become 0, 1, 2 when
// 1 is added.
struct PolarElement {
    static bool valid(int8_t x) noexcept { return static_cast<uint8_t>(x + 1) <= 2; }
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
