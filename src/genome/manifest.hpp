// The manifest: building its tree from a chromosome index, and obtaining a
// stored genome's manifest (parsed from "manifest.json", or derived from the
// body when that file is missing).
#pragma once

#include <cstdint>

#include "genome/cursor.hpp"
#include "genome/format.hpp"
#include "kelvra.h"

namespace kelvra::genome {

// Builds the manifest tree of an index in `area`: the chromosome pointer array
// first, the builder from the next multiple of 16 after it. On success `*root`
// is the tree and `*rest` the builder's untouched remainder. 4 when the area
// is short.
kelvra_status build_manifest(const kelvra_genome_desc &desc, std::uint32_t leaf_dim, std::uint64_t body_length,
                             Area area, const kelvra_json_value **root, Area *rest) noexcept;

// The genome's manifest, in `area` (from its start). `the_one` is needed only
// to derive a manifest from the body (then it must be 1 to 256 bytes: 2).
// Parser statuses come back unchanged; no member is checked here.
kelvra_status obtain_manifest(const char *dir, const std::uint8_t *the_one, std::uint64_t the_one_len, Area area,
                              const kelvra_json_value **root) noexcept;

} // namespace kelvra::genome
