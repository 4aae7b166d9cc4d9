// Square roots and Fermat's method for 64-bit integers: squares and products
// of two factors close to the square root are split in a few cheap steps
// before the general splitting starts.
#pragma once

#include <cstdint>

namespace kelvra::exact {

// floor(sqrt(n)) for every 64-bit n, without a square-root instruction.
uint64_t integer_square_root(uint64_t n) noexcept;

// A divisor d > 1 of odd n > 1 with d * d <= n, found when n = (a - b)(a + b)
// for some a within kFermatSteps of ceil(sqrt(n)); 0 when there is none. A
// perfect square is the case b = 0, giving its root. For n = p q with p, q
// near 2^32 that covers |p - q| up to about 2^20, since a = (p + q) / 2 lies
// (p - q)^2 / (8 sqrt(n)) above the root.
uint64_t close_divisor(uint64_t n) noexcept;

inline constexpr uint32_t kFermatSteps = 40;

} // namespace kelvra::exact
