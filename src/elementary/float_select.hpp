// Comparisons and choices between doubles that stay in the floating-point
// registers. The elementary functions choose among constants and partial
// results by the data (which branch of a reduction applies); a choice made
// with integer bit masks first moves both doubles to the integer registers
// and the answer back, and on current processors each of those moves costs
// as much as a multiplication. With SSE2 the comparison writes its mask into
// a vector register and the choice is three logical operations there.
// Elsewhere the compiler is left to pick its own conditional select.
#pragma once

#include <bit>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelvra::elementary {

#if defined(__SSE2__)

// All ones when the comparison holds, else all zeros.
struct Condition {
    __m128d mask;
};

inline Condition less_equal(double a, double b) noexcept { return {_mm_cmple_sd(_mm_set_sd(a), _mm_set_sd(b))}; }
inline Condition less_than(double a, double b) noexcept { return {_mm_cmplt_sd(_mm_set_sd(a), _mm_set_sd(b))}; }

// a where the condition holds, else b.
inline double choose(Condition c, double a, double b) noexcept {
    return _mm_cvtsd_f64(_mm_or_pd(_mm_and_pd(c.mask, _mm_set_sd(a)), _mm_andnot_pd(c.mask, _mm_set_sd(b))));
}

// The fraction bits of x under the sign and exponent of `power` (a power of
// two): 1.fraction times power, for a normal x.
inline double fraction_times(double x, double power) noexcept {
    const __m128d fraction = _mm_castsi128_pd(_mm_set_epi64x(0, (int64_t{1} << 52) - 1));
    return _mm_cvtsd_f64(_mm_or_pd(_mm_and_pd(_mm_set_sd(x), fraction), _mm_set_sd(power)));
}

#else

struct Condition {
    bool holds;
};

inline Condition less_equal(double a, double b) noexcept { return {a <= b}; }
inline Condition less_than(double a, double b) noexcept { return {a < b}; }
inline double choose(Condition c, double a, double b) noexcept { return c.holds ? a : b; }
inline double fraction_times(double x, double power) noexcept {
    constexpr uint64_t fraction = (uint64_t{1} << 52) - 1;
    return std::bit_cast<double>((std::bit_cast<uint64_t>(x) & fraction) | std::bit_cast<uint64_t>(power));
}

#endif

} // namespace kelvra::elementary
