// Straightforward references of the elementary functions for differential
// tests: the documented steps one after the other, signed Q61 values,
// unsigned 128-bit products, literal divisions and the full iteration counts
// (18, 13, 40 and 10 series steps). Nothing here is shared with the library.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include "../support/bits.hpp"

namespace reference {

using kelvra_test::bits;
using kelvra_test::from_bits;

__extension__ typedef unsigned __int128 u128;

constexpr int64_t kOne = int64_t{1} << 61;

// The product's magnitude shifted down, so truncated towards zero.
inline int64_t q61_mul(int64_t a, int64_t b) {
    __extension__ const __int128 product = static_cast<__int128>(a) * b;
    return static_cast<int64_t>(product < 0 ? -(-product >> 61) : product >> 61);
}

inline int64_t to_q61(double x) {
    const double scaled = x * 2305843009213693952.0;
    return static_cast<int64_t>(x < 0 ? scaled - 0.5 : scaled + 0.5);
}

inline double from_q61(int64_t n) { return static_cast<double>(n) * 4.336808689942018e-19; }

inline double exp(double x) {
    if (std::isnan(x)) return x;
    if (x > 709.782712893384) return std::numeric_limits<double>::infinity();
    if (x < -745.2) return 0.0;
    const double t = x * 1.4426950408889634;
    const int32_t k = static_cast<int32_t>(t < 0 ? t - 0.5 : t + 0.5);
    const double r = x - k * 0.6931471803691238 - k * 1.9082149292705877e-10;
    const int64_t big_r = to_q61(r);
    int64_t sum = kOne, term = kOne;
    for (int64_t n = 1; n <= 18; ++n) {
        term = q61_mul(term, big_r) / n;
        sum += term;
    }
    const int h = k / 2;
    return static_cast<double>(sum) * 4.336808689942018e-19 * std::ldexp(1.0, h) * std::ldexp(1.0, k - h);
}

inline double log(double x) {
    if (std::isnan(x)) return x;
    if (x < 0) return from_bits(0x7FF8000000000000);
    if (x == 0) return -std::numeric_limits<double>::infinity();
    if (std::isinf(x)) return x;
    int e;
    double f = std::frexp(x, &e); // exact, subnormals included: x = f 2^e, 1/2 <= f < 1
    if (2 * f < 1.4142135623730951) {
        f = 2 * f;
        e = e - 1;
    }
    const int64_t big_s = to_q61((f - 1) / (f + 1)), s2 = q61_mul(big_s, big_s);
    int64_t sum = big_s, power = big_s;
    for (int64_t j = 2; j <= 26; j += 2) {
        power = q61_mul(power, s2);
        sum = sum + power / (j + 1);
    }
    return static_cast<double>(2 * sum) * 4.336808689942018e-19 + e * 1.9082149292705877e-10 +
           e * 0.6931471803691238;
}

inline int64_t atan_series(int64_t t) {
    const int64_t x2 = q61_mul(t, t);
    int64_t sum = t, power = t;
    for (int64_t n = 1; n <= 40; ++n) {
        power = q61_mul(x2, power);
        sum = n % 2 == 1 ? sum - power / (2 * n + 1) : sum + power / (2 * n + 1);
    }
    return sum;
}

// Steps 1-3 of the arctangent for a = |x|.
inline double atan_of_magnitude(double a) {
    if (a <= 0.41421356237309515) return from_q61(atan_series(to_q61(a)));
    if (a < 2.414213562373095) // the series is odd to the last bit, so w < 0 needs no case of its own
        return 0.7853981633974483 + from_q61(atan_series(to_q61((a - 1) / (a + 1))));
    return 1.5707963267948966 - from_q61(atan_series(to_q61(1 / a)));
}

inline double atan(double x) {
    return std::isnan(x) ? x : x < 0 ? -atan_of_magnitude(-x) : atan_of_magnitude(std::fabs(x));
}

inline double atan2(double y, double x) {
    if (x == 0) return y > 0 ? 1.5707963267948966 : y < 0 ? -1.5707963267948966 : 0.0;
    const double q = y / x;
    if (std::isnan(q)) return std::isinf(y) && std::isinf(x) ? from_bits(0x7FF8000000000000) : q;
    double v = atan_of_magnitude(std::fabs(q));
    if (q < 0) v = -v;
    if (x > 0) return v;
    return y >= 0 ? v + 3.141592653589793 : v - 3.141592653589793;
}

struct Reduced {
    bool ok;
    int quadrant;
    int64_t remainder;
};

inline Reduced reduce_quadrant(double x) {
    const uint64_t b = bits(x);
    const int biased = static_cast<int>((b >> 52) & 0x7FF);
    if (biased == 2047 || biased > 1077) return {false, 0, 0};
    if (biased <= 950) return {true, 0, 0};
    const uint64_t m = (b & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
    const u128 product = static_cast<u128>(m) * 0xA2F9836E4E44152Aull;
    const u128 t = product >> (1078 - biased);
    int64_t q = static_cast<int64_t>(t >> 61);
    int64_t f = static_cast<int64_t>(static_cast<uint64_t>(t) & ((uint64_t{1} << 61) - 1));
    if (f & (int64_t{1} << 60)) {
        q = q + 1;
        f = f - kOne;
    }
    if (x < 0) {
        q = -q;
        f = -f;
    }
    return {true, static_cast<int>(q & 3), q61_mul(f, 0x3243F6A8885A308D)};
}

// The sine and cosine series on the reduced argument (10 steps each).
inline int64_t trig_series(int64_t r, bool cosine) {
    const int64_t x2 = q61_mul(r, r);
    int64_t sum = cosine ? kOne : r, term = sum;
    for (int i = 0; i < 10; ++i) {
        const int64_t k = 2 * i + (cosine ? 1 : 2); // divisors (2, 12, 30, ...) and (6, 20, 42, ...)
        term = q61_mul(x2, term) / (k * (k + 1));
        sum = i % 2 == 0 ? sum - term : sum + term;
    }
    return sum;
}

// Quadrants 0-3 of the sine give s, c, -s, -c; the cosine is the sine one quadrant on.
inline double sine_quadrant(double x, int shift) {
    const Reduced red = reduce_quadrant(x);
    if (!red.ok) return std::isinf(x) ? from_bits(0x7FF8000000000000) : x - x; // one NaN everywhere
    const int q = (red.quadrant + shift) & 3;
    const int64_t v = trig_series(red.remainder, q % 2 == 1);
    return from_q61(q < 2 ? v : -v);
}

inline double sin(double x) { return sine_quadrant(x, 0); }
inline double cos(double x) { return sine_quadrant(x, 1); }

} // namespace reference
