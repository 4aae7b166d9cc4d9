// The JSON parser on arbitrary bytes: every input parses or fails with a
// status, never a crash; a tree that parses is written canonically, the text
// parsed again and written again, and both writings must match byte for byte.
// (Inputs are not compared with writings: a key with an escaped 0 byte is cut
// there, and spelling, spacing and member order are normalised.)
//
// The arena sits one byte past an aligned address whenever the input length
// is odd, so records land at odd addresses as callers may place them. Each
// input is also parsed into an arena too small for most documents.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "kelvra.h"
#include "text/json_record.hpp"

namespace {

namespace rec = kelvra::text::json_record;

struct Arena {
    Arena(size_t capacity, size_t offset)
            : storage(capacity + offset), base(storage.data() + offset), capacity(capacity) {}
    std::vector<uint8_t> storage;
    uint8_t *base;
    size_t capacity;
};

kelvra_status parse(const uint8_t *text, size_t length, Arena &arena, kelvra_json_value **root) {
    return kelvra_json_parse(text, length, arena.base, arena.capacity, root);
}

// A double that is infinite or NaN is written as text the parser rejects.
bool holds_non_finite(const kelvra_json_value *root) {
    std::vector<const kelvra_json_value *> pending{root};
    while (!pending.empty()) {
        const kelvra_json_value *v = pending.back();
        pending.pop_back();
        switch (rec::load_kind(v)) {
        case KELVRA_JSON_DOUBLE:
            if (!std::isfinite(rec::load_double(v))) return true;
            break;
        case KELVRA_JSON_ARRAY: {
            const rec::ArrayField a = rec::load_array(v);
            for (uint32_t i = 0; i < a.count; ++i) pending.push_back(rec::load_value_at(a.items, i));
            break;
        }
        case KELVRA_JSON_OBJECT: {
            const rec::ObjectField o = rec::load_object(v);
            for (uint32_t i = 0; i < o.count; ++i) pending.push_back(rec::load_value_at(o.values, i));
            break;
        }
        default:
            break;
        }
    }
    return false;
}

std::vector<uint8_t> write(const kelvra_json_value *root) {
    std::vector<uint8_t> workspace(kelvra_json_write_arena_bytes(root));
    uint64_t length = 0;
    if (kelvra_json_write_ws(root, nullptr, 0, &length, workspace.data(), workspace.size()) != 0) __builtin_trap();
    std::vector<uint8_t> text(length);
    uint64_t written = 0;
    if (kelvra_json_write_ws(root, text.data(), text.size(), &written, workspace.data(), workspace.size()) != 0 ||
        written != length) {
        __builtin_trap();
    }
    return text;
}

size_t arena_bytes_for(size_t text_length) { return 64 * text_length + 8192; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const size_t offset = size % 2;
    // An arena too small for most documents drives every reservation's
    // out-of-room path; the sanitizer sees any byte written past it.
    Arena tight(size * 3 / 2, offset);
    kelvra_json_value *unused = nullptr;
    const kelvra_status tight_status = parse(data, size, tight, &unused);
    if (tight_status != 0 && tight_status != 2 && tight_status != 4) __builtin_trap();

    Arena first(arena_bytes_for(size), offset);
    kelvra_json_value *root = nullptr;
    const kelvra_status status = parse(data, size, first, &root);
    if (status != 0) {
        if (status != 2 && status != 4) __builtin_trap();
        return 0;
    }
    if (holds_non_finite(root)) return 0;
    const std::vector<uint8_t> text = write(root);
    Arena second(arena_bytes_for(text.size()), 1 - offset);
    kelvra_json_value *again = nullptr;
    if (parse(text.data(), text.size(), second, &again) != 0) __builtin_trap();
    const std::vector<uint8_t> rewritten = write(again);
    if (rewritten != text) __builtin_trap();
    return 0;
}
