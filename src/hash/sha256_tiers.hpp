// The wide SHA-256 kernels: the SHA-extension compression and the
// multi-message lanes. Each lives in a file of its own, built with its
// instruction set's flags, and runs only where the tier rule has found that
// instruction set; everything else in the library reaches them only through
// these plain-pointer declarations (no inline code is shared with those
// files, so nothing compiled for a wider processor can leak into baseline
// callers).
#pragma once

#include <cstddef>
#include <cstdint>

#include "hash/sha256_core.hpp"

namespace kelvra::hash {

// Adds `block_count` consecutive 64-byte blocks into `state` (eight words)
// with the SHA extensions. Same contract as sha256_compress.
void sha256_compress_shani(uint32_t *state, const uint8_t *blocks, size_t block_count) noexcept;

// Hashes messages 0 .. count-1 in whole groups of the kernel's width (4 for
// SSE2, 8 for AVX2), from the first message on, writing each digest to
// out + 32 * index. Returns how many messages it covered (a multiple of the
// width); the caller hashes the rest one by one.
using GroupKernel = uint64_t (*)(const uint8_t *const *msgs, const uint64_t *lens, uint64_t count,
                                 uint8_t *out) noexcept;
uint64_t sha256_groups_sse2(const uint8_t *const *msgs, const uint64_t *lens, uint64_t count, uint8_t *out) noexcept;
uint64_t sha256_groups_avx2(const uint8_t *const *msgs, const uint64_t *lens, uint64_t count, uint8_t *out) noexcept;

// One message's padding, prepared once: the blocks past the last whole data
// block (one, or two when the tail leaves no room for the bit count). Block j
// of the padded message is the data's own block j while j < whole_blocks
// (read in place), then tail block j - whole_blocks; there are
// (length + 72) / 64 blocks in all.
struct PaddedTail {
    uint8_t bytes[2 * kSha256BlockBytes];
    uint64_t whole_blocks;
    uint64_t block_count;
};

// Fills `tail` for the message; `data` may be null only when `length` is 0.
void sha256_prepare_tail(const uint8_t *data, uint64_t length, PaddedTail &tail) noexcept;

// The scalar single-message hash: every block through sha256_compress.
Sha256State sha256_message_scalar(const uint8_t *data, uint64_t length) noexcept;

// The single-message hash with the SHA extensions. Call only where the
// processor has them.
Sha256State sha256_message_shani(const uint8_t *data, uint64_t length) noexcept;

} // namespace kelvra::hash
