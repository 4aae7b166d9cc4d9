// Bump allocation in a caller's arena. Offsets are reckoned from the arena's
// base, never from absolute addresses, so an arena at an odd address yields
// blocks at the same offsets as an aligned one (callers read such records with
// memcpy-safe code or through the public record types, which the library never
// assumes to be aligned beyond what the offset gives).
//
// Two disciplines exist, and each family uses exactly one:
//  - sticky (JSON builder and parser; the TOML parser, whose blocks are all
//    multiples of 8 and so never padded): 8-byte steps; a reservation that does
//    not fit sets a failure flag that stays set, and may still consume the
//    padding before it, exactly as callers size their arenas from;
//  - plain (genome store): 16-byte steps; a reservation that does not fit
//    consumes nothing.
#pragma once

#include <cstdint>

namespace kelvra::arena {

// Reserves `size` bytes at the next multiple of 8 from base. On failure sets
// `failed` and returns null; when only the block (not its padding) fails to
// fit, the padding is consumed.
[[gnu::always_inline]] inline uint8_t *reserve_sticky(uint8_t *base, uint64_t capacity, uint64_t &used,
                                                     uint32_t &failed, uint64_t size) noexcept {
    const uint64_t pad = (0 - used) & 7u;
    if (pad > capacity - used) {
        failed = 1;
        return nullptr;
    }
    if (size > capacity - (used + pad)) {
        used += pad;
        failed = 1;
        return nullptr;
    }
    uint8_t *block = base + used + pad;
    used += pad + size;
    return block;
}

// Rounds up to the next multiple of 16.
constexpr uint64_t round16(uint64_t n) noexcept { return (n + 15u) & ~uint64_t{15}; }

// Reserves `size` bytes at the next multiple of 16 from base, or returns null
// and leaves `used` unchanged.
inline uint8_t *reserve16(uint8_t *base, uint64_t capacity, uint64_t &used, uint64_t size) noexcept {
    const uint64_t start = used > UINT64_MAX - 15u ? UINT64_MAX : round16(used);
    if (start > capacity || size > capacity - start) return nullptr;
    used = start + size;
    return base + start;
}

} // namespace kelvra::arena
