// Chromosome edits: append, remove, replace. Each one reads and verifies the
// stored body into the front of the arena, changes it there, and saves the
// whole genome again, so the manifest is always rebuilt from the body. Nothing
// on disk changes before that final save.
#include <cstring>

#include "frame/status.hpp"
#include "genome/format.hpp"
#include "genome/manifest.hpp"
#include "genome/steps.hpp"
#include "genome/store.hpp"
#include "genome/text.hpp"

namespace kelvra::genome {
namespace {

// What an edit knows before it touches the stored body: the manifest (placed
// after the room reserved for the new body) and the figures of that room.
struct EditPlan {
    std::uint64_t new_body_room; // T: stored size plus the new records
    std::uint64_t reserved;      // P: where the manifest and the save's arena start
    const kelvra_json_value *manifest;
};

// Room for a new body of `total` bytes at the arena's start; the manifest is
// obtained after it.
kelvra_status reserve_and_obtain(const char *dir, const std::uint8_t *the_one, std::uint64_t the_one_len,
                                 std::uint64_t total, std::uint8_t *arena, std::uint64_t arena_cap,
                                 EditPlan *plan) noexcept {
    const std::uint64_t room = total > 0 ? total : 1;
    if (room > arena_cap) return KELVRA_ERR_CAPACITY;
    plan->new_body_room = total;
    plan->reserved = rounded_within(room, arena_cap);
    return obtain_manifest(dir, the_one, the_one_len, area_from({arena, arena_cap}, plan->reserved), &plan->manifest);
}

bool leaf_dim_matches(const kelvra_json_value *manifest, std::uint64_t leaf_dim) noexcept {
    std::int64_t stored = 0;
    return integer_of(member(member(manifest, "data"), "leaf_dim"), &stored) && stored >= 0 &&
           static_cast<std::uint64_t>(stored) == leaf_dim;
}

// Steps shared by append and replace: argument checks, the stored size, the
// room for the new body, the manifest, its record width and the genome's
// identity (an edit never re-saves a genome under another `the_one`).
kelvra_status plan_insertion(const char *dir, const char *label, const std::uint8_t *body, std::uint64_t body_len,
                             std::uint32_t leaf_dim, const std::uint8_t *the_one, std::uint64_t the_one_len,
                             std::uint8_t *arena, std::uint64_t arena_cap, bool empty_allowed,
                             EditPlan *plan) noexcept {
    if (dir == nullptr || label == nullptr || the_one == nullptr || arena == nullptr || missing_data(body, body_len))
        return KELVRA_ERR_ARG;
    if (leaf_dim == 0 || leaf_dim > max_leaf_dim || the_one_len != leaf_dim || (body_len == 0 && !empty_allowed))
        return KELVRA_ERR_DATA;
    if (body_len % leaf_dim != 0) return KELVRA_ERR_DATA;
    std::uint64_t size = 0;
    if (const kelvra_status s = stored_body_size(dir, &size)) return s;
    if (size >= body_limit || body_len >= body_limit - size) return KELVRA_ERR_CAPACITY;
    if (const kelvra_status s = reserve_and_obtain(dir, the_one, the_one_len, size + body_len, arena, arena_cap, plan))
        return s;
    if (!leaf_dim_matches(plan->manifest, leaf_dim)) return KELVRA_ERR_DATA;
    return require_same_the_one(plan->manifest, the_one, the_one_len);
}

kelvra_status save_edited(const char *dir, const std::uint8_t *body, std::uint64_t length, std::uint32_t leaf_dim,
                          const std::uint8_t *the_one, std::uint8_t *arena, std::uint64_t arena_cap,
                          const EditPlan &plan) noexcept {
    const Area rest = area_from({arena, arena_cap}, plan.reserved);
    return save_genome(dir, body, length, leaf_dim, the_one, leaf_dim, rest.base, rest.capacity);
}

} // namespace
} // namespace kelvra::genome

using namespace kelvra;
using namespace kelvra::genome;

