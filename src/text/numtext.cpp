// Locale-free "%.17g", "%lld", strtod and strtoll.
//
// "%.17g" is computed directly: the double is scaled by a 128-bit power of ten
// so that its 17 significant digits form the integer part, and the fraction
// decides the rounding (ties to even, as glibc's printf does in the default
// rounding mode). When the truncation error of an inexact power leaves the
// rounding undecided (a fraction within 2^-70 of one half; practically never),
// std::to_chars, which computes "%.17g" exactly, gives the answer.
//
// Parsing reads the token's digits into a 64-bit decimal significand w (at most
// 19 significant digits) and a power of ten q, then rounds w * 10^q once:
// exactly in double arithmetic when w <= 2^53 and |q| <= 22 (both operands are
// exact doubles, so the one multiplication or division rounds correctly),
// otherwise with a 128-bit product of w and a truncated power of five (the
// Eisel-Lemire method). The product is within a few units of its last bit of
// the true value, which decides the rounding except when those bits sit right
// at a rounding boundary; that case, and a token with more than 19 significant
// digits whose bounds w and w + 1 round apart, go to std::from_chars, which is
// correctly rounded for any length. Only the grammar differences from strtod
// and the range errors are handled around it.
#include "text/numtext.hpp"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

#include "text/decimal_round.hpp"
#include "text/digit_word.hpp"
#include "text/pow10_table.hpp"

