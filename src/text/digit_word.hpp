// Eight bytes of text as one little-endian word: which bytes are ASCII
// digits, and the value of the digits at its start. Shared by the number-text
// reader and the JSON parser's one-pass number reader.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kelvra::text::digit_word {

inline constexpr uint64_t ones = 0x0101010101010101ull;
inline constexpr uint64_t highs = 0x8080808080808080ull;

// 10^0 .. 10^16: what a significand is scaled by when one or two words of
// digits are appended to it.
inline constexpr std::array<uint64_t, 17> powers_of_ten = [] {
    std::array<uint64_t, 17> powers{};
    uint64_t power = 1;
    for (uint64_t &p : powers) {
        p = power;
        power *= 10;
    }
    return powers;
}();

// Marks (0x80) every byte that is not an ASCII digit: below '0' (the
// subtraction borrows), above '9' (the addition reaches the high bit) or 0x80
// and up. Digits below the first non-digit neither borrow nor carry, so its
// mark is exact.
[[gnu::always_inline]] inline uint64_t non_digit_marks(uint64_t w) noexcept {
    return ((w - ones * '0') | (w + ones * (0x80 - 0x3A)) | w) & highs;
}

// The value of the first `count` (0..8) bytes of word, which are digits, the
// first byte the most significant. The digits are moved to the top of the
// word so that zero bytes take the leading places; then pairs, quads and the
// eight are combined with three multiplications.
[[gnu::always_inline]] inline uint64_t leading_digits_value(uint64_t word, size_t count) noexcept {
    const auto half_shift = static_cast<unsigned>(32 - 4 * count); // two steps: a shift by 64 is undefined
    uint64_t v = ((word - ones * '0') << half_shift) << half_shift;
    v = (v * 10 + (v >> 8)) & 0x00FF00FF00FF00FFull;
    v = (v * ((100 << 16) + 1) >> 16) & 0x0000FFFF0000FFFFull;
    return (v * ((uint64_t{10000} << 32) + 1)) >> 32;
}

} // namespace kelvra::text::digit_word
