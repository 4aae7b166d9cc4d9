// Scalar SHA-256 compression, padding and digest output.
//
// The compression is written for the x86-64 baseline (no BMI2 rotates, no
// vector registers) and kept straight-line:
// - all 64 rounds are unrolled at compile time, so round constants become
//   immediates and every schedule index is fixed;
// - the working variables a..h are never shuffled: each round is called with
//   its arguments rotated one place, so "moving" a variable is only a new name;
// - the message schedule is computed on the fly in a 16-word ring, each word
//   replaced just before its round needs it;
// - the round's two Sigmas lie on the chain from one round to the next, so
//   their three rotates stay independent of each other (three steps deep
//   instead of five when nested, at the price of two more register copies);
//   the schedule's sigmas are off that chain and use the nested form
//   rotr(rotr(x, m) ^ x, n), which needs one copy fewer (measured: nesting
//   the Sigmas as well costs about 4%);
// - Ch is ((f ^ g) & e) ^ g, and Maj(a, b, c) is b ^ ((a ^ b) & (b ^ c))
//   where b ^ c is the a ^ b of the round before, carried over;
// - the parts of a round that do not depend on the previous round (h, the
//   constant, the schedule word) are summed first, off the critical path.
#include "hash/sha256_core.hpp"

#include "frame/tier.hpp"
#include "hash/sha256_tiers.hpp"

#include <bit>
#include <cstddef>
#include <cstring>
#include <utility>

