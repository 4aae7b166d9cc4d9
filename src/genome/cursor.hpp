// The genome store's arena cursor (16-byte steps measured from the arena's
// base; a request that does not fit consumes nothing) and the unaligned
// 32-bit cells of the index arrays.
#pragma once

#include <cstdint>
#include <cstring>

#include "frame/arena.hpp"

namespace kelvra::genome {

struct kelvra_genome_arena {
    std::uint8_t *base;
    std::uint64_t capacity;
    std::uint64_t used;
};

// s bytes at the next multiple of 16, or null with `used` unchanged.
inline std::uint8_t *allocate(kelvra_genome_arena &cursor, std::uint64_t size) noexcept {
    return arena::reserve16(cursor.base, cursor.capacity, cursor.used, size);
}

// A sub-area of a caller's arena: [base + offset, base + capacity). The
// offset is clamped to the capacity, leaving an empty area.
struct Area {
    std::uint8_t *base;
    std::uint64_t capacity;
};

inline Area area_from(Area whole, std::uint64_t offset) noexcept {
    if (offset >= whole.capacity) return {whole.base + whole.capacity, 0};
    return {whole.base + offset, whole.capacity - offset};
}

using arena::round16;

// min(round16(n), cap), without overflow for n near 2^64.
inline std::uint64_t rounded_within(std::uint64_t n, std::uint64_t cap) noexcept {
    if (n > cap || n > UINT64_MAX - 15u) return cap;
    const std::uint64_t r = round16(n);
    return r > cap ? cap : r;
}

inline std::uint32_t load_u32(const std::uint8_t *array, std::uint64_t i) noexcept {
    std::uint32_t value;
    std::memcpy(&value, array + 4 * i, sizeof value);
    return value;
}

inline void store_u32(std::uint8_t *array, std::uint64_t i, std::uint32_t value) noexcept {
    std::memcpy(array + 4 * i, &value, sizeof value);
}

} // namespace kelvra::genome
