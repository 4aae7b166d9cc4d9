// The tiered-kernel table and the few processor tests the library does not
// export. All of the tool's CPUID code is in this file.
#include "tiers.hpp"

#include <cstdlib>
#include <cstring>

#include "kelvra.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KELVRA_TOOL_CPUID 1
#include <cpuid.h>
#elif defined(_M_X64) && defined(_MSC_VER)
#define KELVRA_TOOL_CPUID 2
#include <intrin.h>
#else
#define KELVRA_TOOL_CPUID 0
#endif

namespace kelvra::cli::tiers {

// Tier 0 of some kernels is SSE2 code on x86-64 and scalar code elsewhere.
#if defined(__x86_64__) || defined(_M_X64)
constexpr const char *swar_baseline = "SWAR, 16 bytes (SSE2)";
constexpr const char *pairs_baseline = "SSE2, 2 doubles";
#else
constexpr const char *swar_baseline = "SWAR, 8 bytes";
constexpr const char *pairs_baseline = "scalar";
#endif

const Kernel octonion_batch{"octonion batch binding",
                            "KELVRA_LOOP_HD_FORCE_TIER",
                            2,
                            {Feature::none, Feature::none, Feature::avx},
                            {"scalar", "SSE2, 2 blocks", "AVX, 4 blocks"}};

const Kernel sha256_batch{"batched SHA-256",
                          "KELVRA_SHA256_FORCE_TIER",
                          2,
                          {Feature::none, Feature::none, Feature::avx2},
                          {"scalar", "SSE2, 4 lanes", "AVX2, 8 lanes"}};

const Kernel sha256_extensions{"SHA-256 with SHA extensions",
                               "KELVRA_SHANI_FORCE_TIER",
                               1,
                               {Feature::none, Feature::sha_kernel, Feature::none},
                               {"software", "SHA extensions", nullptr}};

const Kernel hypervector_popcount{"hypervector population count",
                                  "KELVRA_HDC_FORCE_TIER",
                                  2,
                                  {Feature::none, Feature::popcnt, Feature::avx2_and_popcnt},
                                  {swar_baseline, "POPCNT, 8 bytes", "AVX2, 32 bytes"}};

const Kernel dense_elimination{"dense solver row updates",
                               "KELVRA_DENSE_FORCE_TIER",
                               1,
                               {Feature::none, Feature::avx, Feature::none},
                               {pairs_baseline, "AVX, 4 doubles", nullptr}};

const Kernel jacobi_rotations{"Jacobi rotation updates",
                              "KELVRA_JACOBI_FORCE_TIER",
                              1,
                              {Feature::none, Feature::avx, Feature::none},
                              {pairs_baseline, "AVX, 4 doubles", nullptr}};

const Kernel *const all[kernel_count] = {&octonion_batch,       &sha256_batch,      &sha256_extensions,
                                         &hypervector_popcount, &dense_elimination, &jacobi_rotations};

namespace {

struct Registers {
    uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};

// CPUID leaf/subleaf; zeros where the tool cannot ask.
Registers cpuid(uint32_t leaf, uint32_t subleaf = 0) noexcept {
    Registers r;
#if KELVRA_TOOL_CPUID == 1
    __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
#elif KELVRA_TOOL_CPUID == 2
    int regs[4];
    __cpuidex(regs, static_cast<int>(leaf), static_cast<int>(subleaf));
    r = {static_cast<uint32_t>(regs[0]), static_cast<uint32_t>(regs[1]), static_cast<uint32_t>(regs[2]),
         static_cast<uint32_t>(regs[3])};
#else
    (void)leaf;
    (void)subleaf;
#endif
    return r;
}

bool bit(uint32_t word, unsigned index) noexcept { return (word >> index) & 1u; }

// Leaf 1 ECX: SSSE3 (bit 9), SSE4.1 (bit 19), POPCNT (bit 23). POPCNT uses
// general registers only, so no operating-system test applies.
struct Probed {
    bool avx, avx2, sha_kernel, popcnt;
};

const Probed &probed() noexcept {
    static const Probed p = [] {
        const Registers leaf1 = cpuid(1);
        Probed q{};
        q.avx = kelvra_simd_has_avx() != 0;
        q.avx2 = kelvra_simd_has_avx2() != 0;
        q.sha_kernel = kelvra_simd_has_shani() != 0 && bit(leaf1.ecx, 9) && bit(leaf1.ecx, 19);
        q.popcnt = bit(leaf1.ecx, 23);
        return q;
    }();
    return p;
}

} // namespace

bool has(Feature feature) noexcept {
    const Probed &p = probed();
    switch (feature) {
    case Feature::none:
        return true;
    case Feature::avx:
        return p.avx;
    case Feature::avx2:
        return p.avx2;
    case Feature::sha_kernel:
        return p.sha_kernel;
    case Feature::popcnt:
        return p.popcnt;
    case Feature::avx2_and_popcnt:
        return p.avx2 && p.popcnt;
    }
    return false;
}

// Features of wider tiers imply those of narrower ones. A wider tier that
// needs nothing named needs the x86-64 baseline (SSE2), so elsewhere tier 0.
uint32_t supported(const Kernel &kernel) noexcept {
    for (int32_t t = kernel.max_tier; t > 0; --t) {
        if (kernel.needs[t] == Feature::none ? kelvra_simd_has_sse2() != 0 : has(kernel.needs[t]))
            return static_cast<uint32_t>(t);
    }
    return 0;
}

Decision decide(const Kernel &kernel) noexcept {
    Decision d{};
    d.detected = supported(kernel);
    d.override = std::getenv(kernel.variable);
    d.requested = kelvra_simd_tier(kernel.variable, static_cast<int32_t>(d.detected), kernel.max_tier);
    d.in_force = d.requested < d.detected ? d.requested : d.detected;
    return d;
}

void processor_brand(char (&out)[49]) noexcept {
    std::memset(out, 0, sizeof out);
    if (cpuid(0x80000000u).eax < 0x80000004u) return;
    for (uint32_t i = 0; i < 3; ++i) {
        const Registers r = cpuid(0x80000002u + i);
        std::memcpy(out + 16 * i + 0, &r.eax, 4);
        std::memcpy(out + 16 * i + 4, &r.ebx, 4);
        std::memcpy(out + 16 * i + 8, &r.ecx, 4);
        std::memcpy(out + 16 * i + 12, &r.edx, 4);
    }
    char *start = out;
    while (*start == ' ') ++start;
    std::memmove(out, start, std::strlen(start) + 1);
    for (size_t n = std::strlen(out); n > 0 && out[n - 1] == ' '; --n) out[n - 1] = '\0';
}

} // namespace kelvra::cli::tiers