namespace kelvra::hash {
namespace {

#define KELVRA_SHA256_INLINE [[gnu::always_inline]] inline

KELVRA_SHA256_INLINE uint32_t load_be32(const uint8_t *p) noexcept {
    uint32_t word;
    std::memcpy(&word, p, sizeof word);
    return __builtin_bswap32(word);
}

KELVRA_SHA256_INLINE void store_be32(uint8_t *p, uint32_t word) noexcept {
    word = __builtin_bswap32(word);
    std::memcpy(p, &word, sizeof word);
}

KELVRA_SHA256_INLINE uint32_t big_sigma1(uint32_t e) noexcept {
    return std::rotr(e, 6) ^ std::rotr(e, 11) ^ std::rotr(e, 25);
}

KELVRA_SHA256_INLINE uint32_t big_sigma0(uint32_t a) noexcept {
    return std::rotr(a, 2) ^ std::rotr(a, 13) ^ std::rotr(a, 22);
}

// rotr(x, 7) ^ rotr(x, 18) ^ (x >> 3)
KELVRA_SHA256_INLINE uint32_t small_sigma0(uint32_t x) noexcept {
    return std::rotr(std::rotr(x, 11) ^ x, 7) ^ (x >> 3);
}

// rotr(x, 17) ^ rotr(x, 19) ^ (x >> 10)
KELVRA_SHA256_INLINE uint32_t small_sigma1(uint32_t x) noexcept {
    return std::rotr(std::rotr(x, 2) ^ x, 17) ^ (x >> 10);
}

KELVRA_SHA256_INLINE uint32_t choose(uint32_t e, uint32_t f, uint32_t g) noexcept { return ((f ^ g) & e) ^ g; }

// Schedule word I of the block: the first sixteen are the block's own words,
// each later one replaces the ring slot of the word sixteen rounds back.
template <int I>
KELVRA_SHA256_INLINE uint32_t schedule_word(uint32_t (&ring)[16], const uint8_t *block) noexcept {
    if constexpr (I < 16) {
        ring[I] = load_be32(block + 4 * I);
        return ring[I];
    } else {
        ring[I & 15] += small_sigma1(ring[(I - 2) & 15]) + ring[(I - 7) & 15] + small_sigma0(ring[(I - 15) & 15]);
        return ring[I & 15];
    }
}

// One round. Only d and h change: d becomes the next round's e and h its a.
// c is not passed: Maj needs only b ^ c, which `b_xor_c` carries in, and this
// round's a ^ b goes out through it as the next round's b ^ c.
template <int I>
KELVRA_SHA256_INLINE void round(uint32_t a, uint32_t b, uint32_t &d, uint32_t e, uint32_t f, uint32_t g, uint32_t &h,
                                uint32_t &b_xor_c, uint32_t (&ring)[16], const uint8_t *block) noexcept {
    const uint32_t ready = h + kSha256RoundConstants[I] + schedule_word<I>(ring, block);
    const uint32_t t1 = ready + big_sigma1(e) + choose(e, f, g);
    const uint32_t a_xor_b = a ^ b;
    d += t1;
    h = t1 + big_sigma0(a) + (b ^ (a_xor_b & b_xor_c));
    b_xor_c = a_xor_b;
}

// Eight rounds bring the names back to where they started.
template <int I>
KELVRA_SHA256_INLINE void eight_rounds(uint32_t (&v)[8], uint32_t &b_xor_c, uint32_t (&ring)[16],
                                       const uint8_t *block) noexcept {
    uint32_t &a = v[0], &b = v[1], &c = v[2], &d = v[3], &e = v[4], &f = v[5], &g = v[6], &h = v[7];
    round<I + 0>(a, b, d, e, f, g, h, b_xor_c, ring, block);
    round<I + 1>(h, a, c, d, e, f, g, b_xor_c, ring, block);
    round<I + 2>(g, h, b, c, d, e, f, b_xor_c, ring, block);
    round<I + 3>(f, g, a, b, c, d, e, b_xor_c, ring, block);
    round<I + 4>(e, f, h, a, b, c, d, b_xor_c, ring, block);
    round<I + 5>(d, e, g, h, a, b, c, b_xor_c, ring, block);
    round<I + 6>(c, d, f, g, h, a, b, b_xor_c, ring, block);
    round<I + 7>(b, c, e, f, g, h, a, b_xor_c, ring, block);
}

template <size_t... Group>
KELVRA_SHA256_INLINE void sixty_four_rounds(uint32_t (&v)[8], const uint8_t *block,
                                            std::index_sequence<Group...>) noexcept {
    uint32_t ring[16];
    uint32_t b_xor_c = v[1] ^ v[2];
    (eight_rounds<8 * static_cast<int>(Group)>(v, b_xor_c, ring, block), ...);
}

// One block into the state. Every block, whole or padded, goes through this
// one out-of-line call: against a single loop with the rounds inlined over all
// blocks it measured a few percent slower on long messages, but the loop lost
// about one block's time on every message of two to six blocks. The state is
// read and added back word by word, so that no vector load of it waits on
// scalar stores (or the reverse) between blocks.
[[gnu::noinline]] void compress_block(Sha256State &state, const uint8_t *block) noexcept {
    uint32_t v[8] = {state[0], state[1], state[2], state[3], state[4], state[5], state[6], state[7]};
    sixty_four_rounds(v, block, std::make_index_sequence<8>{});
    state[0] += v[0];
    state[1] += v[1];
    state[2] += v[2];
    state[3] += v[3];
    state[4] += v[4];
    state[5] += v[5];
    state[6] += v[6];
    state[7] += v[7];
}

// The eight lower-case hex digits of `word`, most significant first, as the
// bytes of a 64-bit value in memory order, computed in all eight bytes at once:
// each nibble moves into a byte of its own, then '0' is added to every byte and
// 'a' - '0' - 10 more to the bytes holding 10 or above.
KELVRA_SHA256_INLINE uint64_t hex_digits_of(uint32_t word) noexcept {
    constexpr uint64_t kEachByte = 0x0101010101010101u;
    static_assert(std::endian::native == std::endian::little, "digits are assembled in little-endian order");
    uint64_t spread = __builtin_bswap32(word);              // digest bytes in memory order
    spread = (spread | spread << 16) & 0x0000ffff0000ffffu; // one byte per 16-bit lane
    spread = (spread | spread << 8) & 0x00ff00ff00ff00ffu;
    const uint64_t nibbles = (spread >> 4 & 0x000f000f000f000fu) |         // high nibble first in memory,
                             (spread & 0x000f000f000f000fu) << 8;          // low nibble after it
    const uint64_t letters = ((nibbles + 6 * kEachByte) >> 4) & kEachByte; // 1 where the nibble is 10..15
    return nibbles + '0' * kEachByte + letters * ('a' - '0' - 10);
}

// Byte 56 of the final block holds the bit count when the tail leaves room
// for it and the 0x80 marker; otherwise a second block carries it at 120.
constexpr size_t kOneBlockTailLimit = kSha256BlockBytes - 8;

} // namespace

void sha256_compress(Sha256State &state, const uint8_t *blocks, size_t block_count) noexcept {
    for (; block_count != 0; --block_count, blocks += kSha256BlockBytes) compress_block(state, blocks);
}

void sha256_prepare_tail(const uint8_t *data, uint64_t length, PaddedTail &tail) noexcept {
    tail.whole_blocks = length / kSha256BlockBytes;
    const size_t tail_length = static_cast<size_t>(length % kSha256BlockBytes);
    const size_t tail_blocks = tail_length < kOneBlockTailLimit ? 1 : 2;
    std::memset(tail.bytes, 0, tail_blocks * kSha256BlockBytes); // only the blocks the tail uses
    if (tail_length != 0) std::memcpy(tail.bytes, data + tail.whole_blocks * kSha256BlockBytes, tail_length);
    tail.bytes[tail_length] = 0x80;
    const uint64_t bit_count = length * 8; // modulo 2^64, as the padding defines it
    const size_t count_at = tail_blocks * kSha256BlockBytes - 8;
    store_be32(tail.bytes + count_at, static_cast<uint32_t>(bit_count >> 32));
    store_be32(tail.bytes + count_at + 4, static_cast<uint32_t>(bit_count));
    tail.block_count = tail.whole_blocks + tail_blocks;
}

namespace {

using Compress = void (*)(uint32_t *state, const uint8_t *blocks, size_t block_count) noexcept;

void compress_scalar(uint32_t *state, const uint8_t *blocks, size_t block_count) noexcept {
    Sha256State s = {state[0], state[1], state[2], state[3], state[4], state[5], state[6], state[7]};
    sha256_compress(s, blocks, block_count);
    std::memcpy(state, s.data(), sizeof s);
}

// Whole blocks in place, then the one or two padded tail blocks. A single
// whole block is copied in front of the tail instead, so that a short
// message takes one call of the kernel.
KELVRA_SHA256_INLINE Sha256State message_with(Compress compress, const uint8_t *data, uint64_t length) noexcept {
    Sha256State state = kSha256Initial;
    struct {
        uint8_t head[kSha256BlockBytes];
        PaddedTail tail;
    } joined;
    sha256_prepare_tail(data, length, joined.tail);
    const size_t tail_blocks = static_cast<size_t>(joined.tail.block_count - joined.tail.whole_blocks);
    static_assert(offsetof(decltype(joined), tail) == kSha256BlockBytes, "the head block precedes the tail");
    if (joined.tail.whole_blocks == 1) {
        std::memcpy(joined.head, data, kSha256BlockBytes);
        compress(state.data(), joined.head, 1 + tail_blocks);
        return state;
    }
    if (joined.tail.whole_blocks != 0) compress(state.data(), data, static_cast<size_t>(joined.tail.whole_blocks));
    compress(state.data(), joined.tail.bytes, tail_blocks);
    return state;
}

} // namespace

Sha256State sha256_message_scalar(const uint8_t *data, uint64_t length) noexcept {
    Sha256State state = kSha256Initial;
    PaddedTail tail;
    sha256_prepare_tail(data, length, tail);
    if (tail.whole_blocks != 0) sha256_compress(state, data, static_cast<size_t>(tail.whole_blocks));
    sha256_compress(state, tail.bytes, static_cast<size_t>(tail.block_count - tail.whole_blocks));
    return state;
}

Sha256State sha256_message_shani(const uint8_t *data, uint64_t length) noexcept {
    return message_with(sha256_compress_shani, data, length);
}

Sha256State sha256_message(const uint8_t *data, uint64_t length) noexcept {
    static constexpr Compress kByTier[] = {compress_scalar, sha256_compress_shani};
    const Compress compress = tier::pick(tier::sha256_extensions, kByTier);
    if (compress == compress_scalar) return sha256_message_scalar(data, length);
    return message_with(compress, data, length);
}

void sha256_write_digest(const Sha256State &state, uint8_t *out) noexcept {
    for (size_t i = 0; i < state.size(); ++i) store_be32(out + 4 * i, state[i]);
}

void sha256_write_hex(const Sha256State &state, char *out) noexcept {
    for (size_t i = 0; i < state.size(); ++i) {
        const uint64_t text = hex_digits_of(state[i]);
        std::memcpy(out + 8 * i, &text, sizeof text);
    }
    out[kSha256HexChars] = '\0';
}

} // namespace kelvra::hash

#undef KELVRA_SHA256_INLINE