namespace kelvra::text {
namespace {

using u128 = unsigned __int128;

constexpr uint64_t ten_pow16 = 10000000000000000u;
constexpr uint64_t ten_pow17 = 100000000000000000u;

constexpr char digit_pairs[] = "00010203040506070809"
                               "10111213141516171819"
                               "20212223242526272829"
                               "30313233343536373839"
                               "40414243444546474849"
                               "50515253545556575859"
                               "60616263646566676869"
                               "70717273747576777879"
                               "80818283848586878889"
                               "90919293949596979899";

// The four digits of v < 10^4.
void write_4_digits(uint32_t v, char *out) noexcept {
    std::memcpy(out, digit_pairs + 2 * (v / 100), 2);
    std::memcpy(out + 2, digit_pairs + 2 * (v % 100), 2);
}

// The eight digits of v < 10^8.
void write_8_digits(uint32_t v, char *out) noexcept {
    write_4_digits(v / 10000, out);
    write_4_digits(v % 10000, out + 4);
}

// Writes v < 10^8 without leading zeros ("0" for 0); returns the digit count.
size_t write_leading_digits(uint32_t v, char *out) noexcept {
    const size_t count = v < 10000 ? (v < 100 ? (v < 10 ? 1 : 2) : (v < 1000 ? 3 : 4))
                                   : (v < 1000000 ? (v < 100000 ? 5 : 6) : (v < 10000000 ? 7 : 8));
    char *end = out + count;
    while (v >= 100) {
        end -= 2;
        std::memcpy(end, digit_pairs + 2 * (v % 100), 2);
        v /= 100;
    }
    if (v >= 10) std::memcpy(out, digit_pairs + 2 * v, 2);
    else out[0] = static_cast<char>('0' + v);
    return count;
}

// The 17 digits of n (10^16 <= n < 10^17).
void write_17_digits(uint64_t n, char *out) noexcept {
    const uint64_t high = n / 100000000u; // 9 digits
    const auto low = static_cast<uint32_t>(n % 100000000u);
    out[0] = static_cast<char>('0' + high / 100000000u);
    write_8_digits(static_cast<uint32_t>(high % 100000000u), out + 1);
    write_8_digits(low, out + 9);
}

// A finite, non-zero double rounded to 17 significant digits:
// value ~ digits * 10^(exponent - 16), 10^16 <= digits < 10^17.
struct Decimal17 {
    uint64_t digits;
    int exponent;
};

enum class Rounding { down, up, undecided };

// Scales m * 2^e by 10^k: the integer part and the rounding of the fraction.
struct Scaled {
    uint64_t integer;
    Rounding rounding;
};

Scaled scale_by_pow10(uint64_t m, int e, int k) noexcept {
    const pow10::Significand128 c = pow10::table[k - pow10::pow10_min];
    // P = m * c, 181 bits at most: high part B (above bit 64) and low word.
    const u128 low_product = static_cast<u128>(m) * c.lo;
    const u128 high = static_cast<u128>(m) * c.hi + (low_product >> 64);
    const uint64_t low_word = static_cast<uint64_t>(low_product);
    // The value is P * 2^-s; 67 <= s <= 128 for every finite double and its k.
    const int s = -(e + pow10::binary_exponent(k));
    const int high_shift = s - 64;
    const uint64_t integer = static_cast<uint64_t>(high >> high_shift);
    const u128 high_fraction = high_shift == 64 ? high : high & ((static_cast<u128>(1) << high_shift) - 1);
    const u128 fraction = (high_fraction << 64) | low_word;
    const u128 half = static_cast<u128>(1) << (s - 1);
    const bool exact = k >= 0 && k <= pow10::exact_max;
    // The true fraction lies in [fraction, fraction + m) when c is truncated.
    if (fraction > half) return {integer, Rounding::up};
    if (exact) {
        if (fraction < half) return {integer, Rounding::down};
        return {integer, (integer & 1) != 0 ? Rounding::up : Rounding::down};
    }
    if (half - fraction >= m) return {integer, Rounding::down};
    return {integer, Rounding::undecided};
}

// Rounds magnitude = m * 2^e (m != 0) to 17 significant digits; false when
// undecided.
bool round_to_17_digits(double magnitude, uint64_t m, int e, Decimal17 &out) noexcept {
    const int binary_log = 63 - __builtin_clzll(m) + e; // floor(log2(magnitude))
    // floor(binary_log * log10(2)) is floor(log10(magnitude)) or one less.
    int exponent = static_cast<int>((binary_log * 78913) >> 18);
    if (magnitude >= pow10::threshold[exponent + 1 - pow10::threshold_min]) ++exponent;
    const Scaled scaled = scale_by_pow10(m, e, 16 - exponent);
    if (scaled.rounding == Rounding::undecided) return false;
    uint64_t digits = scaled.integer + (scaled.rounding == Rounding::up ? 1 : 0);
    if (digits == ten_pow17) {
        digits = ten_pow16;
        ++exponent;
    }
    out = {digits, exponent};
    return true;
}

size_t copy_text(const char *text, size_t length, char *out) noexcept {
    std::memcpy(out, text, length);
    return length;
}

size_t format_non_finite(double value, bool negative, char *out) noexcept {
    char *p = out;
    if (negative) *p++ = '-';
    p += std::isnan(value) ? copy_text("nan", 3, p) : copy_text("inf", 3, p);
    return static_cast<size_t>(p - out);
}

// The "%g" layout of 17 digits with decimal exponent x (after rounding).
size_t layout_general(const char *digits, int x, char *out) noexcept {
    int significant = 17;
    while (significant > 1 && digits[significant - 1] == '0') --significant;
    char *p = out;
    if (x < -4 || x >= 17) {
        *p++ = digits[0];
        if (significant > 1) {
            *p++ = '.';
            p += copy_text(digits + 1, static_cast<size_t>(significant - 1), p);
        }
        *p++ = 'e';
        *p++ = x < 0 ? '-' : '+';
        const int magnitude = x < 0 ? -x : x;
        if (magnitude >= 100) *p++ = static_cast<char>('0' + magnitude / 100);
        p += copy_text(digit_pairs + 2 * (magnitude % 100), 2, p);
    } else if (x >= 0) {
        const int integer_digits = x + 1;
        p += copy_text(digits, static_cast<size_t>(integer_digits), p);
        if (significant > integer_digits) {
            *p++ = '.';
            p += copy_text(digits + integer_digits, static_cast<size_t>(significant - integer_digits), p);
        }
    } else {
        *p++ = '0';
        *p++ = '.';
        for (int i = -1; i > x; --i) *p++ = '0';
        p += copy_text(digits, static_cast<size_t>(significant), p);
    }
    return static_cast<size_t>(p - out);
}

size_t format_double_exactly(double value, char *out) noexcept {
    const std::to_chars_result r = std::to_chars(out, out + double_text_max, value, std::chars_format::general, 17);
    return r.ec == std::errc() ? static_cast<size_t>(r.ptr - out) : 0;
}

constexpr bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// Whether the decimal number [begin, end) (digits, an optional '.', an
// optional well-formed exponent; no sign) is at least 1 in magnitude, given
// that it is not zero. Used only to tell overflow from underflow.
bool magnitude_at_least_one(const char *begin, const char *end) noexcept {
    const char *p = begin;
    int64_t position = 0; // decimal exponent of the first non-zero digit
    bool found = false;
    int64_t integer_digits = 0;
    while (p != end && is_digit(*p)) {
        if (found || *p != '0') {
            found = true;
            ++integer_digits;
        }
        ++p;
    }
    if (found) {
        position = integer_digits - 1;
    } else if (p != end && *p == '.') {
        ++p;
        int64_t zeros = 0;
        while (p != end && *p == '0') {
            ++zeros;
            ++p;
        }
        position = -(zeros + 1);
    }
    while (p != end && (is_digit(*p) || *p == '.')) ++p;
    int64_t exponent = 0;
    if (p != end && (*p == 'e' || *p == 'E')) {
        ++p;
        bool negative = false;
        if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
        while (p != end && is_digit(*p)) {
            if (exponent < 1000000000) exponent = exponent * 10 + (*p - '0');
            ++p;
        }
        if (negative) exponent = -exponent;
    }
    return position + exponent >= 0;
}

// --- Decimal text to double ---

// A decimal number w * 10^q; truncated when nonzero digits after the 19 kept
// in w were dropped (the true value then lies strictly between w * 10^q and
// (w + 1) * 10^q).
struct Decimal {
    uint64_t significand;
    int64_t exponent;
    bool truncated;
};

constexpr int max_significant_digits = 19; // 10^19 - 1 < 2^64

// Up to eight bytes from p, first byte lowest, never reading outside
// [begin, end); bytes past end read as 0. A token of eight bytes or more is
// read with one load that ends at end.
uint64_t load_up_to_8(const char *begin, const char *p, const char *end) noexcept {
    const auto left = static_cast<size_t>(end - p);
    uint64_t word = 0;
    if (left >= 8) {
        std::memcpy(&word, p, 8);
    } else if (end - begin >= 8) {
        std::memcpy(&word, end - 8, 8);
        word = (word >> (8 * (7 - left))) >> 8;
    } else {
        for (size_t i = 0; i < left; ++i) word |= static_cast<uint64_t>(static_cast<uint8_t>(p[i])) << (8 * i);
    }
    return word;
}

// Appends the run of digits at p to significand, eight at a time (modulo
// 2^64: a run that makes it longer than 19 digits is read again by
// read_long_significand) and returns the end of the run.
inline const char *append_digits(const char *begin, const char *p, const char *end, uint64_t &significand) noexcept {
    for (;;) {
        const uint64_t word = load_up_to_8(begin, p, end);
        const auto count = static_cast<unsigned>(std::countr_zero(digit_word::non_digit_marks(word))) >> 3;
        significand = significand * digit_word::powers_of_ten[count] + digit_word::leading_digits_value(word, count);
        p += count;
        if (count < 8) return p;
    }
}

// The first 19 significant digits of the integer digits [int_begin, int_end)
// and fraction digits [fraction_begin, fraction_end), the exponent that goes
// with them, and whether a nonzero digit was dropped.
Decimal read_long_significand(const char *int_begin, const char *int_end, const char *fraction_begin,
                              const char *fraction_end) noexcept {
    Decimal d{0, 0, false};
    int kept = 0;
    for (const char *p = int_begin; p != int_end; ++p) {
        if (kept == max_significant_digits) {
            ++d.exponent;
            d.truncated |= *p != '0';
        } else if (d.significand != 0 || *p != '0') {
            d.significand = d.significand * 10 + static_cast<uint64_t>(*p - '0');
            ++kept;
        }
    }
    for (const char *p = fraction_begin; p != fraction_end; ++p) {
        if (kept == max_significant_digits) {
            d.truncated |= *p != '0';
            continue;
        }
        --d.exponent;
        if (d.significand != 0 || *p != '0') {
            d.significand = d.significand * 10 + static_cast<uint64_t>(*p - '0');
            ++kept;
        }
    }
    return d;
}

// The value of an exponent part at p ('e' or 'E', an optional sign, at least
// one digit), capped far beyond any double's range; 0 when p holds none, as
// strtod then stops before the 'e'.
int64_t read_exponent(const char *p, const char *end) noexcept {
    if (p == end || (*p != 'e' && *p != 'E')) return 0;
    ++p;
    const bool negative = p != end && *p == '-';
    if (p != end && (*p == '+' || *p == '-')) ++p;
    constexpr int64_t cap = int64_t{1} << 40;
    int64_t value = 0;
    for (; p != end && is_digit(*p); ++p) {
        if (value < cap) value = value * 10 + (*p - '0');
    }
    return negative ? -value : value;
}

// Reads the decimal number strtod accepts at p (digits, an optional fraction,
// an optional exponent; no sign). begin is the start of the token, which may
// be read too. False when there is no digit before the exponent.
bool read_decimal(const char *begin, const char *p, const char *end, Decimal &out) noexcept {
    // Integer parts are mostly short: one digit at a time.
    uint64_t significand = 0;
    const char *const int_begin = p;
    for (; p != end && is_digit(*p); ++p) significand = significand * 10 + static_cast<uint64_t>(*p - '0');
    const char *const int_end = p;
    const char *fraction_begin = int_end;
    const char *fraction_end = int_end;
    if (int_end != end && *int_end == '.') {
        fraction_begin = int_end + 1;
        fraction_end = append_digits(begin, fraction_begin, end, significand);
    }
    const auto digits = static_cast<size_t>((int_end - int_begin) + (fraction_end - fraction_begin));
    if (digits == 0) return false;
    const int64_t exponent = read_exponent(fraction_end, end);
    if (digits <= static_cast<size_t>(max_significant_digits)) {
        out = {significand, exponent - (fraction_end - fraction_begin), false};
    } else {
        out = read_long_significand(int_begin, int_end, fraction_begin, fraction_end);
        out.exponent += exponent;
    }
    return true;
}

// The bits of the correctly rounded magnitude of d; false when only an exact
// conversion of the full text can decide.
bool decimal_to_bits(const Decimal &d, uint64_t &bits) noexcept {
    if (d.significand == 0) { // no nonzero digit at all
        bits = 0;
        return true;
    }
    if (!d.truncated) return decimal_round::exact_decimal_to_bits(d.significand, d.exponent, bits);
    if (!decimal_round::round_decimal(d.significand, d.exponent, bits)) return false;
    // The true value lies strictly between the two bounds; when both round to
    // the same double, so does it.
    uint64_t upper_bits;
    return decimal_round::round_decimal(d.significand + 1, d.exponent, upper_bits) && upper_bits == bits;
}

// The exact conversion of the unsigned decimal text at p, by std::from_chars,
// with strtod's range results.
double parse_double_exactly(const char *p, const char *end, bool negative) noexcept {
    double value = 0.0;
    const std::from_chars_result r = std::from_chars(p, end, value, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        // Beyond the double range, strtod gives ±HUGE_VAL; below it, ±0.
        value = magnitude_at_least_one(p, r.ptr) ? HUGE_VAL : 0.0;
    } else if (r.ec != std::errc()) {
        return 0.0; // nothing convertible ("." or ".e5")
    }
    return negative ? -value : value;
}

} // namespace

size_t format_double(double value, char *out) noexcept {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const bool negative = (bits >> 63) != 0;
    const int biased_exponent = static_cast<int>((bits >> 52) & 0x7FF);
    const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
    if (biased_exponent == 0x7FF) return format_non_finite(value, negative, out);
    char *p = out;
    if (negative) *p++ = '-';
    if (biased_exponent == 0 && fraction == 0) {
        *p++ = '0';
        return static_cast<size_t>(p - out);
    }
    const uint64_t m = biased_exponent == 0 ? fraction : fraction | (uint64_t{1} << 52);
    const int e = (biased_exponent == 0 ? 1 : biased_exponent) - 1075;
    Decimal17 decimal;
    if (!round_to_17_digits(negative ? -value : value, m, e, decimal)) return format_double_exactly(value, out);
    char digits[17];
    write_17_digits(decimal.digits, digits);
    p += layout_general(digits, decimal.exponent, p);
    return static_cast<size_t>(p - out);
}

size_t format_int(int64_t value, char *out) noexcept {
    char *p = out;
    uint64_t magnitude = static_cast<uint64_t>(value);
    if (value < 0) {
        *p++ = '-';
        magnitude = 0 - magnitude;
    }
    // Blocks of eight digits below the leading group, as in "%lld".
    constexpr uint64_t ten_pow8 = 100000000u;
    if (magnitude < ten_pow8) {
        p += write_leading_digits(static_cast<uint32_t>(magnitude), p);
        return static_cast<size_t>(p - out);
    }
    if (magnitude < ten_pow16) {
        p += write_leading_digits(static_cast<uint32_t>(magnitude / ten_pow8), p);
    } else {
        p += write_leading_digits(static_cast<uint32_t>(magnitude / ten_pow16), p);
        write_8_digits(static_cast<uint32_t>(magnitude / ten_pow8 % ten_pow8), p);
        p += 8;
    }
    write_8_digits(static_cast<uint32_t>(magnitude % ten_pow8), p);
    return static_cast<size_t>(p + 8 - out);
}

double parse_double_prefix(const char *begin, const char *end) noexcept {
    const char *p = begin;
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    // strtod takes no second sign ("--5", "+-5" convert nothing).
    if (p == end || !(is_digit(*p) || *p == '.')) return 0.0;
    Decimal decimal;
    if (!read_decimal(begin, p, end, decimal)) return 0.0; // nothing convertible ("." or ".e5")
    uint64_t bits;
    if (!decimal_to_bits(decimal, bits)) return parse_double_exactly(p, end, negative);
    bits |= static_cast<uint64_t>(negative) << 63;
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

int64_t parse_int_prefix(const char *begin, const char *end) noexcept {
    const char *p = begin;
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    // Accumulate the magnitude as unsigned; the limit is 2^63 - 1 or 2^63.
    const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    uint64_t magnitude = 0;
    bool clamped = false;
    for (; p != end && is_digit(*p); ++p) {
        const uint64_t digit = static_cast<uint64_t>(*p - '0');
        if (clamped || magnitude > (limit - digit) / 10) {
            clamped = true;
            continue;
        }
        magnitude = magnitude * 10 + digit;
    }
    if (clamped) magnitude = limit;
    return negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
}

} // namespace kelvra::text
