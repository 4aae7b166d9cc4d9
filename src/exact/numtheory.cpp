// The integer number-theory entry points: gcd and lcm, modular arithmetic
// for every 64-bit modulus, inverses, multiplicative orders, factorisation
// and primality.
#include "kelvra.h"

#include "exact/factor.hpp"
#include "exact/modarith.hpp"
#include "exact/prime.hpp"

namespace kelvra::exact {
namespace {

constexpr uint64_t kLargestInvertibleModulus = (uint64_t{1} << 63) - 1;

// Orders up to this bound are found by stepping through the powers.
constexpr uint64_t kDirectOrderSearchLimit = 64;

// Extended Euclid for m <= 2^63 - 1 and 0 < a < m: the cofactors stay within
// (-m, m), so they fit in int64_t. Returns false when gcd(a, m) != 1.
bool inverse_by_euclid(uint64_t a, uint64_t m, uint64_t *out) noexcept {
    int64_t t_prev = 0;
    int64_t t = 1;
    uint64_t r_prev = m;
    uint64_t r = a;
    while (r != 0) {
        const uint64_t q = r_prev / r;
        const uint64_t r_next = r_prev - q * r;
        const int64_t t_next = t_prev - static_cast<int64_t>(q) * t;
        r_prev = r;
        r = r_next;
        t_prev = t;
        t = t_next;
    }
    if (r_prev != 1) return false;
    *out = t_prev < 0 ? static_cast<uint64_t>(t_prev) + m : static_cast<uint64_t>(t_prev);
    return true;
}

// lcm(a, b) for nonzero a, b whose lcm is known to fit (here both divide
// lambda(m) < m).
uint64_t lcm_that_fits(uint64_t a, uint64_t b) noexcept { return a / binary_gcd(a, b) * b; }

// Carmichael's lambda(m): the exponent of the unit group modulo m.
uint64_t carmichael_lambda(const Factorisation &f) noexcept {
    uint64_t lambda = 1;
    for (uint32_t i = 0; i < f.count; ++i) {
        const uint64_t p = f.primes[i];
        const uint32_t e = f.exponents[i];
        uint64_t part;
        if (p == 2) {
            part = e == 1 ? 1 : e == 2 ? 2 : uint64_t{1} << (e - 2);
        } else {
            part = p - 1;
            for (uint32_t j = 1; j < e; ++j) part *= p;
        }
        lambda = lcm_that_fits(lambda, part);
    }
    return lambda;
}

// The multiplicative order of a unit a (reduced, gcd(a, m) = 1, m >= 2):
// start from lambda(m), a multiple of every unit's order, and divide out
// each prime of lambda while the smaller exponent still gives 1.
uint64_t multiplicative_order(uint64_t a, uint64_t m) noexcept {
    Factorisation of_m;
    factorise(m, of_m);
    uint64_t order = carmichael_lambda(of_m);
    Factorisation of_lambda;
    factorise(order, of_lambda);
    for (uint32_t i = 0; i < of_lambda.count; ++i) {
        const uint64_t q = of_lambda.primes[i];
        for (uint32_t j = 0; j < of_lambda.exponents[i]; ++j) {
            if (pow_mod(a, order / q, m) != 1) break;
            order /= q;
        }
    }
    return order;
}

// Smallest k in 1..limit with a^k = 1 mod m, or 0 (a < m).
uint64_t order_by_stepping(uint64_t a, uint64_t m, uint64_t limit) noexcept {
    uint64_t power = a;
    for (uint64_t k = 1; k <= limit; ++k) {
        if (power == 1) return k;
        power = mul_mod(power, a, m);
    }
    return 0;
}

} // namespace
} // namespace kelvra::exact

using namespace kelvra::exact;

