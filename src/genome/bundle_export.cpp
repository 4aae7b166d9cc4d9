// Chromosome bundles: exporting one chromosome of a genome as a
// self-verifying JSON file, and importing such a file into a genome (creating
// the genome when the directory holds no body yet).
#include <cstring>

#include "frame/status.hpp"
#include "genome/format.hpp"
#include "genome/hexcode.hpp"
#include "genome/json_build.hpp"
#include "genome/manifest.hpp"
#include "genome/steps.hpp"
#include "genome/store.hpp"
#include "genome/text.hpp"
#include "platform/platform.hpp"

namespace kelvra::genome {
namespace {

// ---- Export -------------------------------------------------------------------

struct RegionPlace {
    std::uint64_t offset;
    std::uint64_t length;
};

bool copy_text(const Bytes &text, char *out, std::size_t capacity) noexcept {
    if (text.length >= capacity) return false;
    std::memcpy(out, text.data, text.length);
    out[text.length] = '\0';
    return true;
}

// A region figure from the manifest: a non-negative integer below 2^32.
bool region_figure(const kelvra_json_value *value, std::uint64_t *out) noexcept {
    std::int64_t figure = 0;
    if (!integer_of(value, &figure) || figure < 0 || static_cast<std::uint64_t>(figure) >= body_limit) return false;
    *out = static_cast<std::uint64_t>(figure);
    return true;
}

// Finds the chromosome to export and fills the bundle description from the
// manifest; the manifest is not needed afterwards.
kelvra_status look_up_for_export(const kelvra_json_value *manifest, const char *label, kelvra_bundle_desc &desc,
                                 RegionPlace *place) noexcept {
    const kelvra_json_value *data = member(manifest, "data");
    const kelvra_json_value *the_one = member(data, "the_one");
    std::int64_t leaf_dim = 0;
    if (!integer_of(member(data, "leaf_dim"), &leaf_dim) || leaf_dim < min_leaf_dim || leaf_dim > max_leaf_dim ||
        !is_object(the_one))
        return to_c(Status::data);
    const kelvra_json_value *list = member(data, "chromosomes");
    std::uint32_t count = 0;
    if (!array_count(list, &count) || count == 0) return to_c(Status::data);
    const std::size_t label_length = std::strlen(label);
    const kelvra_json_value *found = nullptr;
    for (std::uint32_t i = 0; i < count && found == nullptr; ++i) {
        const kelvra_json_value *element = array_item(list, i);
        if (string_equals(member(element, "label"), label, label_length)) found = element;
    }
    if (found == nullptr || label_length > max_label_bytes) return to_c(Status::data);

    Bytes cap, one_digest, one_hex;
    std::int64_t leaves = 0;
    if (!region_figure(member(found, "byte_offset"), &place->offset) ||
        !region_figure(member(found, "byte_len"), &place->length) ||
        !integer_of(member(found, "leaf_count"), &leaves) || !string_of(member(found, "cap_sha256"), &cap) ||
        cap.length != digest_chars || !string_of(member(the_one, "sha256"), &one_digest) ||
        one_digest.length != digest_chars || !string_of(member(the_one, "hex"), &one_hex) ||
        one_hex.length > 2 * max_leaf_dim)
        return to_c(Status::data);
    // The cap record that is verified must lie inside the region.
    if (place->length < static_cast<std::uint64_t>(leaf_dim)) return to_c(Status::data);

    std::memcpy(desc.label, label, label_length + 1);
    copy_text(cap, desc.cap_sha256, sizeof desc.cap_sha256);
    copy_text(one_digest, desc.the_one_sha256, sizeof desc.the_one_sha256);
    copy_text(one_hex, desc.the_one_hex, sizeof desc.the_one_hex);
    desc.leaf_dim = static_cast<std::uint32_t>(leaf_dim);
    desc.leaf_count = leaves;
    return to_c(Status::ok);
}

void fill_bundle_texts(kelvra_bundle_desc &desc, const std::uint8_t *region, std::uint64_t length,
                       char *region_hex) noexcept {
    digest_hex(region, length, desc.region_sha256);
    write_hex(region, length, region_hex);
    digest_hex(reinterpret_cast<const std::uint8_t *>(bundle_rule), sizeof bundle_rule - 1, desc.rule_sha256);
    digest_hex(reinterpret_cast<const std::uint8_t *>(bundle_schema_id), bundle_schema_id_length,
               desc.schema_sha256);
    std::memcpy(desc.parser_version, parser_version, sizeof parser_version);
    const std::size_t label_length = std::strlen(desc.label);
    char *name = desc.display_name;
    std::memcpy(name, bundle_name_prefix, sizeof bundle_name_prefix - 1);
    name += sizeof bundle_name_prefix - 1;
    std::memcpy(name, desc.label, label_length);
    std::memcpy(name + label_length, ")", 2);
}

kelvra_json_value *hex_pair(kelvra_json_builder &b, const char *hex, std::uint64_t hex_length,
                            const char *digest) noexcept {
    static constexpr const char *keys[] = {"hex", "sha256"};
    kelvra_json_value *const values[] = {
        kelvra_json_new_string(&b, reinterpret_cast<const std::uint8_t *>(hex), static_cast<std::uint32_t>(hex_length)),
        text_value(b, digest)};
    return object_of(b, keys, values);
}

kelvra_json_value *bundle_tree(kelvra_json_builder &b, const kelvra_bundle_desc &d, const char *region_hex,
                               std::uint64_t region_length) noexcept {
    static constexpr const char *data_keys[] = {"cap_sha256", "format_version", "label",  "leaf_count",
                                                "leaf_dim",   "region",         "the_one"};
    kelvra_json_value *const data_values[] = {
        text_value(b, d.cap_sha256),
        kelvra_json_new_int(&b, format_version),
        text_value(b, d.label),
        kelvra_json_new_int(&b, d.leaf_count),
        kelvra_json_new_int(&b, d.leaf_dim),
        hex_pair(b, region_hex, 2 * region_length, d.region_sha256),
        hex_pair(b, d.the_one_hex, std::strlen(d.the_one_hex), d.the_one_sha256),
    };
    static constexpr const char *attestation_keys[] = {
        "collector_descriptor_hash", "collector_descriptor_path", "license", "parser_rule_hash", "parser_version",
        "response_sha256",           "retrieved_at",              "source_doi", "source_url"};
    kelvra_json_value *const attestation_values[] = {
        text_value(b, d.schema_sha256),   text_value(b, descriptor_path),   text_value(b, license),
        text_value(b, d.rule_sha256),     text_value(b, d.parser_version),  text_value(b, d.region_sha256),
        text_value(b, retrieved_at),      text_value(b, bundle_source_doi), text_value(b, bundle_source_url),
    };
    static constexpr const char *rendering_keys[] = {"cite_as", "human_readable_name", "purpose"};
    kelvra_json_value *const rendering_values[] = {text_value(b, bundle_cite_as), text_value(b, d.display_name),
                                                   text_value(b, bundle_purpose)};
    static constexpr const char *keys[] = {"attestation", "data", "data_schema_id", "mpr_version", "rendering"};
    kelvra_json_value *const values[] = {
        object_of(b, attestation_keys, attestation_values),
        object_of(b, data_keys, data_values),
        text_value(b, bundle_schema_id),
        text_value(b, mpr_version),
        object_of(b, rendering_keys, rendering_values),
    };
    return object_of(b, keys, values);
}

// The export's areas, each at the next multiple of 16 from the arena's start.
struct ExportLayout {
    std::uint8_t *region;
    char *region_hex;
    std::uint8_t *text;
    Area tree;
};

bool lay_out_export(std::uint8_t *arena, std::uint64_t arena_cap, std::uint64_t length, ExportLayout *layout) noexcept {
    kelvra_genome_arena cursor{arena, arena_cap, 0};
    layout->region = allocate(cursor, length > 0 ? length : 1);
    if (layout->region == nullptr) return false;
    layout->region_hex = reinterpret_cast<char *>(allocate(cursor, 2 * length + 1));
    if (layout->region_hex == nullptr) return false;
    layout->text = allocate(cursor, 2 * length + 4096);
    if (layout->text == nullptr) return false;
    layout->tree = area_from({arena, arena_cap}, rounded_within(cursor.used, arena_cap));
    return true;
}

// Renders the bundle line (with its line feed) into the layout's text area.
kelvra_status render_bundle(const kelvra_bundle_desc &desc, const ExportLayout &layout, std::uint64_t length,
                            std::uint64_t *line_length) noexcept {
    kelvra_json_builder b;
    if (kelvra_json_builder_init(&b, layout.tree.capacity > 0 ? layout.tree.base : nullptr, layout.tree.capacity) !=
        KELVRA_OK)
        return to_c(Status::capacity);
    const kelvra_json_value *root = bundle_tree(b, desc, layout.region_hex, length);
    if (b.failed != 0 || root == nullptr) return to_c(Status::capacity);
    if (kelvra_json_write_arena_bytes(root) > b.capacity - b.used) return to_c(Status::capacity);
    std::uint64_t written = 0;
    if (const kelvra_status s =
            kelvra_json_write_ws(root, layout.text, bundle_text_limit(length), &written, b.base + b.used,
                                 b.capacity - b.used))
        return s;
    layout.text[written] = '\n';
    *line_length = written + 1;
    return to_c(Status::ok);
}

// ---- Import -------------------------------------------------------------------

// What an import keeps of a verified bundle. The label and `the_one` are
// copied out of the parse tree, whose arena is reused for the genome.
struct VerifiedBundle {
    std::uint32_t leaf_dim;
    std::uint8_t label[label_capacity];
    std::size_t label_length;
    const std::uint8_t *region;
    std::uint64_t region_length;
    std::uint8_t the_one[max_leaf_dim];
    char the_one_sha256[digest_capacity];
};

kelvra_status verify_bundle(const kelvra_json_value *root, std::uint8_t *region_buffer, std::uint64_t region_cap,
                            VerifiedBundle *bundle) noexcept {
    if (!string_equals(member(root, "data_schema_id"), bundle_schema_id, bundle_schema_id_length))
        return to_c(Status::data);
    const kelvra_json_value *data = member(root, "data");
    const kelvra_json_value *attestation = member(root, "attestation");
    if (!is_object(data) || !is_object(attestation)) return to_c(Status::data);
    std::int64_t leaf_dim = 0;
    Bytes label;
    if (!integer_of(member(data, "leaf_dim"), &leaf_dim) || leaf_dim < min_leaf_dim || leaf_dim > max_leaf_dim ||
        !string_of(member(data, "label"), &label) || label.length > max_label_bytes)
        return to_c(Status::data);
    char region_digest[digest_capacity];
    if (const kelvra_status s = decode_hex_member(member(data, "region"), region_buffer, region_cap,
                                                  &bundle->region_length, region_digest))
        return s;
    if (!string_equals(member(attestation, "response_sha256"), region_digest, digest_chars))
        return to_c(Status::data);
    std::uint64_t one_length = 0;
    if (const kelvra_status s = decode_hex_member(member(data, "the_one"), bundle->the_one, sizeof bundle->the_one,
                                                  &one_length, bundle->the_one_sha256))
        return s;
    if (one_length != static_cast<std::uint64_t>(leaf_dim)) return to_c(Status::data);
    bundle->leaf_dim = static_cast<std::uint32_t>(leaf_dim);
    if (label.length > 0) std::memcpy(bundle->label, label.data, label.length);
    bundle->label_length = label.length;
    bundle->region = region_buffer;
    return to_c(Status::ok);
}

// Reads the bundle file into the arena's start, parses it after the region
// buffer, and verifies it. `*parse_at` is where the parse began: everything
// from there on is free once the bundle is verified.
kelvra_status read_bundle(const char *bundle_path, std::uint8_t *arena, std::uint64_t arena_cap,
                          VerifiedBundle *bundle, std::uint64_t *parse_at) noexcept {
    std::uint64_t size = 0;
    if (const kelvra_status s = kelvra_plat_file_size(bundle_path, &size)) return s;
    if (size == UINT64_MAX) return to_c(Status::capacity);
    kelvra_genome_arena cursor{arena, arena_cap, 0};
    std::uint8_t *text = allocate(cursor, size + 1);
    std::uint8_t *region = text != nullptr ? allocate(cursor, size + 1) : nullptr;
    if (region == nullptr) return to_c(Status::capacity);
    std::uint64_t read = 0;
    if (const kelvra_status s = kelvra_plat_file_read(bundle_path, text, size + 1, &read)) return s;
    *parse_at = rounded_within(cursor.used, arena_cap);
    const Area tree = area_from({arena, arena_cap}, *parse_at);
    kelvra_json_value *root = nullptr;
    if (const kelvra_status s =
            kelvra_json_parse(text, without_line_ends(text, read), tree.base, tree.capacity, &root))
        return s;
    return verify_bundle(root, region, size + 1, bundle);
}

// Adds a verified bundle's region at the end of an existing genome.
kelvra_status merge_bundle(const char *dir, const VerifiedBundle &bundle, std::uint64_t stored_size,
                           const std::uint8_t *the_one, std::uint64_t the_one_len, Area area) noexcept {
    if (stored_size >= body_limit || bundle.region_length >= body_limit - stored_size) return to_c(Status::capacity);
    const std::uint64_t total = stored_size + bundle.region_length;
    const std::uint64_t room = total > 0 ? total : 1;
    if (area.base == nullptr || room > area.capacity) return to_c(Status::capacity);
    const Area after_body = area_from(area, rounded_within(room, area.capacity));
    const std::uint8_t *derive_with = the_one != nullptr ? the_one : bundle.the_one;
    const std::uint64_t derive_len = the_one != nullptr ? the_one_len : bundle.leaf_dim;
    const kelvra_json_value *manifest = nullptr;
    if (const kelvra_status s = obtain_manifest(dir, derive_with, derive_len, after_body, &manifest)) return s;

    std::int64_t leaf_dim = 0;
    if (!integer_of(member(member(manifest, "data"), "leaf_dim"), &leaf_dim) || leaf_dim != bundle.leaf_dim)
        return to_c(Status::data);
    if (!string_equals(member(member(member(manifest, "data"), "the_one"), "sha256"), bundle.the_one_sha256,
                       digest_chars))
        return to_c(Status::data);
    if (const kelvra_status s = require_new_label(manifest, bundle.label, bundle.label_length)) return s;
    std::uint64_t stored = 0;
    if (const kelvra_status s = read_verified_body(dir, manifest, area.base, total, &stored)) return s;
    if (stored > total - bundle.region_length) return to_c(Status::capacity);
    if (bundle.region_length > 0) std::memcpy(area.base + stored, bundle.region, bundle.region_length);
    return save_genome(dir, area.base, stored + bundle.region_length, bundle.leaf_dim, bundle.the_one,
                       bundle.leaf_dim, after_body.base, after_body.capacity);
}

} // namespace
} // namespace kelvra::genome

