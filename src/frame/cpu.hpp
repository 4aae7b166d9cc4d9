// Processor identification: the tests behind the exported queries and the
// tier rules.
//
// The tests below execute CPUID (and XGETBV) each time they are called; the
// exported queries use them as they are. Kernels choose their tier from
// `features()`, the same tests made once per process: under a hypervisor
// CPUID traps and costs microseconds, more than hashing a short message,
// and what a processor supports does not change while a process runs.
#pragma once

#include <cstdint>

#if defined(__x86_64__) || defined(_M_X64)
#define KELVRA_CPU_X86_64 1
#include <cpuid.h>
#endif

namespace kelvra::cpu {

// SSE2 comes with the x86-64 baseline; any other target has none of the
// instruction sets below, and every test answers no.
#if KELVRA_CPU_X86_64
inline constexpr bool sse2 = true;
#else
inline constexpr bool sse2 = false;
#endif

struct Registers {
    uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};

inline Registers cpuid(uint32_t leaf, uint32_t subleaf = 0) noexcept {
    Registers r;
#if KELVRA_CPU_X86_64
    __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
#else
    (void)leaf;
    (void)subleaf;
#endif
    return r;
}

// Extended control register 0: which register states the operating system saves.
inline uint64_t xgetbv0() noexcept {
#if KELVRA_CPU_X86_64
    uint32_t lo = 0, hi = 0;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (uint64_t{hi} << 32) | lo;
#else
    return 0;
#endif
}

inline bool bit(uint32_t word, unsigned index) noexcept { return (word >> index) & 1u; }

// AVX needs the instruction set (leaf 1 ECX bit 28), OSXSAVE (bit 27) and the
// operating system saving both SSE and AVX state (XCR0 bits 1 and 2).
inline bool avx_usable() noexcept {
    const Registers leaf1 = cpuid(1);
    if (!bit(leaf1.ecx, 27) || !bit(leaf1.ecx, 28)) return false;
    return (xgetbv0() & 6u) == 6u;
}

// Leaf 7 (extended features) of a processor that has it; zeros otherwise, so
// that a leaf the processor lacks is never read as feature bits.
inline Registers leaf7() noexcept { return cpuid(0).eax >= 7 ? cpuid(7) : Registers{}; }

inline bool avx2_usable() noexcept { return avx_usable() && bit(leaf7().ebx, 5); }

// The SHA extensions need no operating-system support beyond SSE state.
inline bool sha_extensions() noexcept { return bit(leaf7().ebx, 29); }

// What the SHA-extension kernel is compiled for: SHA, SSSE3 (leaf 1 ECX bit 9)
// and SSE4.1 (bit 19).
inline bool sha_kernel_usable() noexcept {
    const Registers leaf1 = cpuid(1);
    return bit(leaf1.ecx, 9) && bit(leaf1.ecx, 19) && sha_extensions();
}

// The population-count instruction: leaf 1 ECX bit 23; it uses general
// registers only, so no operating-system test applies.
inline bool popcnt_usable() noexcept { return bit(cpuid(1).ecx, 23); }

// AVX2 and POPCNT together, with the tests of avx2_usable and popcnt_usable
// but leaf 1 read only once.
inline bool avx2_and_popcnt_usable() noexcept {
    const Registers leaf1 = cpuid(1);
    if (!bit(leaf1.ecx, 23) || !bit(leaf1.ecx, 27) || !bit(leaf1.ecx, 28)) return false;
    return (xgetbv0() & 6u) == 6u && bit(leaf7().ebx, 5);
}

// Every test above, made once per process.
struct Features {
    bool avx, avx2, sha_kernel, popcnt, avx2_and_popcnt;
};

inline const Features &features() noexcept {
    static const Features probed{avx_usable(), avx2_usable(), sha_kernel_usable(), popcnt_usable(),
                                 avx2_and_popcnt_usable()};
    return probed;
}

} // namespace kelvra::cpu
