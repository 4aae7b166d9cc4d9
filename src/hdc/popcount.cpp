// Choosing the differing-bits kernel. The choice reads the environment on
// every call (tens of nanoseconds); vectors shorter than 1 KiB, which the
// baseline kernel counts in about that time, take it directly.
#include "hdc/popcount.hpp"

#include "frame/tier.hpp"

namespace kelvra::hdc {

namespace {

using Kernel = uint64_t (*)(const uint8_t *, const uint8_t *, size_t) noexcept;

constexpr size_t kTieredFrom = 1024;

} // namespace

uint64_t differing_bits(const uint8_t *a, const uint8_t *b, size_t n) noexcept {
    if (n < kTieredFrom) return differing_bits_portable(a, b, n);
    static constexpr Kernel by_tier[] = {differing_bits_portable, differing_bits_popcnt, differing_bits_avx2};
    return tier::pick(tier::hypervector_popcount, by_tier)(a, b, n);
}

} // namespace kelvra::hdc
