// The TOML parser on arbitrary bytes: every input parses or fails with 2 or
// 4, never a crash, and the input is read only within its length (it is
// copied into a buffer of exactly that size). On success every table of the
// tree finds each of its own keys through kelvra_toml_table_get (keys are
// unique, so the first match is the member itself), strings are NUL-terminated
// within the arena, every pointer stays inside the arena, and the root is a
// table. An arena of exactly what the first parse used must do, one byte
// less must fail with 4, and the same input parsed at another arena base must give
// the same status.
#include <cstdint>
#include <cstring>
#include <vector>

#include "kelvra.h"
#include "text/toml_record.hpp"

namespace {

namespace rec = kelvra::text::toml_record;

struct Arena {
    Arena(size_t capacity, size_t offset)
            : storage(capacity + offset), base(storage.data() + offset), capacity(capacity) {}
    std::vector<uint8_t> storage;
    uint8_t *base;
    size_t capacity;
    bool holds(const void *p, size_t bytes) const {
        const auto *b = static_cast<const uint8_t *>(p);
        return b >= base && b <= base + capacity && bytes <= static_cast<size_t>(base + capacity - b);
    }
};

void check(bool ok) {
    if (!ok) __builtin_trap();
}

// Walks the tree, raising `end` to the end of every record and pointer array.
// The conversion reserves those after everything else, so the highest end is
// how much of the arena the parse used.
void walk(const Arena &arena, const kelvra_toml_value *v, int depth, size_t &end) {
    check(depth <= 130 && arena.holds(v, rec::record_bytes));
    const uint8_t *b = reinterpret_cast<const uint8_t *>(v);
    const auto reach = [&](const void *block, uint64_t bytes) {
        const size_t block_end = static_cast<size_t>(static_cast<const uint8_t *>(block) - arena.base) + bytes;
        if (block_end > end) end = block_end;
    };
    reach(v, rec::record_bytes);
    switch (rec::get<uint32_t>(b, rec::kind_at)) {
    case KELVRA_TOML_STRING: {
        const auto *bytes = rec::get<const uint8_t *>(b, rec::word0_at);
        const uint32_t length = rec::get<uint32_t>(b, rec::word1_at);
        check(arena.holds(bytes, uint64_t{length} + 1) && bytes[length] == 0);
        break;
    }
    case KELVRA_TOML_INTEGER:
        break;
    case KELVRA_TOML_FLOAT:
        break;
    case KELVRA_TOML_BOOLEAN:
        check(rec::get<uint32_t>(b, rec::word0_at) <= 1);
        break;
    case KELVRA_TOML_ARRAY: {
        const void *items = rec::get<const void *>(b, rec::word0_at);
        const uint32_t count = rec::get<uint32_t>(b, rec::word1_at);
        check(count == 0 ? items == nullptr : arena.holds(items, uint64_t{count} * 8));
        if (count != 0) reach(items, uint64_t{count} * 8);
        for (uint32_t i = 0; i < count; ++i) {
            walk(arena, rec::load_slot<const kelvra_toml_value *>(items, i), depth + 1, end);
        }
        break;
    }
    case KELVRA_TOML_TABLE: {
        const void *keys = rec::get<const void *>(b, rec::word0_at);
        const void *values = rec::get<const void *>(b, rec::word1_at);
        const uint32_t count = rec::get<uint32_t>(b, rec::word2_at);
        check(count == 0 ? keys == nullptr && values == nullptr
                         : arena.holds(keys, uint64_t{count} * 8) && arena.holds(values, uint64_t{count} * 8));
        if (count != 0) {
            reach(keys, uint64_t{count} * 8);
            reach(values, uint64_t{count} * 8);
        }
        for (uint32_t i = 0; i < count; ++i) {
            const char *key = rec::load_slot<const char *>(keys, i);
            const kelvra_toml_value *member = rec::load_slot<const kelvra_toml_value *>(values, i);
            check(arena.holds(key, 1) && std::strlen(key) > 0);
            check(kelvra_toml_table_get(v, key) == member);
            walk(arena, member, depth + 1, end);
        }
        break;
    }
    default:
        check(false);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::vector<uint8_t> input(data, data + size);
    const uint8_t *text = input.empty() ? nullptr : input.data();
    // Strings reserve the rest of the input each, so the arena is sized generously.
    const size_t capacity = size * size + 64 * size + 4096;
    const size_t offset = size % 2;
    Arena first(capacity, offset);
    kelvra_toml_value *root = nullptr;
    const kelvra_status status = kelvra_toml_parse(text, size, first.base, first.capacity, &root);
    check(status == 0 || status == 2 || status == 4);
    check((status == 0) == (root != nullptr));

    Arena other(capacity, 1 - offset);
    kelvra_toml_value *again = nullptr;
    check(kelvra_toml_parse(text, size, other.base, other.capacity, &again) == status);
    if (status != 0) return 0;
    check(rec::get<uint32_t>(root, rec::kind_at) == KELVRA_TOML_TABLE);
    size_t used = 0;
    walk(first, root, 0, used);
    Arena exact(used, offset);
    check(kelvra_toml_parse(text, size, exact.base, exact.capacity, &again) == 0);
    Arena short_by_one(used - 1, offset);
    check(kelvra_toml_parse(text, size, short_by_one.base, short_by_one.capacity, &again) == 4);
    return 0;
}
