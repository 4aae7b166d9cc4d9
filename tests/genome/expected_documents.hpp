// Manifests and a bundle written out independently of the library (Python's
// json and hashlib: sorted keys, ", " and ": " separators, UTF-8 kept as is),
// for the genomes built in genome_fixture.hpp. Each ends with its line feed.
#pragma once

namespace kelvra_test::genome {

// The manifests differ only in their digests and their "data" object.
#define KELVRA_TEST_MANIFEST(body_sha256, chromosomes, leaf_dim, n_turns, one_hex, one_sha256)                          \
    "{\"attestation\": {\"collector_descriptor_hash\": \"61986c597dc7f0c9d8c29cfddbc33e73356cddac2d4141e6c80cb06f0a81b734\", " \
    "\"collector_descriptor_path\": \"kelvra/qorv/genome\", \"license\": \"CC0\", \"parser_rule_hash\": "                  \
    "\"34d450b20cd906284f73da0ab4f33082daeb6852f4b28c7d4d903b17a7f08c68\", \"parser_version\": \"kelvra "                  \
    "0.8.2\", \"response_sha256\": \"" body_sha256 "\", \"retrieved_at\": \"1970-01-01T00:00:00Z\", \"source_doi\": "      \
    "\"10.0/kelvra.genome.persistence\", \"source_url\": \"https://kelvra.dev/genome/persistence\"}, \"data\": "            \
    "{\"body_sha256\": \"" body_sha256 "\", \"chromosomes\": [" chromosomes "], \"format_version\": 2, \"leaf_dim\": "     \
    leaf_dim ", \"n_turns\": " n_turns ", \"the_one\": {\"hex\": \"" one_hex "\", \"sha256\": \"" one_sha256 "\"}}, "        \
    "\"data_schema_id\": \"kelvra://schema/genome_manifest/v1\", \"mpr_version\": \"1.0\", \"rendering\": "                \
    "{\"cite_as\": \"kelvra genome persistence (UPSTREAM \xc2\xa7" "41)\", \"human_readable_name\": \"kelvra "              \
    "genome (on-disk chromosome set)\", \"purpose\": \"A telomere-partitioned genome persisted as a fixed-width "          \
    "body (turns.bin) + an MPR-attested manifest catalog.\"}}\n"

// leaf_dim 4: one chromosome "ab" (a cap and one leaf).
inline constexpr char kManifestTwoRecords[] = KELVRA_TEST_MANIFEST(
    "25e4d34c99c2293baa17dc351f551345d817383db7a233437cede083a6526fe7",
    "{\"byte_len\": 8, \"byte_offset\": 0, \"cap_sha256\": \"0dc056bd7c57b99cb06a787b764bb551d9e35262fd03964033601e10e5050ab2\", "
    "\"label\": \"ab\", \"leaf_count\": 1}",
    "4", "2", "01020304", "9f64a747e1b97f131fabb6b447296c9b6f0201e79fb3c5356e6c77e89b6a806a");

// leaf_dim 8: labels that need JSON escapes, a non-leaf record, a label of 0x7f "/x".
inline constexpr char kManifestEscapes[] = KELVRA_TEST_MANIFEST(
    "96029b26e78b75614f0a75880aeb4e53bbc930b5b236a0f6099e69a74b2c6a94",
    "{\"byte_len\": 32, \"byte_offset\": 0, \"cap_sha256\": \"790049b40e0e0443a94fe74fe7507b7821b0df9ef4a8638fc0b033b6d4029409\", "
    "\"label\": \"q\\\"\\\\\\u0001\\t\xc3\xa9\", \"leaf_count\": 2}, {\"byte_len\": 16, \"byte_offset\": "
    "32, \"cap_sha256\": \"29d7e709cff73a25edcd21f5c646022441d2e8054f68daeaa08f29dd6c7243cb\", \"label\": "
    "\"b\", \"leaf_count\": 1}, {\"byte_len\": 8, \"byte_offset\": 48, \"cap_sha256\": \"d76f27559416fa387b3ac9f654a3cd21c9cf139a9cef07b78362a571acc722d5\", "
    "\"label\": \"\x7f/x\", \"leaf_count\": 0}",
    "8", "7", "f0f1f2f3f4f5f6f7", "aae81c916c72b03b0a0b7b12a82a23fca3c0698efc478be01242218ce5ae59cf");

// An empty body, leaf_dim 8, the_one "abcdefgh".
inline constexpr char kManifestEmpty[] = KELVRA_TEST_MANIFEST(
    "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", "", "8", "0", "6162636465666768",
    "9c56cc51b374c3ba189210d5b6d4bf57790d351c96c47c02190ecf1e430635ab");

#undef KELVRA_TEST_MANIFEST

// The bundle of chromosome "b" of the genome above.
inline constexpr char kBundleOfB[] =
    "{\"attestation\": {\"collector_descriptor_hash\": \"79c6b429ad8a2c4a9d86a7d209451e8bda3e47f7ac963ed79c478aee2acbacfc\", "
    "\"collector_descriptor_path\": \"kelvra/qorv/genome\", \"license\": \"CC0\", \"parser_rule_hash\": "
    "\"6da27a58e3b8f7465a88c6c36346a818b201061bf22be03151a5dbecd1229179\", \"parser_version\": \"kelvra "
    "0.8.2\", \"response_sha256\": \"be14b487993e75a39596524c903bceee903fe949377b8af4180a6467032ce166\", "
    "\"retrieved_at\": \"1970-01-01T00:00:00Z\", \"source_doi\": \"10.0/kelvra.genome.chromosome\", \"source_url\": "
    "\"https://kelvra.dev/genome/chromosome\"}, \"data\": {\"cap_sha256\": \"29d7e709cff73a25edcd21f5c646022441d2e8054f68daeaa08f29dd6c7243cb\", "
    "\"format_version\": 2, \"label\": \"b\", \"leaf_count\": 1, \"leaf_dim\": 8, \"region\": {\"hex\": "
    "\"43620000000000005a30303030303030\", \"sha256\": \"be14b487993e75a39596524c903bceee903fe949377b8af4180a6467032ce166\"}, "
    "\"the_one\": {\"hex\": \"f0f1f2f3f4f5f6f7\", \"sha256\": \"aae81c916c72b03b0a0b7b12a82a23fca3c0698efc478be01242218ce5ae59cf\"}}, "
    "\"data_schema_id\": \"kelvra://schema/genome_chromosome/v1\", \"mpr_version\": \"1.0\", \"rendering\": "
    "{\"cite_as\": \"kelvra genome chromosome bundle (UPSTREAM \xc2\xa7" "43)\", \"human_readable_name\": "
    "\"kelvra chromosome bundle (b)\", \"purpose\": \"One self-contained, MPR-attested chromosome: its "
    "fixed-width region (CHROM cap + coupled turns) + the_one, re-importable self-verifying.\"}}\n";

} // namespace kelvra_test::genome
