// The genome store's fixed vocabulary: file names, record kinds, limits, the
// constant texts of manifests and bundles, and the in-memory records from
// which both documents are written.
//
// A genome directory holds "turns.bin" (the body: fixed-width records, no
// framing) and "manifest.json" (one canonical JSON line that catalogues the
// chromosomes and attests the body by SHA-256). A chromosome bundle
// (label + ".chr") carries one chromosome's region in hexadecimal.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvra::genome {

// ---- Files and paths --------------------------------------------------------

inline constexpr char body_file[] = "turns.bin";
inline constexpr char manifest_file[] = "manifest.json";
inline constexpr char bundle_suffix[] = ".chr";
inline constexpr std::size_t bundle_suffix_length = sizeof bundle_suffix - 1;

// Every joined path, with its NUL.
inline constexpr std::size_t path_capacity = 4096;

// ---- Records ----------------------------------------------------------------

inline constexpr std::uint8_t cap_kind = 'C';      // starts a chromosome; holds its label
inline constexpr std::uint8_t non_leaf_kind = 'G'; // part of a region, not counted as a leaf

inline constexpr std::uint32_t min_leaf_dim = 1;
inline constexpr std::uint32_t max_leaf_dim = 256;
inline constexpr std::size_t max_label_bytes = 255;
inline constexpr std::size_t label_capacity = max_label_bytes + 1;

// Offsets and lengths in the manifest are 32-bit: a body must stay below 4 GiB.
inline constexpr std::uint64_t body_limit = std::uint64_t{1} << 32;

// ---- Digests ----------------------------------------------------------------

inline constexpr std::size_t digest_chars = 64;
inline constexpr std::size_t digest_capacity = digest_chars + 1;
inline constexpr std::size_t the_one_hex_capacity = 2 * max_leaf_dim + 1;

// ---- Manifest texts ---------------------------------------------------------

inline constexpr char manifest_schema_id[] = "kelvra://schema/genome_manifest/v1";
inline constexpr char manifest_rule[] = "genome_persistence/v2";
inline constexpr char parser_version[] = "kelvra " KELVRA_VERSION_TEXT;
inline constexpr char mpr_version[] = "1.0";
inline constexpr char descriptor_path[] = "kelvra/qorv/genome";
inline constexpr char license[] = "CC0";
inline constexpr char retrieved_at[] = "1970-01-01T00:00:00Z";
inline constexpr std::int64_t format_version = 2;

// The publisher's host, once for both documents.
#define KELVRA_GENOME_SOURCE_HOST "https://kelvra.dev"

inline constexpr char manifest_source_doi[] = "10.0/kelvra.genome.persistence";
inline constexpr char manifest_source_url[] = KELVRA_GENOME_SOURCE_HOST "/genome/persistence";
// The section sign is U+00A7, written as its two UTF-8 bytes.
inline constexpr char manifest_cite_as[] = "kelvra genome persistence (UPSTREAM \xC2\xA7"
                                           "41)";
inline constexpr char manifest_name[] = "kelvra genome (on-disk chromosome set)";
inline constexpr char manifest_purpose[] = "A telomere-partitioned genome persisted as a fixed-width body "
                                           "(turns.bin) + an MPR-attested manifest catalog.";

// The manifest line may take this many bytes before its line feed.
constexpr std::uint64_t manifest_text_limit(std::uint64_t chromosomes) noexcept { return 856u * chromosomes + 4096u; }

// ---- Bundle texts -----------------------------------------------------------

inline constexpr char bundle_schema_id[] = "kelvra://schema/genome_chromosome/v1";
inline constexpr std::size_t bundle_schema_id_length = sizeof bundle_schema_id - 1;
inline constexpr char bundle_rule[] = "genome_chromosome/v2";
inline constexpr char bundle_source_doi[] = "10.0/kelvra.genome.chromosome";
inline constexpr char bundle_source_url[] = KELVRA_GENOME_SOURCE_HOST "/genome/chromosome";
inline constexpr char bundle_cite_as[] = "kelvra genome chromosome bundle (UPSTREAM \xC2\xA7"
                                         "43)";
inline constexpr char bundle_name_prefix[] = "kelvra chromosome bundle (";
inline constexpr char bundle_purpose[] = "One self-contained, MPR-attested chromosome: its fixed-width region "
                                         "(CHROM cap + coupled turns) + the_one, re-importable self-verifying.";

// The bundle line may take this many bytes before its line feed.
constexpr std::uint64_t bundle_text_limit(std::uint64_t region_bytes) noexcept { return 2 * region_bytes + 4095u; }

#undef KELVRA_GENOME_SOURCE_HOST

// ---- In-memory records ------------------------------------------------------

// The fixed texts of a manifest. Only byte arrays, so the record may sit at any
// address (a derived manifest keeps it in the caller's arena, where the tree
// handed back refers to it).
struct ManifestTexts {
    char body_sha256[digest_capacity];
    char the_one_sha256[digest_capacity];
    char the_one_hex[the_one_hex_capacity];
    char rule_sha256[digest_capacity];
    char schema_sha256[digest_capacity];
    char parser_version[27];
};

// The chromosome index from which a manifest is written. The five per-chromosome
// arrays live in the caller's arena at 16-byte offsets from its base, which may
// be any address: the 32-bit arrays are read and written through
// load_u32/store_u32 only.
struct kelvra_genome_desc {
    ManifestTexts *texts;
    char (*cap_sha256)[digest_capacity];
    std::uint8_t *byte_offsets; // u32 each
    std::uint8_t *byte_lengths; // u32 each
    char (*labels)[label_capacity];
    std::uint8_t *leaf_counts; // u32 each
    std::uint32_t capacity;
    std::uint32_t count;
};

// The record from which a chromosome bundle is written.
struct kelvra_bundle_desc {
    char label[label_capacity];
    char cap_sha256[digest_capacity];
    char the_one_sha256[digest_capacity];
    char the_one_hex[the_one_hex_capacity];
    char region_sha256[digest_capacity];
    char parser_version[22];
    char rule_sha256[digest_capacity];
    char schema_sha256[digest_capacity];
    char display_name[296];
    std::uint32_t leaf_dim;
    std::int64_t leaf_count;
};

} // namespace kelvra::genome
