// The exported processor feature queries.
#include "frame/cpu.hpp"
#include "kelvra.h"

// SSE2 is part of the x86-64 baseline; other targets have no SSE2.
extern "C" KELVRA_API uint32_t kelvra_simd_has_sse2(void) noexcept { return kelvra::cpu::sse2; }

extern "C" KELVRA_API uint32_t kelvra_simd_has_avx(void) noexcept { return kelvra::cpu::avx_usable(); }

extern "C" KELVRA_API uint32_t kelvra_simd_has_avx2(void) noexcept { return kelvra::cpu::avx2_usable(); }

extern "C" KELVRA_API uint32_t kelvra_simd_has_shani(void) noexcept { return kelvra::cpu::sha_extensions(); }
