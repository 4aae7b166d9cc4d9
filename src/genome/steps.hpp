// The steps shared by the store, the edits and the bundles once a manifest is
// in hand: finding a chromosome by label, the new-label check, and reading
// the stored body with its digest verified.
#pragma once

#include <cstddef>
#include <cstdint>

#include "genome/cursor.hpp"
#include "genome/format.hpp"
#include "kelvra.h"

namespace kelvra::genome {

// An optional `the_one` (bundles, explode, pack) must be 1 to 256 bytes when given.
inline bool the_one_out_of_range(const std::uint8_t *the_one, std::uint64_t the_one_len) noexcept {
    return the_one != nullptr && (the_one_len < min_leaf_dim || the_one_len > max_leaf_dim);
}

// A chromosome's members as the manifest gives them (not yet checked).
struct ChromosomeEntry {
    const kelvra_json_value *byte_offset;
    const kelvra_json_value *byte_len;
    const kelvra_json_value *cap_sha256;
};

// The first element of "data"."chromosomes" whose "label" is a string equal
// to `label`; false when there is none, or when that element lacks one of
// "byte_offset", "byte_len", "cap_sha256".
bool find_chromosome(const kelvra_json_value *manifest, const void *label, std::size_t label_length,
                     ChromosomeEntry *entry) noexcept;

// 0 when no chromosome carries `label`; 2 when one does, or when the
// manifest's chromosome list or any label in it is missing or malformed.
kelvra_status require_new_label(const kelvra_json_value *manifest, const void *label,
                                std::size_t label_length) noexcept;

// A digest the manifest records, copied out so that the manifest's arena can
// be reused. Anything but a string of 64 characters matches no body.
struct RecordedDigest {
    char text[digest_capacity];
    bool present;
};

// "data"."body_sha256" of a manifest.
RecordedDigest recorded_body_digest(const kelvra_json_value *manifest) noexcept;

// Reads "turns.bin" into `into` (at most `capacity` bytes) and checks its
// digest against the recorded one (2 on any difference).
kelvra_status read_verified_body(const char *dir, const RecordedDigest &recorded, std::uint8_t *into,
                                 std::uint64_t capacity, std::uint64_t *length) noexcept;

// The same, against "data"."body_sha256" of `manifest`.
kelvra_status read_verified_body(const char *dir, const kelvra_json_value *manifest, std::uint8_t *into,
                                 std::uint64_t capacity, std::uint64_t *length) noexcept;

// 2 unless "data"."the_one"."sha256" is the digest of `the_one`: a genome
// keeps the identity it was saved with.
kelvra_status require_same_the_one(const kelvra_json_value *manifest, const std::uint8_t *the_one,
                                   std::uint64_t the_one_len) noexcept;

// The size of the file at `path` when there is one (`*present` set); a file
// that is absent gives 0 with `*present` clear, one that is there but cannot
// be sized gives 3. A genome is rebuilt from what is present only when a file
// is really absent, never because a read failed.
kelvra_status size_if_present(const char *path, std::uint64_t *size, bool *present) noexcept;

// The size of the stored "turns.bin" (4 when its path is too long; the file
// layer's status when it cannot be sized).
kelvra_status stored_body_size(const char *dir, std::uint64_t *size) noexcept;

// A region [offset, offset + length) of a body of `body_length` bytes, from
// manifest members that must be non-negative integers placing it inside the
// body; false otherwise.
bool region_within(const ChromosomeEntry &entry, std::uint64_t body_length, std::uint64_t *offset,
                   std::uint64_t *length) noexcept;

} // namespace kelvra::genome
