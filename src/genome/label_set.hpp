// A set of chromosome labels kept in a caller's arena, for telling whether a
// label is already taken in time proportional to its length: explode refuses a
// genome whose labels repeat, and pack checks each bundle's label against
// every chromosome before it. The set refers to label bytes held elsewhere in
// the arena; it copies nothing.
#pragma once

#include <cstdint>

#include "genome/cursor.hpp"

namespace kelvra::genome {

class LabelSet {
public:
    enum class Added { added, present, full };

    // Bytes needed for up to `labels` labels (0 when that would not be
    // addressable).
    static std::uint64_t bytes_for(std::uint64_t labels) noexcept;

    // Lays out an empty set for up to `labels` labels at the start of `area`;
    // false when it does not fit.
    bool place(Area area, std::uint64_t labels) noexcept;

    // Adds a label unless an equal one (same length and bytes) is there.
    Added add(const std::uint8_t *label, std::uint32_t length) noexcept;

    bool contains(const std::uint8_t *label, std::uint32_t length) const noexcept;

private:
    std::uint64_t find(const std::uint8_t *label, std::uint32_t length, std::uint32_t hash) const noexcept;

    std::uint8_t *slots_ = nullptr; // 16 bytes each: pointer, length, hash
    std::uint64_t mask_ = 0;
    std::uint64_t limit_ = 0;
    std::uint64_t count_ = 0;
};

} // namespace kelvra::genome
