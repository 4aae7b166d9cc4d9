// The last step of the binary bundle (binary.cpp): output bits from
// byte-wide bit counters.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvra::hdc {

// Output byte j, bit k is set where byte k of counters[j] reaches `threshold`
// (1..128). majority_sse2.cpp: 16 counters per step with SSE2 on x86-64 (part
// of the baseline), one at a time elsewhere, with the same bits.
void majority_from_counters(const uint64_t *counters, size_t len, uint32_t threshold, uint8_t *out) noexcept;

} // namespace kelvra::hdc
