// The JSON builder: value records and pointer arrays reserved in the caller's
// arena with the sticky 8-byte rule, and the linear member lookup.
//
// Every record field and pointer slot is written through json_record, since
// an arena at an odd address puts records at odd addresses.
#include <cstring>

#include "frame/arena.hpp"
#include "frame/status.hpp"
#include "kelvra.h"
#include "text/json_record.hpp"

namespace kelvra::text {
namespace {

namespace rec = json_record;

uint8_t *reserve(kelvra_json_builder *b, uint64_t size) noexcept {
    return arena::reserve_sticky(b->base, b->capacity, b->used, b->failed, size);
}

// A zero-filled record of `kind`, or null when the arena is full.
kelvra_json_value *new_record(kelvra_json_builder *b, uint32_t kind) noexcept {
    uint8_t *block = reserve(b, rec::record_bytes);
    return block == nullptr ? nullptr : rec::init_record(block, kind);
}

// A pointer array of max(count, 1) slots holding a copy of `source`.
uint8_t *new_pointer_array(kelvra_json_builder *b, const void *source, uint32_t count) noexcept {
    const uint64_t slots = count == 0 ? 1 : count;
    uint8_t *block = reserve(b, slots * rec::slot_bytes);
    if (block == nullptr) return nullptr;
    if (count == 0) std::memset(block, 0, rec::slot_bytes);
    else rec::copy_slots(block, source, count);
    return block;
}

} // namespace
} // namespace kelvra::text

namespace rec = kelvra::text::json_record;
using kelvra::text::new_pointer_array;
using kelvra::text::new_record;

extern "C" KELVRA_API kelvra_status kelvra_json_builder_init(kelvra_json_builder *b, uint8_t *arena,
                                                             uint64_t capacity) noexcept {
    if (b == nullptr || kelvra::missing_data(arena, capacity)) return KELVRA_ERR_ARG;
    b->base = arena;
    b->capacity = capacity;
    b->used = 0;
    b->failed = 0;
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_json_value *kelvra_json_new_null(kelvra_json_builder *b) noexcept {
    return new_record(b, KELVRA_JSON_NULL);
}

extern "C" KELVRA_API kelvra_json_value *kelvra_json_new_bool(kelvra_json_builder *b, uint32_t value) noexcept {
    kelvra_json_value *v = new_record(b, KELVRA_JSON_BOOL);
    if (v != nullptr) rec::store_bool(v, value != 0 ? 1u : 0u);
    return v;
}

extern "C" KELVRA_API kelvra_json_value *kelvra_json_new_int(kelvra_json_builder *b, int64_t value) noexcept {
    kelvra_json_value *v = new_record(b, KELVRA_JSON_INT);
    if (v != nullptr) rec::store_int(v, value);
    return v;
}

extern "C" KELVRA_API kelvra_json_value *kelvra_json_new_double(kelvra_json_builder *b, double value) noexcept {
    kelvra_json_value *v = new_record(b, KELVRA_JSON_DOUBLE);
    if (v != nullptr) rec::store_double(v, value);
    return v;
}

extern "C" KELVRA_API kelvra_json_value *kelvra_json_new_string(kelvra_json_builder *b, const uint8_t *bytes,
                                                                uint32_t length) noexcept {
    kelvra_json_value *v = new_record(b, KELVRA_JSON_STRING);
    if (v != nullptr) rec::store_string(v, bytes, length);
    return v;
}

extern "C" KELVRA_API kelvra_json_value *kelvra_json_new_array(kelvra_json_builder *b, kelvra_json_value *const *items,
                                                               uint32_t count) noexcept {
    // Both reservations are attempted, so a failed build consumes what a
    // caller sizing the arena expects.
    kelvra_json_value *v = new_record(b, KELVRA_JSON_ARRAY);
    uint8_t *item_slots = new_pointer_array(b, items, count);
    if (v == nullptr || item_slots == nullptr) return nullptr;
    rec::store_array(v, reinterpret_cast<kelvra_json_value **>(item_slots), count);
    return v;
}

extern "C" KELVRA_API kelvra_json_value *kelvra_json_new_object(kelvra_json_builder *b, const char *const *keys,
                                                                kelvra_json_value *const *values,
                                                                uint32_t count) noexcept {
    kelvra_json_value *v = new_record(b, KELVRA_JSON_OBJECT);
    uint8_t *key_slots = new_pointer_array(b, keys, count);
    uint8_t *value_slots = new_pointer_array(b, values, count);
    if (v == nullptr || key_slots == nullptr || value_slots == nullptr) return nullptr;
    rec::store_object(v, reinterpret_cast<const char **>(key_slots),
                      reinterpret_cast<kelvra_json_value **>(value_slots), count);
    return v;
}

extern "C" KELVRA_API const kelvra_json_value *kelvra_json_object_get(const kelvra_json_value *object,
                                                                      const char *key) noexcept {
    if (object == nullptr || key == nullptr || rec::load_kind(object) != KELVRA_JSON_OBJECT) return nullptr;
    const rec::ObjectField members = rec::load_object(object);
    const size_t key_length = std::strlen(key);
    for (uint32_t i = 0; i < members.count; ++i) {
        const char *member_key = rec::load_key_at(members.keys, i);
        if (member_key == nullptr) continue;
        if (std::strncmp(member_key, key, key_length) == 0 && member_key[key_length] == '\0')
            return rec::load_value_at(members.values, i);
    }
    return nullptr;
}
