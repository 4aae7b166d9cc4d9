// The escapes of the canonical JSON writer: which bytes are written as
// themselves, the escape of one byte, and the two scans over a string's bytes
// (json_escape_sse2.cpp: 16 bytes per step in SSE2, part of the x86-64
// baseline, or byte by byte elsewhere; both give the same answers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kelvra::text {

// Internal linkage: each including file keeps its own copy.
namespace {

// 0: the byte is written as itself; otherwise the letter of its short escape,
// or 'u' for the six-character form.
constexpr auto escape_letters = [] {
    struct Table {
        char letter[256];
    } t{};
    for (int c = 0; c < 0x20; ++c) t.letter[c] = 'u';
    t.letter[0x08] = 'b';
    t.letter[0x09] = 't';
    t.letter[0x0A] = 'n';
    t.letter[0x0C] = 'f';
    t.letter[0x0D] = 'r';
    t.letter[0x22] = '"';
    t.letter[0x5C] = '\\';
    return t;
}();

constexpr char hex_digits[] = "0123456789abcdef";

constexpr size_t escape_max = 6;

// The escape of one byte (2 or 6 characters) at dest; returns its end.
inline uint8_t *write_escape(uint8_t *dest, uint8_t byte) noexcept {
    const char letter = escape_letters.letter[byte];
    dest[0] = '\\';
    if (letter != 'u') {
        dest[1] = static_cast<uint8_t>(letter);
        return dest + 2;
    }
    const uint8_t tail[5] = {'u', '0', '0', static_cast<uint8_t>(hex_digits[byte >> 4]),
                             static_cast<uint8_t>(hex_digits[byte & 15])};
    std::memcpy(dest + 1, tail, 5);
    return dest + 6;
}

} // namespace

// Number of leading bytes of [p, p + n) that are written as themselves.
size_t plain_run(const uint8_t *p, size_t n) noexcept;

// The escaped bytes with no room checks: dest has room for n escapes
// (escape_max bytes each). Returns the end of what was written.
uint8_t *write_escaped(uint8_t *dest, const uint8_t *bytes, size_t n) noexcept;

} // namespace kelvra::text
