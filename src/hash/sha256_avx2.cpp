// Batched SHA-256, 256-bit tier: eight messages at a time in the lanes of AVX2
// vectors. Built with -mavx2; runs only where the tier rule has found AVX2
// usable. Rotations are shift-and-or (AVX2 has no rotate); the eight blocks
// are transposed eight words at a time with unpacks and 128-bit permutes.
#include "hash/sha256_lanes.hpp"

#if defined(__AVX2__)
#include <immintrin.h>

namespace kelvra::hash {
namespace {

#define KELVRA_AVX2_INLINE [[gnu::always_inline]] static inline

struct Avx2 {
    using V = __m256i;
    static constexpr bool kNestedShifts = false;
    static constexpr int kLanes = 8;
    KELVRA_AVX2_INLINE V set1(uint32_t x) noexcept { return _mm256_set1_epi32(static_cast<int>(x)); }
    KELVRA_AVX2_INLINE V add(V a, V b) noexcept { return _mm256_add_epi32(a, b); }
    KELVRA_AVX2_INLINE V xor_(V a, V b) noexcept { return _mm256_xor_si256(a, b); }
    KELVRA_AVX2_INLINE V and_(V a, V b) noexcept { return _mm256_and_si256(a, b); }
    KELVRA_AVX2_INLINE V or_(V a, V b) noexcept { return _mm256_or_si256(a, b); }
    template <int N>
    KELVRA_AVX2_INLINE V shr(V a) noexcept {
        return _mm256_srli_epi32(a, N);
    }
    template <int N>
    KELVRA_AVX2_INLINE V shl(V a) noexcept {
        return _mm256_slli_epi32(a, N);
    }
    // A byte blend under the lane mask: the new word where it is set.
    KELVRA_AVX2_INLINE V blend(V mask, V fresh, V old) noexcept { return _mm256_blendv_epi8(old, fresh, mask); }
    KELVRA_AVX2_INLINE V mask_of(const int32_t *lanes) noexcept {
        return _mm256_load_si256(reinterpret_cast<const __m256i *>(lanes));
    }
    KELVRA_AVX2_INLINE void store(uint32_t *to, V a) noexcept {
        _mm256_store_si256(reinterpret_cast<__m256i *>(to), a);
    }

    // Eight words of each of eight blocks, transposed so that vector t holds
    // word t of every lane, each word byte-swapped to big-endian.
    KELVRA_AVX2_INLINE void load_block_words(const uint8_t *const (&block)[8], V (&w)[16]) noexcept {
        const V swap = _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12, 3, 2, 1, 0, 7, 6, 5, 4,
                                        11, 10, 9, 8, 15, 14, 13, 12);
        for (int half = 0; half < 2; ++half) {
            V r[8];
            for (int k = 0; k < 8; ++k)
                r[k] = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(block[k] + 32 * half));
            // lanes (0,1), (2,3), ...: words 0,1,4,5 and 2,3,6,7 paired
            const V t0 = _mm256_unpacklo_epi32(r[0], r[1]), t1 = _mm256_unpackhi_epi32(r[0], r[1]);
            const V t2 = _mm256_unpacklo_epi32(r[2], r[3]), t3 = _mm256_unpackhi_epi32(r[2], r[3]);
            const V t4 = _mm256_unpacklo_epi32(r[4], r[5]), t5 = _mm256_unpackhi_epi32(r[4], r[5]);
            const V t6 = _mm256_unpacklo_epi32(r[6], r[7]), t7 = _mm256_unpackhi_epi32(r[6], r[7]);
            // one word of lanes 0-3 (u0-u3) and of lanes 4-7 (u4-u7) per 128-bit half
            const V u0 = _mm256_unpacklo_epi64(t0, t2), u1 = _mm256_unpackhi_epi64(t0, t2);
            const V u2 = _mm256_unpacklo_epi64(t1, t3), u3 = _mm256_unpackhi_epi64(t1, t3);
            const V u4 = _mm256_unpacklo_epi64(t4, t6), u5 = _mm256_unpackhi_epi64(t4, t6);
            const V u6 = _mm256_unpacklo_epi64(t5, t7), u7 = _mm256_unpackhi_epi64(t5, t7);
            V *const to = w + 8 * half;
            to[0] = _mm256_shuffle_epi8(_mm256_permute2x128_si256(u0, u4, 0x20), swap);
            to[1] = _mm256_shuffle_epi8(_mm256_permute2x128_si256(u1, u5, 0x20), swap);
            to[2] = _mm256_shuffle_epi8(_mm256_permute2x128_si256(u2, u6, 0x20), swap);
            to[3] = _mm256_shuffle_epi8(_mm256_permute2x128_si256(u3, u7, 0x20), swap);
            to[4] = _mm256_shuffle_epi8(_mm256_permute2x128_si256(u0, u4, 0x31), swap);
            to[5] = _mm256_shuffle_epi8(_mm256_permute2x128_si256(u1, u5, 0x31), swap);
            to[6] = _mm256_shuffle_epi8(_mm256_permute2x128_si256(u2, u6, 0x31), swap);
            to[7] = _mm256_shuffle_epi8(_mm256_permute2x128_si256(u3, u7, 0x31), swap);
        }
    }
};

#undef KELVRA_AVX2_INLINE

} // namespace

uint64_t sha256_groups_avx2(const uint8_t *const *msgs, const uint64_t *lens, uint64_t count, uint8_t *out) noexcept {
    return lanes::hash_groups<Avx2>(msgs, lens, count, out);
}

} // namespace kelvra::hash
#else
// Not an x86-64 build: no group is hashed here, the caller hashes every message.
uint64_t kelvra::hash::sha256_groups_avx2(const uint8_t *const *, const uint64_t *, uint64_t, uint8_t *) noexcept {
    return 0;
}
#endif
