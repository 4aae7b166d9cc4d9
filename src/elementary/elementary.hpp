// The library's own exponential, logarithm, sine, cosine and arctangents.
// Each reduces its argument (in double arithmetic, or in integers for sine
// and cosine), sums a fixed Taylor series in Q61 fixed point and converts
// back, so the bits are the same on every processor. The exports in
// elementary.cpp wrap these; kernels that need the functions in their inner
// loops (orbital routines, element-wise operations, oscillators) call them
// here directly so that they inline.
//
// How the series are made fast without changing a bit:
//  - Every series is evaluated on magnitudes. Truncation toward zero is
//    symmetric, so a negative argument gives the negated magnitudes (odd
//    terms) or the same ones (even terms); the signs are applied by selects.
//  - Each step term <- floor(floor(term X / 2^61) / d) is a high-word product
//    with X pre-scaled by 8 and a multiplication by the reciprocal of d. The
//    largest dividend of every step is computed at compile time from the
//    largest argument (every operation is non-decreasing in its inputs), and
//    ConstantDivisor proves the reciprocal exact up to that bound.
//  - Steps whose term is zero for the largest argument are zero for every
//    argument and are left out; static_asserts below prove each cut.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "elementary/float_select.hpp"
#include "elementary/q61.hpp"
#include "frame/nan.hpp"

