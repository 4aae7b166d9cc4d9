// The digest in its three forms (text, batch, SHA-extension) against OpenSSL
// on random messages: every length and alignment of the text form, and every
// length up to 300 and long messages on every tier the environment can ask
// for. The published examples on every tier are in sha256_test.cpp.
#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "hash/sha256_forms.hpp"
#include "kelvra.h"
#include "support/scoped_env.hpp"

namespace {

using namespace sha256_test;
using kelvra_test::ScopedEnv;

const std::string kEmptyDigest = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
const std::string kAbcDigest = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

std::string openssl_hex(const uint8_t *data, size_t length) {
    uint8_t digest[SHA256_DIGEST_LENGTH];
    SHA256(data, length, digest);
    return hex(digest);
}
std::string openssl_hex(const std::vector<uint8_t> &m) { return openssl_hex(m.data(), m.size()); }

std::vector<uint8_t> random_bytes(std::mt19937_64 &rng, size_t n) {
    std::vector<uint8_t> bytes(n);
    for (auto &b : bytes) b = static_cast<uint8_t>(rng());
    return bytes;
}

// Hashes the messages in one batch call and checks each digest against OpenSSL
// and against kelvra_sha256_hex. Empty messages are passed with null pointers.
void expect_batch_matches(const std::vector<std::vector<uint8_t>> &messages, const char *tier) {
    std::vector<const uint8_t *> pointers;
    std::vector<uint64_t> lengths;
    for (const auto &m : messages) {
        pointers.push_back(m.empty() ? nullptr : m.data());
        lengths.push_back(m.size());
    }
    std::vector<uint8_t> out(32 * messages.size() + 1, 0xee);
    ASSERT_EQ(kelvra_sha256_batch(pointers.data(), lengths.data(), messages.size(), out.data()), KELVRA_OK);
    for (size_t i = 0; i < messages.size(); ++i) {
        const std::string expected = openssl_hex(messages[i]);
        ASSERT_EQ(hex(out.data() + 32 * i), expected) << "tier " << name_of(tier) << ", message " << i << " of "
                                                     << messages.size() << ", " << messages[i].size() << " bytes";
        ASSERT_EQ(hex_of(pointers[i], lengths[i]), expected);
    }
    EXPECT_EQ(out.back(), 0xee) << "wrote past count digests";
}

// Every tail length, one- and two-block padding and many whole blocks. Each
// buffer ends exactly where its allocation ends, so a read past the message
// shows under the address sanitizer, and starts at every offset modulo 8.
TEST(Sha256Hex, MatchesOpenSslAtEveryLengthAndAlignment) {
    EXPECT_EQ(hex_of("x", 0), kEmptyDigest);
    EXPECT_EQ(hex_of("abc", 3), kAbcDigest);
    std::mt19937_64 rng(1100);
    for (size_t length = 0; length <= 1100; ++length) {
        const size_t offset = length % 8;
        const std::vector<uint8_t> bytes = random_bytes(rng, offset + length);
        ASSERT_EQ(hex_of(bytes.data() + offset, length), openssl_hex(bytes.data() + offset, length)) << length;
    }
    for (size_t length : {size_t{65536}, size_t{65536 + 55}, size_t{1 << 20} + 119, size_t{3 << 20} + 3}) {
        const std::vector<uint8_t> bytes = random_bytes(rng, length + 1);
        EXPECT_EQ(hex_of(bytes.data() + 1, length), openssl_hex(bytes.data() + 1, length)) << length;
    }
}

TEST(Sha256Tiers, EveryLengthUpTo300AndLongMessagesOnEveryTier) {
    std::mt19937_64 rng(300);
    std::vector<std::vector<uint8_t>> messages;
    for (size_t n = 0; n <= 300; ++n) messages.push_back(random_bytes(rng, n));
    for (const char *tier : kForcedTiers) {
        ScopedEnv env(kBatchVar, tier);
        expect_batch_matches(messages, tier);
    }
    for (int i = 0; i < 6; ++i) messages.push_back(random_bytes(rng, 4000 + rng() % 200000));
    for (const char *tier : kForcedTiers) {
        ScopedEnv env(kShaniVar, tier);
        for (const auto &m : messages) {
            uint8_t digest[33];
            digest[32] = 0xee;
            ASSERT_EQ(kelvra_sha256_shani(m.empty() ? nullptr : m.data(), m.size(), digest), KELVRA_OK);
            ASSERT_EQ(hex(digest), openssl_hex(m)) << "tier " << name_of(tier) << ", " << m.size() << " bytes";
            EXPECT_EQ(digest[32], 0xee);
        }
    }
}

} // namespace
