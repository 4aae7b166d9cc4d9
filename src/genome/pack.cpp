// Pack: every bundle of a directory imported into one genome, in label order.
// The genome is built up in the arena and saved once at the end, with the
// same checks, in the same order, that importing the bundles one by one makes;
// so the work grows with the genome's size rather than with its size times
// the number of bundles. When a bundle is refused (status 2), the chromosomes
// accepted before it are saved, as one-by-one imports would have left them.
// When a file cannot be read or written (3) or the arena is too small (4), the
// target is left as it was, so the same pack can simply be run again.
#include <cstring>

#include "frame/status.hpp"
#include "genome/bundle.hpp"
#include "genome/format.hpp"
#include "genome/label_set.hpp"
#include "genome/manifest.hpp"
#include "genome/pack_table.hpp"
#include "genome/steps.hpp"
#include "genome/store.hpp"
#include "genome/text.hpp"

namespace kelvra::genome {
namespace {

// The genome being built: its body (at the start of `room`), identity and the
// labels of its chromosomes.
struct Growing {
    const char *dir;
    bool stored; // "turns.bin" existed when pack began
    std::uint64_t stored_size;
    bool started; // the body holds the stored genome or the first bundle
    std::uint32_t leaf_dim;
    std::uint8_t the_one[max_leaf_dim];
    char the_one_sha256[digest_capacity];
    Area room; // the body, then free room
    std::uint64_t length;
    Area scratch; // after the body's room: bundles are read here; the label set comes first once placed
    LabelSet labels;
    std::uint32_t merged;
};

// The label of a cap record: its bytes after the first, up to the first NUL.
std::uint32_t cap_label_length(const std::uint8_t *record, std::uint32_t leaf_dim) noexcept {
    const void *nul = std::memchr(record + 1, 0, leaf_dim - 1);
    return nul == nullptr ? leaf_dim - 1
                          : static_cast<std::uint32_t>(static_cast<const std::uint8_t *>(nul) - (record + 1));
}

std::uint64_t count_caps(const std::uint8_t *bytes, std::uint64_t length, std::uint32_t leaf_dim) noexcept {
    std::uint64_t caps = 0;
    for (std::uint64_t at = 0; at < length; at += leaf_dim) caps += bytes[at] == cap_kind;
    return caps;
}

// Adds the labels of the cap records in [from, length) of the body.
kelvra_status add_cap_labels(Growing &g, std::uint64_t from) noexcept {
    for (std::uint64_t at = from; at < g.length; at += g.leaf_dim) {
        const std::uint8_t *record = g.room.base + at;
        if (record[0] != cap_kind) continue;
        if (g.labels.add(record + 1, cap_label_length(record, g.leaf_dim)) == LabelSet::Added::full)
            return KELVRA_ERR_CAPACITY;
    }
    return KELVRA_OK;
}

// Once the body holds its first chromosomes, the label set takes the start
// of the scratch area, sized for these and every cap the later bundles bring.
kelvra_status place_labels(Growing &g, const PackTable &t, std::uint32_t next) noexcept {
    std::uint64_t labels = count_caps(g.room.base, g.length, g.leaf_dim);
    for (std::uint32_t k = next; k < t.count; ++k) labels += cap_bound(t, k);
    if (!g.labels.place(g.scratch, labels)) return KELVRA_ERR_CAPACITY;
    g.scratch = area_from(g.scratch, rounded_within(LabelSet::bytes_for(labels), g.scratch.capacity));
    return add_cap_labels(g, 0);
}

void take_identity(Growing &g, const VerifiedBundle &b) noexcept {
    g.leaf_dim = b.leaf_dim;
    std::memcpy(g.the_one, b.the_one, b.leaf_dim);
    std::memcpy(g.the_one_sha256, b.the_one_sha256, sizeof g.the_one_sha256);
}

kelvra_status append_region(Growing &g, const VerifiedBundle &b) noexcept {
    if (g.length >= body_limit || b.region_length >= body_limit - g.length) return KELVRA_ERR_CAPACITY;
    if (b.region_length > g.room.capacity - g.length) return KELVRA_ERR_CAPACITY;
    if (b.region_length > 0) std::memcpy(g.room.base + g.length, b.region, b.region_length);
    g.length += b.region_length;
    return KELVRA_OK;
}

// The first bundle into a genome that was stored before: its manifest is read
// and its body verified, as an import would.
kelvra_status start_from_stored(Growing &g, const VerifiedBundle &b, Area free_area, const std::uint8_t *the_one,
                                std::uint64_t the_one_len) noexcept {
    const std::uint64_t size = g.stored_size;
    if (size >= body_limit || b.region_length >= body_limit - size) return KELVRA_ERR_CAPACITY;
    const std::uint64_t total = size + b.region_length;
    if (total > g.room.capacity) return KELVRA_ERR_CAPACITY;
    std::uint64_t stored = 0;
    if (const kelvra_status s =
            read_genome_for_bundle(g.dir, b, the_one, the_one_len, free_area, g.room.base, total, &stored))
        return s;
    g.length = stored;
    return append_region(g, b);
}

// The first bundle into a directory without a body: the region alone must
// index as a genome, so it must open with a cap record.
kelvra_status start_from_bundle(Growing &g, const VerifiedBundle &b) noexcept {
    if (b.region_length >= body_limit) return KELVRA_ERR_CAPACITY;
    if (b.region_length > 0 && b.region[0] != cap_kind) return KELVRA_ERR_DATA;
    g.length = 0;
    return append_region(g, b);
}

// A later bundle: same record width, same `the_one`, a new label.
kelvra_status add_bundle(Growing &g, const VerifiedBundle &b) noexcept {
    if (g.length >= body_limit || b.region_length >= body_limit - g.length) return KELVRA_ERR_CAPACITY;
    if (b.region_length > g.room.capacity - g.length) return KELVRA_ERR_CAPACITY;
    if (b.leaf_dim != g.leaf_dim) return KELVRA_ERR_DATA;
    if (std::memcmp(b.the_one_sha256, g.the_one_sha256, digest_chars) != 0) return KELVRA_ERR_DATA;
    if (g.labels.contains(b.label, static_cast<std::uint32_t>(b.label_length))) return KELVRA_ERR_DATA;
    const std::uint64_t from = g.length;
    if (const kelvra_status s = append_region(g, b)) return s;
    return add_cap_labels(g, from);
}

kelvra_status merge(Growing &g, const PackTable &t, std::uint32_t k, const char *in_dir, const std::uint8_t *the_one,
                    std::uint64_t the_one_len) noexcept {
    char path[path_capacity];
    if (!join_path(in_dir, bundle_name(t, k), path)) return KELVRA_ERR_CAPACITY;
    VerifiedBundle b{};
    std::uint64_t parse_at = 0;
    if (const kelvra_status s = read_bundle(path, g.scratch.base, g.scratch.capacity, &b, &parse_at)) return s;
    const kelvra_status s = g.started  ? add_bundle(g, b)
                            : g.stored ? start_from_stored(g, b, area_from(g.scratch, parse_at), the_one, the_one_len)
                                       : start_from_bundle(g, b);
    if (s != KELVRA_OK) return s;
    take_identity(g, b);
    ++g.merged;
    if (g.started) return KELVRA_OK;
    g.started = true;
    return place_labels(g, t, k + 1);
}

kelvra_status save(const Growing &g, Area arena_after_body) noexcept {
    return save_genome(g.dir, g.room.base, g.length, g.leaf_dim, g.the_one, g.leaf_dim, arena_after_body.base,
                       arena_after_body.capacity);
}

// The body's room: what is stored plus what every bundle can add.
bool lay_out_body(Growing &g, const PackTable &t) noexcept {
    std::uint64_t room = g.stored_size;
    for (std::uint32_t k = 0; k < t.count; ++k) {
        const std::uint64_t add = region_bound(t, k);
        room = add > UINT64_MAX - room ? UINT64_MAX : room + add;
    }
    if (room == 0) room = 1;
    if (t.rest.base == nullptr || room > t.rest.capacity) return false;
    g.room = {t.rest.base, room};
    g.scratch = area_from(t.rest, rounded_within(room, t.rest.capacity));
    return true;
}

} // namespace
} // namespace kelvra::genome

