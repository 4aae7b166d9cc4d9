// Numbers as text, independent of the host's C locale.
//
// The JSON writer must produce exactly the text of printf("%.17g") in the "C"
// locale, and the JSON parser exactly the values of strtod / strtoll (base 10)
// in the "C" locale. The host may have called setlocale (a decimal comma, say);
// these functions never consult it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvra::text {

// Room for any "%.17g" text of a double, and any "%lld" text of an int64.
inline constexpr size_t double_text_max = 40;
inline constexpr size_t int_text_max = 24;

// Writes the "%.17g" text of `value` (no terminator) into out, which has room
// for double_text_max bytes, and returns its length (at most 24). Non-finite
// values give "inf", "-inf", "nan" or "-nan" as glibc spells them (the sign of
// a NaN is its sign bit).
size_t format_double(double value, char *out) noexcept;

// Writes the "%lld" text of `value` (no terminator) into out, which has room
// for int_text_max bytes, and returns its length (at most 20).
size_t format_int(int64_t value, char *out) noexcept;

// The value strtod gives for the text [begin, end): the longest prefix it
// accepts is converted, correctly rounded; overflow gives ±infinity and
// underflow a (possibly zero) correctly rounded tiny value, as strtod does;
// text with no convertible prefix gives 0.0. Only the characters of a decimal
// number token ('0'-'9', '.', 'e', 'E', '+', '-') are expected.
double parse_double_prefix(const char *begin, const char *end) noexcept;

// The value strtoll(…, 10) gives for [begin, end): the longest accepted prefix,
// clamped to INT64_MIN / INT64_MAX on overflow; 0 when nothing converts.
int64_t parse_int_prefix(const char *begin, const char *end) noexcept;

} // namespace kelvra::text
