// Byte classes and run scanning for the JSON parser.
//
// The parser spends most of its time in three loops: skipping whitespace,
// extending a number token and copying the plain bytes of a string. Plain
// string bytes are found eight at a time with word arithmetic (no processor
// extension needed), so long text moves through the parser in runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "text/digit_word.hpp"
#include <initializer_list>

namespace kelvra::text::json_scan {

// Class bits of one input byte.
inline constexpr uint8_t whitespace = 1;    // space, tab, line feed, carriage return
inline constexpr uint8_t number_char = 2;   // '0'-'9', '.', 'e', 'E', '+', '-'
inline constexpr uint8_t fraction_mark = 4; // '.', 'e', 'E': the token is a floating-point one
inline constexpr uint8_t sign_char = 8;     // '+', '-'
inline constexpr uint8_t string_stop = 16;  // '"', '\\' and every byte below 0x20

struct ClassTable {
    uint8_t bits[256];
};

constexpr ClassTable make_class_table() noexcept {
    ClassTable t{};
    for (int c = 0; c < 0x20; ++c) t.bits[c] |= string_stop;
    t.bits[static_cast<uint8_t>('"')] |= string_stop;
    t.bits[static_cast<uint8_t>('\\')] |= string_stop;
    for (char c : {' ', '\t', '\n', '\r'}) t.bits[static_cast<uint8_t>(c)] |= whitespace;
    for (int c = '0'; c <= '9'; ++c) t.bits[c] |= number_char;
    for (char c : {'.', 'e', 'E'}) t.bits[static_cast<uint8_t>(c)] |= number_char | fraction_mark;
    for (char c : {'+', '-'}) t.bits[static_cast<uint8_t>(c)] |= number_char | sign_char;
    return t;
}

inline constexpr ClassTable classes = make_class_table();

[[gnu::always_inline]] inline bool has_class(uint8_t byte, uint8_t bits) noexcept {
    return (classes.bits[byte] & bits) != 0;
}

// Eight-byte words: one marker bit (0x80) per byte that stops a plain run.
using digit_word::highs;
using digit_word::ones;

[[gnu::always_inline]] inline uint64_t load_word(const uint8_t *p) noexcept {
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

// The lowest marked byte is exact for each test (a borrow only runs upwards
// from a byte that really matches), so the lowest bit of the union is exact.
inline uint64_t string_stop_marks(uint64_t w) noexcept {
    const uint64_t quote = w ^ (ones * '"');
    const uint64_t backslash = w ^ (ones * '\\');
    const uint64_t zero_quote = (quote - ones) & ~quote;
    const uint64_t zero_backslash = (backslash - ones) & ~backslash;
    const uint64_t control = (w - ones * 0x20) & ~w;
    return (zero_quote | zero_backslash | control) & highs;
}

// Index of the lowest marked byte of a non-zero mark word, on a
// little-endian host (the word was loaded byte 0 first).
[[gnu::always_inline]] inline size_t first_marked_byte(uint64_t marks) noexcept {
    static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the scanners read words little-endian");
    return static_cast<size_t>(__builtin_ctzll(marks)) >> 3;
}

// Marks (0x80) every byte of the word that is not a space. Each byte's test
// stays within the byte (its low seven bits plus 0x7F cannot carry out), so
// every mark is exact.
inline uint64_t non_space_marks(uint64_t w) noexcept {
    const uint64_t x = w ^ (ones * ' ');
    constexpr uint64_t lows = ~highs;
    return (((x & lows) + lows) | x) & highs;
}

// Indented text has long runs of spaces after each line break: after a
// whitespace byte, spaces are passed eight at a time. Kept out of line so
// that the parser's many inlined whitespace checks stay two instructions.
[[gnu::noinline]] inline const uint8_t *skip_whitespace_run(const uint8_t *p, const uint8_t *end) noexcept {
    while (p != end && has_class(*p, whitespace)) {
        ++p;
        while (end - p >= 8) {
            const uint64_t marks = non_space_marks(load_word(p));
            if (marks != 0) {
                p += first_marked_byte(marks);
                break;
            }
            p += 8;
        }
    }
    return p;
}

[[gnu::always_inline]] inline const uint8_t *skip_whitespace(const uint8_t *p, const uint8_t *end) noexcept {
    // Every whitespace byte is at most ' ', so most calls leave at once.
    if (p != end && *p <= ' ') return skip_whitespace_run(p, end);
    return p;
}

[[gnu::always_inline]] inline bool is_digit(uint8_t byte) noexcept { return static_cast<uint8_t>(byte - '0') < 10; }

// The end of the run of ASCII digits that starts at p.
inline const uint8_t *skip_digits(const uint8_t *p, const uint8_t *end) noexcept {
    while (end - p >= 8) {
        const uint64_t marks = digit_word::non_digit_marks(load_word(p));
        if (marks != 0) return p + first_marked_byte(marks);
        p += 8;
    }
    while (p != end && is_digit(*p)) ++p;
    return p;
}

} // namespace kelvra::text::json_scan
