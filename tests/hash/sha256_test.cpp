// The text digest: published examples, pointer rules, and OpenSSL's digest at
// every length and alignment of the tail.
#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "kelvra.h"

namespace {

std::string openssl_hex(const uint8_t *data, size_t length) {
    uint8_t digest[SHA256_DIGEST_LENGTH];
    SHA256(data, length, digest);
    char text[65];
    for (int i = 0; i < 32; ++i) snprintf(text + 2 * i, 3, "%02x", digest[i]);
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
TEST(Sha256Hex, MatchesOpenSslAtEveryLengthAndAlignment) {
    for (size_t length = 0; length <= 1100; ++length) {
        const size_t offset = length % 8;
        const std::vector<uint8_t> bytes = random_bytes(offset + length, static_cast<uint32_t>(length));
        const uint8_t *data = bytes.data() + offset;
        ASSERT_EQ(hex_of(data, length), openssl_hex(data, length)) << "length " << length;
    }
    for (size_t length : {size_t{65536}, size_t{65536 + 55}, size_t{1 << 20} + 119, size_t{3 << 20} + 3}) {
        const std::vector<uint8_t> bytes = random_bytes(length + 1, 7);
        EXPECT_EQ(hex_of(bytes.data() + 1, length), openssl_hex(bytes.data() + 1, length)) << length;
    }
}
