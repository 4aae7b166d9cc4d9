// Whole-genome bundle operations: explode writes one bundle per chromosome
// into a directory; pack imports every bundle of a directory, in label order.
#include <cstring>

#include "frame/status.hpp"
#include "genome/format.hpp"
#include "genome/manifest.hpp"
#include "genome/steps.hpp"
#include "genome/text.hpp"

namespace kelvra::genome {
namespace {

constexpr std::uint64_t name_entry_bytes = 264;
constexpr std::uint64_t label_entry_bytes = label_capacity;
constexpr std::uint32_t max_scanned_entries = 65536;

// ---- Explode ------------------------------------------------------------------

kelvra_status chromosome_list(const kelvra_json_value *manifest, const kelvra_json_value **list,
                              std::uint32_t *count) noexcept {
    const kelvra_json_value *data = member(manifest, "data");
    if (data == nullptr) return to_c(Status::data);
    *list = member(data, "chromosomes");
    return array_count(*list, count) ? to_c(Status::ok) : to_c(Status::data);
}

// A label becomes a file name: it must be a usable, non-empty name that stays
// inside the output directory.
bool usable_as_file_name(const Bytes &label) noexcept {
    if (label.length == 0 || label.length > max_label_bytes) return false;
    if (label.length == 1 && label.data[0] == '.') return false;
    if (label.length == 2 && label.data[0] == '.' && label.data[1] == '.') return false;
    for (std::uint32_t i = 0; i < label.length; ++i) {
        const std::uint8_t c = label.data[i];
        if (c == '/' || c == '\\' || c == '\0') return false;
    }
    return true;
}

kelvra_status copy_labels(const kelvra_json_value *list, std::uint32_t count, std::uint8_t *table) noexcept {
    for (std::uint32_t i = 0; i < count; ++i) {
        Bytes label;
        if (!string_of(member(array_item(list, i), "label"), &label)) return to_c(Status::data);
        if (!usable_as_file_name(label)) return to_c(Status::data);
        char *entry = reinterpret_cast<char *>(table + i * label_entry_bytes);
        std::memcpy(entry, label.data, label.length);
        entry[label.length] = '\0';
    }
    return to_c(Status::ok);
}

kelvra_status export_each(const char *dir, const char *out_dir, const std::uint8_t *the_one,
                          std::uint64_t the_one_len, const std::uint8_t *table, std::uint32_t count,
                          Area rest) noexcept {
    for (std::uint32_t i = 0; i < count; ++i) {
        const char *label = reinterpret_cast<const char *>(table + i * label_entry_bytes);
        char file_name[label_capacity + bundle_suffix_length];
        const std::size_t length = std::strlen(label);
        std::memcpy(file_name, label, length);
        std::memcpy(file_name + length, bundle_suffix, sizeof bundle_suffix);
        char path[path_capacity];
        if (!join_path(out_dir, file_name, path)) return to_c(Status::capacity);
        if (const kelvra_status s = kelvra_genome_export(dir, label, path, the_one, the_one_len, rest.base,
                                                         rest.capacity))
            return s;
    }
    return to_c(Status::ok);
}

// ---- Pack ---------------------------------------------------------------------

bool is_bundle_name(const char *name) noexcept {
    const std::size_t length = std::strlen(name);
    return length >= bundle_suffix_length + 1 && length < name_entry_bytes &&
           std::memcmp(name + length - bundle_suffix_length, bundle_suffix, bundle_suffix_length) == 0;
}

// Lists the bundle names of `dir`; stores them when `table` is given (room for
// `capacity` names). A directory that cannot be listed holds no bundles.
kelvra_status scan_bundles(const char *dir, std::uint8_t *table, std::uint32_t capacity,
                           std::uint32_t *count) noexcept {
    *count = 0;
    kelvra_plat_dir listing{};
    if (kelvra_plat_dir_open(dir, &listing) != KELVRA_OK) return to_c(Status::ok);
    char name[name_entry_bytes];
    kelvra_status status = to_c(Status::ok);
    for (std::uint32_t examined = 0; examined < max_scanned_entries; ++examined) {
        std::uint32_t has = 0;
        status = kelvra_plat_dir_next(&listing, name, sizeof name, &has);
        if (status != KELVRA_OK || has == 0) break;
        if (!is_bundle_name(name)) continue;
        if (table != nullptr) {
            if (*count == capacity) {
                status = to_c(Status::capacity);
                break;
            }
            std::memcpy(table + *count * name_entry_bytes, name, std::strlen(name) + 1);
        }
        ++*count;
    }
    kelvra_plat_dir_close(&listing);
    return status;
}

// Reads a bundle's "data"."label" into a label table entry, using `scratch`
// for the text and its parse.
kelvra_status read_bundle_label(const char *path, Area scratch, char *label_out) noexcept {
    std::uint64_t size = 0;
    if (const kelvra_status s = kelvra_plat_file_size(path, &size)) return s;
    if (scratch.base == nullptr || size >= scratch.capacity) return to_c(Status::capacity);
    std::uint64_t read = 0;
    if (const kelvra_status s = kelvra_plat_file_read(path, scratch.base, size + 1, &read)) return s;
    const Area tree = area_from(scratch, rounded_within(size + 1, scratch.capacity));
    kelvra_json_value *root = nullptr;
    if (const kelvra_status s =
            kelvra_json_parse(scratch.base, without_line_ends(scratch.base, read), tree.base, tree.capacity, &root))
        return s;
    if (!string_equals(member(root, "data_schema_id"), bundle_schema_id, bundle_schema_id_length))
        return to_c(Status::data);
    const kelvra_json_value *data = member(root, "data");
    Bytes label;
    if (data == nullptr || !string_of(member(data, "label"), &label) || label.length >= label_capacity)
        return to_c(Status::data);
    if (label.length > 0) std::memcpy(label_out, label.data, label.length);
    label_out[label.length] = '\0';
    return to_c(Status::ok);
}

// The tables of pack: names (264 bytes each), then labels (256 bytes each).
struct PackTables {
    std::uint8_t *names;
    std::uint8_t *labels;
    Area scratch;
};

char *name_at(const PackTables &t, std::uint32_t i) noexcept {
    return reinterpret_cast<char *>(t.names + i * name_entry_bytes);
}
char *label_at(const PackTables &t, std::uint32_t i) noexcept {
    return reinterpret_cast<char *>(t.labels + i * label_entry_bytes);
}

// Stable insertion sort of the (label, name) pairs by label: a pair moves
// only past strictly greater labels. The entries are moved as blocks.
void sort_by_label(const PackTables &t, std::uint32_t count) noexcept {
    char label[label_entry_bytes];
    char name[name_entry_bytes];
    for (std::uint32_t i = 1; i < count; ++i) {
        std::uint32_t lo = 0, hi = i; // first position whose label is greater than label i
        while (lo < hi) {
            const std::uint32_t mid = lo + (hi - lo) / 2;
            if (std::strcmp(label_at(t, mid), label_at(t, i)) > 0) hi = mid;
            else lo = mid + 1;
        }
        if (lo == i) continue;
        std::memcpy(label, label_at(t, i), label_entry_bytes);
        std::memcpy(name, name_at(t, i), name_entry_bytes);
        std::memmove(label_at(t, lo + 1), label_at(t, lo), (i - lo) * label_entry_bytes);
        std::memmove(name_at(t, lo + 1), name_at(t, lo), (i - lo) * name_entry_bytes);
        std::memcpy(label_at(t, lo), label, label_entry_bytes);
        std::memcpy(name_at(t, lo), name, name_entry_bytes);
    }
}

bool lay_out_pack(std::uint8_t *arena, std::uint64_t arena_cap, std::uint32_t count, PackTables *t) noexcept {
    kelvra_genome_arena cursor{arena, arena_cap, 0};
    t->names = allocate(cursor, count * name_entry_bytes);
    t->labels = t->names != nullptr ? allocate(cursor, count * label_entry_bytes) : nullptr;
    if (t->labels == nullptr) return false;
    t->scratch = area_from({arena, arena_cap}, rounded_within(cursor.used, arena_cap));
    return true;
}

kelvra_status read_labels(const char *in_dir, const PackTables &t, std::uint32_t count) noexcept {
    for (std::uint32_t i = 0; i < count; ++i) {
        char path[path_capacity];
        if (!join_path(in_dir, name_at(t, i), path)) return to_c(Status::capacity);
        if (const kelvra_status s = read_bundle_label(path, t.scratch, label_at(t, i))) return s;
    }
    return to_c(Status::ok);
}

kelvra_status import_each(const char *in_dir, const char *out_dir, const std::uint8_t *the_one,
                          std::uint64_t the_one_len, const PackTables &t, std::uint32_t count) noexcept {
    for (std::uint32_t i = 0; i < count; ++i) {
        char path[path_capacity];
        if (!join_path(in_dir, name_at(t, i), path)) return to_c(Status::capacity);
        if (const kelvra_status s =
                kelvra_genome_import(path, out_dir, the_one, the_one_len, t.scratch.base, t.scratch.capacity))
            return s;
    }
    return to_c(Status::ok);
}

} // namespace
} // namespace kelvra::genome