extern "C" KELVRA_API kelvra_status kelvra_gcd(uint64_t a, uint64_t b, uint64_t *out) noexcept {
    if (out == nullptr) return KELVRA_ERR_ARG;
    uint64_t g;
    if (!euclid_gcd(a, b, &g)) return KELVRA_ERR_RESOURCE;
    *out = g;
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_lcm(uint64_t a, uint64_t b, uint64_t *out) noexcept {
    if (out == nullptr) return KELVRA_ERR_ARG;
    if (a == 0 || b == 0) {
        *out = 0;
        return KELVRA_OK;
    }
    uint64_t g;
    if (!euclid_gcd(a, b, &g)) return KELVRA_ERR_RESOURCE;
    const uint64_t q = a / g;
    if (b > UINT64_MAX / q) return KELVRA_ERR_CAPACITY;
    *out = q * b;
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_mod_add(uint64_t a, uint64_t b, uint64_t m, uint64_t *out) noexcept {
    if (out == nullptr) return KELVRA_ERR_ARG;
    if (m == 0) return KELVRA_ERR_DATA;
    *out = add_mod(a % m, b % m, m);
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_mod_mul(uint64_t a, uint64_t b, uint64_t m, uint64_t *out) noexcept {
    if (out == nullptr) return KELVRA_ERR_ARG;
    if (m == 0) return KELVRA_ERR_DATA;
    *out = mul_mod(a % m, b, m);
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_mod_pow(uint64_t base, uint64_t exponent, uint64_t m,
                                                   uint64_t *out) noexcept {
    if (out == nullptr) return KELVRA_ERR_ARG;
    if (m == 0) return KELVRA_ERR_DATA;
    *out = pow_mod(base, exponent, m);
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_mod_inv(uint64_t a, uint64_t m, uint64_t *out) noexcept {
    if (out == nullptr) return KELVRA_ERR_ARG;
    if (m < 2) return KELVRA_ERR_DATA;
    if (m > kLargestInvertibleModulus) return KELVRA_ERR_CAPACITY;
    const uint64_t reduced = a % m;
    if (reduced == 0) return KELVRA_ERR_DATA;
    uint64_t inverse;
    if (!inverse_by_euclid(reduced, m, &inverse)) return KELVRA_ERR_DATA;
    *out = inverse;
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_three_cycle(uint64_t x, uint64_t *out) noexcept {
    if (out == nullptr) return KELVRA_ERR_ARG;
    *out = (x % 3 + 1) % 3;
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_cyclic_period(uint64_t a, uint64_t m, uint64_t max_period,
                                                         uint64_t *out) noexcept {
    if (out == nullptr) return KELVRA_ERR_ARG;
    if (m < 2) return KELVRA_ERR_DATA;
    const uint64_t reduced = a % m;
    if (reduced == 0 || max_period == 0) return KELVRA_ERR_DATA;
    // A common factor with m survives every power, so 1 never comes back.
    if (binary_gcd(reduced, m) != 1) return KELVRA_ERR_CAPACITY;
    const uint64_t order = max_period <= kDirectOrderSearchLimit ? order_by_stepping(reduced, m, max_period)
                                                                 : multiplicative_order(reduced, m);
    if (order == 0 || order > max_period) return KELVRA_ERR_CAPACITY;
    *out = order;
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_factor(uint64_t n, uint64_t *primes, uint8_t *exponents, uint32_t capacity,
                                                  uint32_t *count) noexcept {
    if (primes == nullptr || exponents == nullptr || count == nullptr) return KELVRA_ERR_ARG;
    *count = 0;
    Factorisation f;
    factorise(n, f);
    // The entries go out in increasing order; the first one that does not fit
    // ends the call, leaving the prefix already written.
    for (uint32_t i = 0; i < f.count; ++i) {
        if (i >= capacity) return KELVRA_ERR_CAPACITY;
        primes[i] = f.primes[i];
        exponents[i] = f.exponents[i];
        *count = i + 1;
    }
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_is_prime(uint64_t n, uint8_t *out) noexcept {
    if (out == nullptr) return KELVRA_ERR_ARG;
    *out = 0;
    if (is_prime_u64(n)) *out = 1;
    return KELVRA_OK;
}
