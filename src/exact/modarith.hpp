// 64-bit modular arithmetic shared by the exact kernels: exact products
// modulo any 64-bit modulus, greatest common divisors, and Montgomery
// arithmetic for odd moduli. Everything here is header-only, allocation-free
// and total on its stated domain.
#pragma once

#include <cstdint>

namespace kelvra::exact {

__extension__ typedef unsigned __int128 u128;

inline uint64_t high_word(u128 t) noexcept { return static_cast<uint64_t>(t >> 64); }
inline uint64_t low_word(u128 t) noexcept { return static_cast<uint64_t>(t); }

// (hi * 2^64 + lo) mod m, for hi < m (so the quotient fits in 64 bits).
inline uint64_t remainder_of_wide(uint64_t hi, uint64_t lo, uint64_t m) noexcept {
#if defined(__x86_64__) && defined(__GNUC__)
    uint64_t quotient;
    uint64_t remainder;
    __asm__("divq %4" : "=a"(quotient), "=d"(remainder) : "a"(lo), "d"(hi), "rm"(m) : "cc");
    (void)quotient;
    return remainder;
#else
    return static_cast<uint64_t>(((static_cast<u128>(hi) << 64) | lo) % m);
#endif
}

// (a * b) mod m for a < m (b is unrestricted), m > 0.
inline uint64_t mul_mod(uint64_t a, uint64_t b, uint64_t m) noexcept {
    const u128 t = static_cast<u128>(a) * b;
    return remainder_of_wide(high_word(t), low_word(t), m);
}

// (a + b) mod m for a, b < m; correct even when a + b wraps past 2^64.
inline uint64_t add_mod(uint64_t a, uint64_t b, uint64_t m) noexcept {
    const uint64_t sum = a + b;
    return (sum < a || sum >= m) ? sum - m : sum;
}

// (a - b) mod m for a, b < m.
inline uint64_t sub_mod(uint64_t a, uint64_t b, uint64_t m) noexcept {
    const uint64_t difference = a - b;
    return a < b ? difference + m : difference;
}

// Stein's binary gcd; gcd(a, 0) = a. The count of trailing zeros of the
// next difference is taken while min and |difference| are formed, which
// keeps the loop's dependency chain short.
inline uint64_t binary_gcd(uint64_t a, uint64_t b) noexcept {
    if (a == 0) return b;
    if (b == 0) return a;
    int a_zeros = __builtin_ctzll(a);
    const int b_zeros = __builtin_ctzll(b);
    const int shift = a_zeros < b_zeros ? a_zeros : b_zeros;
    b >>= b_zeros;
    while (a != 0) {
        a >>= a_zeros;
        const uint64_t difference = b - a;
        a_zeros = __builtin_ctzll(difference | (uint64_t{1} << 63));
        const uint64_t smaller = a < b ? a : b;
        a = a < b ? difference : a - b;
        b = smaller;
    }
    return b << shift;
}

// Euclid's remainder sequence with a fixed step budget. Fibonacci pairs are
// the slowest inputs and need at most 93 steps below 2^64, so the budget of
// 128 is never exhausted; it stays as a hard bound on the loop.
inline constexpr int kEuclidStepBudget = 128;

// Writes gcd(a, b) to *out and returns true, or returns false if the budget ran out.
inline bool euclid_gcd(uint64_t a, uint64_t b, uint64_t *out) noexcept {
    for (int step = 0; step < kEuclidStepBudget; ++step) {
        if (b == 0) {
            *out = a;
            return true;
        }
        const uint64_t r = a % b;
        a = b;
        b = r;
    }
    return false;
}

// n^-1 mod 2^64 for odd n by Newton's iteration (each step doubles the correct bits).
constexpr uint64_t inverse_mod_2_64(uint64_t n) noexcept {
    uint64_t x = (3 * n) ^ 2; // correct to 5 bits
    x *= 2 - n * x;           // 10
    x *= 2 - n * x;           // 20
    x *= 2 - n * x;           // 40
    x *= 2 - n * x;           // 80
    return x;
}

// Montgomery arithmetic modulo an odd n < 2^64 with R = 2^64. Residues in
// Montgomery form are x R mod n, always kept in [0, n).
struct Montgomery {
    uint64_t n;         // the odd modulus
    uint64_t n_inv;     // n^-1 mod 2^64
    uint64_t one;       // R mod n: the form of 1
    uint64_t r_squared; // R^2 mod n: converts into the form

