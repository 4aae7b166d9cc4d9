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
// interleaved); the paired form below also needs load (the lanes from
// aligned memory).
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
        const auto right =
            Ops::template shr<6>(Ops::xor_(x, Ops::template shr<5>(Ops::xor_(x, Ops::template shr<14>(x)))));
        const auto left =
            Ops::template shl<7>(Ops::xor_(x, Ops::template shl<14>(Ops::xor_(x, Ops::template shl<5>(x)))));
        return Ops::xor_(right, left);
    } else {
        const auto right =
            Ops::xor_(Ops::xor_(Ops::template shr<6>(x), Ops::template shr<11>(x)), Ops::template shr<25>(x));
        const auto left =
            Ops::xor_(Ops::xor_(Ops::template shl<26>(x), Ops::template shl<21>(x)), Ops::template shl<7>(x));
        return Ops::xor_(right, left);
    }
}

// rotr 2 ^ rotr 13 ^ rotr 22: right shifts 2 + {0, 11, 11 + 9}, left shifts
// 10 + {0, 9, 9 + 11}.
template <class Ops>
KELVRA_LANES_INLINE typename Ops::V big_sigma0(typename Ops::V x) noexcept {
    if constexpr (Ops::kNestedShifts) {
        const auto right =
            Ops::template shr<2>(Ops::xor_(x, Ops::template shr<11>(Ops::xor_(x, Ops::template shr<9>(x)))));
        const auto left =
            Ops::template shl<10>(Ops::xor_(x, Ops::template shl<9>(Ops::xor_(x, Ops::template shl<11>(x)))));
        return Ops::xor_(right, left);
    } else {
        const auto right =
            Ops::xor_(Ops::xor_(Ops::template shr<2>(x), Ops::template shr<13>(x)), Ops::template shr<22>(x));
        const auto left =
            Ops::xor_(Ops::xor_(Ops::template shl<30>(x), Ops::template shl<19>(x)), Ops::template shl<10>(x));
        return Ops::xor_(right, left);
    }
}

// rotr 7 ^ rotr 18 ^ shr 3: right shifts 3 + {0, 4, 4 + 11}, left shifts
// 14 + {0, 11}.
template <class Ops>
KELVRA_LANES_INLINE typename Ops::V small_sigma0(typename Ops::V x) noexcept {
    if constexpr (Ops::kNestedShifts) {
        const auto right =
            Ops::template shr<3>(Ops::xor_(x, Ops::template shr<4>(Ops::xor_(x, Ops::template shr<11>(x)))));
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
        const auto right =
            Ops::template shr<10>(Ops::xor_(x, Ops::template shr<7>(Ops::xor_(x, Ops::template shr<2>(x)))));
        const auto left = Ops::template shl<13>(Ops::xor_(x, Ops::template shl<2>(x)));
        return Ops::xor_(right, left);
    } else {
        return Ops::xor_(Ops::xor_(rotr<Ops, 17>(x), rotr<Ops, 19>(x)), Ops::template shr<10>(x));
    }
}

// Round T (only T mod 8 matters here) with K + W of the round summed
// beforehand. The working variables are never moved: variable i (a = 0 ..
// h = 7) of round T lives in v[(i - T) & 7], so only d and h are written.
// Maj(a, b, c) is b ^ ((a ^ b) & (b ^ c)), where b ^ c is the a ^ b of the
// round before, carried in `b_xor_c`.
template <class Ops, int T>
KELVRA_LANES_INLINE void round_kw(typename Ops::V (&v)[8], typename Ops::V &b_xor_c,
                                  typename Ops::V k_plus_w) noexcept {
    using V = typename Ops::V;
    V &a = v[(0 - T) & 7], &b = v[(1 - T) & 7], &d = v[(3 - T) & 7];
    V &e = v[(4 - T) & 7], &f = v[(5 - T) & 7], &g = v[(6 - T) & 7], &h = v[(7 - T) & 7];
    const V ready = Ops::add(h, k_plus_w);
    const V choose = Ops::xor_(Ops::and_(Ops::xor_(f, g), e), g);
    const V t1 = Ops::add(Ops::add(ready, big_sigma1<Ops>(e)), choose);
    const V a_xor_b = Ops::xor_(a, b);
    const V majority = Ops::xor_(b, Ops::and_(a_xor_b, b_xor_c));
    b_xor_c = a_xor_b;
    d = Ops::add(d, t1);
    h = Ops::add(t1, Ops::add(big_sigma0<Ops>(a), majority));
}

