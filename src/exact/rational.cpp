// Exact rationals (signed 64-bit numerator over unsigned 64-bit denominator)
// with overflow detection, continued fractions and convergents, the best
// rational approximation, the exact partial sums of the exponential series,
// and the library's square root by an exact integer method.
#include "kelvra.h"

#include <bit>
#include <cstdint>

#include "exact/modarith.hpp"
#include "exact/rational.hpp"
#include "frame/nan.hpp"

namespace kelvra::exact {
namespace {

constexpr uint64_t kSignedMax = 0x7FFFFFFFFFFFFFFF; // 2^63 - 1

constexpr uint64_t magnitude(int64_t v) noexcept {
    return v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
}

constexpr int64_t with_sign(uint64_t m, bool negative) noexcept { return static_cast<int64_t>(negative ? 0 - m : m); }

// ---- checked arithmetic ------------------------------------------------------
// A signed product fails when |x||y| > 2^63 - 1 (so -2^63 is refused as a
// product); its sign is the exclusive-or of the operands' signs. An unsigned
// product fails past 2^64 - 1, a signed sum outside -2^63 ... 2^63 - 1.

bool signed_product(int64_t x, int64_t y, int64_t &out) noexcept {
    const u128 m = static_cast<u128>(magnitude(x)) * magnitude(y);
    if (m > kSignedMax) return false;
    out = with_sign(static_cast<uint64_t>(m), (x < 0) != (y < 0));
    return true;
}

// x times a denominator already known to be at most 2^63 - 1.
bool signed_product(int64_t x, uint64_t small_den, int64_t &out) noexcept {
    return signed_product(x, static_cast<int64_t>(small_den), out);
}

bool unsigned_product(uint64_t x, uint64_t y, uint64_t &out) noexcept { return !__builtin_mul_overflow(x, y, &out); }

bool signed_sum(int64_t x, int64_t y, int64_t &out) noexcept { return !__builtin_add_overflow(x, y, &out); }

// a p + q, failing past 2^64 - 1 (the same test as a > (2^64 - 1 - q) / p for p != 0).
bool unsigned_product_sum(uint64_t a, uint64_t p, uint64_t q, uint64_t &out) noexcept {
    const u128 v = static_cast<u128>(a) * p + q;
    if (high_word(v) != 0) return false;
    out = low_word(v);
    return true;
}

// ---- results -------------------------------------------------------------------

kelvra_status write_fraction(int64_t num, uint64_t den, int64_t *out_num, uint64_t *out_den) noexcept {
    *out_num = num;
    *out_den = den;
    return KELVRA_OK;
}

// Every rational result: zero as 0/1, otherwise divided by the gcd of
// |num| and den. The gcd is Stein's, which equals Euclid's; Euclid needs
// fewer than 100 steps below 2^64, so its 128-step bound never leaves a
// pair unreduced.
kelvra_status write_normalised(int64_t num, uint64_t den, int64_t *out_num, uint64_t *out_den) noexcept {
    if (num == 0) return write_fraction(0, 1, out_num, out_den);
    const uint64_t m = magnitude(num);
    const uint64_t g = binary_gcd(m, den);
    return write_fraction(with_sign(m / g, num < 0), den / g, out_num, out_den);
}

// ---- the exponential series --------------------------------------------------

constexpr uint32_t kMaxSeriesOrder = 20; // 20! < 2^64 <= 21!

constexpr uint64_t factorial(uint32_t n) noexcept {
    uint64_t f = 1;
    for (uint32_t k = 2; k <= n; ++k) f *= k;
    return f;
}

// sum_{k=0..N} x^k / k! for x = s m / x_den, over the denominator x_den^N N!:
// term k has magnitude x_den^(N-k) m^k (N!/k!), negative for x < 0 and odd k.
// False on any overflow.
bool exp_series_fraction(int64_t x_num, uint64_t x_den, uint32_t order, int64_t &sum, uint64_t &den) noexcept {
    const uint64_t m = magnitude(x_num);
    const bool negative = x_num < 0;
    const uint64_t all = factorial(order);
    uint64_t den_powers[kMaxSeriesOrder + 1];
    den_powers[0] = 1;
    for (uint32_t j = 1; j <= order; ++j) {
        if (!unsigned_product(den_powers[j - 1], x_den, den_powers[j])) return false;
    }
    uint64_t m_power = 1; // m^k
    uint64_t k_factorial = 1;
    sum = 0;
    for (uint32_t k = 0; k <= order; ++k) {
        if (k > 0) {
            if (!unsigned_product(m_power, m, m_power)) return false;
            k_factorial *= k;
        }
        uint64_t partial = 0;
        uint64_t term = 0;
        if (!unsigned_product(den_powers[order - k], m_power, partial)) return false;
        if (!unsigned_product(partial, all / k_factorial, term) || term > kSignedMax) return false;
        if (!signed_sum(sum, with_sign(term, negative && (k & 1)), sum)) return false;
    }
    return unsigned_product(den_powers[order], all, den);
}

// ---- the square root -------------------------------------------------------------

// An estimate of sqrt(n) for 2^52 <= n < 2^54 (n even when above 2^53, so
// exact as a double), from Newton's iteration for 1/sqrt in double
// arithmetic: z <- z (3/2 - y/2 z^2) from a first guess made by halving the
// exponent field. Four steps take the 3.5% error of the guess below 1e-15;
// the result only seeds the exact integer search below.
uint64_t root_estimate(uint64_t n) noexcept {
    const double y = static_cast<double>(n);
    double z = std::bit_cast<double>(uint64_t{0x5FE6EB50C7B537A9} - (std::bit_cast<uint64_t>(y) >> 1));
    const double half_y = 0.5 * y;
    for (int i = 0; i < 4; ++i) z = z * (1.5 - half_y * z * z);
    return static_cast<uint64_t>(static_cast<int64_t>(y * z * 0x1p27));
}

// floor(sqrt(n 2^54)) for 2^52 <= n < 2^54: the unique r with
// r^2 <= N < (r + 1)^2, found by stepping from the estimate (a few units
// away at most) until both inequalities hold. The same integer as the
// bitwise base-4 method, without its 64 dependent iterations.
uint64_t integer_root(uint64_t n) noexcept {
    const u128 target = static_cast<u128>(n) << 54;
    uint64_t r = root_estimate(n);
    while (static_cast<u128>(r) * r > target) --r;
    while (static_cast<u128>(r + 1) * (r + 1) <= target) ++r;
    return r;
}

double positive_root(double x) noexcept {
    const uint64_t bits = std::bit_cast<uint64_t>(x);
    const int biased = static_cast<int>(bits >> 52);
    const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
    uint64_t m;
    int e;
    if (biased != 0) {
        m = fraction | (uint64_t{1} << 52);
        e = biased - 1075;
    } else {
        // A subnormal significand is normalised first, so that its root keeps
        // the 53 significant bits a normal argument gets.
        const int shift = std::countl_zero(fraction) - 11;
        m = fraction << shift;
        e = -1074 - shift;
    }
    if (e & 1) {
        m <<= 1;
        e -= 1;
    }
    const uint64_t r = integer_root(m);
    const double scale = std::bit_cast<double>(static_cast<uint64_t>(e / 2 + 996) << 52); // 2^(E/2 - 27)
    return static_cast<double>(static_cast<int64_t>(r)) * scale;
}

} // namespace

UnsignedFraction best_rational(uint64_t num, uint64_t den, uint64_t max_den) noexcept {
    constexpr int kMaxPartialQuotients = 128;
    UnsignedFraction best{0, 1};
    uint64_t p_prev = 1, p_prev2 = 0; // p_(i-1), p_(i-2)
    uint64_t q_prev = 0, q_prev2 = 1;
    uint64_t x = num;
    uint64_t y = den;
    for (int i = 0; i < kMaxPartialQuotients && y != 0; ++i) {
        const uint64_t a = x / y;
        const uint64_t remainder = x % y;
        uint64_t p, q;
        if (!unsigned_product_sum(a, p_prev, p_prev2, p) || !unsigned_product_sum(a, q_prev, q_prev2, q) ||
            q > max_den) {
            break;
        }
        best = {p, q};
        p_prev2 = p_prev;
        p_prev = p;
        q_prev2 = q_prev;
        q_prev = q;
        x = y;
        y = remainder;
    }
    return best;
}

double rational_sqrt(double x) noexcept {
    if (x != x) return x;
    if (x < 0) return self_difference(x); // +0.0, or the quiet NaN for -inf
    if (x == 0) return 0.0;
    if (x == __builtin_inf()) return x;
    return positive_root(x);
}

} // namespace kelvra::exact

