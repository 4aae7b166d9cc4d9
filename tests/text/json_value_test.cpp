// The JSON builder's reservation rule (sticky failure, 8-byte steps from the
// base, every reservation attempted) and the member lookup.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "kelvra.h"
#include "text/json_record.hpp"

namespace {

namespace rec = kelvra::text::json_record;

// An arena that may start at an odd address; records are read with the
// memcpy-based accessors, as plain member access there is undefined.
struct Arena {
    explicit Arena(size_t capacity, size_t misalign = 0) : storage(capacity + 16), misalign(misalign) {
        EXPECT_EQ(kelvra_json_builder_init(&builder, base(), capacity), 0u);
    }
    uint8_t *base() { return storage.data() + misalign; }
    uint64_t offset_of(const void *p) { return static_cast<uint64_t>(static_cast<const uint8_t *>(p) - base()); }

    std::vector<uint8_t> storage;
    size_t misalign;
    kelvra_json_builder builder{};
};

TEST(JsonBuilder, InitChecksItsArgumentsAndClearsTheFailure) {
    uint8_t arena[8];
    kelvra_json_builder b{};
    EXPECT_EQ(kelvra_json_builder_init(&b, nullptr, 8), 1u);
    EXPECT_EQ(kelvra_json_builder_init(&b, nullptr, 0), 0u);
    EXPECT_EQ(kelvra_json_new_null(&b), nullptr);
    EXPECT_EQ(b.failed, 1u);
    EXPECT_EQ(kelvra_json_builder_init(&b, arena, 8), 0u);
    EXPECT_TRUE(b.base == arena && b.used == 0 && b.failed == 0);
}

TEST(JsonBuilder, PaddingIsConsumedEvenWhenTheBlockDoesNotFit) {
    struct Case { uint64_t capacity, used_after; bool fits; };
    // A caller may hand over a partly used arena: used = 5, padding 3.
    for (const Case c : {Case{39, 8, false}, Case{7, 5, false}, Case{40, 40, true}}) {
        Arena a(64);
        a.builder.used = 5;
        a.builder.capacity = c.capacity;
        const kelvra_json_value *v = kelvra_json_new_null(&a.builder);
        EXPECT_EQ(v != nullptr, c.fits) << "capacity " << c.capacity;
        EXPECT_TRUE(v == nullptr || a.offset_of(v) == 8u);
        EXPECT_EQ(a.builder.used, c.used_after) << "capacity " << c.capacity;
        EXPECT_EQ(a.builder.failed, c.fits ? 0u : 1u);
    }
}

TEST(JsonBuilder, RecordsAtAnOddBaseHoldTheirValues) {
    Arena a(512, 3);
    std::memset(a.base(), 0xAB, 512); // records must come out zero-filled
    const uint8_t text[] = {'h', 0, 0xFF};
    const kelvra_json_value *n = kelvra_json_new_null(&a.builder);
    const kelvra_json_value *t = kelvra_json_new_bool(&a.builder, 7);
    const kelvra_json_value *i = kelvra_json_new_int(&a.builder, INT64_MIN);
    const kelvra_json_value *d = kelvra_json_new_double(&a.builder, std::nan("0x5"));
    const kelvra_json_value *s = kelvra_json_new_string(&a.builder, text, 3);
    ASSERT_EQ(a.builder.failed, 0u);
    EXPECT_TRUE(a.offset_of(n) == 0 && a.offset_of(t) == 32 && a.offset_of(i) == 64);
    EXPECT_EQ(rec::load_kind(n), KELVRA_JSON_NULL);
    EXPECT_EQ(rec::load_kind(t), KELVRA_JSON_BOOL);
    EXPECT_EQ(rec::load_bool(t), 1u);
    for (size_t offset : {4u, 12u, 16u, 24u}) EXPECT_EQ(rec::load_field<uint32_t>(t, offset), 0u);
    EXPECT_EQ(rec::load_int(i), INT64_MIN);
    const double nan_in = std::nan("0x5"), nan_out = rec::load_double(d);
    EXPECT_EQ(std::memcmp(&nan_in, &nan_out, 8), 0); // stored as given
    EXPECT_EQ(rec::load_kind(s), KELVRA_JSON_STRING);
    EXPECT_TRUE(rec::load_string(s).bytes == text && rec::load_string(s).length == 3); // referenced, not copied
}

TEST(JsonBuilder, ContainersCopyTheCallersPointerArrays) {
    Arena a(512, 5);
    kelvra_json_value *items[2] = {kelvra_json_new_int(&a.builder, 1), kelvra_json_new_int(&a.builder, 2)};
    const char *keys[2] = {"x", "y"};
    kelvra_json_value *array = kelvra_json_new_array(&a.builder, items, 2);
    kelvra_json_value *object = kelvra_json_new_object(&a.builder, keys, items, 2);
    kelvra_json_value *empty = kelvra_json_new_object(&a.builder, nullptr, nullptr, 0);
    ASSERT_EQ(a.builder.failed, 0u);
    EXPECT_EQ(a.builder.used, 64u + (32 + 16) + (32 + 16 + 16) + (32 + 8 + 8));
    kelvra_json_value *const first = items[0];
    items[0] = nullptr; // the caller's arrays may be temporary
    keys[0] = "changed";

    const rec::ArrayField arr = rec::load_array(array);
    EXPECT_TRUE(arr.count == 2 && rec::load_value_at(arr.items, 0) == first && a.offset_of(arr.items) == 96);
    const rec::ObjectField obj = rec::load_object(object);
    EXPECT_EQ(obj.count, 2u);
    EXPECT_EQ(std::string(rec::load_key_at(obj.keys, 0)) + rec::load_key_at(obj.keys, 1), "xy");
    EXPECT_EQ(rec::load_value_at(obj.values, 0), first);
    EXPECT_EQ(a.offset_of(obj.values), a.offset_of(obj.keys) + 16);
    const rec::ObjectField none = rec::load_object(empty);
    EXPECT_TRUE(none.count == 0 && none.keys != nullptr && none.values != nullptr);
}

// Failure is sticky, yet every later reservation is attempted and a block that fits is taken.
TEST(JsonBuilder, FailureIsStickyAndEveryReservationIsAttempted) {
    Arena a(40);
    ASSERT_NE(kelvra_json_new_null(&a.builder), nullptr);
    EXPECT_EQ(kelvra_json_new_int(&a.builder, 5), nullptr);
    EXPECT_EQ(a.builder.used, 32u);
    // An empty array's record does not fit, its one-slot items block does.
    EXPECT_EQ(kelvra_json_new_array(&a.builder, nullptr, 0), nullptr);
    EXPECT_TRUE(a.builder.used == 40 && a.builder.failed == 1);
    // An object's values array does not fit: the record and the keys stay consumed.
    Arena b(32 + 16 + 8);
    kelvra_json_value member{};
    kelvra_json_value *values[2] = {&member, &member};
    const char *keys[2] = {"a", "b"};
    EXPECT_EQ(kelvra_json_new_object(&b.builder, keys, values, 2), nullptr);
    EXPECT_TRUE(b.builder.used == 48 && b.builder.failed == 1);
    // The record does not fit but both one-slot arrays of an empty object do.
    Arena c(24);
    EXPECT_EQ(kelvra_json_new_object(&c.builder, nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(c.builder.used, 16u);
}

TEST(JsonObjectGet, FindsTheFirstExactMatchAndNullOtherwise) {
    Arena a(1024, 1);
    kelvra_json_value *values[5];
    for (int i = 0; i < 5; ++i) values[i] = kelvra_json_new_int(&a.builder, i);
    const char *keys[5] = {"a", "ab", nullptr, "a", ""};
    const kelvra_json_value *object = kelvra_json_new_object(&a.builder, keys, values, 5);
    const kelvra_json_value *array = kelvra_json_new_array(&a.builder, values, 5);
    const kelvra_json_value *empty = kelvra_json_new_object(&a.builder, nullptr, nullptr, 0);
    ASSERT_EQ(a.builder.failed, 0u);

    EXPECT_EQ(kelvra_json_object_get(object, "a"), values[0]);
    EXPECT_EQ(kelvra_json_object_get(object, "ab"), values[1]);
    EXPECT_EQ(kelvra_json_object_get(object, ""), values[4]); // the null key is skipped
    const std::pair<const kelvra_json_value *, const char *> misses[] = {
        {object, "b"}, {object, "abc"}, {object, "A"}, {nullptr, "a"}, {object, nullptr}, {array, "a"}, {empty, ""}};
    for (const auto &[in, key] : misses) EXPECT_EQ(kelvra_json_object_get(in, key), nullptr) << (key ? key : "null");
}

} // namespace
