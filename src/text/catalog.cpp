// Sorted catalogs of byte-string keys: binary-search lookup, and templates
// whose {name} placeholders are filled from a catalog.
//
// Both only read the caller's arrays and blobs. Catalog order compares bytes
// as unsigned values and puts a proper prefix first, the member order of the
// JSON writer.
#include "kelvra.h"

#include <cstring>

#include "frame/status.hpp"

namespace kelvra::text {
namespace {

// The caller's catalog arrays; values only matter to the renderer.
struct Catalog {
    const uint8_t *key_blob;
    const uint32_t *key_offsets;
    const uint32_t *key_lengths;
    const uint32_t *value_offsets;
    const uint32_t *value_lengths;
    uint32_t count;
};

// Negative, zero or positive as `key` sorts before, equal to or after entry i.
int compare_with_entry(const Catalog &c, const uint8_t *key, uint32_t key_length, uint32_t i) noexcept {
    const uint32_t entry_length = c.key_lengths[i];
    const uint32_t common = key_length < entry_length ? key_length : entry_length;
    if (common > 0) {
        const int order = std::memcmp(key, c.key_blob + c.key_offsets[i], common);
        if (order != 0) return order;
    }
    return key_length < entry_length ? -1 : (key_length > entry_length ? 1 : 0);
}

// Binary search with the lower middle; the index of the entry or -1.
int64_t find(const Catalog &c, const uint8_t *key, uint32_t key_length) noexcept {
    int64_t lo = 0, hi = static_cast<int64_t>(c.count) - 1;
    while (lo <= hi) {
        const int64_t mid = lo + (hi - lo) / 2;
        const int order = compare_with_entry(c, key, key_length, static_cast<uint32_t>(mid));
        if (order == 0) return mid;
        if (order < 0) hi = mid - 1;
        else lo = mid + 1;
    }
    return -1;
}

// A catalog with entries needs every array and the key blob.
bool catalog_incomplete(const Catalog &c) noexcept {
    return c.count > 0 && (c.key_blob == nullptr || c.key_offsets == nullptr || c.key_lengths == nullptr ||
                           c.value_offsets == nullptr || c.value_lengths == nullptr);
}

// Output written so far and the room the caller gave.
struct Output {
    uint8_t *out;
    uint32_t capacity;
    uint32_t pos;

    // Copies what fits; 4 when not everything does.
    kelvra_status put(const uint8_t *bytes, uint32_t count) noexcept {
        const uint32_t room = capacity - pos;
        const uint32_t taken = count <= room ? count : room;
        if (taken > 0) std::memcpy(out + pos, bytes, taken);
        pos += taken;
        return taken == count ? KELVRA_OK : KELVRA_ERR_CAPACITY;
    }
};

kelvra_status render(const uint8_t *tmpl, uint32_t length, const Catalog &c, const uint8_t *value_blob,
                     Output &o) noexcept {
    uint32_t at = 0;
    while (at < length) {
        const auto *brace = static_cast<const uint8_t *>(std::memchr(tmpl + at, '{', length - at));
        const uint32_t run_end = brace == nullptr ? length : static_cast<uint32_t>(brace - tmpl);
        if (const kelvra_status s = o.put(tmpl + at, run_end - at)) return s;
        if (brace == nullptr) break;
        // The name runs to the next '}'; it may be empty and may hold '{'.
        const uint32_t name_at = run_end + 1;
        const auto *close = name_at < length
                                ? static_cast<const uint8_t *>(std::memchr(tmpl + name_at, '}', length - name_at))
                                : nullptr;
        if (close == nullptr) return KELVRA_ERR_DATA;
        const uint32_t name_length = static_cast<uint32_t>(close - tmpl) - name_at;
        const int64_t entry = find(c, tmpl + name_at, name_length);
        if (entry < 0) return KELVRA_ERR_DATA;
        const uint32_t value_length = c.value_lengths[entry];
        if (value_length > 0) {
            if (value_length > o.capacity - o.pos) return KELVRA_ERR_CAPACITY;
            std::memcpy(o.out + o.pos, value_blob + c.value_offsets[entry], value_length);
            o.pos += value_length;
        }
        at = static_cast<uint32_t>(close - tmpl) + 1;
    }
    return KELVRA_OK;
}

} // namespace
} // namespace kelvra::text

using namespace kelvra;

extern "C" KELVRA_API kelvra_status kelvra_catalog_lookup(const uint8_t *key, uint32_t key_length,
                                                          const uint8_t *key_blob, const uint32_t *key_offsets,
                                                          const uint32_t *key_lengths, const uint32_t *value_offsets,
                                                          const uint32_t *value_lengths, uint32_t count,
                                                          uint8_t *out_found, uint32_t *out_value_offset,
                                                          uint32_t *out_value_length) noexcept {
    if (out_found == nullptr || out_value_offset == nullptr || out_value_length == nullptr) return KELVRA_ERR_ARG;
    *out_found = 0;
    *out_value_offset = 0;
    *out_value_length = 0;
    if (count == 0) return KELVRA_OK;
    const text::Catalog catalog{key_blob, key_offsets, key_lengths, value_offsets, value_lengths, count};
    if (text::catalog_incomplete(catalog) || missing_data(key, key_length)) return KELVRA_ERR_ARG;
    const int64_t entry = text::find(catalog, key, key_length);
    if (entry < 0) return KELVRA_OK;
    *out_found = 1;
    *out_value_offset = value_offsets[entry];
    *out_value_length = value_lengths[entry];
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_template_render(const uint8_t *tmpl, uint32_t template_length,
                                                           const uint8_t *key_blob, const uint32_t *key_offsets,
                                                           const uint32_t *key_lengths, const uint8_t *value_blob,
                                                           const uint32_t *value_offsets, const uint32_t *value_lengths,
                                                           uint32_t count, uint8_t *out, uint32_t out_capacity,
                                                           uint32_t *out_length) noexcept {
    if (out == nullptr || out_length == nullptr) return KELVRA_ERR_ARG;
    *out_length = 0;
    const text::Catalog catalog{key_blob, key_offsets, key_lengths, value_offsets, value_lengths, count};
    // The whole catalog is checked before any template byte is read or written.
    if (text::catalog_incomplete(catalog) || (count > 0 && value_blob == nullptr)) return KELVRA_ERR_ARG;
    if (missing_data(tmpl, template_length)) return KELVRA_ERR_ARG;
    text::Output output{out, out_capacity, 0};
    if (const kelvra_status s = text::render(tmpl, template_length, catalog, value_blob, output)) return s;
    *out_length = output.pos;
    return KELVRA_OK;
}
