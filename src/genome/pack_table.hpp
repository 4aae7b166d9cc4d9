// The table pack works from: the bundle files of a directory, each with the
// label it carries and how much it can add to a genome, sorted by label.
#pragma once

#include <cstdint>

#include "genome/cursor.hpp"
#include "kelvra.h"

namespace kelvra::genome {

inline constexpr std::uint64_t name_entry_bytes = 264;

// Four arrays at 16-byte offsets from the arena's start: names (264 bytes
// each), labels (256 bytes each), extents, and the order of the entries once
// sorted; `rest` is the arena after them.
struct PackTable {
    std::uint8_t *names;
    std::uint8_t *labels;
    std::uint8_t *extents; // two u64 each: region bytes, cap records (upper bounds)
    std::uint8_t *order;   // u32 each: the entry at each rank
    std::uint32_t count;
    Area rest;
};

// Lists the bundle names of `dir`; stores them when `table` is given (room for
// `capacity` names). A directory that cannot be listed holds no bundles.
kelvra_status scan_bundles(const char *dir, std::uint8_t *names, std::uint32_t capacity, std::uint32_t *count) noexcept;

// Room for `count` bundles at the arena's start; false when it does not fit.
bool lay_out_pack_table(Area arena, std::uint32_t count, PackTable *t) noexcept;

// Reads every bundle's label and extent (the scratch is `t.rest`).
kelvra_status read_labels(const char *in_dir, const PackTable &t) noexcept;

// Ranks the bundles by label (byte order), stably: bundles with equal labels
// keep their listing order.
void sort_by_label(const PackTable &t) noexcept;

// The bundle at rank k: its file name and its extent.
const char *bundle_name(const PackTable &t, std::uint32_t k) noexcept;
std::uint64_t region_bound(const PackTable &t, std::uint32_t k) noexcept;
std::uint64_t cap_bound(const PackTable &t, std::uint32_t k) noexcept;

} // namespace kelvra::genome
