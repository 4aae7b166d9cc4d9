// Version and ABI queries, and the workspace-size companions whose formulas
// callers size their arenas from.
#include "kelvra.h"
#include "linalg/dense_workspace.hpp"

static_assert(KELVRA_ABI == KELVRA_ABI_NUMBER, "header and build disagree on the ABI number");

extern "C" KELVRA_API const char *kelvra_version(void) noexcept { return KELVRA_VERSION_TEXT; }

extern "C" KELVRA_API uint32_t kelvra_abi_version(void) noexcept { return KELVRA_ABI_NUMBER; }

// The sizes below are part of the interface: they are computed in unsigned
// 64-bit arithmetic with no overflow check, exactly as published.

extern "C" KELVRA_API uint64_t kelvra_dense_solve_arena_bytes(uint32_t n, uint32_t m) noexcept {
    return static_cast<uint64_t>(kelvra::linalg::dense_workspace_bytes(n, m)); // modulo 2^64
}

extern "C" KELVRA_API uint64_t kelvra_genome_arena_bytes(uint64_t body_bytes, uint32_t n_chromosomes,
                                                         uint64_t extra_bytes) noexcept {
    return 2033u * uint64_t{n_chromosomes} + 2u * (body_bytes + 3u * extra_bytes + 38912u);
}
