// Indexing a body: one pass counts the cap records, a second fills the
// chromosome index (cap digests, offsets, lengths, labels, leaf counts).
#pragma once

#include <cstdint>

#include "genome/cursor.hpp"
#include "genome/format.hpp"
#include "kelvra.h"

namespace kelvra::genome {

// Fills `desc` from a body of whole `leaf_dim`-byte records. The five arrays
// are carved from `cursor` in index order; when `desc.texts` is null the
// fixed texts are carved after them too (so that a tree built on them may
// outlive the call). 2 for a malformed body, 4 when the arena is short.
kelvra_status index_body(const std::uint8_t *body, std::uint64_t length, std::uint32_t leaf_dim,
                         const std::uint8_t *the_one, kelvra_genome_arena &cursor, kelvra_genome_desc &desc) noexcept;

} // namespace kelvra::genome
