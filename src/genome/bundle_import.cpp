// Importing a chromosome bundle into a genome (creating the genome when the
// directory holds no body yet), and reading a bundle file with every check it
// carries, which pack shares.
#include <cstring>

#include "frame/status.hpp"
#include "genome/bundle.hpp"
#include "genome/format.hpp"
#include "genome/hexcode.hpp"
#include "genome/manifest.hpp"
#include "genome/steps.hpp"
#include "genome/store.hpp"
#include "genome/text.hpp"

namespace kelvra::genome {
namespace {

kelvra_status verify_bundle(const kelvra_json_value *root, std::uint8_t *region_buffer, std::uint64_t region_cap,
                            VerifiedBundle *bundle) noexcept {
    if (!string_equals(member(root, "data_schema_id"), bundle_schema_id, bundle_schema_id_length))
        return KELVRA_ERR_DATA;
    const kelvra_json_value *data = member(root, "data");
    const kelvra_json_value *attestation = member(root, "attestation");
    if (!is_object(data) || !is_object(attestation)) return KELVRA_ERR_DATA;
    std::int64_t leaf_dim = 0;
    Bytes label;
    if (!integer_of(member(data, "leaf_dim"), &leaf_dim) || leaf_dim < min_leaf_dim || leaf_dim > max_leaf_dim ||
        !string_of(member(data, "label"), &label) || label.length > max_label_bytes)
        return KELVRA_ERR_DATA;
    char region_digest[digest_capacity];
    if (const kelvra_status s =
            decode_hex_member(member(data, "region"), region_buffer, region_cap, &bundle->region_length, region_digest))
        return s;
    if (!string_equals(member(attestation, "response_sha256"), region_digest, digest_chars)) return KELVRA_ERR_DATA;
    std::uint64_t one_length = 0;
    if (const kelvra_status s = decode_hex_member(member(data, "the_one"), bundle->the_one, sizeof bundle->the_one,
                                                  &one_length, bundle->the_one_sha256))
        return s;
    if (one_length != static_cast<std::uint64_t>(leaf_dim)) return KELVRA_ERR_DATA;
    bundle->leaf_dim = static_cast<std::uint32_t>(leaf_dim);
    if (label.length > 0) std::memcpy(bundle->label, label.data, label.length);
    bundle->label_length = label.length;
    bundle->region = region_buffer;
    return KELVRA_OK;
}

// Adds a verified bundle's region at the end of an existing genome.
kelvra_status merge_bundle(const char *dir, const VerifiedBundle &bundle, std::uint64_t stored_size,
                           const std::uint8_t *the_one, std::uint64_t the_one_len, Area area) noexcept {
    if (stored_size >= body_limit || bundle.region_length >= body_limit - stored_size) return KELVRA_ERR_CAPACITY;
    const std::uint64_t total = stored_size + bundle.region_length;
    const std::uint64_t room = total > 0 ? total : 1;
    if (area.base == nullptr || room > area.capacity) return KELVRA_ERR_CAPACITY;
    const Area after_body = area_from(area, rounded_within(room, area.capacity));
    std::uint64_t stored = 0;
    if (const kelvra_status s =
            read_genome_for_bundle(dir, bundle, the_one, the_one_len, after_body, area.base, total, &stored))
        return s;
    if (bundle.region_length > 0) std::memcpy(area.base + stored, bundle.region, bundle.region_length);
    return save_genome(dir, area.base, stored + bundle.region_length, bundle.leaf_dim, bundle.the_one, bundle.leaf_dim,
                       after_body.base, after_body.capacity);
}

} // namespace

kelvra_status read_genome_for_bundle(const char *dir, const VerifiedBundle &bundle, const std::uint8_t *the_one,
                                     std::uint64_t the_one_len, Area manifest_area, std::uint8_t *body,
                                     std::uint64_t total, std::uint64_t *stored) noexcept {
    const std::uint8_t *derive_with = the_one != nullptr ? the_one : bundle.the_one;
    const std::uint64_t derive_len = the_one != nullptr ? the_one_len : bundle.leaf_dim;
    const kelvra_json_value *manifest = nullptr;
    if (const kelvra_status s = obtain_manifest(dir, derive_with, derive_len, manifest_area, &manifest)) return s;
    std::int64_t leaf_dim = 0;
    if (!integer_of(member(member(manifest, "data"), "leaf_dim"), &leaf_dim) || leaf_dim != bundle.leaf_dim)
        return KELVRA_ERR_DATA;
    if (!string_equals(member(member(member(manifest, "data"), "the_one"), "sha256"), bundle.the_one_sha256,
                       digest_chars))
        return KELVRA_ERR_DATA;
    if (const kelvra_status s = require_new_label(manifest, bundle.label, bundle.label_length)) return s;
    if (const kelvra_status s = read_verified_body(dir, manifest, body, total, stored)) return s;
    return *stored > total - bundle.region_length ? KELVRA_ERR_CAPACITY : KELVRA_OK;
}

kelvra_status read_bundle(const char *bundle_path, std::uint8_t *arena, std::uint64_t arena_cap, VerifiedBundle *bundle,
                          std::uint64_t *parse_at) noexcept {
    std::uint64_t size = 0;
    if (const kelvra_status s = kelvra_plat_file_size(bundle_path, &size)) return s;
    if (size == UINT64_MAX) return KELVRA_ERR_CAPACITY;
    kelvra_genome_arena cursor{arena, arena_cap, 0};
    std::uint8_t *text = allocate(cursor, size + 1);
    std::uint8_t *region = text != nullptr ? allocate(cursor, size + 1) : nullptr;
    if (region == nullptr) return KELVRA_ERR_CAPACITY;
    std::uint64_t read = 0;
    if (const kelvra_status s = kelvra_plat_file_read(bundle_path, text, size + 1, &read)) return s;
    *parse_at = rounded_within(cursor.used, arena_cap);
    const Area tree = area_from({arena, arena_cap}, *parse_at);
    kelvra_json_value *root = nullptr;
    if (const kelvra_status s = kelvra_json_parse(text, without_line_ends(text, read), tree.base, tree.capacity, &root))
        return s;
    return verify_bundle(root, region, size + 1, bundle);
}

} // namespace kelvra::genome

using namespace kelvra;
using namespace kelvra::genome;

extern "C" KELVRA_API kelvra_status kelvra_genome_import(const char *bundle_path, const char *dir,
                                                         const uint8_t *the_one, uint64_t the_one_len, uint8_t *arena,
                                                         uint64_t arena_cap) noexcept {
    if (bundle_path == nullptr || dir == nullptr || arena == nullptr) return KELVRA_ERR_ARG;
    if (the_one_out_of_range(the_one, the_one_len)) return KELVRA_ERR_DATA;
    VerifiedBundle bundle{};
    std::uint64_t parse_at = 0;
    if (const kelvra_status s = read_bundle(bundle_path, arena, arena_cap, &bundle, &parse_at)) return s;
    const Area free_area = area_from({arena, arena_cap}, parse_at);

    char path[path_capacity];
    if (!join_path(dir, body_file, path)) return KELVRA_ERR_CAPACITY;
    std::uint64_t stored_size = 0;
    bool stored = false;
    if (const kelvra_status s = size_if_present(path, &stored_size, &stored)) return s;
    if (stored) return merge_bundle(dir, bundle, stored_size, the_one, the_one_len, free_area);
    return save_genome(dir, bundle.region, bundle.region_length, bundle.leaf_dim, bundle.the_one, bundle.leaf_dim,
                       free_area.base, free_area.capacity);
}
