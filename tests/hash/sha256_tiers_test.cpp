// The batch and SHA-extension forms against the text digest and OpenSSL, on
// every tier the environment can ask for (including tiers the processor may
// lack and text that is not a number: those are lowered to what it supports).
#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "kelvra.h"
#include "support/scoped_env.hpp"

namespace {

constexpr const char *kBatchVar = "KELVRA_SHA256_FORCE_TIER";
constexpr const char *kShaniVar = "KELVRA_SHANI_FORCE_TIER";

// null: the variable unset (the processor's own choice).
const char *const kForcedTiers[] = {nullptr, "0", "1", "2", "7", "99999999999", "-3", "garbage", ""};

using kelvra_test::ScopedEnv;

std::string hex(const uint8_t *digest) {
    char text[65];
    for (int i = 0; i < 32; ++i) snprintf(text + 2 * i, 3, "%02x", digest[i]);
    return text;
}

std::string openssl_hex(const std::vector<uint8_t> &m) {
    uint8_t digest[SHA256_DIGEST_LENGTH];
    SHA256(m.data(), m.size(), digest);
    return hex(digest);
}

std::string kelvra_hex(const std::vector<uint8_t> &m) {
    char text[65];
    EXPECT_EQ(kelvra_sha256_hex(m.empty() ? nullptr : m.data(), m.size(), text), KELVRA_OK);
    return text;
}

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
        ASSERT_EQ(hex(out.data() + 32 * i), expected) << "tier " << (tier ? tier : "unset") << ", message " << i
                                                     << " of " << messages.size() << ", " << messages[i].size()
                                                     << " bytes";
        ASSERT_EQ(kelvra_hex(messages[i]), expected);
    }
    EXPECT_EQ(out.back(), 0xee) << "wrote past count digests";
}

void expect_shani_matches(const std::vector<uint8_t> &m, const char *tier) {
    uint8_t digest[33];
    digest[32] = 0xee;
    ASSERT_EQ(kelvra_sha256_shani(m.empty() ? nullptr : m.data(), m.size(), digest), KELVRA_OK);
    ASSERT_EQ(hex(digest), openssl_hex(m)) << "tier " << (tier ? tier : "unset") << ", " << m.size() << " bytes";
    EXPECT_EQ(digest[32], 0xee);
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
        for (const auto &m : messages) expect_shani_matches(m, tier);
    }
}

// Counts around every group boundary of both widths, and a large batch; each
// batch mixes empty, short and multi-KiB messages, so lanes of one group run
// for very different block counts.
TEST(Sha256Tiers, EveryGroupingOfMixedLengths) {
    std::mt19937_64 rng(40);
    std::vector<size_t> counts;
    for (size_t c = 0; c <= 40; ++c) counts.push_back(c);
    counts.push_back(1000);
    for (const char *tier : {"0", "1", "2", "7", "garbage"}) {
        ScopedEnv env(kBatchVar, tier);
        for (size_t count : counts) {
            std::vector<std::vector<uint8_t>> messages;
            for (size_t i = 0; i < count; ++i) {
                const size_t kind = rng() % 4;
                const size_t n = kind == 0 ? 0 : kind == 1 ? rng() % 130 : kind == 2 ? 1024 + rng() % 8192 : rng() % 600;
                messages.push_back(random_bytes(rng, n));
            }
            expect_batch_matches(messages, tier);
        }
    }
}

TEST(Sha256Tiers, LongRandomMessagesInOneGroup) {
    std::mt19937_64 rng(7);
    std::vector<std::vector<uint8_t>> messages;
    for (int i = 0; i < 8; ++i) messages.push_back(random_bytes(rng, rng() % (1u << 20)));
    messages[3].clear();
    for (const char *tier : {"0", "1", "2"}) {
        ScopedEnv batch(kBatchVar, tier);
        ScopedEnv shani(kShaniVar, tier); // also steers kelvra_sha256_hex from 4 KiB on
        expect_batch_matches(messages, tier);
    }
}

TEST(Sha256Tiers, BatchNullPointerRulesWriteNothing) {
    const uint8_t abc[] = {'a', 'b', 'c'};
    const uint8_t *with_null[] = {abc, nullptr, abc};
    const uint64_t lengths[] = {3, 1, 3};
    const uint8_t *pointers[] = {abc, abc, abc};
    struct Case {
        const uint8_t *const *msgs;
        const uint64_t *lens;
        bool out;
        uint64_t count;
        kelvra_status expected;
    };
    const Case cases[] = {
        {nullptr, lengths, true, 3, KELVRA_ERR_ARG},   {pointers, nullptr, true, 3, KELVRA_ERR_ARG},
        {pointers, lengths, false, 3, KELVRA_ERR_ARG}, {with_null, lengths, true, 3, KELVRA_ERR_ARG},
        {nullptr, nullptr, false, 0, KELVRA_OK},
    };
    for (const char *tier : {"0", "1", "2"}) {
        ScopedEnv env(kBatchVar, tier);
        for (const Case &c : cases) {
            std::vector<uint8_t> out(96, 0xee);
            EXPECT_EQ(kelvra_sha256_batch(c.msgs, c.lens, c.count, c.out ? out.data() : nullptr), c.expected);
            EXPECT_EQ(out, std::vector<uint8_t>(96, 0xee)) << "status " << c.expected << " wrote digests";
        }
    }
    // A null pointer with length 0 is an empty message.
    const uint64_t empty_second[] = {3, 0, 3};
    uint8_t out[96];
    ASSERT_EQ(kelvra_sha256_batch(with_null, empty_second, 3, out), KELVRA_OK);
    EXPECT_EQ(hex(out + 32), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(Sha256Tiers, ShaniNullPointerRules) {
    uint8_t out[32];
    std::memset(out, 0xee, sizeof out);
    const uint8_t abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(kelvra_sha256_shani(abc, 3, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_sha256_shani(nullptr, 1, out), KELVRA_ERR_ARG);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 32), std::vector<uint8_t>(32, 0xee));
    ASSERT_EQ(kelvra_sha256_shani(nullptr, 0, out), KELVRA_OK);
    EXPECT_EQ(hex(out), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    ASSERT_EQ(kelvra_sha256_shani(abc, 3, out), KELVRA_OK);
    EXPECT_EQ(hex(out), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

} // namespace
