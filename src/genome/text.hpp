// Small text tools of the genome store: SHA-256 digest text, lower-case
// hexadecimal, joined paths, and reads of parsed JSON members (records that
// may sit at any address in a caller's arena).
#pragma once

#include <cstddef>
#include <cstdint>

#include "genome/format.hpp"
#include "kelvra.h"

namespace kelvra::genome {

// SHA-256 of `length` bytes as 64 lower-case hex characters and a NUL.
void digest_hex(const std::uint8_t *data, std::uint64_t length, char *out) noexcept;

// `length` bytes as 2 * length lower-case hex characters and a NUL.
void write_hex(const std::uint8_t *data, std::uint64_t length, char *out) noexcept;

// "<dir>/<name>" into a buffer of path_capacity bytes; false when it would not
// fit with its NUL.
bool join_path(const char *dir, const char *name, char (&out)[path_capacity]) noexcept;

// The length of a text with its trailing line feeds and carriage returns cut.
std::uint64_t without_line_ends(const std::uint8_t *text, std::uint64_t length) noexcept;

// ---- Parsed documents -----------------------------------------------------------

struct Bytes {
    const std::uint8_t *data;
    std::uint32_t length;
};

// The member `key` of an object, or null (also when `object` is null or not an object).
const kelvra_json_value *member(const kelvra_json_value *object, const char *key) noexcept;

bool is_object(const kelvra_json_value *value) noexcept;

// The array's item count, when `value` is an array.
bool array_count(const kelvra_json_value *value, std::uint32_t *count) noexcept;

// Item i of an array (i below its count).
const kelvra_json_value *array_item(const kelvra_json_value *array, std::uint32_t i) noexcept;

// The bytes of a string value.
bool string_of(const kelvra_json_value *value, Bytes *out) noexcept;

// The value of an integer value.
bool integer_of(const kelvra_json_value *value, std::int64_t *out) noexcept;

// True when `value` is a string holding exactly these bytes.
bool string_equals(const kelvra_json_value *value, const void *bytes, std::size_t length) noexcept;

} // namespace kelvra::genome