using namespace kelvra;
using namespace kelvra::genome;

extern "C" KELVRA_API kelvra_status kelvra_genome_export(const char *dir, const char *label, const char *out_path,
                                                         const uint8_t *the_one, uint64_t the_one_len, uint8_t *arena,
                                                         uint64_t arena_cap) noexcept {
    if (dir == nullptr || label == nullptr || out_path == nullptr || arena == nullptr) return to_c(Status::arg);
    if (the_one_out_of_range(the_one, the_one_len)) return to_c(Status::data);
    const kelvra_json_value *manifest = nullptr;
    if (const kelvra_status s = obtain_manifest(dir, the_one, the_one_len, {arena, arena_cap}, &manifest)) return s;
    kelvra_bundle_desc desc{};
    RegionPlace place{};
    if (const kelvra_status s = look_up_for_export(manifest, label, desc, &place)) return s;

    ExportLayout layout{};
    if (!lay_out_export(arena, arena_cap, place.length, &layout)) return to_c(Status::capacity);
    char path[path_capacity];
    if (!join_path(dir, body_file, path)) return to_c(Status::capacity);
    if (const kelvra_status s = kelvra_plat_file_read_region(path, place.offset, layout.region, place.length)) return s;
    char cap_digest[digest_capacity];
    digest_hex(layout.region, desc.leaf_dim, cap_digest);
    if (std::memcmp(cap_digest, desc.cap_sha256, digest_capacity) != 0) return to_c(Status::data);

    fill_bundle_texts(desc, layout.region, place.length, layout.region_hex);
    std::uint64_t line_length = 0;
    if (const kelvra_status s = render_bundle(desc, layout, place.length, &line_length)) return s;
    return os::replace_file(out_path, layout.text, line_length) ? to_c(Status::ok) : to_c(Status::io);
}

extern "C" KELVRA_API kelvra_status kelvra_genome_import(const char *bundle_path, const char *dir,
                                                         const uint8_t *the_one, uint64_t the_one_len, uint8_t *arena,
                                                         uint64_t arena_cap) noexcept {
    if (bundle_path == nullptr || dir == nullptr || arena == nullptr) return to_c(Status::arg);
    if (the_one_out_of_range(the_one, the_one_len)) return to_c(Status::data);
    VerifiedBundle bundle{};
    std::uint64_t parse_at = 0;
    if (const kelvra_status s = read_bundle(bundle_path, arena, arena_cap, &bundle, &parse_at)) return s;
    const Area free_area = area_from({arena, arena_cap}, parse_at);

    char path[path_capacity];
    if (!join_path(dir, body_file, path)) return to_c(Status::capacity);
    std::uint64_t stored_size = 0;
    if (kelvra_plat_file_size(path, &stored_size) == KELVRA_OK)
        return merge_bundle(dir, bundle, stored_size, the_one, the_one_len, free_area);
    return save_genome(dir, bundle.region, bundle.region_length, bundle.leaf_dim, bundle.the_one, bundle.leaf_dim,
                       free_area.base, free_area.capacity);
}
