// The one pass of the Hamming codes (hamming.cpp): the XOR of the positions
// of the set bits of a code word stored one byte per bit.
#pragma once

#include <cstdint>

namespace kelvra::hdc {

// For n + 1 = 2^r >= 16: x = XOR of the positions q (1-based) with
// code[q - 1] == 1, and true, when every byte of code[0, n) is 0 or 1; false
// otherwise (x untouched). position_xor_sse2.cpp: 16 positions per step with
// SSE2 on x86-64 (part of the baseline), byte by byte elsewhere, with the
// same answers.
bool position_xor_blocks(const uint8_t *code, uint64_t n, uint32_t &x) noexcept;

} // namespace kelvra::hdc