    static Montgomery for_odd_modulus(uint64_t odd_n) noexcept {
        Montgomery mont{};
        mont.n = odd_n;
        mont.n_inv = inverse_mod_2_64(odd_n);
        mont.one = (0 - odd_n) % odd_n;
        mont.r_squared = remainder_of_wide(mont.one, 0, odd_n);
        return mont;
    }

    // t / R mod n for t < n R. With m = lo(t) n^-1, m n agrees with t in the
    // low word, so t - m n = (hi(t) - hi(m n)) R exactly; that difference lies
    // in (-n, n) and one conditional addition of n makes it canonical. No
    // intermediate exceeds 128 bits, so every odd n < 2^64 is fine.
    uint64_t reduce(u128 t) const noexcept {
        const uint64_t m = low_word(t) * n_inv;
        const uint64_t mn_high = high_word(static_cast<u128>(m) * n);
        const uint64_t hi = high_word(t);
        const uint64_t difference = hi - mn_high;
        return hi < mn_high ? difference + n : difference;
    }

    uint64_t mul(uint64_t a, uint64_t b) const noexcept { return reduce(static_cast<u128>(a) * b); }
    uint64_t square(uint64_t a) const noexcept { return mul(a, a); }
    uint64_t add(uint64_t a, uint64_t b) const noexcept { return add_mod(a, b, n); }
    uint64_t sub(uint64_t a, uint64_t b) const noexcept { return sub_mod(a, b, n); }
    uint64_t minus_one() const noexcept { return n - one; }

    // Any a < 2^64 into the form; from_form gives the canonical residue back.
    uint64_t to_form(uint64_t a) const noexcept { return mul(a % n, r_squared); }
    uint64_t from_form(uint64_t a) const noexcept { return reduce(a); }

    // base_form^exponent, both sides in Montgomery form. Right to left: the
    // squarings form the critical chain and the product trails it.
    uint64_t pow(uint64_t base_form, uint64_t exponent) const noexcept {
        uint64_t result = one;
        for (;;) {
            if (exponent & 1) result = mul(result, base_form);
            exponent >>= 1;
            if (exponent == 0) return result;
            base_form = square(base_form);
        }
    }
};

// base^exponent mod 2^64 (wrapping arithmetic).
inline uint64_t pow_wrapping(uint64_t base, uint64_t exponent) noexcept {
    uint64_t result = 1;
    for (; exponent != 0; exponent >>= 1) {
        if (exponent & 1) result *= base;
        base *= base;
    }
    return result;
}

// base^exponent mod m for odd m >= 1.
inline uint64_t pow_mod_odd(uint64_t base, uint64_t exponent, uint64_t odd_m) noexcept {
    if (odd_m == 1) return 0;
    const Montgomery mont = Montgomery::for_odd_modulus(odd_m);
    return mont.from_form(mont.pow(mont.to_form(base), exponent));
}

// base^exponent mod m for any m >= 1 (0^0 = 1; everything is 0 modulo 1).
// An even m = 2^k o is solved modulo 2^k with wrapping arithmetic and modulo
// o in Montgomery form, then recombined by the Chinese remainder theorem, so
// no division runs inside the exponentiation.
inline uint64_t pow_mod(uint64_t base, uint64_t exponent, uint64_t m) noexcept {
    if ((m & 1) != 0) return pow_mod_odd(base, exponent, m);
    const int k = __builtin_ctzll(m);
    const uint64_t odd_part = m >> k;
    const uint64_t low_mask = (uint64_t{1} << k) - 1;
    const uint64_t mod_power_of_two = pow_wrapping(base, exponent) & low_mask;
    const uint64_t mod_odd = pow_mod_odd(base, exponent, odd_part);
    const uint64_t lift = ((mod_power_of_two - mod_odd) * inverse_mod_2_64(odd_part)) & low_mask;
    return mod_odd + odd_part * lift;
}

} // namespace kelvra::exact
