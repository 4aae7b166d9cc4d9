// Tier 1 differing-bits kernel: the POPCNT instruction on 8-byte words, four
// independent sums so that the additions do not wait on each other. Built
// with -mpopcnt (src/CMakeLists.txt); runs only where the processor has it.
// Elsewhere the builtin becomes the target's own population count.
#include "hdc/popcount.hpp"

namespace kelvra::hdc {

uint64_t differing_bits_popcnt(const uint8_t *a, const uint8_t *b, size_t n) noexcept {
    uint64_t s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        s0 += static_cast<uint64_t>(__builtin_popcountll(load64(a + i) ^ load64(b + i)));
        s1 += static_cast<uint64_t>(__builtin_popcountll(load64(a + i + 8) ^ load64(b + i + 8)));
        s2 += static_cast<uint64_t>(__builtin_popcountll(load64(a + i + 16) ^ load64(b + i + 16)));
        s3 += static_cast<uint64_t>(__builtin_popcountll(load64(a + i + 24) ^ load64(b + i + 24)));
    }
    for (; i + 8 <= n; i += 8) s0 += static_cast<uint64_t>(__builtin_popcountll(load64(a + i) ^ load64(b + i)));
    return s0 + s1 + s2 + s3 + differing_bits_words(a + i, b + i, n - i);
}

} // namespace kelvra::hdc
