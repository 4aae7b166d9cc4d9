// Batched SHA-256, 128-bit tier: four messages at a time in the lanes of SSE2
// vectors. SSE2 only (no byte shuffle), so it runs on every x86-64 processor:
// the big-endian words are made by swapping 16-bit halves and then the bytes
// inside them, and rotations are shift-and-or. Groups are taken two at a time
// and hashed side by side (lanes::hash_groups_paired).
#include "hash/sha256_lanes.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace kelvra::hash {
namespace {

#define KELVRA_SSE2_INLINE [[gnu::always_inline]] static inline

struct Sse2 {
    using V = __m128i;
    static constexpr bool kNestedShifts = true;
    static constexpr int kLanes = 4;
    KELVRA_SSE2_INLINE V set1(uint32_t x) noexcept { return _mm_set1_epi32(static_cast<int>(x)); }
    KELVRA_SSE2_INLINE V add(V a, V b) noexcept { return _mm_add_epi32(a, b); }
    KELVRA_SSE2_INLINE V xor_(V a, V b) noexcept { return _mm_xor_si128(a, b); }
    KELVRA_SSE2_INLINE V and_(V a, V b) noexcept { return _mm_and_si128(a, b); }
    KELVRA_SSE2_INLINE V or_(V a, V b) noexcept { return _mm_or_si128(a, b); }
    template <int N>
    KELVRA_SSE2_INLINE V shr(V a) noexcept {
        return _mm_srli_epi32(a, N);
    }
    template <int N>
    KELVRA_SSE2_INLINE V shl(V a) noexcept {
        return _mm_slli_epi32(a, N);
    }
    // and, and-not, or: the new word where the mask is set, else the old one.
    KELVRA_SSE2_INLINE V blend(V mask, V fresh, V old) noexcept {
        return _mm_or_si128(_mm_and_si128(mask, fresh), _mm_andnot_si128(mask, old));
    }
    KELVRA_SSE2_INLINE V mask_of(const int32_t *lanes) noexcept {
        return _mm_load_si128(reinterpret_cast<const __m128i *>(lanes));
    }
    KELVRA_SSE2_INLINE V load(const uint32_t *from) noexcept {
        return _mm_load_si128(reinterpret_cast<const __m128i *>(from));
    }
    KELVRA_SSE2_INLINE void store(uint32_t *to, V a) noexcept { _mm_store_si128(reinterpret_cast<__m128i *>(to), a); }

    KELVRA_SSE2_INLINE V byte_swap(V x) noexcept {
        x = _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, 0xb1), 0xb1);
        return _mm_or_si128(_mm_slli_epi16(x, 8), _mm_srli_epi16(x, 8));
    }

    // Four words of each of four blocks, transposed so that vector t holds
    // word t of every lane.
    KELVRA_SSE2_INLINE void load_block_words(const uint8_t *const (&block)[4], V (&w)[16]) noexcept {
        for (int q = 0; q < 4; ++q) {
            const V r0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block[0] + 16 * q));
            const V r1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block[1] + 16 * q));
            const V r2 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block[2] + 16 * q));
            const V r3 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block[3] + 16 * q));
            const V t0 = _mm_unpacklo_epi32(r0, r1), t1 = _mm_unpackhi_epi32(r0, r1);
            const V t2 = _mm_unpacklo_epi32(r2, r3), t3 = _mm_unpackhi_epi32(r2, r3);
            w[4 * q + 0] = byte_swap(_mm_unpacklo_epi64(t0, t2));
            w[4 * q + 1] = byte_swap(_mm_unpackhi_epi64(t0, t2));
            w[4 * q + 2] = byte_swap(_mm_unpacklo_epi64(t1, t3));
            w[4 * q + 3] = byte_swap(_mm_unpackhi_epi64(t1, t3));
        }
    }
};

#undef KELVRA_SSE2_INLINE

} // namespace

uint64_t sha256_groups_sse2(const uint8_t *const *msgs, const uint64_t *lens, uint64_t count, uint8_t *out) noexcept {
    return lanes::hash_groups_paired<Sse2>(msgs, lens, count, out);
}

} // namespace kelvra::hash
#else
// Not an x86-64 build: no group is hashed here, the caller hashes every message.
uint64_t kelvra::hash::sha256_groups_sse2(const uint8_t *const *, const uint64_t *, uint64_t, uint8_t *) noexcept {
    return 0;
}
#endif