using namespace kelvra::exact;

extern "C" KELVRA_API kelvra_status kelvra_rational_add(int64_t a_num, uint64_t a_den, int64_t b_num, uint64_t b_den,
                                                        int64_t *out_num, uint64_t *out_den) noexcept {
    if (out_num == nullptr || out_den == nullptr) return KELVRA_ERR_ARG;
    if (a_den == 0 || b_den == 0) return KELVRA_ERR_DATA;
    if (a_den > kSignedMax || b_den > kSignedMax) return KELVRA_ERR_CAPACITY;
    int64_t t1, t2, s;
    uint64_t d;
    if (!signed_product(a_num, b_den, t1) || !signed_product(b_num, a_den, t2) || !signed_sum(t1, t2, s) ||
        !unsigned_product(a_den, b_den, d)) {
        return KELVRA_ERR_CAPACITY;
    }
    return write_normalised(s, d, out_num, out_den);
}

extern "C" KELVRA_API kelvra_status kelvra_rational_mul(int64_t a_num, uint64_t a_den, int64_t b_num, uint64_t b_den,
                                                        int64_t *out_num, uint64_t *out_den) noexcept {
    if (out_num == nullptr || out_den == nullptr) return KELVRA_ERR_ARG;
    if (a_den == 0 || b_den == 0) return KELVRA_ERR_DATA;
    int64_t p;
    uint64_t d;
    if (!signed_product(a_num, b_num, p) || !unsigned_product(a_den, b_den, d)) return KELVRA_ERR_CAPACITY;
    return write_normalised(p, d, out_num, out_den);
}

