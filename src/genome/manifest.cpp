#include "genome/manifest.hpp"

#include <cstring>

#include "frame/status.hpp"
#include "genome/index.hpp"
#include "genome/json_build.hpp"
#include "genome/steps.hpp"
#include "genome/text.hpp"
#include "text/json_record.hpp"

namespace kelvra::genome {
namespace {

namespace rec = text::json_record;

kelvra_json_value *chromosome_value(kelvra_json_builder &b, const kelvra_genome_desc &desc, std::uint32_t i) noexcept {
    static constexpr const char *keys[] = {"byte_len", "byte_offset", "cap_sha256", "label", "leaf_count"};
    kelvra_json_value *const values[] = {
        kelvra_json_new_int(&b, load_u32(desc.byte_lengths, i)),
        kelvra_json_new_int(&b, load_u32(desc.byte_offsets, i)),
        text_value(b, desc.cap_sha256[i]),
        text_value(b, desc.labels[i]),
        kelvra_json_new_int(&b, load_u32(desc.leaf_counts, i)),
    };
    return object_of(b, keys, values);
}

kelvra_json_value *data_value(kelvra_json_builder &b, const ManifestTexts &t, kelvra_json_value *chromosomes,
                              std::uint32_t leaf_dim, std::uint64_t body_length) noexcept {
    static constexpr const char *one_keys[] = {"hex", "sha256"};
    kelvra_json_value *const one_values[] = {text_value(b, t.the_one_hex), text_value(b, t.the_one_sha256)};
    static constexpr const char *keys[] = {"body_sha256", "chromosomes", "format_version",
                                           "leaf_dim",    "n_turns",     "the_one"};
    kelvra_json_value *const values[] = {
        text_value(b, t.body_sha256),
        chromosomes,
        kelvra_json_new_int(&b, format_version),
        kelvra_json_new_int(&b, leaf_dim),
        kelvra_json_new_int(&b, static_cast<std::int64_t>(body_length / leaf_dim)),
        object_of(b, one_keys, one_values),
    };
    return object_of(b, keys, values);
}

kelvra_json_value *rendering_value(kelvra_json_builder &b) noexcept {
    static constexpr const char *keys[] = {"cite_as", "human_readable_name", "purpose"};
    kelvra_json_value *const values[] = {text_value(b, manifest_cite_as), text_value(b, manifest_name),
                                         text_value(b, manifest_purpose)};
    return object_of(b, keys, values);
}

kelvra_status derive_manifest(const char *dir, const std::uint8_t *the_one, std::uint64_t the_one_len, Area area,
                              const kelvra_json_value **root) noexcept {
    if (the_one == nullptr || the_one_len < min_leaf_dim || the_one_len > max_leaf_dim) return KELVRA_ERR_DATA;
    const auto leaf_dim = static_cast<std::uint32_t>(the_one_len);
    char path[path_capacity];
    if (!join_path(dir, body_file, path)) return KELVRA_ERR_CAPACITY;
    std::uint64_t size = 0;
    if (const kelvra_status s = kelvra_plat_file_size(path, &size)) return s;
    const std::uint64_t reserved = size > 0 ? size : 1;
    if (area.base == nullptr || reserved > area.capacity || size >= body_limit) return KELVRA_ERR_CAPACITY;
    std::uint64_t read = 0;
    if (const kelvra_status s = kelvra_plat_file_read(path, area.base, size, &read)) return s;
    kelvra_genome_arena cursor{area.base, area.capacity, reserved};
    kelvra_genome_desc desc{};
    if (const kelvra_status s = index_body(area.base, read, leaf_dim, the_one, cursor, desc)) return s;
    const std::uint64_t tree_at = rounded_within(cursor.used, area.capacity);
    Area rest{};
    return build_manifest(desc, leaf_dim, read, area_from(area, tree_at), root, &rest);
}

kelvra_status parse_manifest(const char *path, std::uint64_t size, Area area, const kelvra_json_value **root) noexcept {
    if (area.base == nullptr || size >= area.capacity) return KELVRA_ERR_CAPACITY;
    std::uint64_t read = 0;
    if (const kelvra_status s = kelvra_plat_file_read(path, area.base, size + 1, &read)) return s;
    const std::uint64_t length = without_line_ends(area.base, read);
    const Area tree = area_from(area, rounded_within(size + 1, area.capacity));
    kelvra_json_value *parsed = nullptr;
    if (const kelvra_status s = kelvra_json_parse(area.base, length, tree.base, tree.capacity, &parsed)) return s;
    *root = parsed;
    return KELVRA_OK;
}

} // namespace

kelvra_status build_manifest(const kelvra_genome_desc &desc, std::uint32_t leaf_dim, std::uint64_t body_length,
                             Area area, const kelvra_json_value **root, Area *rest) noexcept {
    const std::uint64_t items_bytes = std::uint64_t{desc.count} * rec::slot_bytes;
    if (desc.count > 0 && (area.base == nullptr || items_bytes > area.capacity)) return KELVRA_ERR_CAPACITY;
    auto **items = reinterpret_cast<kelvra_json_value **>(area.base);
    const Area tree = area_from(area, rounded_within(items_bytes, area.capacity));
    kelvra_json_builder b;
    if (kelvra_json_builder_init(&b, tree.capacity > 0 ? tree.base : nullptr, tree.capacity) != KELVRA_OK)
        return KELVRA_ERR_CAPACITY;

    for (std::uint32_t i = 0; i < desc.count; ++i) rec::store_value_at(items, i, chromosome_value(b, desc, i));
    kelvra_json_value *chromosomes = kelvra_json_new_array(&b, items, desc.count);
    static constexpr const char *keys[] = {"attestation", "data", "data_schema_id", "mpr_version", "rendering"};
    kelvra_json_value *const values[] = {
        attestation_value(b, Attestation{desc.texts->schema_sha256, desc.texts->rule_sha256, desc.texts->parser_version,
                                         desc.texts->body_sha256, manifest_source_doi, manifest_source_url}),
        data_value(b, *desc.texts, chromosomes, leaf_dim, body_length),
        text_value(b, manifest_schema_id),
        text_value(b, mpr_version),
        rendering_value(b),
    };
    kelvra_json_value *top = object_of(b, keys, values);
    if (b.failed != 0 || top == nullptr) return KELVRA_ERR_CAPACITY;
    *root = top;
    *rest = {b.base + b.used, b.capacity - b.used};
    return KELVRA_OK;
}

kelvra_status obtain_manifest(const char *dir, const std::uint8_t *the_one, std::uint64_t the_one_len, Area area,
                              const kelvra_json_value **root) noexcept {
    char path[path_capacity];
    if (!join_path(dir, manifest_file, path)) return KELVRA_ERR_CAPACITY;
    std::uint64_t size = 0;
    bool present = false;
    if (const kelvra_status s = size_if_present(path, &size, &present)) return s;
    return present ? parse_manifest(path, size, area, root) : derive_manifest(dir, the_one, the_one_len, area, root);
}

} // namespace kelvra::genome
