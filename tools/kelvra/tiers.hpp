// The tool's table of the library's tiered kernels, so that `kelvra info`,
// the demo and `kelvra octonion` can say which tier runs and why, through
// the public header only.
//
// A tiered kernel has implementations numbered 0 (portable scalar) upwards.
// The tier in force is kelvra_simd_tier's answer for the kernel's environment
// variable, clamped to the widest tier whose processor feature is present.
// The features come from the library's exported queries where it has them
// (kelvra_simd_has_avx, _avx2, _shani) and otherwise from the tool's own
// CPUID tests (POPCNT; SSSE3 and SSE4.1, which the SHA-extension kernel also
// needs). Keep the names, variables and tier counts in step with the library.
#pragma once

#include <cstdint>

namespace kelvra::cli::tiers {

inline constexpr int max_tiers = 3;

// What a tier needs beyond the x86-64 baseline.
enum class Feature : uint8_t {
    none,
    avx,             // AVX usable (kelvra_simd_has_avx)
    avx2,            // AVX2 usable (kelvra_simd_has_avx2)
    sha_kernel,      // the SHA extensions, SSSE3 and SSE4.1
    popcnt,          // the population-count instruction
    avx2_and_popcnt, // both of the above
};

struct Kernel {
    const char *name;             // what the tiers implement, for people
    const char *variable;         // environment override
    int32_t max_tier;             // highest tier the kernel has
    Feature needs[max_tiers];     // feature tier t needs
    const char *names[max_tiers]; // what tier t is, for people
};

extern const Kernel octonion_batch;
extern const Kernel sha256_batch;
extern const Kernel sha256_extensions;
extern const Kernel hypervector_popcount;
extern const Kernel dense_elimination;
extern const Kernel jacobi_rotations;

// Every kernel above, in the order `kelvra info` lists them.
inline constexpr int kernel_count = 6;
extern const Kernel *const all[kernel_count];

// Whether this processor has the feature (tested once per process).
bool has(Feature feature) noexcept;

// The highest tier whose feature the processor has.
uint32_t supported(const Kernel &kernel) noexcept;

struct Decision {
    uint32_t detected;    // what the processor supports
    const char *override; // the variable's text, or null when unset
    uint32_t requested;   // kelvra_simd_tier's answer
    uint32_t in_force;    // requested, clamped to detected
};

Decision decide(const Kernel &kernel) noexcept;

// The processor's 48-character brand string, trimmed; "" when it has none
// (or the tool cannot ask, off x86-64).
void processor_brand(char (&out)[49]) noexcept;

} // namespace kelvra::cli::tiers
