// The 32-byte value records that parsed JSON and TOML trees are made of, and
// the byte-wise field access they need. Trees live in callers' arenas at
// offsets reckoned from the arena's base, so a record or a pointer slot may
// sit at any address: every field is read and written through memcpy at a
// byte offset, never through a typed lvalue.
//
// Layout (both record types, as in kelvra.h):
//   offset 0  kind (u32), 4 bytes of padding
//   offset 8  word 0: boolean (u32) | integer | number | string bytes | array items | member keys
//   offset 16 word 1: string length (u32) | array count (u32) | member values
//   offset 24 word 2: member count (u32)
// Pointer arrays (items, keys, values) are arrays of 8-byte pointers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kelvra::text::record {

inline constexpr uint64_t record_bytes = 32;
inline constexpr uint64_t slot_bytes = 8;
static_assert(sizeof(void *) == slot_bytes);

inline constexpr size_t kind_at = 0;
inline constexpr size_t word0_at = 8;
inline constexpr size_t word1_at = 16;
inline constexpr size_t word2_at = 24;

// A field of any block at a byte offset, any alignment.
template <class T>
inline T get(const void *block, size_t at) noexcept {
    T out;
    std::memcpy(&out, static_cast<const unsigned char *>(block) + at, sizeof out);
    return out;
}

template <class T>
inline void put(void *block, size_t at, T value) noexcept {
    std::memcpy(static_cast<unsigned char *>(block) + at, &value, sizeof value);
}

} // namespace kelvra::text::record
