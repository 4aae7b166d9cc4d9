// Exporting one chromosome of a genome as a self-verifying bundle file, and
// the bundle writer that explode shares. The whole stored body is read and
// verified first, so a damaged body is never carried into a bundle.
#include <cstring>

#include "frame/status.hpp"
#include "genome/bundle.hpp"
#include "genome/format.hpp"
#include "genome/json_build.hpp"
#include "genome/manifest.hpp"
#include "genome/steps.hpp"
#include "genome/store.hpp"
#include "genome/text.hpp"
#include "platform/platform.hpp"

namespace kelvra::genome {
namespace {

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

// The first element of "chromosomes" whose label is `label`, or null.
const kelvra_json_value *find_element(const kelvra_json_value *list, std::uint32_t count, const char *label,
                                      std::size_t label_length) noexcept {
    for (std::uint32_t i = 0; i < count; ++i) {
        const kelvra_json_value *element = array_item(list, i);
        if (string_equals(member(element, "label"), label, label_length)) return element;
    }
    return nullptr;
}

void fill_bundle_texts(kelvra_bundle_desc &desc, const std::uint8_t *region, std::uint64_t length,
                       char *region_hex) noexcept {
    digest_hex(region, length, desc.region_sha256);
    write_hex(region, length, region_hex);
    digest_hex(reinterpret_cast<const std::uint8_t *>(bundle_rule), sizeof bundle_rule - 1, desc.rule_sha256);
    digest_hex(reinterpret_cast<const std::uint8_t *>(bundle_schema_id), bundle_schema_id_length, desc.schema_sha256);
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
    static constexpr const char *rendering_keys[] = {"cite_as", "human_readable_name", "purpose"};
    kelvra_json_value *const rendering_values[] = {text_value(b, bundle_cite_as), text_value(b, d.display_name),
                                                   text_value(b, bundle_purpose)};
    static constexpr const char *keys[] = {"attestation", "data", "data_schema_id", "mpr_version", "rendering"};
    kelvra_json_value *const values[] = {
        attestation_value(b, Attestation{d.schema_sha256, d.rule_sha256, d.parser_version, d.region_sha256,
                                         bundle_source_doi, bundle_source_url}),
        object_of(b, data_keys, data_values),
        text_value(b, bundle_schema_id),
        text_value(b, mpr_version),
        object_of(b, rendering_keys, rendering_values),
    };
    return object_of(b, keys, values);
}

// The writer's areas in its scratch, each at the next multiple of 16.
struct ExportLayout {
    char *region_hex;
    std::uint8_t *text;
    Area tree;
};

bool lay_out_export(Area scratch, std::uint64_t length, ExportLayout *layout) noexcept {
    kelvra_genome_arena cursor{scratch.base, scratch.capacity, 0};
    if (scratch.base == nullptr) return false;
    layout->region_hex = reinterpret_cast<char *>(allocate(cursor, 2 * length + 1));
    if (layout->region_hex == nullptr) return false;
    layout->text = allocate(cursor, 2 * length + 4096);
    if (layout->text == nullptr) return false;
    layout->tree = area_from(scratch, rounded_within(cursor.used, scratch.capacity));
    return true;
}

// Renders the bundle line (with its line feed) into the layout's text area.
kelvra_status render_line(const kelvra_bundle_desc &desc, const ExportLayout &layout, std::uint64_t length,
                          std::uint64_t *line_length) noexcept {
    kelvra_json_builder b;
    if (kelvra_json_builder_init(&b, layout.tree.capacity > 0 ? layout.tree.base : nullptr, layout.tree.capacity) !=
        KELVRA_OK)
        return KELVRA_ERR_CAPACITY;
    const kelvra_json_value *root = bundle_tree(b, desc, layout.region_hex, length);
    if (b.failed != 0 || root == nullptr) return KELVRA_ERR_CAPACITY;
    if (kelvra_json_write_arena_bytes(root) > b.capacity - b.used) return KELVRA_ERR_CAPACITY;
    std::uint64_t written = 0;
    if (const kelvra_status s = kelvra_json_write_ws(root, layout.text, bundle_text_limit(length), &written,
                                                     b.base + b.used, b.capacity - b.used))
        return s;
    layout.text[written] = '\n';
    *line_length = written + 1;
    return KELVRA_OK;
}

} // namespace

kelvra_status bundle_genome_fields(const kelvra_json_value *manifest, kelvra_bundle_desc &desc) noexcept {
    const kelvra_json_value *data = member(manifest, "data");
    const kelvra_json_value *the_one = member(data, "the_one");
    std::int64_t leaf_dim = 0;
    if (!integer_of(member(data, "leaf_dim"), &leaf_dim) || leaf_dim < min_leaf_dim || leaf_dim > max_leaf_dim ||
        !is_object(the_one))
        return KELVRA_ERR_DATA;
    Bytes one_digest, one_hex;
    if (!string_of(member(the_one, "sha256"), &one_digest) || one_digest.length != digest_chars ||
        !string_of(member(the_one, "hex"), &one_hex) || one_hex.length > 2 * max_leaf_dim)
        return KELVRA_ERR_DATA;
    copy_text(one_digest, desc.the_one_sha256, sizeof desc.the_one_sha256);
    copy_text(one_hex, desc.the_one_hex, sizeof desc.the_one_hex);
    desc.leaf_dim = static_cast<std::uint32_t>(leaf_dim);
    return KELVRA_OK;
}

kelvra_status bundle_chromosome_fields(const kelvra_json_value *element, const kelvra_bundle_desc &genome,
                                       kelvra_bundle_desc &desc, RegionPlace *place) noexcept {
    Bytes cap;
    std::int64_t leaves = 0;
    if (!region_figure(member(element, "byte_offset"), &place->offset) ||
        !region_figure(member(element, "byte_len"), &place->length) ||
        !integer_of(member(element, "leaf_count"), &leaves) || !string_of(member(element, "cap_sha256"), &cap) ||
        cap.length != digest_chars)
        return KELVRA_ERR_DATA;
    // The cap record that is verified must lie inside the region.
    if (place->length < genome.leaf_dim) return KELVRA_ERR_DATA;
    if (&desc != &genome) {
        std::memcpy(desc.the_one_sha256, genome.the_one_sha256, sizeof desc.the_one_sha256);
        std::memcpy(desc.the_one_hex, genome.the_one_hex, sizeof desc.the_one_hex);
        desc.leaf_dim = genome.leaf_dim;
    }
    copy_text(cap, desc.cap_sha256, sizeof desc.cap_sha256);
    desc.leaf_count = leaves;
    return KELVRA_OK;
}

kelvra_status read_body_for_bundles(const char *dir, const RecordedDigest &recorded, Area area,
                                    std::uint64_t *body_length) noexcept {
    std::uint64_t size = 0;
    if (const kelvra_status s = stored_body_size(dir, &size)) return s;
    if (area.base == nullptr || (size > 0 ? size : 1) > area.capacity) return KELVRA_ERR_CAPACITY;
    return read_verified_body(dir, recorded, area.base, size, body_length);
}

kelvra_status render_bundle(kelvra_bundle_desc &desc, const std::uint8_t *body, std::uint64_t body_length,
                            RegionPlace place, Area scratch, const std::uint8_t **line,
                            std::uint64_t *line_length) noexcept {
    if (place.offset > body_length || place.length > body_length - place.offset) return KELVRA_ERR_IO;
    const std::uint8_t *region = body + place.offset;
    ExportLayout layout{};
    if (!lay_out_export(scratch, place.length, &layout)) return KELVRA_ERR_CAPACITY;
    char cap_digest[digest_capacity];
    digest_hex(region, desc.leaf_dim, cap_digest);
    if (std::memcmp(cap_digest, desc.cap_sha256, digest_capacity) != 0) return KELVRA_ERR_DATA;

    fill_bundle_texts(desc, region, place.length, layout.region_hex);
    *line = layout.text;
    return render_line(desc, layout, place.length, line_length);
}

} // namespace kelvra::genome

