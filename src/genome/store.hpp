// Saving a genome: the one writer of a genome directory. Edits and imports
// end in it, so the manifest on disk is always rebuilt from the body beside it.
#pragma once

#include <cstdint>

#include "kelvra.h"

namespace kelvra::genome {

// Checks, indexes and renders everything in the arena first, then replaces
// "turns.bin" and, last, "manifest.json", each atomically. A failure before
// the first replacement leaves the directory as it was.
kelvra_status save_genome(const char *dir, const std::uint8_t *body, std::uint64_t body_len, std::uint32_t leaf_dim,
                          const std::uint8_t *the_one, std::uint64_t the_one_len, std::uint8_t *arena,
                          std::uint64_t arena_cap) noexcept;

} // namespace kelvra::genome
