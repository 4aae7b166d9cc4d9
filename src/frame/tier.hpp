// Processor tiers: which implementation of a kernel runs.
//
// A tiered kernel has implementations numbered 0 (portable scalar) upwards.
// Its Rule names the environment variable that may override the choice and the
// processor feature each tier needs. The tier in force is the rule's override
// (kelvra_simd_tier), then clamped to what the processor supports, so
// a forced tier never executes an instruction the processor lacks.
//
// Built on the processor tests of cpu.hpp, made once per process. The
// command-line tool keeps its own copy of these rules over the exported
// queries (tools/kelvra/tiers.cpp); a rule changed here changes there too.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "frame/cpu.hpp"
#include "kelvra.h"

namespace kelvra::tier {

using Probe = uint32_t (*)(void) noexcept;

inline constexpr int max_tiers = 3;

// What each tier needs, from the tests made once per process.
inline uint32_t has_sse2() noexcept { return cpu::sse2; }
inline uint32_t has_avx() noexcept { return cpu::features().avx; }
inline uint32_t has_avx2() noexcept { return cpu::features().avx2; }
inline uint32_t has_sha_kernel() noexcept { return cpu::features().sha_kernel; }
inline uint32_t has_popcnt() noexcept { return cpu::features().popcnt; }
inline uint32_t has_avx2_and_popcnt() noexcept { return cpu::features().avx2_and_popcnt; }

// Tier 0 of the kernels below is SSE2 code on x86-64 and the same arithmetic
// in scalar form elsewhere.
inline constexpr const char *swar_baseline = cpu::sse2 ? "SWAR, 16 bytes (SSE2)" : "SWAR, 8 bytes";
inline constexpr const char *pairs_baseline = cpu::sse2 ? "SSE2, 2 doubles" : "scalar";

struct Rule {
    const char *kernel;           // what the tiers implement, for people
    const char *variable;         // environment override
    int32_t max_tier;             // highest tier the kernel has
    Probe needs[max_tiers];       // feature tier t needs (null: the x86-64 baseline; tier 0 needs nothing)
    const char *names[max_tiers]; // what tier t is, for people
};

inline constexpr Rule octonion_batch{"octonion batch binding",
                                     "KELVRA_LOOP_HD_FORCE_TIER",
                                     2,
                                     {nullptr, nullptr, has_avx},
                                     {"scalar", "SSE2, 2 blocks", "AVX, 4 blocks"}};

inline constexpr Rule sha256_batch{"batched SHA-256",
                                   "KELVRA_SHA256_FORCE_TIER",
                                   2,
                                   {nullptr, nullptr, has_avx2},
                                   {"scalar", "SSE2, 4 lanes", "AVX2, 8 lanes"}};

inline constexpr Rule sha256_extensions{"SHA-256 with SHA extensions",
                                        "KELVRA_SHANI_FORCE_TIER",
                                        1,
                                        {nullptr, has_sha_kernel, nullptr},
                                        {"software", "SHA extensions", nullptr}};

inline constexpr Rule hypervector_popcount{"hypervector population count",
                                           "KELVRA_HDC_FORCE_TIER",
                                           2,
                                           {nullptr, has_popcnt, has_avx2_and_popcnt},
                                           {swar_baseline, "POPCNT, 8 bytes", "AVX2, 32 bytes"}};

inline constexpr Rule dense_elimination{"dense solver row updates",
                                        "KELVRA_DENSE_FORCE_TIER",
                                        1,
                                        {nullptr, has_avx, nullptr},
                                        {pairs_baseline, "AVX, 4 doubles", nullptr}};

inline constexpr Rule jacobi_rotations{"Jacobi rotation updates",
                                       "KELVRA_JACOBI_FORCE_TIER",
                                       1,
                                       {nullptr, has_avx, nullptr},
                                       {pairs_baseline, "AVX, 4 doubles", nullptr}};

inline constexpr const Rule *all_rules[] = {&octonion_batch,       &sha256_batch,      &sha256_extensions,
                                            &hypervector_popcount, &dense_elimination, &jacobi_rotations};

// The highest tier whose feature the processor has (features of wider tiers
// imply those of narrower ones). Off x86-64 that is tier 0, the portable form.
inline uint32_t supported(const Rule &rule) noexcept {
    for (int32_t t = rule.max_tier; t > 0; --t) {
        if ((rule.needs[t] == nullptr ? has_sse2() : rule.needs[t]()) != 0) return static_cast<uint32_t>(t);
    }
    return 0;
}

struct Decision {
    uint32_t detected;    // what the processor supports
    const char *override; // the variable's text, or null when unset
    uint32_t requested;   // kelvra_simd_tier's answer
    uint32_t in_force;    // requested, clamped to detected
};

inline Decision decide(const Rule &rule) noexcept {
    Decision d{};
    d.detected = supported(rule);
    d.override = std::getenv(rule.variable);
    d.requested = kelvra_simd_tier(rule.variable, static_cast<int32_t>(d.detected), rule.max_tier);
    d.in_force = d.requested < d.detected ? d.requested : d.detected;
    return d;
}

inline uint32_t in_force(const Rule &rule) noexcept {
    const uint32_t detected = supported(rule);
    const uint32_t requested = kelvra_simd_tier(rule.variable, static_cast<int32_t>(detected), rule.max_tier);
    return requested < detected ? requested : detected;
}

// Picks the implementation for the tier in force from a table indexed by tier.
// A null entry falls back to the next narrower tier.
template <class Fn, int N>
Fn pick(const Rule &rule, Fn const (&by_tier)[N]) noexcept {
    static_assert(N >= 1 && N <= max_tiers, "one implementation per tier");
    int t = static_cast<int>(in_force(rule));
    if (t >= N) t = N - 1;
    while (t > 0 && by_tier[t] == nullptr) --t;
    return by_tier[t];
}

} // namespace kelvra::tier
