#include "genome/pack_table.hpp"

#include <algorithm>
#include <cstring>

#include "frame/status.hpp"
#include "genome/format.hpp"
#include "genome/text.hpp"

namespace kelvra::genome {
namespace {

constexpr std::uint64_t label_entry_bytes = label_capacity;
constexpr std::uint64_t extent_entry_bytes = 16;
constexpr std::uint32_t max_scanned_entries = 65536;

bool is_bundle_name(const char *name) noexcept {
    const std::size_t length = std::strlen(name);
    return length >= bundle_suffix_length + 1 && length < name_entry_bytes &&
           std::memcmp(name + length - bundle_suffix_length, bundle_suffix, bundle_suffix_length) == 0;
}

char *name_at(const PackTable &t, std::uint32_t i) noexcept {
    return reinterpret_cast<char *>(t.names + i * name_entry_bytes);
}
char *label_at(const PackTable &t, std::uint32_t i) noexcept {
    return reinterpret_cast<char *>(t.labels + i * label_entry_bytes);
}
std::uint8_t *extent_at(const PackTable &t, std::uint32_t i) noexcept { return t.extents + i * extent_entry_bytes; }

// What a bundle can add: the bytes its region hex decodes to, and the records
// in it that start with a cap (an upper bound on the chromosomes it brings).
// A malformed bundle adds nothing; its import fails anyway.
void store_extent(const kelvra_json_value *data, std::uint8_t *extent) noexcept {
    Bytes hex;
    std::int64_t leaf_dim = 0;
    std::uint64_t bytes = 0, caps = 0;
    if (string_of(member(member(data, "region"), "hex"), &hex)) {
        bytes = hex.length / 2;
        if (integer_of(member(data, "leaf_dim"), &leaf_dim) && leaf_dim >= min_leaf_dim && leaf_dim <= max_leaf_dim) {
            const std::uint64_t step = 2 * static_cast<std::uint64_t>(leaf_dim);
            for (std::uint64_t at = 0; at + 1 < hex.length; at += step)
                caps += hex.data[at] == '4' && hex.data[at + 1] == '3';
        }
    }
    std::memcpy(extent, &bytes, 8);
    std::memcpy(extent + 8, &caps, 8);
}

// Reads a bundle's "data"."label" into a label table entry and its extent,
// using `scratch` for the text and its parse.
kelvra_status read_bundle_label(const char *path, Area scratch, char *label_out, std::uint8_t *extent) noexcept {
    std::uint64_t size = 0;
    if (const kelvra_status s = kelvra_plat_file_size(path, &size)) return s;
    if (scratch.base == nullptr || size >= scratch.capacity) return KELVRA_ERR_CAPACITY;
    std::uint64_t read = 0;
    if (const kelvra_status s = kelvra_plat_file_read(path, scratch.base, size + 1, &read)) return s;
    const Area tree = area_from(scratch, rounded_within(size + 1, scratch.capacity));
    kelvra_json_value *root = nullptr;
    if (const kelvra_status s =
            kelvra_json_parse(scratch.base, without_line_ends(scratch.base, read), tree.base, tree.capacity, &root))
        return s;
    if (!string_equals(member(root, "data_schema_id"), bundle_schema_id, bundle_schema_id_length))
        return KELVRA_ERR_DATA;
    const kelvra_json_value *data = member(root, "data");
    Bytes label;
    if (data == nullptr || !string_of(member(data, "label"), &label) || label.length >= label_capacity)
        return KELVRA_ERR_DATA;
    if (label.length > 0) std::memcpy(label_out, label.data, label.length);
    label_out[label.length] = '\0';
    store_extent(data, extent);
    return KELVRA_OK;
}

// A position in the order array: four bytes at any address.
struct Rank {
    std::uint8_t bytes[4];
};

std::uint32_t load_rank(const Rank &r) noexcept {
    std::uint32_t i;
    std::memcpy(&i, r.bytes, sizeof i);
    return i;
}

Rank make_rank(std::uint32_t i) noexcept {
    Rank r;
    std::memcpy(r.bytes, &i, sizeof i);
    return r;
}

std::uint32_t entry_of(const PackTable &t, std::uint32_t k) noexcept {
    return load_rank(reinterpret_cast<const Rank *>(t.order)[k]);
}

} // namespace

kelvra_status scan_bundles(const char *dir, std::uint8_t *names, std::uint32_t capacity,
                           std::uint32_t *count) noexcept {
    *count = 0;
    kelvra_plat_dir listing{};
    if (kelvra_plat_dir_open(dir, &listing) != KELVRA_OK) return KELVRA_OK;
    char name[name_entry_bytes];
    kelvra_status status = KELVRA_OK;
    for (std::uint32_t examined = 0; examined < max_scanned_entries; ++examined) {
        std::uint32_t has = 0;
        status = kelvra_plat_dir_next(&listing, name, sizeof name, &has);
        if (status != KELVRA_OK || has == 0) break;
        if (!is_bundle_name(name)) continue;
        if (names != nullptr) {
            if (*count == capacity) {
                status = KELVRA_ERR_CAPACITY;
                break;
            }
            std::memcpy(names + *count * name_entry_bytes, name, std::strlen(name) + 1);
        }
        ++*count;
    }
    kelvra_plat_dir_close(&listing);
    return status;
}

bool lay_out_pack_table(Area arena, std::uint32_t count, PackTable *t) noexcept {
    kelvra_genome_arena cursor{arena.base, arena.capacity, 0};
    t->names = allocate(cursor, count * name_entry_bytes);
    t->labels = t->names != nullptr ? allocate(cursor, count * label_entry_bytes) : nullptr;
    t->extents = t->labels != nullptr ? allocate(cursor, count * extent_entry_bytes) : nullptr;
    t->order = t->extents != nullptr ? allocate(cursor, count * std::uint64_t{sizeof(Rank)}) : nullptr;
    if (t->order == nullptr) return false;
    t->count = count;
    t->rest = area_from(arena, rounded_within(cursor.used, arena.capacity));
    return true;
}

kelvra_status read_labels(const char *in_dir, const PackTable &t) noexcept {
    for (std::uint32_t i = 0; i < t.count; ++i) {
        char path[path_capacity];
        if (!join_path(in_dir, name_at(t, i), path)) return KELVRA_ERR_CAPACITY;
        if (const kelvra_status s = read_bundle_label(path, t.rest, label_at(t, i), extent_at(t, i))) return s;
    }
    return KELVRA_OK;
}

// Sorting the order array rather than the entries keeps the work at
// n log n comparisons; ties go by listing position, which makes it stable.
void sort_by_label(const PackTable &t) noexcept {
    Rank *order = reinterpret_cast<Rank *>(t.order);
    for (std::uint32_t i = 0; i < t.count; ++i) order[i] = make_rank(i);
    std::sort(order, order + t.count, [&t](const Rank &a, const Rank &b) {
        const std::uint32_t i = load_rank(a), j = load_rank(b);
        const int c = std::strcmp(label_at(t, i), label_at(t, j));
        return c < 0 || (c == 0 && i < j);
    });
}

const char *bundle_name(const PackTable &t, std::uint32_t k) noexcept { return name_at(t, entry_of(t, k)); }

std::uint64_t region_bound(const PackTable &t, std::uint32_t k) noexcept {
    std::uint64_t bytes;
    std::memcpy(&bytes, extent_at(t, entry_of(t, k)), 8);
    return bytes;
}

std::uint64_t cap_bound(const PackTable &t, std::uint32_t k) noexcept {
    std::uint64_t caps;
    std::memcpy(&caps, extent_at(t, entry_of(t, k)) + 8, 8);
    return caps;
}

} // namespace kelvra::genome
