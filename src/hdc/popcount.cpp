// Choosing the differing-bits kernel. The choice queries the processor on
// every call, which costs microseconds where the identification instruction
// traps to a hypervisor; shorter vectors therefore take the baseline kernel
// directly, which needs no query.
#include "hdc/popcount.hpp"

#include "frame/tier.hpp"

namespace kelvra::hdc {

namespace {

using Kernel = uint64_t (*)(const uint8_t *, const uint8_t *, size_t) noexcept;

constexpr size_t kTieredFrom = size_t{128} << 10;

} // namespace

uint64_t differing_bits(const uint8_t *a, const uint8_t *b, size_t n) noexcept {
    if (n < kTieredFrom) return differing_bits_portable(a, b, n);
    static constexpr Kernel by_tier[] = {differing_bits_portable, differing_bits_popcnt, differing_bits_avx2};
    return tier::pick(tier::hypervector_popcount, by_tier)(a, b, n);
}

} // namespace kelvra::hdc
