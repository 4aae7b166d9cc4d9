// Field access for TOML value records and the parser's intermediate blocks.
//
// Everything the TOML parser builds lives in a caller's arena at offsets
// reckoned from the arena's base, so a record or a pointer slot may sit at any
// address. Every field is therefore read and written through memcpy at a byte
// offset, never through a typed lvalue.
//
// Layout of a record (32 bytes, as in kelvra.h):
//   offset 0  kind (u32), 4 bytes of padding
//   offset 8  word 0: string bytes | integer | number | boolean (u32) | array items | table keys
//   offset 16 word 1: string length (u32) | array count (u32) | table values
//   offset 24 word 2: table count (u32)
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kelvra.h"

namespace kelvra::text::toml_record {

inline constexpr uint64_t record_bytes = 32;
inline constexpr uint64_t slot_bytes = 8;

inline constexpr size_t kind_at = 0;
inline constexpr size_t word0_at = 8;
inline constexpr size_t word1_at = 16;
inline constexpr size_t word2_at = 24;

static_assert(sizeof(kelvra_toml_value) == record_bytes);
static_assert(offsetof(kelvra_toml_value, kind) == kind_at);
static_assert(offsetof(kelvra_toml_value, as) == word0_at);
static_assert(offsetof(kelvra_toml_value, as.string.length) == word1_at);
static_assert(offsetof(kelvra_toml_value, as.array.count) == word1_at);
static_assert(offsetof(kelvra_toml_value, as.table.values) == word1_at);
static_assert(offsetof(kelvra_toml_value, as.table.count) == word2_at);
static_assert(sizeof(void *) == slot_bytes);

// A field of any block at a byte offset, any alignment.
template <class T>
inline T get(const void *block, size_t at) noexcept {
    T out;
    std::memcpy(&out, static_cast<const unsigned char *>(block) + at, sizeof out);
    return out;
}

template <class T>
inline void put(void *block, size_t at, T value) noexcept {
    std::memcpy(static_cast<unsigned char *>(block) + at, &value, sizeof value);
}

// A record under construction, held by the parser until it is placed.
struct Record {
    alignas(8) uint8_t bytes[record_bytes] = {};

    explicit Record(uint32_t kind = 0) noexcept { put(bytes, kind_at, kind); }
    uint32_t kind() const noexcept { return get<uint32_t>(bytes, kind_at); }
};

inline Record make_string(const uint8_t *bytes, uint32_t length) noexcept {
    Record r(KELVRA_TOML_STRING);
    put(r.bytes, word0_at, bytes);
    put(r.bytes, word1_at, length);
    return r;
}

inline Record make_integer(int64_t value) noexcept {
    Record r(KELVRA_TOML_INTEGER);
    put(r.bytes, word0_at, value);
    return r;
}

inline Record make_float(double value) noexcept {
    Record r(KELVRA_TOML_FLOAT);
    put(r.bytes, word0_at, value);
    return r;
}

inline Record make_boolean(uint32_t truth) noexcept {
    Record r(KELVRA_TOML_BOOLEAN);
    put(r.bytes, word0_at, truth);
    return r;
}

inline Record make_array(uint8_t *items, uint32_t count) noexcept {
    Record r(KELVRA_TOML_ARRAY);
    put(r.bytes, word0_at, reinterpret_cast<kelvra_toml_value **>(items));
    put(r.bytes, word1_at, count);
    return r;
}

inline Record make_table(uint8_t *keys, uint8_t *values, uint32_t count) noexcept {
    Record r(KELVRA_TOML_TABLE);
    put(r.bytes, word0_at, reinterpret_cast<const char **>(keys));
    put(r.bytes, word1_at, reinterpret_cast<kelvra_toml_value **>(values));
    put(r.bytes, word2_at, count);
    return r;
}

// Reading finished records of any alignment.
inline uint32_t load_kind(const kelvra_toml_value *v) noexcept { return get<uint32_t>(v, kind_at); }
inline uint32_t load_table_count(const kelvra_toml_value *v) noexcept { return get<uint32_t>(v, word2_at); }
inline const char *const *load_table_keys(const kelvra_toml_value *v) noexcept {
    return get<const char *const *>(v, word0_at);
}
inline kelvra_toml_value *const *load_table_values(const kelvra_toml_value *v) noexcept {
    return get<kelvra_toml_value *const *>(v, word1_at);
}

// Slot i of a pointer array (keys, values, items), any alignment.
template <class T>
inline T load_slot(const void *array, size_t i) noexcept {
    return get<T>(array, i * slot_bytes);
}

} // namespace kelvra::text::toml_record
