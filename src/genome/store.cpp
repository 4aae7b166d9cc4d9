// The genome store: save, and the verified reads (whole body, catalogue, one
// chromosome's window).
#include "genome/store.hpp"

#include <cstring>

#include "frame/status.hpp"
#include "genome/format.hpp"
#include "genome/index.hpp"
#include "genome/manifest.hpp"
#include "genome/steps.hpp"
#include "genome/text.hpp"
#include "platform/platform.hpp"

namespace kelvra::genome {
namespace {

// The rendered manifest line, its line feed included.
struct ManifestLine {
    std::uint8_t *text;
    std::uint64_t length;
};

// Indexes the body and renders its manifest line into the arena:
// index arrays, then the text area (room for the longest allowed line and its
// line feed), then the tree and the writer's scratch.
kelvra_status render_manifest(const std::uint8_t *body, std::uint64_t body_len, std::uint32_t leaf_dim,
                              const std::uint8_t *the_one, ManifestTexts &texts, Area arena,
                              ManifestLine *line) noexcept {
    kelvra_genome_arena cursor{arena.base, arena.capacity, 0};
    kelvra_genome_desc desc{};
    desc.texts = &texts;
    if (const kelvra_status s = index_body(body, body_len, leaf_dim, the_one, cursor, desc)) return s;

    const std::uint64_t text_at = round16(cursor.used);
    const std::uint64_t limit = manifest_text_limit(desc.count);
    if (text_at > arena.capacity || arena.capacity - text_at < limit + 1) return KELVRA_ERR_CAPACITY;
    const Area tree_area = area_from(arena, round16(text_at + limit));

    const kelvra_json_value *root = nullptr;
    Area scratch{};
    if (const kelvra_status s = build_manifest(desc, leaf_dim, body_len, tree_area, &root, &scratch)) return s;
    if (kelvra_json_write_arena_bytes(root) > scratch.capacity) return KELVRA_ERR_CAPACITY;
    std::uint8_t *text = arena.base + text_at;
    std::uint64_t length = 0;
    if (const kelvra_status s = kelvra_json_write_ws(root, text, limit, &length, scratch.base, scratch.capacity))
        return s;
    text[length] = '\n'; // the tree is no longer needed; the byte may fall on it
    *line = {text, length + 1};
    return KELVRA_OK;
}

// Both files are staged (written and flushed beside their final names) before
// either is renamed, so a failed write changes nothing. The body is renamed
// first and the manifest last: a crash between the two leaves a manifest that
// no longer matches the body, which every verified read reports as 2. Any
// failure after the first rename puts the old files back.
kelvra_status persist(const char *dir, const std::uint8_t *body, std::uint64_t body_len,
                      const ManifestLine &line) noexcept {
    os::Replacement replacement;
    const bool done =
        os::begin_replacement(dir, &replacement) && os::stage_file(&replacement, body_file, body, body_len) &&
        os::stage_file(&replacement, manifest_file, line.text, line.length) && os::commit_replacement(&replacement);
    os::end_replacement(&replacement);
    return done ? KELVRA_OK : KELVRA_ERR_IO;
}

} // namespace

kelvra_status save_genome(const char *dir, const std::uint8_t *body, std::uint64_t body_len, std::uint32_t leaf_dim,
                          const std::uint8_t *the_one, std::uint64_t the_one_len, std::uint8_t *arena,
                          std::uint64_t arena_cap) noexcept {
    if (dir == nullptr || the_one == nullptr || arena == nullptr || missing_data(body, body_len)) return KELVRA_ERR_ARG;
    if (leaf_dim == 0 || the_one_len != leaf_dim || leaf_dim > max_leaf_dim) return KELVRA_ERR_DATA;
    if (body_len >= body_limit) return KELVRA_ERR_CAPACITY;
    char body_path[path_capacity], manifest_path[path_capacity];
    if (!join_path(dir, body_file, body_path) || !join_path(dir, manifest_file, manifest_path))
        return KELVRA_ERR_CAPACITY;
    ManifestTexts texts;
    ManifestLine line{};
    if (const kelvra_status s = render_manifest(body, body_len, leaf_dim, the_one, texts, {arena, arena_cap}, &line))
        return s;
    return persist(dir, body, body_len, line);
}

} // namespace kelvra::genome

using namespace kelvra;
using namespace kelvra::genome;

extern "C" KELVRA_API kelvra_status kelvra_genome_save(const char *dir, const uint8_t *body, uint64_t body_len,
                                                       uint32_t leaf_dim, const uint8_t *the_one, uint64_t the_one_len,
                                                       uint8_t *arena, uint64_t arena_cap) noexcept {
    return save_genome(dir, body, body_len, leaf_dim, the_one, the_one_len, arena, arena_cap);
}

