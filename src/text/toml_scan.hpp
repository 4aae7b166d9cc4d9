// Byte classes, whitespace and comment skipping, and number conversion for
// the TOML parser. Every scan stops at `end`: nothing past the input is read.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/status.hpp"

namespace kelvra::text::toml_scan {

inline bool is_bare_key_char(uint8_t c) noexcept {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

inline bool is_digit(uint8_t c) noexcept { return static_cast<uint8_t>(c - '0') < 10; }

// The bytes a number token may contain.
inline bool is_number_char(uint8_t c) noexcept {
    return is_digit(c) || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E' || c == '_';
}

// A comment runs from '#' up to (not including) the next line feed.
inline const uint8_t *skip_comment(const uint8_t *p, const uint8_t *end) noexcept {
    while (p != end && *p != '\n') ++p;
    return p;
}

// Spaces, tabs, line feeds, carriage returns and comments.
inline const uint8_t *skip_full(const uint8_t *p, const uint8_t *end) noexcept {
    while (p != end) {
        const uint8_t c = *p;
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            ++p;
        } else if (c == '#') {
            p = skip_comment(p, end);
        } else {
            break;
        }
    }
    return p;
}

// Spaces, tabs and a comment, which ends before its line feed.
inline const uint8_t *skip_line(const uint8_t *p, const uint8_t *end) noexcept {
    while (p != end && (*p == ' ' || *p == '\t')) ++p;
    if (p != end && *p == '#') p = skip_comment(p, end);
    return p;
}

// The longest run of bare-key characters from p.
inline const uint8_t *skip_bare_key(const uint8_t *p, const uint8_t *end) noexcept {
    while (p != end && is_bare_key_char(*p)) ++p;
    return p;
}

// A number token without its underscores: at most 63 bytes are kept.
inline constexpr size_t max_number_chars = 63;

struct NumberValue {
    kelvra_status status;
    bool is_float;
    int64_t integer;
    double number;
};

// Converts the collected bytes of a number token (underscores already
// dropped, 1 to 63 bytes). Defined in toml_number.cpp.
NumberValue convert_number(const char *text, size_t length) noexcept;

} // namespace kelvra::text::toml_scan