extern "C" KELVRA_API kelvra_status kelvra_genome_append(const char *dir, const char *label, const uint8_t *body,
                                                         uint64_t body_len, uint32_t leaf_dim, const uint8_t *the_one,
                                                         uint64_t the_one_len, uint8_t *arena,
                                                         uint64_t arena_cap) noexcept {
    EditPlan plan{};
    if (const kelvra_status s =
            plan_insertion(dir, label, body, body_len, leaf_dim, the_one, the_one_len, arena, arena_cap, false, &plan))
        return s;
    if (const kelvra_status s = require_new_label(plan.manifest, label, std::strlen(label))) return s;
    std::uint64_t stored = 0;
    if (const kelvra_status s = read_verified_body(dir, plan.manifest, arena, plan.new_body_room, &stored)) return s;
    if (stored > plan.new_body_room - body_len) return KELVRA_ERR_CAPACITY;
    if (body_len > 0) std::memcpy(arena + stored, body, body_len);
    return save_edited(dir, arena, stored + body_len, leaf_dim, the_one, arena, arena_cap, plan);
}

extern "C" KELVRA_API kelvra_status kelvra_genome_remove(const char *dir, const char *label, const uint8_t *the_one,
                                                         uint64_t the_one_len, uint8_t *arena,
                                                         uint64_t arena_cap) noexcept {
    if (dir == nullptr || label == nullptr || the_one == nullptr || arena == nullptr) return KELVRA_ERR_ARG;
    if (the_one_len < min_leaf_dim || the_one_len > max_leaf_dim) return KELVRA_ERR_DATA;
    std::uint64_t size = 0;
    if (const kelvra_status s = stored_body_size(dir, &size)) return s;
    EditPlan plan{};
    if (const kelvra_status s = reserve_and_obtain(dir, the_one, the_one_len, size, arena, arena_cap, &plan)) return s;
    std::uint32_t chromosomes = 0;
    if (!leaf_dim_matches(plan.manifest, the_one_len) ||
        !array_count(member(member(plan.manifest, "data"), "chromosomes"), &chromosomes) || chromosomes < 2)
        return KELVRA_ERR_DATA;
    if (const kelvra_status s = require_same_the_one(plan.manifest, the_one, the_one_len)) return s;
    ChromosomeEntry entry{};
    if (!find_chromosome(plan.manifest, label, std::strlen(label), &entry)) return KELVRA_ERR_DATA;
    std::uint64_t stored = 0, offset = 0, length = 0;
    if (const kelvra_status s = read_verified_body(dir, plan.manifest, arena, size, &stored)) return s;
    if (!region_within(entry, stored, &offset, &length)) return KELVRA_ERR_DATA;
    std::memmove(arena + offset, arena + offset + length, stored - offset - length);
    const auto leaf_dim = static_cast<std::uint32_t>(the_one_len);
    return save_edited(dir, arena, stored - length, leaf_dim, the_one, arena, arena_cap, plan);
}

extern "C" KELVRA_API kelvra_status kelvra_genome_replace(const char *dir, const char *label, const uint8_t *body,
                                                          uint64_t body_len, uint32_t leaf_dim, const uint8_t *the_one,
                                                          uint64_t the_one_len, uint8_t *arena,
                                                          uint64_t arena_cap) noexcept {
    EditPlan plan{};
    if (const kelvra_status s =
            plan_insertion(dir, label, body, body_len, leaf_dim, the_one, the_one_len, arena, arena_cap, true, &plan))
        return s;
    ChromosomeEntry entry{};
    if (!find_chromosome(plan.manifest, label, std::strlen(label), &entry)) return KELVRA_ERR_DATA;
    std::uint64_t stored = 0, offset = 0, length = 0;
    if (const kelvra_status s = read_verified_body(dir, plan.manifest, arena, plan.new_body_room, &stored)) return s;
    if (!region_within(entry, stored, &offset, &length)) return KELVRA_ERR_DATA;
    const std::uint64_t tail = stored - offset - length;
    if (stored - length > plan.new_body_room - body_len) return KELVRA_ERR_CAPACITY;
    std::memmove(arena + offset + body_len, arena + offset + length, tail);
    if (body_len > 0) std::memcpy(arena + offset, body, body_len);
    return save_edited(dir, arena, stored - length + body_len, leaf_dim, the_one, arena, arena_cap, plan);
}
