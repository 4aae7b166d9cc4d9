// What export, import, explode and pack share: writing one chromosome's bundle
// from a body already read and verified, and reading a bundle file with every
// check it carries.
#pragma once

#include <cstdint>

#include "genome/cursor.hpp"
#include "genome/format.hpp"
#include "genome/steps.hpp"
#include "kelvra.h"

namespace kelvra::genome {

// Where a chromosome's region lies in the body, as the manifest records it.
struct RegionPlace {
    std::uint64_t offset;
    std::uint64_t length;
};

// What the manifest says of the genome as a whole for its bundles: the record
// width and `the_one` (digest and hex). 2 when any of it is missing or of the
// wrong kind; fills the description's genome-wide fields.
kelvra_status bundle_genome_fields(const kelvra_json_value *manifest, kelvra_bundle_desc &desc) noexcept;

// What the manifest says of one chromosome element: its region and leaf
// count, and its cap digest (64 characters). 2 when any of it is missing or of
// the wrong kind; fills the description's chromosome fields (label excepted).
kelvra_status bundle_chromosome_fields(const kelvra_json_value *element, const kelvra_bundle_desc &genome,
                                       kelvra_bundle_desc &desc, RegionPlace *place) noexcept;

// Reads the whole body into the start of `area` and verifies it against the
// manifest's recorded digest: a bundle is never made from a damaged body.
// 4 when the body does not fit `area`.
kelvra_status read_body_for_bundles(const char *dir, const RecordedDigest &recorded, Area area,
                                    std::uint64_t *body_length) noexcept;

// The bundle line (with its line feed) of the region `place` of a verified
// body, rendered in `scratch`: 3 when the region runs past the body's end, 4
// when `scratch` cannot hold the texts, 2 when the region's first record does
// not hash to the cap digest. `desc` needs its label, digests, the_one, record
// width and leaf count.
kelvra_status render_bundle(kelvra_bundle_desc &desc, const std::uint8_t *body, std::uint64_t body_length,
                            RegionPlace place, Area scratch, const std::uint8_t **line,
                            std::uint64_t *line_length) noexcept;

// What an import keeps of a verified bundle. The label and `the_one` are
// copied out of the parse tree, whose arena is reused afterwards.
struct VerifiedBundle {
    std::uint32_t leaf_dim;
    std::uint8_t label[label_capacity];
    std::size_t label_length;
    const std::uint8_t *region;
    std::uint64_t region_length;
    std::uint8_t the_one[max_leaf_dim];
    char the_one_sha256[digest_capacity];
};

// Reads the bundle file into the arena's start, parses it after the region
// buffer, and verifies it. `*parse_at` is where the parse began: everything
// from there on is free once the bundle is verified.
kelvra_status read_bundle(const char *bundle_path, std::uint8_t *arena, std::uint64_t arena_cap, VerifiedBundle *bundle,
                          std::uint64_t *parse_at) noexcept;

// What an import checks of the genome stored in `dir` before adding a verified
// bundle: its manifest (obtained in `manifest_area`, derived with the caller's
// `the_one` if given, else the bundle's) must have the bundle's record width
// and `the_one`, and no chromosome with the bundle's label yet. Its body is
// then read and verified into `body`, whose room `total` must leave space for
// the bundle's region (else 4); `*stored` is the body's length.
kelvra_status read_genome_for_bundle(const char *dir, const VerifiedBundle &bundle, const std::uint8_t *the_one,
                                     std::uint64_t the_one_len, Area manifest_area, std::uint8_t *body,
                                     std::uint64_t total, std::uint64_t *stored) noexcept;

} // namespace kelvra::genome
