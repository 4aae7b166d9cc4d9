// Small helpers for building the manifest and bundle documents with the JSON
// builder: constant and NUL-terminated texts, and objects from fixed tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "genome/format.hpp"
#include "kelvra.h"

namespace kelvra::genome {

// A string value referring to a NUL-terminated text (not copied).
inline kelvra_json_value *text_value(kelvra_json_builder &b, const char *text) noexcept {
    return kelvra_json_new_string(&b, reinterpret_cast<const std::uint8_t *>(text),
                                  static_cast<std::uint32_t>(std::strlen(text)));
}

// An object whose keys and values come as two arrays of the same length.
template <std::size_t N>
kelvra_json_value *object_of(kelvra_json_builder &b, const char *const (&keys)[N],
                             kelvra_json_value *const (&values)[N]) noexcept {
    return kelvra_json_new_object(&b, keys, values, N);
}

// What the attestation object of a manifest or a bundle names: the hashes of
// the collector and the parser rule, the parser, the hash of the bytes it
// attests and where they came from.
struct Attestation {
    const char *schema_sha256;
    const char *rule_sha256;
    const char *parser_version;
    const char *response_sha256;
    const char *source_doi;
    const char *source_url;
};

inline kelvra_json_value *attestation_value(kelvra_json_builder &b, const Attestation &a) noexcept {
    static constexpr const char *keys[] = {"collector_descriptor_hash",
                                           "collector_descriptor_path",
                                           "license",
                                           "parser_rule_hash",
                                           "parser_version",
                                           "response_sha256",
                                           "retrieved_at",
                                           "source_doi",
                                           "source_url"};
    kelvra_json_value *const values[] = {
        text_value(b, a.schema_sha256), text_value(b, descriptor_path),  text_value(b, license),
        text_value(b, a.rule_sha256),   text_value(b, a.parser_version), text_value(b, a.response_sha256),
        text_value(b, retrieved_at),    text_value(b, a.source_doi),     text_value(b, a.source_url),
    };
    return object_of(b, keys, values);
}

} // namespace kelvra::genome
