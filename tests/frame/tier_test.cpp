#include <gtest/gtest.h>

#include <cstdlib>

#include "frame/tier.hpp"
#include "kelvra.h"

namespace {

constexpr const char *kVar = "KELVRA_TEST_FORCE_TIER";

// Sets (or with null, unsets) the test variable for the scope of one check.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value) : name_(name) {
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~ScopedEnv() { unsetenv(name_); }

private:
    const char *name_;
};

uint32_t tier_with(const char *value, int32_t detected, int32_t max_tier) {
    ScopedEnv env(kVar, value);
    return kelvra_simd_tier(kVar, detected, max_tier);
}

} // namespace

TEST(Tier, WithoutOverrideClipsDetected) {
    EXPECT_EQ(tier_with(nullptr, 1, 2), 1u);
    EXPECT_EQ(tier_with(nullptr, 5, 2), 2u);
    EXPECT_EQ(tier_with(nullptr, -1, 2), 0u);
    EXPECT_EQ(tier_with(nullptr, 1, -3), 0u) << "a negative max_tier gives 0";
    EXPECT_EQ(kelvra_simd_tier(nullptr, 2, 2), 2u) << "a null name means no override";
}

TEST(Tier, OverrideReadsLikeAtoi) {
    EXPECT_EQ(tier_with("7", 0, 2), 2u);
    EXPECT_EQ(tier_with("-3", 2, 2), 0u);
    EXPECT_EQ(tier_with("abc", 2, 2), 0u);
    EXPECT_EQ(tier_with("", 2, 2), 0u);
    EXPECT_EQ(tier_with("1x", 0, 2), 1u);
    EXPECT_EQ(tier_with(" \t+1", 0, 2), 1u);
    EXPECT_EQ(tier_with("0", 2, 2), 0u);
}

TEST(Tier, OverrideSaturatesInsteadOfWrapping) {
    // 4294967297 wraps to 1 in 32 bits; it must act as a very large tier.
    EXPECT_EQ(tier_with("4294967297", 0, 2), 2u);
    EXPECT_EQ(tier_with("99999999999999999999999", 0, 2), 2u);
    EXPECT_EQ(tier_with("-4294967295", 2, 2), 0u);
    EXPECT_EQ(tier_with("-99999999999", 2, 2), 0u);
}

TEST(Tier, ProcessorQueriesAreConsistent) {
    EXPECT_EQ(kelvra_simd_has_sse2(), 1u);
    const uint32_t avx = kelvra_simd_has_avx(), avx2 = kelvra_simd_has_avx2();
    EXPECT_LE(avx, 1u);
    EXPECT_LE(avx2, avx) << "AVX2 is only usable where AVX is";
    EXPECT_LE(kelvra_simd_has_shani(), 1u);
    EXPECT_EQ(kelvra_simd_has_avx(), avx) << "detection is stable from call to call";
}

TEST(Tier, ForcedTierNeverExceedsTheHardware) {
    for (const kelvra::tier::Rule *rule : kelvra::tier::all_rules) {
        ScopedEnv env(rule->variable, "99");
        const auto d = kelvra::tier::decide(*rule);
        EXPECT_EQ(d.requested, static_cast<uint32_t>(rule->max_tier)) << rule->kernel;
        EXPECT_EQ(d.in_force, d.detected) << rule->kernel;
        for (int t = 1; t <= static_cast<int>(d.in_force); ++t) {
            if (rule->needs[t]) {
                EXPECT_EQ(rule->needs[t](), 1u) << rule->kernel << " tier " << t;
            }
        }
    }
}

TEST(Tier, OverrideCanLowerTheTier) {
    for (const kelvra::tier::Rule *rule : kelvra::tier::all_rules) {
        ScopedEnv env(rule->variable, "0");
        EXPECT_EQ(kelvra::tier::in_force(*rule), 0u) << rule->kernel;
    }
}

TEST(Tier, PickFallsBackToNarrowerImplementations) {
    using Fn = int (*)();
    const Fn scalar = [] { return 0; };
    const Fn wide = [] { return 1; };
    const Fn only_scalar[] = {scalar};
    const Fn gap[] = {scalar, nullptr, wide};
    ScopedEnv env(kelvra::tier::sha256_batch.variable, "2");
    EXPECT_EQ(kelvra::tier::pick(kelvra::tier::sha256_batch, only_scalar)(), 0);
    const int expected = kelvra::tier::supported(kelvra::tier::sha256_batch) == 2 ? 1 : 0;
    EXPECT_EQ(kelvra::tier::pick(kelvra::tier::sha256_batch, gap)(), expected);
}
