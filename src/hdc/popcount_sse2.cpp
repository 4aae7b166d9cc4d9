// Tier 0 differing-bits kernel: the SWAR ladder on 16-byte registers. Two
// blocks share the later rungs: after the 2-bit step each 4-bit field holds
// at most 4, so two blocks' fields add without overflow (at most 8) before
// the byte step; bytes then hold at most 16 and add up over 15 pairs
// (240 < 256) before PSADBW folds them into two 64-bit sums. Without SSE2
// (not x86-64) the same ladder runs on 8-byte words: the same count.
#include "hdc/popcount.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace kelvra::hdc {

namespace {

inline __m128i load128(const uint8_t *p) noexcept { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }

// Per 4-bit field, the number of set bits of x (0..4).
inline __m128i nibble_counts(__m128i x) noexcept {
    const __m128i m1 = _mm_set1_epi8(0x55), m2 = _mm_set1_epi8(0x33);
    x = _mm_sub_epi64(x, _mm_and_si128(_mm_srli_epi64(x, 1), m1));
    return _mm_add_epi64(_mm_and_si128(x, m2), _mm_and_si128(_mm_srli_epi64(x, 2), m2));
}

} // namespace

uint64_t differing_bits_portable(const uint8_t *a, const uint8_t *b, size_t n) noexcept {
    constexpr size_t kPairsPerFold = 15;
    const __m128i m4 = _mm_set1_epi8(0x0f);
    __m128i sums = _mm_setzero_si128();
    size_t i = 0;
    while (i + 32 <= n) {
        __m128i bytes = _mm_setzero_si128();
        for (size_t pair = 0; pair < kPairsPerFold && i + 32 <= n; ++pair, i += 32) {
            const __m128i x = nibble_counts(_mm_xor_si128(load128(a + i), load128(b + i)));
            const __m128i y = nibble_counts(_mm_xor_si128(load128(a + i + 16), load128(b + i + 16)));
            const __m128i fields = _mm_add_epi64(x, y);
            bytes = _mm_add_epi8(bytes,
                                 _mm_add_epi8(_mm_and_si128(fields, m4), _mm_and_si128(_mm_srli_epi64(fields, 4), m4)));
        }
        sums = _mm_add_epi64(sums, _mm_sad_epu8(bytes, _mm_setzero_si128()));
    }
    const uint64_t folded = static_cast<uint64_t>(_mm_cvtsi128_si64(sums)) +
                            static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
    return folded + differing_bits_words(a + i, b + i, n - i);
}

} // namespace kelvra::hdc

#else

namespace kelvra::hdc {

uint64_t differing_bits_portable(const uint8_t *a, const uint8_t *b, size_t n) noexcept {
    return differing_bits_words(a, b, n);
}

} // namespace kelvra::hdc

#endif