using namespace kelvra;
using namespace kelvra::genome;

extern "C" KELVRA_API kelvra_status kelvra_genome_pack(const char *in_dir, const char *out_dir, const uint8_t *the_one,
                                                       uint64_t the_one_len, uint8_t *arena,
                                                       uint64_t arena_cap) noexcept {
    if (in_dir == nullptr || out_dir == nullptr || arena == nullptr) return KELVRA_ERR_ARG;
    if (the_one_out_of_range(the_one, the_one_len)) return KELVRA_ERR_DATA;
    std::uint32_t counted = 0;
    if (const kelvra_status s = scan_bundles(in_dir, nullptr, 0, &counted)) return s;
    if (counted == 0) return KELVRA_ERR_DATA;
    PackTable table{};
    if (!lay_out_pack_table({arena, arena_cap}, counted, &table)) return KELVRA_ERR_CAPACITY;
    if (const kelvra_status s = scan_bundles(in_dir, table.names, counted, &table.count)) return s;
    if (table.count == 0) return KELVRA_ERR_DATA;
    if (const kelvra_status s = read_labels(in_dir, table)) return s;
    sort_by_label(table);

    Growing g{};
    g.dir = out_dir;
    char body_path[path_capacity];
    if (!join_path(out_dir, body_file, body_path)) return KELVRA_ERR_CAPACITY;
    if (const kelvra_status s = size_if_present(body_path, &g.stored_size, &g.stored)) return s;
    if (!lay_out_body(g, table)) return KELVRA_ERR_CAPACITY;
    const Area after_body = g.scratch;

    for (std::uint32_t k = 0; k < table.count; ++k) {
        const kelvra_status s = merge(g, table, k, in_dir, the_one, the_one_len);
        if (s == KELVRA_OK) continue;
        if (s != KELVRA_ERR_DATA || g.merged == 0) return s;
        const kelvra_status saved = save(g, after_body);
        return saved != KELVRA_OK ? saved : s;
    }
    return save(g, after_body);
}