using namespace kelvra;
using namespace kelvra::genome;

extern "C" KELVRA_API kelvra_status kelvra_genome_export(const char *dir, const char *label, const char *out_path,
                                                         const uint8_t *the_one, uint64_t the_one_len, uint8_t *arena,
                                                         uint64_t arena_cap) noexcept {
    if (dir == nullptr || label == nullptr || out_path == nullptr || arena == nullptr) return KELVRA_ERR_ARG;
    if (the_one_out_of_range(the_one, the_one_len)) return KELVRA_ERR_DATA;
    const kelvra_json_value *manifest = nullptr;
    if (const kelvra_status s = obtain_manifest(dir, the_one, the_one_len, {arena, arena_cap}, &manifest)) return s;
    kelvra_bundle_desc desc{};
    if (const kelvra_status s = bundle_genome_fields(manifest, desc)) return s;
    const kelvra_json_value *list = member(member(manifest, "data"), "chromosomes");
    std::uint32_t count = 0;
    if (!array_count(list, &count) || count == 0) return KELVRA_ERR_DATA;
    const std::size_t label_length = std::strlen(label);
    const kelvra_json_value *element = find_element(list, count, label, label_length);
    if (element == nullptr || label_length > max_label_bytes) return KELVRA_ERR_DATA;
    RegionPlace place{};
    if (const kelvra_status s = bundle_chromosome_fields(element, desc, desc, &place)) return s;
    std::memcpy(desc.label, label, label_length + 1);
    const RecordedDigest recorded = recorded_body_digest(manifest);

    // The manifest is not needed any more: the arena holds the body from its start.
    std::uint64_t body_length = 0;
    if (const kelvra_status s = read_body_for_bundles(dir, recorded, {arena, arena_cap}, &body_length)) return s;
    const Area scratch = area_from({arena, arena_cap}, rounded_within(body_length > 0 ? body_length : 1, arena_cap));
    const std::uint8_t *line = nullptr;
    std::uint64_t line_length = 0;
    if (const kelvra_status s = render_bundle(desc, arena, body_length, place, scratch, &line, &line_length)) return s;
    return os::replace_file(out_path, line, line_length) ? KELVRA_OK : KELVRA_ERR_IO;
}
