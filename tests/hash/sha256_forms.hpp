// What the SHA-256 tests share: the variables that force a tier, the tiers
// asked for, and the digest in hexadecimal from each form.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "kelvra.h"

namespace sha256_test {

constexpr const char *kBatchVar = "KELVRA_SHA256_FORCE_TIER";
constexpr const char *kShaniVar = "KELVRA_SHANI_FORCE_TIER";
// null: the variable unset (the processor's own choice). On Windows an empty
// value removes the variable, so there "" asks for the same as null.
inline const char *const kForcedTiers[] = {nullptr, "0", "1", "2", "7", "99999999999", "-3", "garbage", ""};

inline const char *name_of(const char *tier) { return tier ? tier : "unset"; }

inline std::string hex(const uint8_t *digest) {
    char text[65];
    for (int i = 0; i < 32; ++i) std::snprintf(text + 2 * i, 3, "%02x", digest[i]);
    return text;
}

// kelvra_sha256_hex, checking that it writes the NUL and nothing after it.
inline std::string hex_of(const void *data, uint64_t length) {
    char out[66];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(kelvra_sha256_hex(static_cast<const uint8_t *>(data), length, out), KELVRA_OK);
    EXPECT_EQ(out[64], '\0');
    EXPECT_EQ(out[65], '#') << "nothing is written past the NUL";
    return std::string(out, 64);
}

} // namespace sha256_test
