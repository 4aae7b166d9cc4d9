#include <gtest/gtest.h>

#include <cstdlib>

#include "frame/tier.hpp"
#include "kelvra.h"
#include "support/scoped_env.hpp"

namespace {

constexpr const char *kVar = "KELVRA_TEST_FORCE_TIER";

// Windows has no variables with an empty value: setting one to "" removes it.
#if defined(_WIN32)
constexpr bool kEmptyValues = false;
#else
constexpr bool kEmptyValues = true;
#endif

using kelvra_test::ScopedEnv;

uint32_t tier_with(const char *value, int32_t detected, int32_t max_tier) {
    ScopedEnv env(kVar, value);
    return kelvra_simd_tier(kVar, detected, max_tier);
}

} // namespace

// Without an override the detected tier is clipped to 0..max_tier; an
// override reads like atoi but saturates instead of wrapping at 32 bits.
TEST(Tier, OverrideAndClipping) {
    const struct { const char *value; int32_t detected, max_tier; uint32_t tier; } cases[] = {
        {nullptr, 1, 2, 1}, {nullptr, 5, 2, 2}, {nullptr, -1, 2, 0}, {nullptr, 1, -3, 0}, {"7", 0, 2, 2},
        {"-3", 2, 2, 0}, {"abc", 2, 2, 0}, {"", 2, 2, 0}, {"1x", 0, 2, 1}, {" \t+1", 0, 2, 1}, {"0", 2, 2, 0},
        {"4294967297", 0, 2, 2}, {"99999999999999999999999", 0, 2, 2}, {"-4294967295", 2, 2, 0},
        {"-99999999999", 2, 2, 0},
    };
    for (const auto &c : cases) {
        if (c.value != nullptr && *c.value == '\0' && !kEmptyValues) continue;
        EXPECT_EQ(tier_with(c.value, c.detected, c.max_tier), c.tier) << (c.value ? c.value : "unset");
    }
    EXPECT_EQ(kelvra_simd_tier(nullptr, 2, 2), 2u) << "a null name means no override";
}

// Forcing too high a tier gives what the processor supports; forcing 0 lowers it.
// Off x86-64 no x86 feature is reported and every kernel stays on tier 0.
TEST(Tier, ForcedTierNeverExceedsTheHardware) {
#if defined(__x86_64__) || defined(_M_X64)
    constexpr uint32_t kX86 = 1;
#else
    constexpr uint32_t kX86 = 0;
#endif
    EXPECT_EQ(kelvra_simd_has_sse2(), kX86);
    if (kX86 == 0) {
        EXPECT_EQ(kelvra_simd_has_avx() + kelvra_simd_has_shani(), 0u);
    }
    EXPECT_LE(kelvra_simd_has_avx2(), kelvra_simd_has_avx()) << "AVX2 is only usable where AVX is";
    for (const kelvra::tier::Rule *rule : kelvra::tier::all_rules) {
        ScopedEnv env(rule->variable, "99");
        const auto d = kelvra::tier::decide(*rule);
        EXPECT_EQ(d.requested, static_cast<uint32_t>(rule->max_tier)) << rule->kernel;
        EXPECT_EQ(d.in_force, d.detected) << rule->kernel;
        EXPECT_LE(d.in_force, kX86 * static_cast<uint32_t>(rule->max_tier)) << rule->kernel;
        for (int t = 1; t <= static_cast<int>(d.in_force); ++t)
            EXPECT_EQ((rule->needs[t] ? rule->needs[t] : kelvra::tier::has_sse2)(), 1u) << rule->kernel << " tier " << t;
        ScopedEnv lowered(rule->variable, "0");
        EXPECT_EQ(kelvra::tier::in_force(*rule), 0u) << rule->kernel;
    }
}

TEST(Tier, PickFallsBackToNarrowerImplementations) {
    using Fn = int (*)();
    const Fn only_scalar[] = {[] { return 0; }}, gap[] = {only_scalar[0], nullptr, [] { return 1; }};
    ScopedEnv env(kelvra::tier::sha256_batch.variable, "2");
    EXPECT_EQ(kelvra::tier::pick(kelvra::tier::sha256_batch, only_scalar)(), 0);
    const int expected = kelvra::tier::supported(kelvra::tier::sha256_batch) == 2 ? 1 : 0;
    EXPECT_EQ(kelvra::tier::pick(kelvra::tier::sha256_batch, gap)(), expected);
}
