// Tier 2 differing-bits kernel: 32 bytes at a time. Each byte's count comes
// from two 16-entry nibble lookups (VPSHUFB); byte counts add up over at most
// 15 steps of 64 bytes (15 x 2 x 8 = 240 < 256) before VPSADBW folds them
// into four 64-bit sums. Built with -mavx2; runs only where the tier rule has
// found AVX2 and POPCNT usable.
#include "hdc/popcount.hpp"

#if defined(__AVX2__)
#include <immintrin.h>

namespace kelvra::hdc {

namespace {

inline __m256i load256(const uint8_t *p) noexcept { return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p)); }

inline __m256i byte_counts(__m256i x) noexcept {
    const __m256i nibble_counts = _mm256_setr_epi8(0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4, //
                                                   0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4);
    const __m256i low_mask = _mm256_set1_epi8(0x0f);
    const __m256i lo = _mm256_and_si256(x, low_mask);
    const __m256i hi = _mm256_and_si256(_mm256_srli_epi16(x, 4), low_mask);
    return _mm256_add_epi8(_mm256_shuffle_epi8(nibble_counts, lo), _mm256_shuffle_epi8(nibble_counts, hi));
}

uint64_t horizontal_sum(__m256i sums) noexcept {
    const __m128i folded = _mm_add_epi64(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
    return static_cast<uint64_t>(_mm_cvtsi128_si64(folded)) +
           static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(folded, folded)));
}

} // namespace

uint64_t differing_bits_avx2(const uint8_t *a, const uint8_t *b, size_t n) noexcept {
    constexpr size_t kStepsPerFold = 15;
    __m256i sums = _mm256_setzero_si256();
    size_t i = 0;
    while (i + 64 <= n) {
        __m256i bytes = _mm256_setzero_si256();
        for (size_t step = 0; step < kStepsPerFold && i + 64 <= n; ++step, i += 64) {
            const __m256i x0 = _mm256_xor_si256(load256(a + i), load256(b + i));
            const __m256i x1 = _mm256_xor_si256(load256(a + i + 32), load256(b + i + 32));
            bytes = _mm256_add_epi8(bytes, _mm256_add_epi8(byte_counts(x0), byte_counts(x1)));
        }
        sums = _mm256_add_epi64(sums, _mm256_sad_epu8(bytes, _mm256_setzero_si256()));
    }
    return horizontal_sum(sums) + differing_bits_words(a + i, b + i, n - i);
}

} // namespace kelvra::hdc

#else

// Not built for AVX2 (not x86-64): the tier is never chosen; the count is
// still the right one.
namespace kelvra::hdc {

uint64_t differing_bits_avx2(const uint8_t *a, const uint8_t *b, size_t n) noexcept {
    return differing_bits_words(a, b, n);
}

} // namespace kelvra::hdc

#endif
