// The multi-message SHA-256 form, written once over a lane vector type:
// L messages hashed side by side, lane k of every vector belonging to message
// k of the group. The sixteen message words of the current block are sixteen
// vectors (vector t holds word t of every lane) and the state is eight
// vectors (vector w holds state word w of every lane).
//
// Included only by the files of the wide tiers (sha256_sse2.cpp,
// sha256_avx2.cpp), each with its own Ops type from an unnamed namespace, so
// every instantiation stays inside the file built with that tier's flags.
//
// Ops supplies: V (the vector), kLanes, kNestedShifts (which form of the
// Sigmas suits it, below), set1, add, xor_, and_, or_, shr<N>,
// shl<N>, blend (per-lane choice under a mask of all-ones lanes), mask_of (a
// mask from one int32 per lane), store (the lanes to memory) and
// load_block_words (sixteen big-endian words of each lane's 64-byte block,
// interleaved).
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>

#include "hash/sha256_core.hpp"
#include "hash/sha256_tiers.hpp"

namespace kelvra::hash::lanes {

#define KELVRA_LANES_INLINE [[gnu::always_inline]] inline

// Plain copies of the constants: the shared std::array accessors are inline
// code that a wide-tier file must not instantiate.
struct Words {
    uint32_t initial[8];
    uint32_t k[64];
};
constexpr Words make_words() noexcept {
    Words w{};
    for (size_t i = 0; i < 8; ++i) w.initial[i] = kSha256Initial[i];
    for (size_t i = 0; i < 64; ++i) w.k[i] = kSha256RoundConstants[i];
    return w;
}
inline constexpr Words kWords = make_words();

template <class Ops, int N>
KELVRA_LANES_INLINE typename Ops::V rotr(typename Ops::V x) noexcept {
    return Ops::or_(Ops::template shr<N>(x), Ops::template shl<32 - N>(x));
}

// The Sigmas have two forms with the same result. With three-operand
// instructions (AVX2) the six shifts run side by side: the chain from one
// round to the next stays three steps deep. With SSE2's two-operand
// instructions every independent shift also costs a register copy, so there
// each side is one nested chain, x ^ (x ^ x >> p) >> q, then the outer
// shift: two copies in place of six (about an eighth fewer instructions per
// block, measured faster there).

// rotr 6 ^ rotr 11 ^ rotr 25: right shifts 6 + {0, 5, 5 + 14}, left shifts
// 7 + {0, 14, 14 + 5}.
template <class Ops>
KELVRA_LANES_INLINE typename Ops::V big_sigma1(typename Ops::V x) noexcept {
    if constexpr (Ops::kNestedShifts) {
        const auto right = Ops::template shr<6>(Ops::xor_(x, Ops::template shr<5>(Ops::xor_(x, Ops::template shr<14>(x)))));
        const auto left = Ops::template shl<7>(Ops::xor_(x, Ops::template shl<14>(Ops::xor_(x, Ops::template shl<5>(x)))));
        return Ops::xor_(right, left);
    } else {
        const auto right = Ops::xor_(Ops::xor_(Ops::template shr<6>(x), Ops::template shr<11>(x)), Ops::template shr<25>(x));
        const auto left = Ops::xor_(Ops::xor_(Ops::template shl<26>(x), Ops::template shl<21>(x)), Ops::template shl<7>(x));
        return Ops::xor_(right, left);
    }
}

// rotr 2 ^ rotr 13 ^ rotr 22: right shifts 2 + {0, 11, 11 + 9}, left shifts
// 10 + {0, 9, 9 + 11}.
template <class Ops>
KELVRA_LANES_INLINE typename Ops::V big_sigma0(typename Ops::V x) noexcept {
    if constexpr (Ops::kNestedShifts) {
        const auto right = Ops::template shr<2>(Ops::xor_(x, Ops::template shr<11>(Ops::xor_(x, Ops::template shr<9>(x)))));
        const auto left = Ops::template shl<10>(Ops::xor_(x, Ops::template shl<9>(Ops::xor_(x, Ops::template shl<11>(x)))));
        return Ops::xor_(right, left);
    } else {
        const auto right = Ops::xor_(Ops::xor_(Ops::template shr<2>(x), Ops::template shr<13>(x)), Ops::template shr<22>(x));
        const auto left = Ops::xor_(Ops::xor_(Ops::template shl<30>(x), Ops::template shl<19>(x)), Ops::template shl<10>(x));
        return Ops::xor_(right, left);
    }
}

// rotr 7 ^ rotr 18 ^ shr 3: right shifts 3 + {0, 4, 4 + 11}, left shifts
// 14 + {0, 11}.
template <class Ops>
KELVRA_LANES_INLINE typename Ops::V small_sigma0(typename Ops::V x) noexcept {
    if constexpr (Ops::kNestedShifts) {
        const auto right = Ops::template shr<3>(Ops::xor_(x, Ops::template shr<4>(Ops::xor_(x, Ops::template shr<11>(x)))));
        const auto left = Ops::template shl<14>(Ops::xor_(x, Ops::template shl<11>(x)));
        return Ops::xor_(right, left);
    } else {
        return Ops::xor_(Ops::xor_(rotr<Ops, 7>(x), rotr<Ops, 18>(x)), Ops::template shr<3>(x));
    }
}

// rotr 17 ^ rotr 19 ^ shr 10: right shifts 10 + {0, 7, 7 + 2}, left shifts
// 13 + {0, 2}.
template <class Ops>
KELVRA_LANES_INLINE typename Ops::V small_sigma1(typename Ops::V x) noexcept {
    if constexpr (Ops::kNestedShifts) {
        const auto right = Ops::template shr<10>(Ops::xor_(x, Ops::template shr<7>(Ops::xor_(x, Ops::template shr<2>(x)))));
        const auto left = Ops::template shl<13>(Ops::xor_(x, Ops::template shl<2>(x)));
        return Ops::xor_(right, left);
    } else {
        return Ops::xor_(Ops::xor_(rotr<Ops, 17>(x), rotr<Ops, 19>(x)), Ops::template shr<10>(x));
    }
}

// Round T. The working variables are never moved: variable i (a = 0 .. h = 7)
// of round T lives in v[(i - T) & 7], so only d and h are written. Maj(a, b, c)
// is b ^ ((a ^ b) & (b ^ c)), where b ^ c is the a ^ b of the round before,
// carried in `b_xor_c`.
template <class Ops, int T>
KELVRA_LANES_INLINE void round(typename Ops::V (&v)[8], typename Ops::V (&w)[16], typename Ops::V &b_xor_c) noexcept {
    using V = typename Ops::V;
    V &a = v[(0 - T) & 7], &b = v[(1 - T) & 7], &d = v[(3 - T) & 7];
    V &e = v[(4 - T) & 7], &f = v[(5 - T) & 7], &g = v[(6 - T) & 7], &h = v[(7 - T) & 7];
    if constexpr (T >= 16) {
        w[T & 15] = Ops::add(Ops::add(w[T & 15], small_sigma0<Ops>(w[(T + 1) & 15])),
                             Ops::add(w[(T + 9) & 15], small_sigma1<Ops>(w[(T + 14) & 15])));
    }
    const V ready = Ops::add(Ops::add(h, Ops::set1(kWords.k[T])), w[T & 15]);
    const V choose = Ops::xor_(Ops::and_(Ops::xor_(f, g), e), g);
    const V t1 = Ops::add(Ops::add(ready, big_sigma1<Ops>(e)), choose);
    const V a_xor_b = Ops::xor_(a, b);
    const V majority = Ops::xor_(b, Ops::and_(a_xor_b, b_xor_c));
    b_xor_c = a_xor_b;
    d = Ops::add(d, t1);
    h = Ops::add(t1, Ops::add(big_sigma0<Ops>(a), majority));
}

template <class Ops, int... T>
KELVRA_LANES_INLINE void all_rounds(typename Ops::V (&v)[8], typename Ops::V (&w)[16],
                                    std::integer_sequence<int, T...>) noexcept {
    typename Ops::V b_xor_c = Ops::xor_(v[1], v[2]);
    (round<Ops, T>(v, w, b_xor_c), ...);
}

// One group of kLanes messages. Lane k runs for its own block count; the
// group runs for the longest, and a lane past its last block keeps its state
// under the mask (its block pointer then repeats a valid block of its own).
template <class Ops>
void hash_group(const uint8_t *const *msgs, const uint64_t *lens, uint8_t *out) noexcept {
    using V = typename Ops::V;
    constexpr int L = Ops::kLanes;
    PaddedTail tails[L];
    uint64_t most = 0;
    for (int k = 0; k < L; ++k) {
        sha256_prepare_tail(msgs[k], lens[k], tails[k]);
        if (tails[k].block_count > most) most = tails[k].block_count;
    }

    V state[8];
    for (int i = 0; i < 8; ++i) state[i] = Ops::set1(kWords.initial[i]);

    for (uint64_t j = 0; j < most; ++j) {
        const uint8_t *block[L];
        alignas(32) int32_t active[L];
        bool all_active = true;
        for (int k = 0; k < L; ++k) {
            const PaddedTail &t = tails[k];
            active[k] = -1;
            if (j < t.whole_blocks) {
                block[k] = msgs[k] + kSha256BlockBytes * j;
            } else if (j < t.block_count) {
                block[k] = t.bytes + kSha256BlockBytes * (j - t.whole_blocks);
            } else {
                block[k] = t.bytes;
                active[k] = 0;
                all_active = false;
            }
        }
        V w[16];
        Ops::load_block_words(block, w);
        V v[8];
        for (int i = 0; i < 8; ++i) v[i] = state[i];
        all_rounds<Ops>(v, w, std::make_integer_sequence<int, 64>{});
        if (all_active) {
            for (int i = 0; i < 8; ++i) state[i] = Ops::add(state[i], v[i]);
        } else {
            const V mask = Ops::mask_of(active);
            for (int i = 0; i < 8; ++i) state[i] = Ops::blend(mask, Ops::add(state[i], v[i]), state[i]);
        }
    }

    for (int i = 0; i < 8; ++i) {
        alignas(32) uint32_t word[L];
        Ops::store(word, state[i]);
        for (int k = 0; k < L; ++k) {
            const uint32_t be = __builtin_bswap32(word[k]);
            std::memcpy(out + kSha256DigestBytes * static_cast<size_t>(k) + 4 * static_cast<size_t>(i), &be, 4);
        }
    }
}

template <class Ops>
uint64_t hash_groups(const uint8_t *const *msgs, const uint64_t *lens, uint64_t count, uint8_t *out) noexcept {
    constexpr uint64_t L = Ops::kLanes;
    uint64_t done = 0;
    for (; count - done >= L; done += L) hash_group<Ops>(msgs + done, lens + done, out + kSha256DigestBytes * done);
    return done;
}

#undef KELVRA_LANES_INLINE

} // namespace kelvra::hash::lanes
