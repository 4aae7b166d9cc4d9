// Cascade kernels that lean on exact arithmetic: the greatest common divisor
// exactly as kelvra_gcd gives it, and a signed real approximated by a rational.
#include <cmath>

#include "kelvra.h"

namespace kelvra::cascade {

namespace {

// Below this magnitude a real counts as zero.
constexpr double kZeroMagnitude = 1e-12;

// 2^63: the first double beyond the signed 64-bit range.
constexpr double kBeyondInt64 = 9223372036854775808.0;

// scale·|x| rounded to the nearest integer in the current rounding mode (ties
// to even by default), or 0 when it is not a positive 64-bit integer.
int64_t grid_numerator(double magnitude, int64_t scale) noexcept {
    const double scaled = static_cast<double>(scale) * magnitude;
    if (!(scaled < kBeyondInt64)) return 0; // also +∞
    const long long rounded = std::llrint(scaled);
    return rounded > 0 ? rounded : 0;
}

} // namespace

} // namespace kelvra::cascade

extern "C" KELVRA_API kelvra_status kelvra_cascade_cyclic_gcd_u64(uint64_t a, uint64_t b, uint64_t *out) noexcept {
    return kelvra_gcd(a, b, out);
}

// x is first fixed to the grid 1/scale, N = llrint(scale·|x|), then N/scale is
// approximated by its last convergent with denominator ≤ max_den; the sign of
// x goes on the numerator. Zero, NaN, |x| < 1e-12 and N ≤ 0 or beyond 64 bits
// all give 0/1.
extern "C" KELVRA_API kelvra_status kelvra_cascade_best_rational_signed_f64(double x, int64_t max_den, int64_t scale,
                                                                            int64_t *out_num,
                                                                            int64_t *out_den) noexcept {
    if (out_num == nullptr || out_den == nullptr) return KELVRA_ERR_ARG;
    if (max_den < 1 || scale < 1) return KELVRA_ERR_DATA;
    const bool negative = x < 0;
    const double magnitude = negative ? -x : x;
    const int64_t numerator = magnitude > 0 && magnitude >= kelvra::cascade::kZeroMagnitude
                                  ? kelvra::cascade::grid_numerator(magnitude, scale)
                                  : 0;
    if (numerator == 0) {
        *out_num = 0;
        *out_den = 1;
        return KELVRA_OK;
    }
    uint64_t p = 0, q = 1;
    if (const kelvra_status status = kelvra_best_rational(
            static_cast<uint64_t>(numerator), static_cast<uint64_t>(scale), static_cast<uint64_t>(max_den), &p, &q)) {
        return status;
    }
    const int64_t magnitude_num = static_cast<int64_t>(p);
    *out_num = negative ? -magnitude_num : magnitude_num;
    *out_den = static_cast<int64_t>(q);
    return KELVRA_OK;
}