using namespace kelvra;
using namespace kelvra::genome;

extern "C" KELVRA_API kelvra_status kelvra_genome_explode(const char *dir, const char *out_dir,
                                                          const uint8_t *the_one, uint64_t the_one_len,
                                                          uint8_t *arena, uint64_t arena_cap) noexcept {
    if (dir == nullptr || out_dir == nullptr || arena == nullptr) return to_c(Status::arg);
    if (the_one_out_of_range(the_one, the_one_len)) return to_c(Status::data);
    const kelvra_json_value *manifest = nullptr, *list = nullptr;
    std::uint32_t count = 0;
    if (const kelvra_status s = obtain_manifest(dir, the_one, the_one_len, {arena, arena_cap}, &manifest)) return s;
    if (const kelvra_status s = chromosome_list(manifest, &list, &count)) return s;

    const std::uint64_t table_bytes = std::uint64_t{count > 0 ? count : 1} * label_entry_bytes;
    if (table_bytes > arena_cap) return to_c(Status::capacity);
    const Area rest = area_from({arena, arena_cap}, table_bytes);
    std::uint32_t listed = 0;
    if (const kelvra_status s = obtain_manifest(dir, the_one, the_one_len, rest, &manifest)) return s;
    if (const kelvra_status s = chromosome_list(manifest, &list, &listed)) return s;
    // The manifest was read twice; a second reading that grew no longer fits the table.
    if (listed > count) return to_c(Status::capacity);
    if (const kelvra_status s = copy_labels(list, listed, arena)) return s;
    return export_each(dir, out_dir, the_one, the_one_len, arena, listed, rest);
}

extern "C" KELVRA_API kelvra_status kelvra_genome_pack(const char *in_dir, const char *out_dir, const uint8_t *the_one,
                                                       uint64_t the_one_len, uint8_t *arena,
                                                       uint64_t arena_cap) noexcept {
    if (in_dir == nullptr || out_dir == nullptr || arena == nullptr) return to_c(Status::arg);
    if (the_one_out_of_range(the_one, the_one_len)) return to_c(Status::data);
    std::uint32_t counted = 0;
    if (const kelvra_status s = scan_bundles(in_dir, nullptr, 0, &counted)) return s;
    if (counted == 0) return to_c(Status::data);
    PackTables tables{};
    if (!lay_out_pack(arena, arena_cap, counted, &tables)) return to_c(Status::capacity);
    std::uint32_t count = 0;
    if (const kelvra_status s = scan_bundles(in_dir, tables.names, counted, &count)) return s;
    if (count == 0) return to_c(Status::data);
    if (const kelvra_status s = read_labels(in_dir, tables, count)) return s;
    sort_by_label(tables, count);
    return import_each(in_dir, out_dir, the_one, the_one_len, tables, count);
}
