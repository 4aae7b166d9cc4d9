// Field access for JSON value records and their pointer arrays.
//
// Records and pointer arrays live in a caller's arena at offsets reckoned from
// the arena's base, so they may sit at any address (an arena at base + 1 puts
// every record at an odd address). Reading `v->as.integer` there is undefined
// behaviour; every read and write of a record field or of a pointer-array slot
// therefore goes through these memcpy-based helpers, which compile to plain
// unaligned moves on x86-64.
//
// Layout of a record (32 bytes, as in kelvra.h):
//   offset 0  kind (u32), 4 bytes of padding
//   offset 8  payload word 0: boolean (u32) | integer | number | string bytes |
//                             array items | object keys
//   offset 16 payload word 1: string length (u32) | array count (u32) | object values
//   offset 24 payload word 2: object count (u32)
// Pointer arrays (array items, object keys, object values) are arrays of 8-byte
// pointers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kelvra.h"

namespace kelvra::text::json_record {

inline constexpr uint64_t record_bytes = 32;
inline constexpr uint64_t slot_bytes = 8;

inline constexpr size_t kind_offset = 0;
inline constexpr size_t word0_offset = 8;
inline constexpr size_t word1_offset = 16;
inline constexpr size_t word2_offset = 24;

static_assert(sizeof(kelvra_json_value) == record_bytes);
static_assert(offsetof(kelvra_json_value, kind) == kind_offset);
static_assert(offsetof(kelvra_json_value, as) == word0_offset);
static_assert(offsetof(kelvra_json_value, as.string.length) == word1_offset);
static_assert(offsetof(kelvra_json_value, as.array.count) == word1_offset);
static_assert(offsetof(kelvra_json_value, as.object.values) == word1_offset);
static_assert(offsetof(kelvra_json_value, as.object.count) == word2_offset);
static_assert(sizeof(void *) == slot_bytes);

// Raw field access at a byte offset of a record (any alignment).
template <class T>
inline T load_field(const kelvra_json_value *v, size_t offset) noexcept {
    T out;
    std::memcpy(&out, reinterpret_cast<const unsigned char *>(v) + offset, sizeof(T));
    return out;
}

template <class T>
inline void store_field(kelvra_json_value *v, size_t offset, T value) noexcept {
    std::memcpy(reinterpret_cast<unsigned char *>(v) + offset, &value, sizeof(T));
}

// A record placed on a freshly reserved block: zero-filled, kind set.
inline kelvra_json_value *init_record(uint8_t *block, uint32_t kind) noexcept {
    std::memset(block, 0, record_bytes);
    std::memcpy(block + kind_offset, &kind, sizeof kind);
    return reinterpret_cast<kelvra_json_value *>(block);
}

inline uint32_t load_kind(const kelvra_json_value *v) noexcept { return load_field<uint32_t>(v, kind_offset); }
inline void store_kind(kelvra_json_value *v, uint32_t kind) noexcept { store_field(v, kind_offset, kind); }

// Kind 1: the stored truth value (any non-zero value counts as true).
inline uint32_t load_bool(const kelvra_json_value *v) noexcept { return load_field<uint32_t>(v, word0_offset); }
inline void store_bool(kelvra_json_value *v, uint32_t truth) noexcept { store_field(v, word0_offset, truth); }

// Kind 2.
inline int64_t load_int(const kelvra_json_value *v) noexcept { return load_field<int64_t>(v, word0_offset); }
inline void store_int(kelvra_json_value *v, int64_t value) noexcept { store_field(v, word0_offset, value); }

// Kind 3.
inline double load_double(const kelvra_json_value *v) noexcept { return load_field<double>(v, word0_offset); }
inline void store_double(kelvra_json_value *v, double value) noexcept { store_field(v, word0_offset, value); }

// Kind 4: a byte span, not NUL-terminated.
struct StringField {
    const uint8_t *bytes;
    uint32_t length;
};

inline StringField load_string(const kelvra_json_value *v) noexcept {
    return {load_field<const uint8_t *>(v, word0_offset), load_field<uint32_t>(v, word1_offset)};
}
inline void store_string(kelvra_json_value *v, const uint8_t *bytes, uint32_t length) noexcept {
    store_field(v, word0_offset, bytes);
    store_field(v, word1_offset, length);
}

// Kind 5. `items` may be misaligned: read its slots with load_value_at.
struct ArrayField {
    kelvra_json_value **items;
    uint32_t count;
};

inline ArrayField load_array(const kelvra_json_value *v) noexcept {
    return {load_field<kelvra_json_value **>(v, word0_offset), load_field<uint32_t>(v, word1_offset)};
}
inline void store_array(kelvra_json_value *v, kelvra_json_value **items, uint32_t count) noexcept {
    store_field(v, word0_offset, items);
    store_field(v, word1_offset, count);
}

// Kind 6. `keys` and `values` may be misaligned: read their slots with
// load_key_at / load_value_at.
struct ObjectField {
    const char **keys;
    kelvra_json_value **values;
    uint32_t count;
};

inline ObjectField load_object(const kelvra_json_value *v) noexcept {
    return {load_field<const char **>(v, word0_offset), load_field<kelvra_json_value **>(v, word1_offset),
            load_field<uint32_t>(v, word2_offset)};
}
inline void store_object(kelvra_json_value *v, const char **keys, kelvra_json_value **values,
                         uint32_t count) noexcept {
    store_field(v, word0_offset, keys);
    store_field(v, word1_offset, values);
    store_field(v, word2_offset, count);
}

// The count of an array (kind 5) or object (kind 6); 0 for any other kind.
inline uint32_t load_member_count(const kelvra_json_value *v) noexcept {
    switch (load_kind(v)) {
    case KELVRA_JSON_ARRAY: return load_field<uint32_t>(v, word1_offset);
    case KELVRA_JSON_OBJECT: return load_field<uint32_t>(v, word2_offset);
    default: return 0;
    }
}

// Slot i of a pointer array (items or values, and keys), any alignment.
inline kelvra_json_value *load_value_at(const kelvra_json_value *const *list, size_t i) noexcept {
    kelvra_json_value *out;
    std::memcpy(&out, reinterpret_cast<const unsigned char *>(list) + i * slot_bytes, slot_bytes);
    return out;
}
inline void store_value_at(kelvra_json_value **list, size_t i, kelvra_json_value *value) noexcept {
    std::memcpy(reinterpret_cast<unsigned char *>(list) + i * slot_bytes, &value, slot_bytes);
}

inline const char *load_key_at(const char *const *keys, size_t i) noexcept {
    const char *out;
    std::memcpy(&out, reinterpret_cast<const unsigned char *>(keys) + i * slot_bytes, slot_bytes);
    return out;
}
inline void store_key_at(const char **keys, size_t i, const char *key) noexcept {
    std::memcpy(reinterpret_cast<unsigned char *>(keys) + i * slot_bytes, &key, slot_bytes);
}

// Copies `count` pointer slots between arrays of any alignment.
inline void copy_slots(void *dest, const void *src, size_t count) noexcept {
    if (count != 0) std::memcpy(dest, src, count * slot_bytes);
}

} // namespace kelvra::text::json_record
