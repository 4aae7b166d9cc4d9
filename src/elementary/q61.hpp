// Q61 fixed point: a signed 64-bit integer n stands for n / 2^61 (range -4
// to just under 4, one unit is 2^-61). The elementary functions evaluate
// their series in it, so every processor produces the same bits; kernels that
// call those functions in their inner loops share these helpers.
//
// Besides the general signed product, the series use two faster forms that
// give the same integers on their stated domains:
//  - the product of non-negative values with one factor scaled by 8 ahead of
//    time: floor(a b / 2^61) = floor(a (8 b) / 2^64), the high word alone;
//  - division by a constant divisor as a multiplication by its reciprocal,
//    with a compile-time proof that the quotient is the truncated quotient
//    for every dividend the caller can produce.
#pragma once

#include <bit>
#include <cstdint>

namespace kelvra::elementary {

__extension__ typedef unsigned __int128 u128;

inline constexpr int64_t kQ61One = int64_t{1} << 61;
inline constexpr double kTwoPow61 = 0x1p61;
inline constexpr double kTwoPowMinus61 = 0x1p-61;

// pi/2 in Q61 (0x3243F6A8885A308D).
inline constexpr int64_t kHalfPiQ61 = 0x3243F6A8885A308D;

inline constexpr uint64_t magnitude(int64_t v) noexcept {
    return v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
}

// Gives a magnitude the sign `negative` (two's complement), without a branch.
inline constexpr int64_t with_sign(uint64_t m, bool negative) noexcept {
    const uint64_t mask = 0 - static_cast<uint64_t>(negative);
    return static_cast<int64_t>((m ^ mask) - mask);
}

// The Q61 product: the exact 128-bit product of |a| and |b| shifted right by
// 61 bits (truncating the magnitude), negated when the signs differ.
inline constexpr int64_t q61_mul(int64_t a, int64_t b) noexcept {
    const uint64_t m = static_cast<uint64_t>((static_cast<u128>(magnitude(a)) * magnitude(b)) >> 61);
    return with_sign(m, (a < 0) != (b < 0));
}

// q61_mul of non-negative a and b given as b_times_8 = 8 b (< 2^64).
inline constexpr uint64_t q61_mul_scaled(uint64_t a, uint64_t b_times_8) noexcept {
    return static_cast<uint64_t>((static_cast<u128>(a) * b_times_8) >> 64);
}

// 0.5 with the sign bit of x: the half that rounds x away from zero when
// added before truncation. (For -0.0 it is -0.5, which truncates to 0 just
// as +0.5 does.) The compiler expands the builtin into two bit operations
// on the register, with no branch and no call.
inline double half_away_from_zero(double x) noexcept { return __builtin_copysign(0.5, x); }

// Double to Q61 as done in double arithmetic: x 2^61, then + 0.5 (- 0.5 for
// a negative value), then truncation toward zero; |x| < 4.
inline int64_t to_q61(double x) noexcept {
    const double scaled = x * kTwoPow61;
    return static_cast<int64_t>(scaled + half_away_from_zero(scaled));
}

// The same for x >= 0, where only + 0.5 is added. Also |to_q61(x)| for any x:
// negation commutes exactly with the scaling, the addition and truncation.
inline uint64_t to_q61_nonnegative(double x) noexcept {
    return static_cast<uint64_t>(static_cast<int64_t>(x * kTwoPow61 + 0.5));
}

// Q61 to double: the integer rounded to nearest, then scaled exactly.
inline double from_q61(int64_t n) noexcept { return static_cast<double>(n) * kTwoPowMinus61; }

// 2^e for -1022 <= e <= 1023, built from its exponent field.
inline double power_of_two(int e) noexcept { return std::bit_cast<double>(static_cast<uint64_t>(e + 1023) << 52); }

// floor(x / d) for every x <= x_max, as the high word of x M shifted by s.
//
// With M = ceil(2^(64+s) / d) and e = M d - 2^(64+s) (0 <= e < d),
// x M / 2^(64+s) = x/d + x e / (d 2^(64+s)). Writing x = q d + rho with
// rho <= d - 1, the value is q + (rho + x e / 2^(64+s)) / d, which stays below
// q + 1 whenever x e < 2^(64+s). The smallest s for which that holds at x_max
// (and M still fits in 64 bits) is chosen at compile time; a divisor without
// such an s does not compile. Powers of two are plain shifts.
template <uint64_t d, uint64_t x_max>
struct ConstantDivisor {
    static_assert(d >= 1 && d < (uint64_t{1} << 32));

    struct Reciprocal {
        uint64_t multiplier;
        int shift;
        bool found;
    };

    static constexpr bool power_of_two_divisor = (d & (d - 1)) == 0;

    static constexpr Reciprocal find() noexcept {
        for (int s = 0; s < 63; ++s) {
            const u128 scale = static_cast<u128>(1) << (64 + s);
            const u128 m = (scale + d - 1) / d;
            if (m >> 64) break;
            const u128 excess = m * d - scale;
            if (static_cast<u128>(x_max) * excess < scale) return {static_cast<uint64_t>(m), s, true};
        }
        return {0, 0, false};
    }

    static constexpr Reciprocal reciprocal = find();
    static_assert(power_of_two_divisor || reciprocal.found, "no exact reciprocal for this divisor and range");

    static constexpr int log2_d = std::countr_zero(d);

    static constexpr uint64_t divide(uint64_t x) noexcept {
        if constexpr (power_of_two_divisor) {
            return x >> log2_d;
        } else {
            return static_cast<uint64_t>((static_cast<u128>(x) * reciprocal.multiplier) >> 64) >> reciprocal.shift;
        }
    }
};

} // namespace kelvra::elementary
