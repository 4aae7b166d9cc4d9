// Decoding of one JSON string body into the parser's arena.
#pragma once

#include <cstdint>

#include "frame/status.hpp"

namespace kelvra::text {

struct DecodedString {
    kelvra_status status;
    const uint8_t *next; // past the closing quote
    uint64_t used;       // the arena cursor past the string's block
    uint8_t *bytes;      // the decoded text, in the block (no terminator)
    uint64_t length;     // decoded bytes
};

// Decodes the string whose body starts at `start` (the byte after the opening
// quote) into the next block of the arena (base, capacity, cursor `used`,
// sticky 8-byte rule). The block holds raw span + 1 bytes, the raw span being
// the body as written up to the closing quote (or the end of input). kelvra_status 4
// when that block does not fit, which takes precedence over any error in the
// body; 2 for a raw byte below 0x20, a bad escape or a bad surrogate, or a
// missing closing quote. On failure only `status` is meaningful.
DecodedString decode_json_string(const uint8_t *start, const uint8_t *end, uint8_t *base, uint64_t capacity,
                                 uint64_t used) noexcept;

} // namespace kelvra::text