// Round T with its constant `k`: the schedule word first (from round 16 on),
// then the round on K + W.
template <class Ops, int T>
KELVRA_LANES_INLINE void round_with(typename Ops::V (&v)[8], typename Ops::V (&w)[16], typename Ops::V &b_xor_c,
                                    typename Ops::V k) noexcept {
    if constexpr (T >= 16) {
        w[T & 15] = Ops::add(Ops::add(w[T & 15], small_sigma0<Ops>(w[(T + 1) & 15])),
                             Ops::add(w[(T + 9) & 15], small_sigma1<Ops>(w[(T + 14) & 15])));
    }
    round_kw<Ops, T>(v, b_xor_c, Ops::add(k, w[T & 15]));
}

template <class Ops, int T>
KELVRA_LANES_INLINE void round(typename Ops::V (&v)[8], typename Ops::V (&w)[16], typename Ops::V &b_xor_c) noexcept {
    round_with<Ops, T>(v, w, b_xor_c, Ops::set1(kWords.k[T]));
}

template <class Ops, int... T>
KELVRA_LANES_INLINE void all_rounds(typename Ops::V (&v)[8], typename Ops::V (&w)[16],
                                    std::integer_sequence<int, T...>) noexcept {
    typename Ops::V b_xor_c = Ops::xor_(v[1], v[2]);
    (round<Ops, T>(v, w, b_xor_c), ...);
}

// The paired form (the 128-bit tier): the same groups of kLanes messages as
// hash_groups forms, taken two at a time (messages 0 .. kLanes-1 and
// kLanes .. 2 kLanes-1 of the pair), each lane's digest exactly what
// hash_group gives it. Only the order of the work differs:
//
// - The rounds of one group are a chain of dependent steps, and a vector
//   instruction may take more than a cycle to deliver its result; so the two
//   groups' rounds are interleaved instruction by instruction (PairOps), each
//   filling the other's gaps.
// - Each block's message schedule is worked out first, both groups together,
//   into K + W for every round, so the rounds carry only the eight state
//   vectors and read K + W from memory.
// - Nothing runs 64 times unrolled: the schedule is one body of 16 words run
//   three times and the rounds one body of 8 run eight times. Fully unrolled,
//   two groups' rounds are tens of kilobytes of code, more than the
//   processor's instruction caches hold, and fetching them costs more than
//   the loops do.
//
// A group alone (the odd last one, or the longer of a pair once the shorter
// has run out of blocks) goes through the same rolled loop with its schedule
// computed round by round.

// The round constants, each spread over L lanes, for Ops::load.
template <int L>
struct KLanes {
    alignas(32) uint32_t k[64][L];
};
template <int L>
constexpr KLanes<L> make_k_lanes() noexcept {
    KLanes<L> t{};
    for (size_t i = 0; i < 64; ++i)
        for (int lane = 0; lane < L; ++lane) t.k[i][lane] = kWords.k[i];
    return t;
}
template <int L>
inline constexpr KLanes<L> kKLanes = make_k_lanes<L>();

// One group's place in its messages: the padded tails and, per block, the
// block each lane reads and whether the lane is still running.
template <class Ops>
struct GroupBlocks {
    static constexpr int L = Ops::kLanes;
    const uint8_t *const *msgs;
    PaddedTail tails[L];
    uint64_t most;

