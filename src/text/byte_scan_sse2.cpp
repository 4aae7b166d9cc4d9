// The block scans of the byte searches (byte_scan.hpp). The 16-position
// candidate mask comes from SSE2 compares on x86-64 and from a byte loop
// elsewhere; the steps around it are the same, and so are the results.
#include "text/byte_scan.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelvra::text {

namespace {

#if defined(__SSE2__)

struct Wanted {
    __m128i first, last;
};

inline Wanted wanted(uint8_t first, uint8_t last) noexcept {
    return {_mm_set1_epi8(static_cast<char>(first)), _mm_set1_epi8(static_cast<char>(last))};
}

// Bit k: hay[s + k] is the first byte and hay[s + k + m - 1] the last one.
inline uint32_t candidates(const uint8_t *hay, uint64_t s, uint32_t m, const Wanted &w) noexcept {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(hay + s));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(hay + s + m - 1));
    return static_cast<uint32_t>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, w.first), _mm_cmpeq_epi8(b, w.last))));
}

#else

struct Wanted {
    uint8_t first, last;
};

inline Wanted wanted(uint8_t first, uint8_t last) noexcept { return {first, last}; }

inline uint32_t candidates(const uint8_t *hay, uint64_t s, uint32_t m, const Wanted &w) noexcept {
    uint32_t mask = 0;
    for (uint32_t k = 0; k < 16; ++k) {
        const bool hit = hay[s + k] == w.first && hay[s + k + m - 1] == w.last;
        mask |= uint32_t{hit ? 1u : 0u} << k;
    }
    return mask;
}

#endif

} // namespace

ScanState scan_blocks_forward(const uint8_t *hay, uint64_t starts, const uint8_t *needle, uint32_t m) noexcept {
    const Wanted w = wanted(needle[0], needle[m - 1]);
    ScanState st;
    uint64_t s = 0;
    while (s + 16 <= starts) {
        uint32_t mask = candidates(hay, s, m, w);
        while (mask != 0) {
            const uint64_t at = s + static_cast<uint64_t>(__builtin_ctz(mask));
            if (middle_matches(hay + at, needle, m)) {
                st.found = true;
                st.at = at;
                return st;
            }
            st.spent += m;
            mask &= mask - 1;
        }
        s += 16;
        if (st.spent > check_allowance + check_per_byte * s) break;
    }
    st.done = s;
    return st;
}

ScanState scan_blocks_backward(const uint8_t *hay, uint64_t starts, const uint8_t *needle, uint32_t m) noexcept {
    const Wanted w = wanted(needle[0], needle[m - 1]);
    ScanState st;
    uint64_t open = starts;
    while (open >= 16) {
        const uint64_t s = open - 16;
        uint32_t mask = candidates(hay, s, m, w);
        while (mask != 0) {
            const int top = 31 - __builtin_clz(mask);
            const uint64_t at = s + static_cast<uint64_t>(top);
            if (middle_matches(hay + at, needle, m)) {
                st.found = true;
                st.at = at;
                return st;
            }
            st.spent += m;
            mask &= ~(uint32_t{1} << top);
        }
        open = s;
        if (st.spent > check_allowance + check_per_byte * (starts - open)) break;
    }
    st.done = starts - open;
    return st;
}

} // namespace kelvra::text
