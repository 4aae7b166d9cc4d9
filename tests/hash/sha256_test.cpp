// The digest in its three forms (text, batch, SHA-extension) against the
// published examples of FIPS 180-2 on every tier the environment can ask for
// (including tiers the processor may lack and text that is not a number:
// those are lowered to what it supports), and the null-pointer rules. Random
// messages against OpenSSL are in sha256_peer_test.cpp.
#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "hash/sha256_forms.hpp"
#include "kelvra.h"
#include "support/scoped_env.hpp"

namespace {

using namespace sha256_test;
using kelvra_test::ScopedEnv;

// Lanes of one group that run for very different block counts (1 to 15626),
// the empty message passed as a null pointer; random groupings of up to 40
// messages are swept by fuzz/sha256_tiers_fuzz.cpp. Both tiers are forced
// together, the SHA-extension one also steering kelvra_sha256_hex from 4 KiB on.
TEST(Sha256Tiers, PublishedDigestsInOneGroupOnEveryTier) {
    const struct {
        std::string message;
        std::string digest;
    } published[] = {
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrst"
         "nopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
    };
    const size_t count = std::size(published);
    std::vector<const uint8_t *> pointers;
    std::vector<uint64_t> lengths;
    for (const auto &p : published) {
        pointers.push_back(p.message.empty() ? nullptr : reinterpret_cast<const uint8_t *>(p.message.data()));
        lengths.push_back(p.message.size());
    }
    for (const char *tier : kForcedTiers) {
        ScopedEnv batch(kBatchVar, tier);
        ScopedEnv shani(kShaniVar, tier);
        std::vector<uint8_t> out(32 * count + 1, 0xee);
        ASSERT_EQ(kelvra_sha256_batch(pointers.data(), lengths.data(), count, out.data()), KELVRA_OK);
        for (size_t i = 0; i < count; ++i) {
            SCOPED_TRACE(std::string("tier ") + name_of(tier) + ", " + std::to_string(lengths[i]) + " bytes");
            EXPECT_EQ(hex(out.data() + 32 * i), published[i].digest) << "batch";
            uint8_t digest[33];
            digest[32] = 0xee;
            ASSERT_EQ(kelvra_sha256_shani(pointers[i], lengths[i], digest), KELVRA_OK);
            EXPECT_EQ(hex(digest), published[i].digest) << "SHA-extension";
            EXPECT_EQ(digest[32], 0xee);
            EXPECT_EQ(hex_of(pointers[i], lengths[i]), published[i].digest) << "text";
        }
        EXPECT_EQ(out.back(), 0xee) << "wrote past count digests";
    }
}

// Missing pointers are refused before anything is written (a null message of
// length 0, the empty message, is swept with the tiers).
TEST(Sha256, NullPointerRules) {
    const uint8_t abc[] = {'a', 'b', 'c'};
    const uint8_t *with_null[] = {abc, nullptr, abc};
    const uint64_t lengths[] = {3, 1, 3};
    std::vector<uint8_t> out(96, 0xee);
    std::string text(65, '#');
    for (const kelvra_status s : {kelvra_sha256_batch(nullptr, lengths, 3, out.data()),
                                  kelvra_sha256_batch(with_null, lengths, 3, out.data()),
                                  kelvra_sha256_shani(nullptr, 1, out.data()), kelvra_sha256_hex(nullptr, 1, text.data())})
        EXPECT_EQ(s, KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_sha256_batch(nullptr, nullptr, 0, nullptr), KELVRA_OK);
    EXPECT_TRUE(out == std::vector<uint8_t>(96, 0xee) && text == std::string(65, '#'));
}

} // namespace