extern "C" KELVRA_API kelvra_status kelvra_rational_div(int64_t a_num, uint64_t a_den, int64_t b_num, uint64_t b_den,
                                                        int64_t *out_num, uint64_t *out_den) noexcept {
    if (out_num == nullptr || out_den == nullptr) return KELVRA_ERR_ARG;
    if (a_den == 0 || b_den == 0 || b_num == 0) return KELVRA_ERR_DATA;
    if (b_den > kSignedMax) return KELVRA_ERR_CAPACITY;
    int64_t n;
    uint64_t d;
    if (!signed_product(a_num, b_den, n) || !unsigned_product(a_den, magnitude(b_num), d)) return KELVRA_ERR_CAPACITY;
    return write_normalised(b_num < 0 ? -n : n, d, out_num, out_den);
}

extern "C" KELVRA_API kelvra_status kelvra_rational_pow_uint(int64_t num, uint64_t den, uint32_t exponent,
                                                             int64_t *out_num, uint64_t *out_den) noexcept {
    if (out_num == nullptr || out_den == nullptr) return KELVRA_ERR_ARG;
    if (den == 0) return KELVRA_ERR_DATA;
    if (exponent > 64) return KELVRA_ERR_CAPACITY;
    int64_t p = 1;
    uint64_t q = 1;
    for (uint32_t i = 0; i < exponent; ++i) {
        if (!signed_product(p, num, p) || !unsigned_product(q, den, q)) return KELVRA_ERR_CAPACITY;
    }
    return write_normalised(p, q, out_num, out_den); // exponent 0 gives 1/1
}