extern "C" KELVRA_API kelvra_status kelvra_genome_load(const char *dir, uint8_t *body_out, uint64_t body_cap,
                                                       uint64_t *out_body_len, const uint8_t *the_one,
                                                       uint64_t the_one_len, uint8_t *arena,
                                                       uint64_t arena_cap) noexcept {
    if (dir == nullptr || body_out == nullptr || out_body_len == nullptr || arena == nullptr) return KELVRA_ERR_ARG;
    const kelvra_json_value *manifest = nullptr;
    if (const kelvra_status s = obtain_manifest(dir, the_one, the_one_len, {arena, arena_cap}, &manifest)) return s;
    // A manifest without a recorded digest is refused before the body is read.
    Bytes expected;
    if (!string_of(member(member(manifest, "data"), "body_sha256"), &expected)) return KELVRA_ERR_DATA;
    return read_verified_body(dir, manifest, body_out, body_cap, out_body_len);
}

extern "C" KELVRA_API kelvra_status kelvra_genome_catalog(const char *dir, const uint8_t *the_one, uint64_t the_one_len,
                                                          uint8_t *arena, uint64_t arena_cap,
                                                          const kelvra_json_value **out_manifest) noexcept {
    if (dir == nullptr || arena == nullptr || out_manifest == nullptr) return KELVRA_ERR_ARG;
    const kelvra_json_value *manifest = nullptr;
    if (const kelvra_status s = obtain_manifest(dir, the_one, the_one_len, {arena, arena_cap}, &manifest)) return s;
    *out_manifest = manifest;
    return KELVRA_OK;
}

namespace kelvra::genome {
namespace {

// The region a window reads: non-negative 32-bit figures, and a record width
// that fits inside the region (its first record is the cap that is verified).
kelvra_status window_region(const kelvra_json_value *manifest, const ChromosomeEntry &entry, std::uint64_t *offset,
                            std::uint64_t *length, std::uint32_t *leaf_dim) noexcept {
    Bytes cap;
    std::int64_t at = 0, bytes = 0, width = 0;
    if (!string_of(entry.cap_sha256, &cap)) return KELVRA_ERR_DATA;
    if (!integer_of(member(member(manifest, "data"), "leaf_dim"), &width)) return KELVRA_ERR_DATA;
    if (!integer_of(entry.byte_offset, &at) || !integer_of(entry.byte_len, &bytes)) return KELVRA_ERR_DATA;
    if (at < 0 || bytes < 0 || static_cast<std::uint64_t>(at) >= body_limit ||
        static_cast<std::uint64_t>(bytes) >= body_limit)
        return KELVRA_ERR_DATA;
    if (width < 1 || width > bytes) return KELVRA_ERR_DATA;
    *offset = static_cast<std::uint64_t>(at);
    *length = static_cast<std::uint64_t>(bytes);
    *leaf_dim = static_cast<std::uint32_t>(width);
    return KELVRA_OK;
}

} // namespace
} // namespace kelvra::genome

extern "C" KELVRA_API kelvra_status kelvra_genome_window(const char *dir, const char *label, uint8_t *out,
                                                         uint64_t out_cap, uint64_t *out_len, const uint8_t *the_one,
                                                         uint64_t the_one_len, uint8_t *arena,
                                                         uint64_t arena_cap) noexcept {
    if (dir == nullptr || label == nullptr || out == nullptr || out_len == nullptr || arena == nullptr)
        return KELVRA_ERR_ARG;
    const kelvra_json_value *manifest = nullptr;
    if (const kelvra_status s = obtain_manifest(dir, the_one, the_one_len, {arena, arena_cap}, &manifest)) return s;
    ChromosomeEntry entry{};
    if (!find_chromosome(manifest, label, std::strlen(label), &entry)) return KELVRA_ERR_DATA;
    std::uint64_t offset = 0, length = 0;
    std::uint32_t leaf_dim = 0;
    if (const kelvra_status s = window_region(manifest, entry, &offset, &length, &leaf_dim)) return s;
    char path[path_capacity];
    if (!join_path(dir, body_file, path)) return KELVRA_ERR_CAPACITY;
    if (length > out_cap) return KELVRA_ERR_CAPACITY;
    if (const kelvra_status s = kelvra_plat_file_read_region(path, offset, out, length)) return s;
    *out_len = length;
    char digest[digest_capacity];
    digest_hex(out, leaf_dim, digest);
    return string_equals(entry.cap_sha256, digest, digest_chars) ? KELVRA_OK : KELVRA_ERR_DATA;
}