    KELVRA_LANES_INLINE void prepare(const uint8_t *const *m, const uint64_t *lens) noexcept {
        msgs = m;
        most = 0;
        for (int k = 0; k < L; ++k) {
            sha256_prepare_tail(msgs[k], lens[k], tails[k]);
            if (tails[k].block_count > most) most = tails[k].block_count;
        }
    }

    // Block j of every lane: a lane past its last block
    // repeats a valid block of its own and is marked inactive. True when
    // every lane runs.
    KELVRA_LANES_INLINE bool block(uint64_t j, const uint8_t *(&to)[L], int32_t (&active)[L]) const noexcept {
        bool all_active = true;
        for (int k = 0; k < L; ++k) {
            const PaddedTail &t = tails[k];
            active[k] = -1;
            if (j < t.whole_blocks) {
                to[k] = msgs[k] + kSha256BlockBytes * j;
            } else if (j < t.block_count) {
                to[k] = t.bytes + kSha256BlockBytes * (j - t.whole_blocks);
            } else {
                to[k] = t.bytes;
                active[k] = 0;
                all_active = false;
            }
        }
        return all_active;
    }
};

// The block's result added into the state of the lanes still running.
template <class Ops>
KELVRA_LANES_INLINE void add_block_result(typename Ops::V (&state)[8], const typename Ops::V (&v)[8], bool all_active,
                                          const int32_t *active) noexcept {
    if (all_active) {
        for (int i = 0; i < 8; ++i) state[i] = Ops::add(state[i], v[i]);
    } else {
        const typename Ops::V mask = Ops::mask_of(active);
        for (int i = 0; i < 8; ++i) state[i] = Ops::blend(mask, Ops::add(state[i], v[i]), state[i]);
    }
}

template <class Ops>
KELVRA_LANES_INLINE void write_digests(const typename Ops::V (&state)[8], uint8_t *out) noexcept {
    constexpr int L = Ops::kLanes;
    for (int i = 0; i < 8; ++i) {
        alignas(32) uint32_t word[L];
        Ops::store(word, state[i]);
        for (int k = 0; k < L; ++k) {
            const uint32_t be = __builtin_bswap32(word[k]);
            std::memcpy(out + kSha256DigestBytes * static_cast<size_t>(k) + 4 * static_cast<size_t>(i), &be, 4);
        }
    }
}

// One group of kLanes messages. Lane k runs for its own block count; the
// group runs for the longest, and a lane past its last block keeps its state
// under the mask (its block pointer then repeats a valid block of its own).
template <class Ops>
void hash_group(const uint8_t *const *msgs, const uint64_t *lens, uint8_t *out) noexcept {
    using V = typename Ops::V;
    constexpr int L = Ops::kLanes;
    GroupBlocks<Ops> group;
    group.prepare(msgs, lens);
    V state[8];
    for (int i = 0; i < 8; ++i) state[i] = Ops::set1(kWords.initial[i]);
    for (uint64_t j = 0; j < group.most; ++j) {
        const uint8_t *block[L];
        alignas(32) int32_t active[L];
        const bool all_active = group.block(j, block, active);
        V w[16];
        Ops::load_block_words(block, w);
        V v[8];
        for (int i = 0; i < 8; ++i) v[i] = state[i];
        all_rounds<Ops>(v, w, std::make_integer_sequence<int, 64>{});
        add_block_result<Ops>(state, v, all_active, active);
    }
    write_digests<Ops>(state, out);
}

template <class Ops>
uint64_t hash_groups(const uint8_t *const *msgs, const uint64_t *lens, uint64_t count, uint8_t *out) noexcept {
    constexpr uint64_t L = Ops::kLanes;
    uint64_t done = 0;
    for (; count - done >= L; done += L) hash_group<Ops>(msgs + done, lens + done, out + kSha256DigestBytes * done);
    return done;
}

