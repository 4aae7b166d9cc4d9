// Rounding a decimal number w * 10^q (w < 2^64) to the nearest double, ties
// to even: exactly in double arithmetic when w <= 2^53 and |q| <= 22 (both
// operands are exact doubles, so the one multiplication or division rounds
// correctly), otherwise by the Eisel-Lemire method over the 128-bit powers of
// pow10_table.hpp. Shared by the number-text reader and the JSON parser's
// one-pass number path, which inlines it.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "text/pow10_table.hpp"

namespace kelvra::text::decimal_round {

using u128 = unsigned __int128;

inline constexpr uint64_t positive_infinity_bits = uint64_t{0x7FF} << 52;
inline constexpr uint64_t max_exact_integer = uint64_t{1} << 53;
inline constexpr int max_exact_pow10 = 22; // 10^22 = 5^22 * 2^22 and 5^22 < 2^53

inline constexpr double exact_pow10[max_exact_pow10 + 1] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                     1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                     1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

inline uint64_t bits_of(double v) noexcept {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

// Whether Y or Y + 1 is a halfway point between two doubles, given that bit
// `round_bit` of Y is the first bit below the kept significand.
inline bool next_to_halfway(u128 y, int round_bit) noexcept {
    if (round_bit >= 128) return round_bit == 128 && y == ~u128{0}; // Y + 1 = 2^128
    const u128 half = u128{1} << round_bit;
    const u128 below = y & ((half << 1) - 1);
    return below == half || below == half - 1;
}

// A subnormal (or zero) from the 54/55-bit truncated significand with its
// rounding bit, of which `drop` more low bits are not kept. Ties cannot occur
// this far below 1, so the rounding bit alone decides.
inline uint64_t round_subnormal(uint64_t mantissa, int drop) noexcept {
    if (drop >= 64) return 0;
    mantissa >>= drop;
    mantissa += mantissa & 1;
    // Rounding up can reach the least normal double, whose exponent field is 1.
    return mantissa >> 1;
}

// The bits of the double nearest to w * 10^q (w != 0, ties to even) by the
// Eisel-Lemire method; false in the rare case the 128-bit product leaves the
// rounding undecided.
[[gnu::always_inline]] inline bool round_decimal(uint64_t w, int64_t q, uint64_t &bits) noexcept {
    if (q < pow10::pow10_min) { // w * 10^q < 10^-323: below half the least subnormal
        bits = 0;
        return true;
    }
    if (q > pow10::pow10_max) {
        bits = positive_infinity_bits;
        return true;
    }
    const int leading_zeros = std::countl_zero(w);
    w <<= leading_zeros;
    const pow10::Significand128 c = pow10::table[q - pow10::pow10_min];
    // Y = floor(w * c / 2^64), computed exactly (2^126 <= Y < 2^128). The
    // table truncates (c <= c' < c + 1 for the real significand c') and
    // w < 2^64, so the true w * 5^q on this scale lies in [Y, Y + 2); for
    // 0 <= q <= 55 (c exact) in [Y, Y + 1).
    const u128 product = static_cast<u128>(w) * c.hi + ((static_cast<u128>(w) * c.lo) >> 64);
    const auto high = static_cast<uint64_t>(product >> 64);
    const auto low = static_cast<uint64_t>(product);
    const auto upper_bit = static_cast<int>(high >> 63);
    const int shift = upper_bit + 9; // keeps 53 bits and the rounding bit
    int biased_exponent = pow10::binary_exponent(static_cast<int>(q)) + 127 + 63 + upper_bit - leading_zeros + 1023;
    const int drop = biased_exponent > 0 ? 0 : 1 - biased_exponent; // more bits a subnormal loses
    // Halfway points are integers on this scale, so only Y and Y + 1 can lie
    // between Y and the true value; if neither is one, Y rounds like the true
    // value. For 0 <= q <= 55 the only candidate is Y itself, which is then
    // exact (see the tie below) or, above q = 23, never a halfway point. The
    // rounding bit is at 2^73 or above, so low must be all zeros or all ones.
    if ((q < 0 || q > pow10::exact_max) && low + 1 <= 1 && next_to_halfway(product, 64 + shift + drop)) return false;
    uint64_t mantissa = high >> shift;
    if (drop > 0) {
        bits = round_subnormal(mantissa, drop);
        return true;
    }
    // An exact halfway point needs 5^q < 2^54 (q <= 23, where c is exact and
    // Y is the product itself); it rounds to even.
    if (q >= 0 && q <= 23 && low == 0 && (mantissa & 3) == 1 && (mantissa << shift) == high) mantissa &= ~uint64_t{1};
    mantissa += mantissa & 1;
    mantissa >>= 1;
    if (mantissa >= uint64_t{2} << 52) { // rounded up to the next power of two
        mantissa = uint64_t{1} << 52;
        ++biased_exponent;
    }
    if (biased_exponent >= 0x7FF) {
        bits = positive_infinity_bits;
        return true;
    }
    bits = (static_cast<uint64_t>(biased_exponent) << 52) | (mantissa & ((uint64_t{1} << 52) - 1));
    return true;
}

// The bits of the double nearest to w * 10^q for a w that holds every digit
// of its text (none dropped); false in the rare case only an exact conversion
// of the text can decide.
[[gnu::always_inline]] inline bool exact_decimal_to_bits(uint64_t w, int64_t q, uint64_t &bits) noexcept {
    if (w == 0) {
        bits = 0;
        return true;
    }
    if (w <= max_exact_integer && q >= -max_exact_pow10 && q <= max_exact_pow10) {
        const auto v = static_cast<double>(w);
        bits = bits_of(q < 0 ? v / exact_pow10[-q] : v * exact_pow10[q]);
        return true;
    }
    return round_decimal(w, q, bits);
}

// As exact_decimal_to_bits, by the 128-bit product alone. Text that mixes
// short and long significands (coordinates, measurements) mispredicts the
// choice of the double-arithmetic path more often than the product costs.
[[gnu::always_inline]] inline bool exact_decimal_to_bits_by_product(uint64_t w, int64_t q, uint64_t &bits) noexcept {
    if (w == 0) {
        bits = 0;
        return true;
    }
    return round_decimal(w, q, bits);
}

} // namespace kelvra::text::decimal_round
