// SHA-256 compression with the SHA extensions. Built with -mssse3 -msse4.1
// -msha; runs only where the tier rule has found the extensions.
//
// The round instruction works on the state split as (A, B, E, F) and
// (C, D, G, H), so the eight words are rearranged once on entry and once on
// exit, not per block. Each block is byte-swapped into four message registers;
// every group of four rounds adds its constants to one register and feeds it
// to two double-round instructions (the second takes the upper two words).
// From round 16 on, the two schedule instructions and the word-aligned
// "t - 7" term extend the schedule four words at a time, each group written
// over the register of the group sixteen rounds back.
#include "hash/sha256_tiers.hpp"

#if defined(__SHA__) && defined(__SSE4_1__) && defined(__SSSE3__)
#include <immintrin.h>

#include <cstring>
#include <utility>

namespace kelvra::hash {
namespace {

#define KELVRA_SHANI_INLINE [[gnu::always_inline]] inline

// The round constants as plain words, so that this file calls no shared
// inline code.
struct Constants {
    alignas(16) uint32_t k[64];
};
constexpr Constants make_constants() noexcept {
    Constants c{};
    for (int i = 0; i < 64; ++i) c.k[i] = kSha256RoundConstants[static_cast<size_t>(i)];
    return c;
}
constexpr Constants kConstants = make_constants();

// Four rounds, G = 0..15. m[G & 3] holds schedule words 4G .. 4G+3 once
// the schedule step has run.
template <int G>
KELVRA_SHANI_INLINE void four_rounds(__m128i &abef, __m128i &cdgh, __m128i (&m)[4]) noexcept {
    if constexpr (G >= 4) {
        // W[t-16..t-13] + sigma0(W[t-15..t-12]), + W[t-7..t-4], then the sigma1 terms.
        const __m128i head = _mm_sha256msg1_epu32(m[G & 3], m[(G + 1) & 3]);
        const __m128i seven_back = _mm_alignr_epi8(m[(G + 3) & 3], m[(G + 2) & 3], 4);
        m[G & 3] = _mm_sha256msg2_epu32(_mm_add_epi32(head, seven_back), m[(G + 3) & 3]);
    }
    __m128i words = _mm_add_epi32(m[G & 3], _mm_load_si128(reinterpret_cast<const __m128i *>(kConstants.k + 4 * G)));
    cdgh = _mm_sha256rnds2_epu32(cdgh, abef, words);
    words = _mm_shuffle_epi32(words, 0x0e);
    abef = _mm_sha256rnds2_epu32(abef, cdgh, words);
}

template <int... G>
KELVRA_SHANI_INLINE void sixty_four_rounds(__m128i &abef, __m128i &cdgh, __m128i (&m)[4],
                                           std::integer_sequence<int, G...>) noexcept {
    (four_rounds<G>(abef, cdgh, m), ...);
}

#undef KELVRA_SHANI_INLINE

} // namespace

void sha256_compress_shani(uint32_t *state, const uint8_t *blocks, size_t block_count) noexcept {
    // Big-endian words: reverse the bytes of each 32-bit element.
    const __m128i byte_swap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);

    const __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i *>(state));
    const __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i *>(state + 4));
    const __m128i cdab = _mm_shuffle_epi32(dcba, 0xb1);
    const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1b);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xf0);

    for (; block_count != 0; --block_count, blocks += kSha256BlockBytes) {
        const __m128i abef_in = abef, cdgh_in = cdgh;
        __m128i m[4];
        for (int i = 0; i < 4; ++i)
            m[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(blocks + 16 * i)), byte_swap);
        sixty_four_rounds(abef, cdgh, m, std::make_integer_sequence<int, 16>{});
        abef = _mm_add_epi32(abef, abef_in);
        cdgh = _mm_add_epi32(cdgh, cdgh_in);
    }

    const __m128i feba = _mm_shuffle_epi32(abef, 0x1b);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xb1);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(state), _mm_blend_epi16(feba, dchg, 0xf0));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

} // namespace kelvra::hash

#else
#include <cstdlib>

// Not an x86-64 build: the tier rule never finds the extensions.
void kelvra::hash::sha256_compress_shani(uint32_t *, const uint8_t *, size_t) noexcept { std::abort(); }
#endif
