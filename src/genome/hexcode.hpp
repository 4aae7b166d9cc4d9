// Hexadecimal members of bundles: {"hex": ..., "sha256": ...} objects whose
// decoded bytes must hash to the digest beside them.
#pragma once

#include <cstdint>

#include "genome/format.hpp"
#include "kelvra.h"

namespace kelvra::genome {

// Decodes `value`'s "hex" (either case) into `out` and checks its digest
// against "sha256". 2 for a missing or mistyped member, an odd length, a
// character that is not a hex digit, or a digest that differs; 4 when the
// bytes would not fit `capacity`. On 0, `*length` and `digest` hold the
// decoded length and its digest text.
kelvra_status decode_hex_member(const kelvra_json_value *value, std::uint8_t *out, std::uint64_t capacity,
                                std::uint64_t *length, char (&digest)[digest_capacity]) noexcept;

} // namespace kelvra::genome
