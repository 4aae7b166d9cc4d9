#include "genome/label_set.hpp"

#include <cstring>

namespace kelvra::genome {
namespace {

// A slot: the label's address, its length, and its hash; an empty slot has a
// null address. Slots sit at any address in the caller's arena, so they are
// read and written byte-wise.
constexpr std::uint64_t slot_bytes = 16;

struct Slot {
    const std::uint8_t *label;
    std::uint32_t length;
    std::uint32_t hash;
};

Slot load_slot(const std::uint8_t *slots, std::uint64_t i) noexcept {
    Slot s;
    std::memcpy(&s.label, slots + i * slot_bytes, sizeof s.label);
    std::memcpy(&s.length, slots + i * slot_bytes + 8, sizeof s.length);
    std::memcpy(&s.hash, slots + i * slot_bytes + 12, sizeof s.hash);
    return s;
}

void store_slot(std::uint8_t *slots, std::uint64_t i, const Slot &s) noexcept {
    std::memcpy(slots + i * slot_bytes, &s.label, sizeof s.label);
    std::memcpy(slots + i * slot_bytes + 8, &s.length, sizeof s.length);
    std::memcpy(slots + i * slot_bytes + 12, &s.hash, sizeof s.hash);
}

// FNV-1a, folded to 32 bits.
std::uint32_t hash_of(const std::uint8_t *label, std::uint32_t length) noexcept {
    std::uint64_t h = 14695981039346656037ull;
    for (std::uint32_t i = 0; i < length; ++i) h = (h ^ label[i]) * 1099511628211ull;
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

// At least twice as many slots as labels, a power of two, so probes stay short.
std::uint64_t slot_count(std::uint64_t labels) noexcept {
    std::uint64_t n = 16;
    while (n < 2 * labels) n *= 2;
    return n;
}

} // namespace

std::uint64_t LabelSet::bytes_for(std::uint64_t labels) noexcept {
    if (labels > (UINT64_MAX / slot_bytes) / 4) return 0;
    return slot_count(labels) * slot_bytes;
}

bool LabelSet::place(Area area, std::uint64_t labels) noexcept {
    const std::uint64_t bytes = bytes_for(labels);
    if (bytes == 0 || area.base == nullptr || bytes > area.capacity) return false;
    std::memset(area.base, 0, bytes);
    slots_ = area.base;
    mask_ = bytes / slot_bytes - 1;
    limit_ = labels;
    count_ = 0;
    return true;
}

std::uint64_t LabelSet::find(const std::uint8_t *label, std::uint32_t length, std::uint32_t hash) const noexcept {
    for (std::uint64_t i = hash & mask_;; i = (i + 1) & mask_) {
        const Slot s = load_slot(slots_, i);
        if (s.label == nullptr) return i;
        if (s.hash == hash && s.length == length && (length == 0 || std::memcmp(s.label, label, length) == 0)) return i;
    }
}

LabelSet::Added LabelSet::add(const std::uint8_t *label, std::uint32_t length) noexcept {
    const std::uint32_t hash = hash_of(label, length);
    const std::uint64_t i = find(label, length, hash);
    if (load_slot(slots_, i).label != nullptr) return Added::present;
    if (count_ == limit_) return Added::full;
    store_slot(slots_, i, {label, length, hash});
    ++count_;
    return Added::added;
}

bool LabelSet::contains(const std::uint8_t *label, std::uint32_t length) const noexcept {
    return load_slot(slots_, find(label, length, hash_of(label, length))).label != nullptr;
}

} // namespace kelvra::genome
