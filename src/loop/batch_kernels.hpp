// Kernels of the batch binding, one per processor tier above the scalar one.
//
// Each binds blocks from the start of the arrays in groups of its width (2
// blocks for SSE2, 4 for AVX) while a whole group remains, and returns how
// many blocks it bound; the caller binds the rest one at a time. Each group is
// read completely before any of it is written, so out may equal a or b.
// Every kernel performs the scalar path's operations in the scalar path's
// order (octonion.hpp), so the tiers agree bit for bit.
#pragma once

#include <cstdint>

namespace kelvra::loop {

using BindKernel = uint64_t (*)(const double *a, const double *b, uint64_t n, double *out) noexcept;

uint64_t bind_blocks_sse2(const double *a, const double *b, uint64_t n, double *out) noexcept; // batch_sse2.cpp
uint64_t bind_blocks_avx(const double *a, const double *b, uint64_t n, double *out) noexcept;  // batch_avx.cpp

} // namespace kelvra::loop
