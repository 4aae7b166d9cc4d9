// Binary hypervectors: packed bits, bit i in bit (i mod 8) of byte i / 8.
// Bind is XOR, bundle the bitwise majority of an odd number of vectors,
// permute a cyclic rotation, similarity 1 - 2 (differing bits) / (all bits).
#include "frame/status.hpp"
#include "hdc/bytes.hpp"
#include "hdc/majority.hpp"
#include "hdc/popcount.hpp"
#include "kelvra.h"

namespace kelvra::hdc {

namespace {

// Byte k of spread[v] is bit k of v: adding spread[byte] to a word of eight
// byte-wide counters counts each of the byte's bits in its own counter.
struct SpreadTable {
    uint64_t word[256];
};

constexpr SpreadTable make_spread_table() {
    SpreadTable t{};
    for (unsigned v = 0; v < 256; ++v) {
        for (unsigned k = 0; k < 8; ++k) t.word[v] |= uint64_t((v >> k) & 1u) << (8 * k);
    }
    return t;
}

constexpr SpreadTable spread = make_spread_table();

// Bundling works through the vectors in chunks of this many bytes: each
// chunk's counters stay in the first-level cache while every vector passes.
constexpr size_t kBundleChunk = 256;
// Byte-wide counters hold at most 255 before they are folded into totals.
constexpr uint32_t kByteCounterLimit = 255;

struct BundleChunk {
    uint64_t counters[kBundleChunk];   // eight byte-wide bit counters per input byte
    uint32_t totals[kBundleChunk * 8]; // per bit, used once count exceeds 255
};

void add_vectors(const uint8_t *const *vectors, uint32_t first, uint32_t last, size_t offset, size_t len,
                 uint64_t *counters) noexcept {
    for (size_t j = 0; j < len; ++j) counters[j] = 0;
    for (uint32_t v = first; v < last; ++v) {
        const uint8_t *p = vectors[v] + offset;
        for (size_t j = 0; j < len; ++j) counters[j] += spread.word[p[j]];
    }
}

void fold_into_totals(const uint64_t *counters, size_t len, uint32_t *totals) noexcept {
    for (size_t j = 0; j < len; ++j) {
        for (unsigned k = 0; k < 8; ++k) totals[8 * j + k] += uint32_t((counters[j] >> (8 * k)) & 0xffu);
    }
}

// majority_from_counters (counters below 256): majority.hpp.

void majority_from_totals(const uint32_t *totals, size_t len, uint32_t threshold, uint8_t *out) noexcept {
    for (size_t j = 0; j < len; ++j) {
        uint8_t byte = 0;
        for (unsigned k = 0; k < 8; ++k) byte |= uint8_t((totals[8 * j + k] >= threshold ? 1u : 0u) << k);
        out[j] = byte;
    }
}

void bundle_chunk(const uint8_t *const *vectors, uint32_t count, size_t offset, size_t len, uint8_t *out,
                  BundleChunk &scratch) noexcept {
    const uint32_t threshold = count / 2 + 1; // (count + 1) / 2 for odd count, without overflow
    if (count <= kByteCounterLimit) {
        add_vectors(vectors, 0, count, offset, len, scratch.counters);
        majority_from_counters(scratch.counters, len, threshold, out + offset);
        return;
    }
    for (size_t j = 0; j < len * 8; ++j) scratch.totals[j] = 0;
    for (uint32_t first = 0; first < count;) {
        const uint32_t last = count - first > kByteCounterLimit ? first + kByteCounterLimit : count;
        add_vectors(vectors, first, last, offset, len, scratch.counters);
        fold_into_totals(scratch.counters, len, scratch.totals);
        first = last;
    }
    majority_from_totals(scratch.totals, len, threshold, out + offset);
}

bool any_null(const uint8_t *const *vectors, uint32_t count) noexcept {
    for (uint32_t v = 0; v < count; ++v) {
        if (vectors[v] == nullptr) return true;
    }
    return false;
}

} // namespace

} // namespace kelvra::hdc

using namespace kelvra::hdc;

extern "C" KELVRA_API kelvra_status kelvra_hdc_bind(const uint8_t *a, const uint8_t *b, uint32_t nbytes,
                                                    uint8_t *out) noexcept {
    if (a == nullptr || b == nullptr || out == nullptr) return KELVRA_ERR_ARG;
    if (nbytes == 0) return KELVRA_ERR_DATA;
    if (blockwise_safe(out, a, nbytes) && blockwise_safe(out, b, nbytes)) {
        xor_bytes(a, b, nbytes, out);
    } else {
        for (uint32_t i = 0; i < nbytes; ++i) out[i] = a[i] ^ b[i];
    }
    return KELVRA_OK;
}

// Every byte position's majority needs all vectors, so a missing vector is
// met at the first position, before any output byte is written.
extern "C" KELVRA_API kelvra_status kelvra_hdc_bundle(const uint8_t *const *vectors, uint32_t count, uint32_t nbytes,
                                                      uint8_t *out) noexcept {
    if (vectors == nullptr || out == nullptr) return KELVRA_ERR_ARG;
    if (count == 0 || nbytes == 0 || count % 2 == 0) return KELVRA_ERR_DATA;
    if (any_null(vectors, count)) return KELVRA_ERR_ARG;
    BundleChunk scratch;
    for (size_t offset = 0; offset < nbytes; offset += kBundleChunk) {
        const size_t len = nbytes - offset < kBundleChunk ? nbytes - offset : kBundleChunk;
        bundle_chunk(vectors, count, offset, len, out, scratch);
    }
    return KELVRA_OK;
}

// Rotation by s = 8 q + r bits: output byte j takes the low 8 - r bits of
// input byte j - q (moved up by r) and the high r bits of byte j - q - 1,
// indices taken cyclically.
extern "C" KELVRA_API kelvra_status kelvra_hdc_permute(const uint8_t *in, uint32_t nbytes, int32_t shift,
                                                       uint8_t *out) noexcept {
    if (in == nullptr || out == nullptr) return KELVRA_ERR_ARG;
    if (nbytes == 0) return KELVRA_ERR_DATA;
    const int64_t bits = int64_t{nbytes} * 8;
    int64_t s = int64_t{shift} % bits;
    if (s < 0) s += bits;
    const uint32_t q = static_cast<uint32_t>(s / 8);
    const unsigned r = static_cast<unsigned>(s % 8);
    uint32_t src = (nbytes - q) % nbytes;            // j - q, cyclically
    uint32_t prev = src == 0 ? nbytes - 1 : src - 1; // j - q - 1, cyclically
    for (uint32_t j = 0; j < nbytes; ++j) {
        const unsigned low = static_cast<unsigned>(in[src]) << r;
        const unsigned high = r == 0 ? 0u : static_cast<unsigned>(in[prev]) >> (8 - r);
        out[j] = static_cast<uint8_t>(low | high);
        prev = src;
        src = src + 1 == nbytes ? 0 : src + 1;
    }
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_hdc_similarity(const uint8_t *a, const uint8_t *b, uint32_t nbytes,
                                                          double *out) noexcept {
    if (a == nullptr || b == nullptr || out == nullptr) return KELVRA_ERR_ARG;
    if (nbytes == 0) return KELVRA_ERR_DATA;
    const uint64_t differing = differing_bits(a, b, nbytes);
    *out = 1.0 - static_cast<double>(2 * differing) / static_cast<double>(uint64_t{8} * nbytes);
    return KELVRA_OK;
}
