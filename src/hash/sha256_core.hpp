// SHA-256 building blocks shared by every form of the hash: the single-message
// text digest, the multi-message lanes, the SHA-extension path and the genome
// store's checksums. All forms start from the same initial state and round
// constants, compress through (or bit for bit like) sha256_compress, and write
// the state out with the same digest writers, so they agree on every input.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kelvra::hash {

inline constexpr size_t kSha256BlockBytes = 64;
inline constexpr size_t kSha256DigestBytes = 32;
// Sixty-four hex characters; the text form adds a NUL after them.
inline constexpr size_t kSha256HexChars = 2 * kSha256DigestBytes;

using Sha256State = std::array<uint32_t, 8>;

// The standard initial hash value (first 32 bits of the fractional parts of
// the square roots of the first eight primes).
inline constexpr Sha256State kSha256Initial = {
    0x6a09e667u, 0xbb67ae85u, 0x3c6ef372u, 0xa54ff53au, 0x510e527fu, 0x9b05688cu, 0x1f83d9abu, 0x5be0cd19u,
};

// The 64 round constants (cube roots of the first 64 primes).
inline constexpr std::array<uint32_t, 64> kSha256RoundConstants = {
    0x428a2f98u, 0x71374491u, 0xb5c0fbcfu, 0xe9b5dba5u, 0x3956c25bu, 0x59f111f1u, 0x923f82a4u, 0xab1c5ed5u,
    0xd807aa98u, 0x12835b01u, 0x243185beu, 0x550c7dc3u, 0x72be5d74u, 0x80deb1feu, 0x9bdc06a7u, 0xc19bf174u,
    0xe49b69c1u, 0xefbe4786u, 0x0fc19dc6u, 0x240ca1ccu, 0x2de92c6fu, 0x4a7484aau, 0x5cb0a9dcu, 0x76f988dau,
    0x983e5152u, 0xa831c66du, 0xb00327c8u, 0xbf597fc7u, 0xc6e00bf3u, 0xd5a79147u, 0x06ca6351u, 0x14292967u,
    0x27b70a85u, 0x2e1b2138u, 0x4d2c6dfcu, 0x53380d13u, 0x650a7354u, 0x766a0abbu, 0x81c2c92eu, 0x92722c85u,
    0xa2bfe8a1u, 0xa81a664bu, 0xc24b8b70u, 0xc76c51a3u, 0xd192e819u, 0xd6990624u, 0xf40e3585u, 0x106aa070u,
    0x19a4c116u, 0x1e376c08u, 0x2748774cu, 0x34b0bcb5u, 0x391c0cb3u, 0x4ed8aa4au, 0x5b9cca4fu, 0x682e6ff3u,
    0x748f82eeu, 0x78a5636fu, 0x84c87814u, 0x8cc70208u, 0x90befffau, 0xa4506cebu, 0xbef9a3f7u, 0xc67178f2u,
};

// Adds the compression of `block_count` consecutive 64-byte blocks at
// `blocks` into `state`, in order. The blocks may sit at any address.
void sha256_compress(Sha256State &state, const uint8_t *blocks, size_t block_count) noexcept;

// The whole hash of one message: initial state, its whole blocks read in
// place, then the padded tail. `data` may be null only when `length` is 0.
// It uses the SHA extensions where the processor has them (rule
// "KELVRA_SHANI_FORCE_TIER"); the bytes are the same either way.
Sha256State sha256_message(const uint8_t *data, uint64_t length) noexcept;

// The 32-byte digest: state word 0 first, each word big-endian.
void sha256_write_digest(const Sha256State &state, uint8_t *out) noexcept;

// The digest as 64 lower-case hex characters followed by a NUL (65 bytes).
void sha256_write_hex(const Sha256State &state, char *out) noexcept;

} // namespace kelvra::hash
