// Lenstra's elliptic-curve method for odd 64-bit moduli.
#pragma once

#include <cstdint>

#include "exact/modarith.hpp"

namespace kelvra::exact {

// Tries up to max_curves curves on the odd modulus of mont (n > 1 with no
// prime factor below 5). Returns a divisor 1 < d < n, or 0 when every curve
// failed; the method is probabilistic, so callers keep a complete fallback.
uint64_t elliptic_curve_divisor(const Montgomery &mont, uint32_t max_curves) noexcept;

} // namespace kelvra::exact