// Sixteen rounds, T0 + 0 .. T0 + 15 (T0 is 0, or 16 for any of the three
// scheduled sixteens: they differ only in their constants), with the round
// constants from k (the first of the sixteen).
template <class Ops, int T0, int... T>
KELVRA_LANES_INLINE void rounds16(typename Ops::V (&v)[8], typename Ops::V (&w)[16], typename Ops::V &b_xor_c,
                                  const uint32_t (*k)[Ops::kLanes], std::integer_sequence<int, T...>) noexcept {
    (round_with<Ops, T0 + T>(v, w, b_xor_c, Ops::load(k[T])), ...);
}

// One group's blocks from `from` on, alone, then its digests.
template <class Ops>
void finish_group(const GroupBlocks<Ops> &g, typename Ops::V (&state)[8], uint64_t from, uint8_t *out) noexcept {
    using V = typename Ops::V;
    constexpr int L = Ops::kLanes;
    const auto &k = kKLanes<L>.k;
    for (uint64_t j = from; j < g.most; ++j) {
        const uint8_t *block[L];
        alignas(32) int32_t active[L];
        const bool all_active = g.block(j, block, active);
        V w[16];
        Ops::load_block_words(block, w);
        V v[8];
        for (int i = 0; i < 8; ++i) v[i] = state[i];
        V b_xor_c = Ops::xor_(v[1], v[2]);
        rounds16<Ops, 0>(v, w, b_xor_c, k, std::make_integer_sequence<int, 16>{});
#pragma GCC unroll 1
        for (int c = 1; c < 4; ++c) rounds16<Ops, 16>(v, w, b_xor_c, k + 16 * c, std::make_integer_sequence<int, 16>{});
        add_block_result<Ops>(state, v, all_active, active);
    }
    write_digests<Ops>(state, out);
}

// Two groups' vectors as one: every operation is done on both, one after the
// other, so that the two independent chains interleave instruction by
// instruction.
template <class Ops>
struct PairOps {
    struct V {
        typename Ops::V a, b;
    };
    static constexpr bool kNestedShifts = Ops::kNestedShifts;
    KELVRA_LANES_INLINE static V add(V x, V y) noexcept { return {Ops::add(x.a, y.a), Ops::add(x.b, y.b)}; }
    KELVRA_LANES_INLINE static V xor_(V x, V y) noexcept { return {Ops::xor_(x.a, y.a), Ops::xor_(x.b, y.b)}; }
    KELVRA_LANES_INLINE static V and_(V x, V y) noexcept { return {Ops::and_(x.a, y.a), Ops::and_(x.b, y.b)}; }
    KELVRA_LANES_INLINE static V or_(V x, V y) noexcept { return {Ops::or_(x.a, y.a), Ops::or_(x.b, y.b)}; }
    template <int N>
    KELVRA_LANES_INLINE static V shr(V x) noexcept {
        return {Ops::template shr<N>(x.a), Ops::template shr<N>(x.b)};
    }
    template <int N>
    KELVRA_LANES_INLINE static V shl(V x) noexcept {
        return {Ops::template shl<N>(x.a), Ops::template shl<N>(x.b)};
    }
};

// Schedule words T0 + T of both groups (T0 is 16, 32 or 48; word t lives in
// w[t & 15]), each stored with its round constant added.
template <class Ops, int... T>
KELVRA_LANES_INLINE void schedule16_pair(typename PairOps<Ops>::V (&w)[16], typename Ops::V *kw_a,
                                         typename Ops::V *kw_b, const uint32_t (*k)[Ops::kLanes],
                                         std::integer_sequence<int, T...>) noexcept {
    using P = PairOps<Ops>;
    ((w[T] = P::add(P::add(w[T], small_sigma0<P>(w[(T + 1) & 15])),
                    P::add(w[(T + 9) & 15], small_sigma1<P>(w[(T + 14) & 15]))),
      kw_a[T] = Ops::add(w[T].a, Ops::load(k[T])), kw_b[T] = Ops::add(w[T].b, Ops::load(k[T]))),
     ...);
}

