#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "hash/sha256_core.hpp"
#include "kelvra.h"

namespace {

using kelvra::hash::kSha256Initial;
using kelvra::hash::kSha256RoundConstants;
using kelvra::hash::Sha256State;

uint32_t rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

// The internal core is not visible outside the library; its constants are
// header-only and the published examples below pin them down.

// FIPS 180-4 written out the plain way: full 64-word schedule, a..h shuffled every round.
void reference_compress(Sha256State &state, const uint8_t *block) {
    uint32_t w[64];
    for (int t = 0; t < 16; ++t)
        w[t] = uint32_t{block[4 * t]} << 24 | uint32_t{block[4 * t + 1]} << 16 | uint32_t{block[4 * t + 2]} << 8 |
               block[4 * t + 3];
    for (int t = 16; t < 64; ++t) {
        const uint32_t s0 = rotr(w[t - 15], 7) ^ rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
        const uint32_t s1 = rotr(w[t - 2], 17) ^ rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
        w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int t = 0; t < 64; ++t) {
        const uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) +
                            kSha256RoundConstants[t] + w[t];
        const uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + t2;
    }
    const uint32_t result[8] = {a, b, c, d, e, f, g, h};
    for (int i = 0; i < 8; ++i) state[i] += result[i];
}

std::string reference_hex(const uint8_t *data, size_t length) {
    std::vector<uint8_t> padded(data, data + length);
    padded.push_back(0x80);
    while (padded.size() % 64 != 56) padded.push_back(0);
    for (int shift = 56; shift >= 0; shift -= 8) padded.push_back(static_cast<uint8_t>(uint64_t{length} * 8 >> shift));
    Sha256State state = kSha256Initial;
    for (size_t at = 0; at < padded.size(); at += 64) reference_compress(state, padded.data() + at);
    char text[65];
    for (int i = 0; i < 8; ++i) snprintf(text + 8 * i, 9, "%08x", state[i]);
    return text;
}

std::string hex_of(const void *data, uint64_t length) {
    char out[66];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(kelvra_sha256_hex(static_cast<const uint8_t *>(data), length, out), KELVRA_OK);
    EXPECT_EQ(out[64], '\0');
    EXPECT_EQ(out[65], '#') << "nothing is written past the NUL";
    return std::string(out, 64);
}

std::vector<uint8_t> random_bytes(size_t length, uint32_t seed) {
    std::mt19937 gen(seed);
    std::vector<uint8_t> bytes(length);
    for (auto &b : bytes) b = static_cast<uint8_t>(gen());
    return bytes;
}

} // namespace

TEST(Sha256Hex, PublishedExamples) {
    const std::string e = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
    EXPECT_EQ(hex_of(nullptr, 0), e);
    EXPECT_EQ(hex_of("x", 0), e);
    EXPECT_EQ(hex_of("abc", 3), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const char *m448 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(hex_of(m448, 56), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    const char *m896 = "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmno"
                       "ijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu";
    EXPECT_EQ(hex_of(m896, 112), "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
    const std::string million(1000000, 'a');
    EXPECT_EQ(hex_of(million.data(), million.size()),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256Hex, RejectsMissingPointersWithoutWriting) {
    EXPECT_EQ(kelvra_sha256_hex(reinterpret_cast<const uint8_t *>("abc"), 3, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_sha256_hex(nullptr, 0, nullptr), KELVRA_ERR_ARG);
    char out[65];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(kelvra_sha256_hex(nullptr, 1, out), KELVRA_ERR_ARG);
    EXPECT_EQ(std::string(out, sizeof out), std::string(sizeof out, '#'));
}

// Every tail length, one- and two-block padding and many whole blocks. Each
// buffer ends exactly where its allocation ends, so a read past the message
// shows under the address sanitizer, and starts at every offset modulo 8.
TEST(Sha256Hex, MatchesPlainReferenceAtEveryLengthAndAlignment) {
    for (size_t length = 0; length <= 1100; ++length) {
        const size_t offset = length % 8;
        const std::vector<uint8_t> bytes = random_bytes(offset + length, static_cast<uint32_t>(length));
        const uint8_t *data = bytes.data() + offset;
        ASSERT_EQ(hex_of(data, length), reference_hex(data, length)) << "length " << length;
    }
    for (size_t length : {size_t{65536}, size_t{65536 + 55}, size_t{1 << 20} + 119, size_t{3 << 20} + 3}) {
        const std::vector<uint8_t> bytes = random_bytes(length + 1, 7);
        EXPECT_EQ(hex_of(bytes.data() + 1, length), reference_hex(bytes.data() + 1, length)) << length;
    }
}
