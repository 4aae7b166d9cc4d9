// Field access for TOML value records and the parser's intermediate blocks,
// over the shared record layout and byte-wise access of record_layout.hpp
// (records and slots may sit at any address in the caller's arena).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kelvra.h"
#include "text/record_layout.hpp"

namespace kelvra::text::toml_record {

using record::get;
using record::kind_at;
using record::put;
using record::record_bytes;
using record::slot_bytes;
using record::word0_at;
using record::word1_at;
using record::word2_at;

static_assert(sizeof(kelvra_toml_value) == record_bytes);
static_assert(offsetof(kelvra_toml_value, kind) == kind_at);
static_assert(offsetof(kelvra_toml_value, as) == word0_at);
static_assert(offsetof(kelvra_toml_value, as.string.length) == word1_at);
static_assert(offsetof(kelvra_toml_value, as.array.count) == word1_at);
static_assert(offsetof(kelvra_toml_value, as.table.values) == word1_at);
static_assert(offsetof(kelvra_toml_value, as.table.count) == word2_at);

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
