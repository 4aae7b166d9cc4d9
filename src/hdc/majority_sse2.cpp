// Output bits from byte-wide counters (majority.hpp). The bias lifts exactly
// the counters that reach the threshold to 128 or more, so each output bit is
// the top bit of its lifted counter: MOVMSKB gathers 16 of them (two output
// bytes) at a time on x86-64; a shift loop gathers them elsewhere.
#include "hdc/majority.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelvra::hdc {

namespace {

inline uint8_t top_bits(uint64_t lifted) noexcept {
    uint8_t byte = 0;
    for (unsigned k = 0; k < 8; ++k) byte |= uint8_t(((lifted >> (8 * k + 7)) & 1u) << k);
    return byte;
}

} // namespace

void majority_from_counters(const uint64_t *counters, size_t len, uint32_t threshold, uint8_t *out) noexcept {
    const uint64_t bias = uint64_t{128 - threshold} * 0x0101010101010101u;
    size_t j = 0;
#if defined(__SSE2__)
    for (; j + 2 <= len; j += 2) {
        const __m128i lifted =
            _mm_set_epi64x(static_cast<long long>(counters[j + 1] + bias), static_cast<long long>(counters[j] + bias));
        const unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(lifted));
        out[j] = static_cast<uint8_t>(bits);
        out[j + 1] = static_cast<uint8_t>(bits >> 8);
    }
#endif
    for (; j < len; ++j) out[j] = top_bits(counters[j] + bias);
}

} // namespace kelvra::hdc
