// Complex products of dense.cpp: the matrix product and the element-wise
// product of interleaved (re, im) arrays. complex_product_sse2.cpp: one
// complex element per SSE2 register on x86-64 (part of the baseline), the
// same lane formulas in scalar code elsewhere, so the same bits.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvra::linalg {

// c (rows x cols) = a (rows x inner) b (inner x cols), each sum over
// l = 0 .. inner-1 in order, starting from +0.
void matmul_complex(uint32_t rows, uint32_t inner, uint32_t cols, const double *a, const double *b, double *c) noexcept;

// out_i = a_i b_i; each element's inputs are loaded before its output is
// stored, so out may be a or b itself.
void multiply_complex(size_t count, const double *a, const double *b, double *out) noexcept;

} // namespace kelvra::linalg
