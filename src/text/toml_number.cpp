// Decimal integers and floats of the TOML subset.
//
// Floats are converted by a fixed, simple procedure rather than a correctly
// rounded one, so that every build gives the same bits: the digits are
// accumulated as value = value * 10 + digit, the result divided once by 10^k
// for k fraction digits (as a product of tens), and an exponent applied by
// multiplying or dividing by 10.0 once per unit. Callers that need the nearest
// double to a long decimal should not rely on this reader.
#include "text/toml_scan.hpp"

namespace kelvra::text::toml_scan {

namespace {

constexpr uint64_t int64_max_magnitude = 9223372036854775807ull;
// Positive exponents beyond this give 4; the digits of any exponent are read
// with saturation, so a long one cannot overflow the accumulator.
constexpr uint32_t max_exponent = 308;
constexpr uint32_t exponent_ceiling = 1000000;

NumberValue fail(kelvra_status s) noexcept { return {s, false, 0, 0.0}; }

NumberValue convert_integer(const char *p, const char *end) noexcept {
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    if (p == end) return fail(KELVRA_ERR_DATA);
    for (const char *q = p; q != end; ++q) {
        if (!is_digit(static_cast<uint8_t>(*q))) return fail(KELVRA_ERR_DATA);
    }
    uint64_t magnitude = 0;
    for (; p != end; ++p) {
        const uint64_t digit = static_cast<uint64_t>(*p - '0');
        if (magnitude > (UINT64_MAX - digit) / 10) return fail(KELVRA_ERR_CAPACITY);
        magnitude = magnitude * 10 + digit;
    }
    if (magnitude > int64_max_magnitude + (negative ? 1 : 0)) return fail(KELVRA_ERR_CAPACITY);
    // Two's-complement negation in unsigned arithmetic covers INT64_MIN.
    const uint64_t bits = negative ? 0 - magnitude : magnitude;
    return {KELVRA_OK, false, static_cast<int64_t>(bits), 0.0};
}

NumberValue convert_float(const char *p, const char *end) noexcept {
    const double sign = *p == '-' ? -1.0 : 1.0;
    if (*p == '+' || *p == '-') ++p;
    double value = 0.0;
    double scale = 1.0;
    uint32_t digits = 0;
    for (; p != end && is_digit(static_cast<uint8_t>(*p)); ++p, ++digits) value = value * 10.0 + (*p - '0');
    if (p != end && *p == '.') {
        for (++p; p != end && is_digit(static_cast<uint8_t>(*p)); ++p, ++digits) {
            scale = scale * 10.0;
            value = value * 10.0 + (*p - '0');
        }
    }
    if (digits == 0) return fail(KELVRA_ERR_DATA);
    value = value * sign / scale;
    if (p == end) return {KELVRA_OK, true, 0, value};
    if (*p != 'e' && *p != 'E') return fail(KELVRA_ERR_DATA);
    ++p;
    const bool negative_exponent = p != end && *p == '-';
    if (p != end && (*p == '+' || *p == '-')) ++p;
    if (p == end) return fail(KELVRA_ERR_DATA);
    uint32_t exponent = 0;
    for (; p != end; ++p) {
        if (!is_digit(static_cast<uint8_t>(*p))) return fail(KELVRA_ERR_DATA);
        exponent = exponent * 10 + static_cast<uint32_t>(*p - '0');
        if (exponent > exponent_ceiling) exponent = exponent_ceiling;
    }
    if (negative_exponent) {
        // Once the value is zero further divisions leave it (and its sign)
        // unchanged, so the loop stops there: a huge negative exponent costs
        // a few hundred steps at most.
        for (uint32_t i = 0; i < exponent && value != 0.0; ++i) value = value / 10.0;
    } else {
        if (exponent > max_exponent) return fail(KELVRA_ERR_CAPACITY);
        for (uint32_t i = 0; i < exponent; ++i) value = value * 10.0;
    }
    return {KELVRA_OK, true, 0, value};
}

} // namespace

NumberValue convert_number(const char *text, size_t length) noexcept {
    const char *const end = text + length;
    for (const char *p = text; p != end; ++p) {
        if (*p == '.' || *p == 'e' || *p == 'E') return convert_float(text, end);
    }
    return convert_integer(text, end);
}

} // namespace kelvra::text::toml_scan