template <class Ops, int... T>
KELVRA_LANES_INLINE void rounds8_pair(typename PairOps<Ops>::V (&v)[8], typename PairOps<Ops>::V &b_xor_c,
                                      const typename Ops::V *kw_a, const typename Ops::V *kw_b,
                                      std::integer_sequence<int, T...>) noexcept {
    using P = PairOps<Ops>;
    (round_kw<P, T>(v, b_xor_c, typename P::V{kw_a[T], kw_b[T]}), ...);
}

// Two groups: side by side while both have blocks, then the longer one alone.
template <class Ops>
void hash_group_pair(const uint8_t *const *msgs, const uint64_t *lens, uint8_t *out) noexcept {
    using V = typename Ops::V;
    using P = PairOps<Ops>;
    constexpr int L = Ops::kLanes;
    const auto &k = kKLanes<L>.k;
    GroupBlocks<Ops> ga, gb;
    ga.prepare(msgs, lens);
    gb.prepare(msgs + L, lens + L);
    V sa[8], sb[8];
    for (int i = 0; i < 8; ++i) sa[i] = sb[i] = Ops::set1(kWords.initial[i]);

    const uint64_t both = ga.most < gb.most ? ga.most : gb.most;
    for (uint64_t j = 0; j < both; ++j) {
        const uint8_t *block_a[L], *block_b[L];
        alignas(32) int32_t active_a[L], active_b[L];
        const bool all_a = ga.block(j, block_a, active_a);
        const bool all_b = gb.block(j, block_b, active_b);

        V kw_a[64], kw_b[64];
        {
            V wa[16], wb[16];
            Ops::load_block_words(block_a, wa);
            Ops::load_block_words(block_b, wb);
            typename P::V w[16];
            for (int t = 0; t < 16; ++t) {
                w[t] = {wa[t], wb[t]};
                kw_a[t] = Ops::add(wa[t], Ops::load(k[t]));
                kw_b[t] = Ops::add(wb[t], Ops::load(k[t]));
            }
#pragma GCC unroll 1
            for (int c = 16; c < 64; c += 16)
                schedule16_pair<Ops>(w, kw_a + c, kw_b + c, k + c, std::make_integer_sequence<int, 16>{});
        }

        typename P::V v[8];
        for (int i = 0; i < 8; ++i) v[i] = {sa[i], sb[i]};
        typename P::V b_xor_c = P::xor_(v[1], v[2]);
#pragma GCC unroll 1
        for (int c = 0; c < 64; c += 8)
            rounds8_pair<Ops>(v, b_xor_c, kw_a + c, kw_b + c, std::make_integer_sequence<int, 8>{});

        V va[8], vb[8];
        for (int i = 0; i < 8; ++i) va[i] = v[i].a, vb[i] = v[i].b;
        add_block_result<Ops>(sa, va, all_a, active_a);
        add_block_result<Ops>(sb, vb, all_b, active_b);
    }
    finish_group<Ops>(ga, sa, both, out);
    finish_group<Ops>(gb, sb, both, out + kSha256DigestBytes * static_cast<size_t>(L));
}

// hash_groups' groups, two at a time (an odd last group alone).
template <class Ops>
uint64_t hash_groups_paired(const uint8_t *const *msgs, const uint64_t *lens, uint64_t count, uint8_t *out) noexcept {
    using V = typename Ops::V;
    constexpr uint64_t L = Ops::kLanes;
    uint64_t done = 0;
    for (; count - done >= 2 * L; done += 2 * L)
        hash_group_pair<Ops>(msgs + done, lens + done, out + kSha256DigestBytes * done);
    if (count - done >= L) {
        GroupBlocks<Ops> g;
        g.prepare(msgs + done, lens + done);
        V state[8];
        for (int i = 0; i < 8; ++i) state[i] = Ops::set1(kWords.initial[i]);
        finish_group<Ops>(g, state, 0, out + kSha256DigestBytes * done);
        done += L;
    }
    return done;
}

#undef KELVRA_LANES_INLINE

} // namespace kelvra::hash::lanes