extern "C" KELVRA_API kelvra_status kelvra_continued_fraction(uint64_t num, uint64_t den, uint64_t *terms,
                                                              uint32_t capacity, uint32_t *count) noexcept {
    constexpr uint32_t kMaxTerms = 128; // a 64-bit fraction needs at most 93
    if (count == nullptr) return KELVRA_ERR_ARG;
    *count = 0;
    if (den == 0) return KELVRA_ERR_DATA;
    if (capacity == 0) return KELVRA_ERR_CAPACITY;
    if (terms == nullptr) return KELVRA_ERR_ARG;
    uint64_t x = num;
    uint64_t y = den;
    for (uint32_t n = 0; n < kMaxTerms; ++n) {
        if (n == capacity) return KELVRA_ERR_CAPACITY;
        terms[n] = x / y;
        *count = n + 1;
        const uint64_t remainder = x % y;
        x = y;
        y = remainder;
        if (y == 0) return KELVRA_OK;
    }
    return KELVRA_ERR_RESOURCE;
}

extern "C" KELVRA_API kelvra_status kelvra_cf_convergents_int64(const int64_t *terms, uint64_t n, int64_t *p_out,
                                                                int64_t *q_out) noexcept {
    constexpr uint64_t kMaxTerms = 256;
    if (terms == nullptr || p_out == nullptr || q_out == nullptr) return KELVRA_ERR_ARG;
    if (n == 0 || n > kMaxTerms) return KELVRA_ERR_DATA;
    int64_t p_prev = 1, p_prev2 = 0; // p_(i-1), p_(i-2)
    int64_t q_prev = 0, q_prev2 = 1;
    for (uint64_t i = 0; i < n; ++i) {
        int64_t ap, aq, p, q;
        if (!signed_product(terms[i], p_prev, ap) || !signed_sum(ap, p_prev2, p) ||
            !signed_product(terms[i], q_prev, aq) || !signed_sum(aq, q_prev2, q)) {
            return KELVRA_ERR_CAPACITY;
        }
        p_out[i] = p;
        q_out[i] = q;
        p_prev2 = p_prev;
        p_prev = p;
        q_prev2 = q_prev;
        q_prev = q;
    }
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_best_rational(uint64_t num, uint64_t den, uint64_t max_den,
                                                         uint64_t *out_num, uint64_t *out_den) noexcept {
    if (out_num == nullptr || out_den == nullptr) return KELVRA_ERR_ARG;
    *out_num = 0;
    *out_den = 1;
    if (den == 0 || max_den == 0) return KELVRA_ERR_DATA;
    const UnsignedFraction best = best_rational(num, den, max_den);
    *out_num = best.num;
    *out_den = best.den;
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_exp_series_truncate(int64_t x_num, uint64_t x_den, uint32_t order,
                                                               int64_t *out_num, uint64_t *out_den) noexcept {
    if (out_num == nullptr || out_den == nullptr) return KELVRA_ERR_ARG;
    *out_num = 0;
    *out_den = 1;
    if (x_den == 0) return KELVRA_ERR_DATA;
    if (order > kMaxSeriesOrder) return KELVRA_ERR_CAPACITY;
    int64_t sum;
    uint64_t den;
    if (!exp_series_fraction(x_num, x_den, order, sum, den)) return KELVRA_ERR_CAPACITY;
    return write_normalised(sum, den, out_num, out_den);
}

extern "C" KELVRA_API kelvra_status kelvra_rational_sqrt(double x, double *out) noexcept {
    if (out == nullptr) return KELVRA_ERR_ARG;
    *out = rational_sqrt(x);
    return x < 0 ? KELVRA_ERR_DATA : KELVRA_OK;
}
