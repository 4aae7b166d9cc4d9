// Rationals and continued fractions for use inside the library: the best
// rational approximation under a denominator bound (the cascade kernels) and
// the library's square root (the spectral tools).
#pragma once

#include <cstdint>

namespace kelvra::exact {

struct UnsignedFraction {
    uint64_t num;
    uint64_t den;
};

// The last convergent of num/den (den > 0) whose denominator does not exceed
// max_den (> 0), in lowest terms; 0/1 when no convergent qualifies. Only
// convergents are candidates, never intermediate fractions. Convergents
// whose numerator or denominator would pass 2^64 - 1 end the search too.
UnsignedFraction best_rational(uint64_t num, uint64_t den, uint64_t max_den) noexcept;

// The value kelvra_rational_sqrt writes: floor(sqrt(M 2^54)) for x = M 2^E
// (E even), rounded to double and scaled by 2^(E/2 - 27); x - x for x < 0,
// +0.0 for +-0, +inf and NaN unchanged. Never a square-root instruction.
double rational_sqrt(double x) noexcept;

} // namespace kelvra::exact
