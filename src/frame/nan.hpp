// The one NaN the library makes. An infinity minus itself, or one infinity
// over another, is a NaN whose sign differs between processors (x86 sets it,
// ARM does not); where the library makes a NaN from arguments that are not
// NaN it writes this quiet NaN instead, so results are the same bits on every
// processor. NaN arguments pass through as the arithmetic leaves them.
#pragma once

#include <bit>
#include <cstdint>

namespace kelvra {

inline constexpr std::uint64_t quiet_nan_bits = 0x7FF8000000000000;

inline double quiet_nan() noexcept { return std::bit_cast<double>(quiet_nan_bits); }

// x - x: +0.0 for a finite x, x's own NaN (quieted) for a NaN, and the quiet
// NaN for an infinity.
inline double self_difference(double x) noexcept {
    if (x == __builtin_inf() || x == -__builtin_inf()) return quiet_nan();
    return x - x;
}

} // namespace kelvra
