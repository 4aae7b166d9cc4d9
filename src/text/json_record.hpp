// Field access for JSON value records and their pointer arrays.
//
// Records and pointer arrays live in a caller's arena at offsets reckoned from
// the arena's base, so they may sit at any address (an arena at base + 1 puts
// every record at an odd address). Reading `v->as.integer` there is undefined
// behaviour; every read and write of a record field or of a pointer-array slot
// therefore goes through these memcpy-based helpers, which compile to plain
// unaligned moves on x86-64.
//
// The layout is the shared one of record_layout.hpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kelvra.h"
#include "text/record_layout.hpp"

namespace kelvra::text::json_record {

inline constexpr uint64_t record_bytes = record::record_bytes;
inline constexpr uint64_t slot_bytes = record::slot_bytes;

inline constexpr size_t kind_offset = record::kind_at;
inline constexpr size_t word0_offset = record::word0_at;
inline constexpr size_t word1_offset = record::word1_at;
inline constexpr size_t word2_offset = record::word2_at;

static_assert(sizeof(kelvra_json_value) == record_bytes);
static_assert(offsetof(kelvra_json_value, kind) == kind_offset);
static_assert(offsetof(kelvra_json_value, as) == word0_offset);
static_assert(offsetof(kelvra_json_value, as.string.length) == word1_offset);
static_assert(offsetof(kelvra_json_value, as.array.count) == word1_offset);
static_assert(offsetof(kelvra_json_value, as.object.values) == word1_offset);
static_assert(offsetof(kelvra_json_value, as.object.count) == word2_offset);

// Raw field access at a byte offset of a record (any alignment).
template <class T>
inline T load_field(const kelvra_json_value *v, size_t offset) noexcept {
    return record::get<T>(v, offset);
}

template <class T>
inline void store_field(kelvra_json_value *v, size_t offset, T value) noexcept {
    record::put(v, offset, value);
}

// A record placed on a freshly reserved block: kind set, word 0 holding
// `payload` (the 8 bytes of an integer, a double or a truth value), all else
// zero. Written as four word stores: a memset of the block, merged with the
// kind's store, becomes a slow string instruction.
[[gnu::always_inline]] inline kelvra_json_value *init_record(uint8_t *block, uint32_t kind, uint64_t payload = 0) noexcept {
    static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the kind is the low half of the first word");
    static_assert(kind_offset == 0 && word0_offset == 8 && record_bytes == 32);
    const uint64_t words[4] = {kind, payload, 0, 0};
    for (size_t i = 0; i < 4; ++i) std::memcpy(block + 8 * i, &words[i], 8);
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
inline void store_object(kelvra_json_value *v, const char **keys, kelvra_json_value **values, uint32_t count) noexcept {
    store_field(v, word0_offset, keys);
    store_field(v, word1_offset, values);
    store_field(v, word2_offset, count);
}

// The count of an array (kind 5) or object (kind 6); 0 for any other kind.
inline uint32_t load_member_count(const kelvra_json_value *v) noexcept {
    switch (load_kind(v)) {
    case KELVRA_JSON_ARRAY:
        return load_field<uint32_t>(v, word1_offset);
    case KELVRA_JSON_OBJECT:
        return load_field<uint32_t>(v, word2_offset);
    default:
        return 0;
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