namespace kelvra::elementary {

namespace detail {

inline constexpr uint64_t kFractionMask = (uint64_t{1} << 52) - 1;
inline constexpr uint64_t kHiddenBit = uint64_t{1} << 52;

inline uint64_t bits_of(double x) noexcept { return std::bit_cast<uint64_t>(x); }
// |x| by clearing the sign bit (the builtin is expanded inline, never a call).
inline double abs_of(double x) noexcept { return __builtin_fabs(x); }

// static_cast<double>(e) for |e| < 2^51, as (1.5 2^52 + e) - 1.5 2^52: both
// steps are exact. Unlike the conversion instruction, which writes only part
// of its register, this starts no false dependency on an earlier value of
// that register when inlined into a loop.
inline double small_integer_to_double(int e) noexcept {
    return std::bit_cast<double>(uint64_t{0x4338000000000000} + static_cast<uint64_t>(static_cast<int64_t>(e))) -
           0x1.8p52;
}

// Term and dividend bounds of a series term_n = floor(floor(term_(n-1) X / 2^61) / d_n).
template <size_t N>
struct SeriesBounds {
    std::array<uint64_t, N> dividend{};
    std::array<uint64_t, N> term{};
};

template <size_t N>
constexpr SeriesBounds<N> series_bounds(uint64_t first_term, uint64_t multiplier,
                                        const std::array<uint64_t, N> &divisors) {
    SeriesBounds<N> bounds;
    uint64_t term = first_term;
    for (size_t i = 0; i < N; ++i) {
        bounds.dividend[i] = static_cast<uint64_t>((static_cast<u128>(term) * multiplier) >> 61);
        term = bounds.dividend[i] / divisors[i];
        bounds.term[i] = term;
    }
    return bounds;
}

template <size_t N>
constexpr std::array<uint64_t, N> all_ones() {
    std::array<uint64_t, N> ones{};
    for (auto &one : ones) one = 1;
    return ones;
}

constexpr uint64_t q61_square(uint64_t m) { return static_cast<uint64_t>((static_cast<u128>(m) * m) >> 61); }

// ---- exponential: term_n = term_(n-1) R / n, n = 1 ... 18 ----------------
// |r| <= ln 2 / 2 + 1e-13 < 0.35: k is x log2 e rounded, and x - k ln 2 is
// formed almost exactly (the high part of ln 2 has 32 significant bits, so
// k times it is exact and so is the difference from x).
inline constexpr uint64_t kExpReducedMax = static_cast<uint64_t>(0.35 * 0x1p61);
inline constexpr std::array<uint64_t, 18> kExpDivisors = {1,  2,  3,  4,  5,  6,  7,  8,  9,
                                                          10, 11, 12, 13, 14, 15, 16, 17, 18};
inline constexpr auto kExpBounds = series_bounds(kQ61One, kExpReducedMax, kExpDivisors);
inline constexpr size_t kExpSteps = 14;
static_assert(kExpBounds.term[kExpSteps] == 0, "term 15 and later vanish");

// Magnitudes of terms 1 ... 14 for |R| = u, even and odd terms summed apart.
struct SplitSum {
    uint64_t even;
    uint64_t odd;
};

template <size_t... I>
inline SplitSum exp_series_sums(uint64_t u, std::index_sequence<I...>) noexcept {
    const uint64_t u_times_8 = u << 3;
    uint64_t term = u; // term 1: q61_mul(one, R) / 1 = R
    uint64_t even = 0;
    uint64_t odd = u;
    ((term = ConstantDivisor<I + 2, kExpBounds.dividend[I + 1]>::divide(q61_mul_scaled(term, u_times_8)),
      ((I + 2) % 2 == 0 ? even : odd) += term),
     ...);
    return {even, odd};
}

// The Q61 sum of e^r's series, for R = to_q61(r).
inline int64_t exp_series(uint64_t r_magnitude, bool r_negative) noexcept {
    const SplitSum s = exp_series_sums(r_magnitude, std::make_index_sequence<kExpSteps - 1>{});
    const uint64_t odd = r_negative ? 0 - s.odd : s.odd;
    return static_cast<int64_t>(static_cast<uint64_t>(kQ61One) + s.even + odd);
}

// ---- logarithm: powers s^3 ... s^27, each divided by its exponent --------
// |s| <= (sqrt 2 - 1) / (sqrt 2 + 1) = 0.17157...
inline constexpr uint64_t kLogReducedMax = static_cast<uint64_t>(0.1716 * 0x1p61);
inline constexpr auto kLogPowerBounds = series_bounds(kLogReducedMax, q61_square(kLogReducedMax), all_ones<13>());
inline constexpr size_t kLogSteps = 11;
static_assert(kLogPowerBounds.term[kLogSteps] == 0, "s^25 and s^27 vanish");

template <size_t... I>
inline uint64_t log_series_magnitude(uint64_t u, std::index_sequence<I...>) noexcept {
    const uint64_t square_times_8 = q61_mul_scaled(u, u << 3) << 3;
    uint64_t power = u;
    uint64_t sum = u;
    ((power = q61_mul_scaled(power, square_times_8),
      sum += ConstantDivisor<2 * I + 3, kLogPowerBounds.term[I]>::divide(power)),
     ...);
    return sum;
}

// ---- arctangent: powers t^3 ... t^81, alternating, each over its exponent -
// 0 <= t <= max(0.41421356237309515, 1 / 2.414213562373095, |w|) < 0.4143.
inline constexpr uint64_t kAtanReducedMax = static_cast<uint64_t>(0.4143 * 0x1p61);
inline constexpr auto kAtanPowerBounds = series_bounds(kAtanReducedMax, q61_square(kAtanReducedMax), all_ones<40>());
inline constexpr size_t kAtanSteps = 23;
static_assert(kAtanPowerBounds.term[kAtanSteps] == 0, "t^49 and later vanish");

template <size_t... I>
inline uint64_t atan_series_sum(uint64_t t, std::index_sequence<I...>) noexcept {
    const uint64_t square_times_8 = q61_mul_scaled(t, t << 3) << 3;
    uint64_t power = t;
    uint64_t plus = t;
    uint64_t minus = 0;
    ((power = q61_mul_scaled(power, square_times_8),
      (I % 2 == 0 ? minus : plus) += ConstantDivisor<2 * I + 3, kAtanPowerBounds.term[I]>::divide(power)),
     ...);
    return plus - minus;
}

// q61_atan_series(t) for a Q61 t in [0, 0.4143].
inline uint64_t q61_atan_series(uint64_t t) noexcept {
    return atan_series_sum(t, std::make_index_sequence<kAtanSteps>{});
}

// ---- sine and cosine on |r| <= pi/4 ---------------------------------------
// |r| = floor(|F| pi/2 / 2^61) with |F| <= 2^60, so |r| <= kHalfPiQ61 / 2.
inline constexpr uint64_t kTrigReducedMax = static_cast<uint64_t>(kHalfPiQ61) / 2;
inline constexpr uint64_t kTrigSquareMax = q61_square(kTrigReducedMax);
inline constexpr std::array<uint64_t, 10> kSinDivisors = {6, 20, 42, 72, 110, 156, 210, 272, 342, 420};
inline constexpr std::array<uint64_t, 10> kCosDivisors = {2, 12, 30, 56, 90, 132, 182, 240, 306, 380};
inline constexpr auto kSinBounds = series_bounds(kTrigReducedMax, kTrigSquareMax, kSinDivisors);
inline constexpr auto kCosBounds = series_bounds(static_cast<uint64_t>(kQ61One), kTrigSquareMax, kCosDivisors);
inline constexpr size_t kSinSteps = 8;
inline constexpr size_t kCosSteps = 9;
static_assert(kSinBounds.term[kSinSteps] == 0, "r^19/19! and r^21/21! vanish");
static_assert(kCosBounds.term[kCosSteps] == 0, "r^20/20! vanishes");

// Alternating sum plus - minus of a series with the given divisors, from the
// term whose index is kFirst (term_0 is the first one subtracted).
template <const std::array<uint64_t, 10> &divisors, const auto &bounds, size_t kFirst, size_t... I>
inline uint64_t alternating_series(uint64_t term, uint64_t plus, uint64_t minus, uint64_t square_times_8,
                                   std::index_sequence<I...>) noexcept {
    ((term = ConstantDivisor<divisors[kFirst + I], bounds.dividend[kFirst + I]>::divide(
          q61_mul_scaled(term, square_times_8)),
      ((kFirst + I) % 2 == 0 ? minus : plus) += term),
     ...);
    return plus - minus;
}

} // namespace detail

// ---- argument reduction for sine and cosine -------------------------------

// The quadrant number and the Q61 remainder in [-pi/4, pi/4], as a magnitude and a sign.
struct Quadrant {
    uint32_t number;
    uint64_t remainder_magnitude;
    bool remainder_negative;
};

// 2/pi scaled by 2^64 and rounded.
inline constexpr uint64_t kTwoOverPi64 = 0xA2F9836E4E44152A;

// False for an infinity, a NaN or |x| >= 2^55 (biased exponent above 1077).
// Below 2^-72 (biased exponent <= 950, zeros and subnormals included) the
// quadrant and remainder are 0: the shift is clamped to 127, and the 117-bit
// product shifted that far is 0.
inline bool reduce_quadrant(double x, Quadrant &out) noexcept {
    const uint64_t bits = detail::bits_of(x);
    const int biased = static_cast<int>((bits >> 52) & 0x7FF);
    if (biased > 1077) return false;
    const uint64_t significand = (bits & detail::kFractionMask) | detail::kHiddenBit;
    const int shift = biased < 951 ? 127 : 1078 - biased;
    const u128 t = (static_cast<u128>(significand) * kTwoOverPi64) >> shift; // |x| 2/pi, 61 fraction bits
    const uint64_t fraction = static_cast<uint64_t>(t) & ((uint64_t{1} << 61) - 1);
    // F >= 1/2 rounds q up and leaves F - 1, of magnitude 2^61 - F. The
    // choices are masks: the fraction and the sign of x are data.
    const uint64_t round_up = fraction >> 60;
    const uint64_t up_mask = 0 - round_up;
    const uint64_t f_magnitude = fraction + (((uint64_t{1} << 61) - 2 * fraction) & up_mask);
    const uint64_t x_negative = bits >> 63;
    const uint64_t sign_mask = 0 - x_negative;
    const uint64_t q = ((static_cast<uint64_t>(t >> 61) + round_up) ^ sign_mask) - sign_mask;
    out.number = static_cast<uint32_t>(q & 3);
    out.remainder_magnitude = q61_mul_scaled(static_cast<uint64_t>(kHalfPiQ61), f_magnitude << 3);
    out.remainder_negative = (round_up ^ x_negative) != 0;
    return true;
}

// q61_sin_series(r) and q61_cos_series(r) of a reduced argument.
struct SineCosine {
    int64_t sine;
    int64_t cosine;
};

inline SineCosine q61_sin_cos_series(const Quadrant &reduced) noexcept {
    const uint64_t r = reduced.remainder_magnitude;
    const uint64_t square = q61_mul_scaled(r, r << 3);
    const uint64_t square_times_8 = square << 3;
    const uint64_t sine = detail::alternating_series<detail::kSinDivisors, detail::kSinBounds, 0>(
        r, r, 0, square_times_8, std::make_index_sequence<detail::kSinSteps>{});
    // The cosine's first term is one times the square over 2: a shift, not a product.
    const uint64_t half_square = ConstantDivisor<detail::kCosDivisors[0], detail::kCosBounds.dividend[0]>::divide(square);
    const uint64_t cosine = detail::alternating_series<detail::kCosDivisors, detail::kCosBounds, 1>(
        half_square, static_cast<uint64_t>(kQ61One), half_square, square_times_8,
        std::make_index_sequence<detail::kCosSteps - 1>{});
    return {with_sign(sine, reduced.remainder_negative), static_cast<int64_t>(cosine)};
}

// Quadrant n: sine is s, c, -s, -c and cosine is c, -s, -c, s for n = 0 ... 3.
// Both series are always summed (their chains run side by side) and the
// choice is a mask, so the quadrant never steers a branch.
inline int64_t choose(uint64_t take_second, int64_t first, int64_t second) noexcept {
    const uint64_t mask = 0 - take_second;
    return static_cast<int64_t>((static_cast<uint64_t>(first) & ~mask) | (static_cast<uint64_t>(second) & mask));
}

inline double sine_in_quadrant(const SineCosine &sc, uint32_t n) noexcept {
    return from_q61(with_sign(static_cast<uint64_t>(choose(n & 1, sc.sine, sc.cosine)), (n & 2) != 0));
}

inline double cosine_in_quadrant(const SineCosine &sc, uint32_t n) noexcept {
    return from_q61(with_sign(static_cast<uint64_t>(choose(n & 1, sc.cosine, sc.sine)), ((n + 1) & 2) != 0));
}

// ---- the functions -----------------------------------------------------------

inline constexpr double kExpOverflowAbove = 709.782712893384;   // 0x40862E42FEFA39EF
inline constexpr double kExpUnderflowBelow = -745.2;            // 0xC08749999999999A
inline constexpr double kLog2E = 1.4426950408889634;            // 0x3FF71547652B82FE
inline constexpr double kLn2High = 0.6931471803691238;          // 0x3FE62E42FEE00000
inline constexpr double kLn2Low = 1.9082149292705877e-10;       // 0x3DEA39EF35793C76
inline constexpr double kSqrt2 = 1.4142135623730951;            // 0x3FF6A09E667F3BCD
inline constexpr double kAtanSeriesLimit = 0.41421356237309515; // 0x3FDA827999FCEF34
inline constexpr double kAtanShiftedLimit = 2.414213562373095;  // 0x4003504F333F9DE6
inline constexpr double kQuarterPi = 0.7853981633974483;
inline constexpr double kHalfPi = 1.5707963267948966;
inline constexpr double kPi = 3.141592653589793;
inline constexpr double kInfinity = __builtin_inf();

// The decimal constants are exactly these doubles.
static_assert(std::bit_cast<uint64_t>(kExpOverflowAbove) == 0x40862E42FEFA39EF);
static_assert(std::bit_cast<uint64_t>(kExpUnderflowBelow) == 0xC08749999999999A);
static_assert(std::bit_cast<uint64_t>(kLog2E) == 0x3FF71547652B82FE);
static_assert(std::bit_cast<uint64_t>(kLn2High) == 0x3FE62E42FEE00000);
static_assert(std::bit_cast<uint64_t>(kLn2Low) == 0x3DEA39EF35793C76);
static_assert(std::bit_cast<uint64_t>(kSqrt2) == 0x3FF6A09E667F3BCD);
static_assert(std::bit_cast<uint64_t>(kAtanSeriesLimit) == 0x3FDA827999FCEF34);
static_assert(std::bit_cast<uint64_t>(kAtanShiftedLimit) == 0x4003504F333F9DE6);
static_assert(std::bit_cast<uint64_t>(kQuarterPi) == 0x3FE921FB54442D18);
static_assert(std::bit_cast<uint64_t>(kHalfPi) == 0x3FF921FB54442D18);
static_assert(std::bit_cast<uint64_t>(kPi) == 0x400921FB54442D18);

// e^x: NaN comes back unchanged, +inf above 709.78..., +0.0 below -745.2.
[[gnu::cold]] inline double exp_outside_range(double x) noexcept {
    if (x != x) return x;
    return x > 0 ? kInfinity : 0.0;
}

// k, the multiple of ln 2 taken out of x, as a double: t = x log2 e rounded
// half away from zero after t + 0.5 (or t - 0.5) has itself been rounded.
// Rounding to nearest with the 1.5 2^52 shifter stays in the floating-point
// registers and gives the same integer, except where t is half way between
// two integers, or is the double just inside 1/2 in magnitude (which
// t + 0.5 rounds up to 1); t then lies at least 1/2 - 2^-54 from the nearest
// integer (t - nearest is exact), and those arguments take the conversion.
inline constexpr double kRoundingShifter = 0x1.8p52;
inline constexpr double kHalfLessUlp = 0x1.fffffffffffffp-2;

[[gnu::cold, gnu::noinline]] inline double exp_multiple_at_half(double x, double t) noexcept {
    return static_cast<double>(static_cast<int32_t>(t + half_away_from_zero(x)));
}

inline double exp_multiple(double x, double t) noexcept {
    const double nearest = (t + kRoundingShifter) - kRoundingShifter;
    if (__builtin_expect(detail::abs_of(t - nearest) >= kHalfLessUlp, 0)) return exp_multiple_at_half(x, t);
    return nearest;
}

// The reduction r = (x - k ln2_high) - k ln2_low is formed scaled by 2^61:
// every operand is scaled exactly and no intermediate is subnormal, so each
// rounding is the same, and 2^61 |r| + 0.5 needs no multiplication of its own.
inline constexpr double kLn2HighQ61 = kLn2High * kTwoPow61;
inline constexpr double kLn2LowQ61 = kLn2Low * kTwoPow61;

// From k >= -961 on, 2^(k - 61) is a normal double and so is the result
// (the sum is at least 0.7 2^61), so double(sum) 2^-61 2^h 2^(k - h) is one
// exact multiplication; below, the two-step scaling rounds into the subnormals.
inline constexpr int kExpSingleScalingFrom = -961;

[[gnu::cold, gnu::noinline]] inline double exp_scale_small(double value, int k) noexcept {
    const int h = k / 2;
    return value * power_of_two(h - 61) * power_of_two(k - h);
}

inline double fixed_exp(double x) noexcept {
    if (!(x >= kExpUnderflowBelow && x <= kExpOverflowAbove)) return exp_outside_range(x);
    const double kd = exp_multiple(x, x * kLog2E);
    const int k = static_cast<int32_t>(kd);
    const double r_scaled = (x * kTwoPow61 - kd * kLn2HighQ61) - kd * kLn2LowQ61;
    const auto r_magnitude = static_cast<uint64_t>(static_cast<int64_t>(detail::abs_of(r_scaled) + 0.5));
    const double value = static_cast<double>(detail::exp_series(r_magnitude, r_scaled < 0));
    if (__builtin_expect(k < kExpSingleScalingFrom, 0)) return exp_scale_small(value, k);
    return value * power_of_two(k - 61);
}

// ln x for x > 0 finite; other arguments give NaN (x < 0, written as the
// quiet NaN 0x7FF8000000000000), -inf (x = +-0), or x itself (NaN, +inf).
[[gnu::cold]] inline double log_outside_domain(double x) noexcept {
    if (x != x || x > 0) return x;
    if (x == 0) return -kInfinity;
    return quiet_nan();
}

// ln x for a normal x (times 2^-shift, for a subnormal lifted by 2^shift).
// With f the significand in [1, 2), the reduction takes c = 1, or c = 2 where
// f >= sqrt 2 (f/2 - 1 and f/2 + 1 are (f - 2)/2 and (f + 2)/2 exactly, so
// s = (f/2 - 1)/(f/2 + 1) is (f - 2)/(f + 2)). The numerator is formed scaled
// by 2^61 (f - c is exact either way), which makes the quotient 2^61 s with
// the same rounding. The choices stay in the floating-point registers; the
// exponent's own copy of the test is an integer comparison beside them.
inline double log_of_normal(double x, int shift) noexcept {
    const uint64_t bits = detail::bits_of(x);
    const uint64_t root_two_fraction = detail::bits_of(kSqrt2) & detail::kFractionMask;
    const int halve = (bits & detail::kFractionMask) >= root_two_fraction;
    const int e = static_cast<int>(bits >> 52) - 1023 - shift + halve;
    const double f = fraction_times(x, 1.0);
    const Condition below_root_two = less_than(f, kSqrt2);
    const double numerator = fraction_times(x, kTwoPow61) - choose(below_root_two, kTwoPow61, 2 * kTwoPow61);
    const double s_scaled = numerator / (f + choose(below_root_two, 1.0, 2.0));
    const uint64_t sum = detail::log_series_magnitude(static_cast<uint64_t>(static_cast<int64_t>(detail::abs_of(s_scaled) + 0.5)),
                                                      std::make_index_sequence<detail::kLogSteps>{});
    // double(2 sum) 2^-61 with the sign of s, as one exact multiplication (s is
    // never -0.0: f - 1 is +0.0 at f = 1, and f - 2 is never zero).
    const double unit = choose(less_than(numerator, 0.0), -0x1p-60, 0x1p-60);
    const double ed = detail::small_integer_to_double(e);
    return (static_cast<double>(sum) * unit + ed * kLn2Low) + ed * kLn2High;
}

// A subnormal's fraction is shifted until bit 52 is set, which is what
// multiplying by 2^54 does exactly: the product's fraction is the shifted one
// and its exponent is 54 higher.
[[gnu::cold, gnu::noinline]] inline double log_of_subnormal(double x) noexcept { return log_of_normal(x * 0x1p54, 54); }

inline double fixed_log(double x) noexcept {
    const uint64_t bits = detail::bits_of(x);
    if (bits - 1 >= 0x7FEFFFFFFFFFFFFF) return log_outside_domain(x); // not in (0, +inf)
    if (__builtin_expect(bits < detail::kHiddenBit, 0)) return log_of_subnormal(x);
    return log_of_normal(x, 0);
}

// sign times arctan a, for a >= 0 (not NaN) and sign = +-1. arctan a is the
// series of a, pi/4 plus or minus the series of |w| with w = (a - 1)/(a + 1),
// or pi/2 minus the series of 1/a. The three arguments come from one
// division, a / 1 being exact, with the numerator scaled by 2^61 (exactly,
// and a - 1 is formed as 2^61 a - 2^61), so the quotient is 2^61 t with the
// same rounding. The quotient t carries the sign the series takes: a >= 0,
// w itself, and -1/a (the same magnitude as 1/a) where the series is
// subtracted from pi/2. So the signed series is copysign(series, t):
// 0.0 + series is the series itself, pi/4 - series(-w) is pi/4 + (-series),
// and at a = +inf, -1/a = -0.0 leaves pi/2 + (-0.0) = pi/2. Negating both
// terms of a sum negates the rounded sum, so the sign is applied to the base
// and to the series' scale while the series is still being summed.
inline double signed_atan_of_magnitude(double a, double sign) noexcept {
    const Condition near_zero = less_equal(a, kAtanSeriesLimit);
    const Condition near_one = less_than(a, kAtanShiftedLimit);
    const double a_scaled = a * kTwoPow61;
    const double numerator = choose(near_zero, a_scaled, choose(near_one, a_scaled - kTwoPow61, -kTwoPow61));
    const double denominator = choose(near_zero, 1.0, choose(near_one, a + 1, a));
    const double t_scaled = numerator / denominator;
    const uint64_t series =
        detail::q61_atan_series(static_cast<uint64_t>(static_cast<int64_t>(detail::abs_of(t_scaled) + 0.5)));
    const double base = choose(near_zero, 0.0, choose(near_one, kQuarterPi, kHalfPi)) * sign;
    const double unit = __builtin_copysign(kTwoPowMinus61, numerator) * sign;
    return base + static_cast<double>(static_cast<int64_t>(series)) * unit;
}

// -v for x < 0: v >= 0, so that is v with the sign of x, except that -0.0
// (not below zero) must keep +v; x + 0.0 turns -0.0 into +0.0 and leaves
// every other sign alone.
inline double fixed_atan(double x) noexcept {
    if (x != x) return x;
    return signed_atan_of_magnitude(detail::abs_of(x), __builtin_copysign(1.0, x + 0.0));
}

// Past the axes: v for x > 0, v + pi for x < 0 and y >= 0, v - pi for x < 0
// and y < 0. Adding -0.0 leaves every v as it is, a zero of either sign included.
inline double fixed_atan2(double y, double x) noexcept {
    if (x == 0) return y > 0 ? kHalfPi : y < 0 ? -kHalfPi : 0.0;
    const double q = y / x;
    if (q != q) return y != y || x != x ? q : quiet_nan(); // both infinite: the quotient is made here
    const double v = signed_atan_of_magnitude(detail::abs_of(q), __builtin_copysign(1.0, q + 0.0)); // -v for q < 0
    return v + choose(less_than(0.0, x), -0.0, choose(less_equal(0.0, y), kPi, -kPi));
}

// sin x and cos x; for an infinity, NaN or |x| >= 2^55 both are x - x
// (the library's quiet NaN for an infinity, the argument's NaN for a NaN,
// +0.0 for a large finite x).
struct SinCos {
    double sine;
    double cosine;
};

inline SinCos fixed_sincos(double x) noexcept {
    Quadrant reduced;
    if (!reduce_quadrant(x, reduced)) return {self_difference(x), self_difference(x)};
    const SineCosine sc = q61_sin_cos_series(reduced);
    return {sine_in_quadrant(sc, reduced.number), cosine_in_quadrant(sc, reduced.number)};
}

inline double fixed_sin(double x) noexcept {
    Quadrant reduced;
    if (!reduce_quadrant(x, reduced)) return self_difference(x);
    return sine_in_quadrant(q61_sin_cos_series(reduced), reduced.number);
}

inline double fixed_cos(double x) noexcept {
    Quadrant reduced;
    if (!reduce_quadrant(x, reduced)) return self_difference(x);
    return cosine_in_quadrant(q61_sin_cos_series(reduced), reduced.number);
}

} // namespace kelvra::elementary
