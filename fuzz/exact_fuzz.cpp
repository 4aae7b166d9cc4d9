// Exact arithmetic on arbitrary 64-bit operands against slow 128-bit
// references written here: the input's first byte picks the family, the next
// 8-byte words are the operands. Number theory (gcd, lcm, modular sum,
// product, power and inverse, primality, factorisation multiplied back),
// rational sum, product and quotient with their overflow statuses, continued
// fractions and best rational approximations, and the square root against the
// bitwise base-4 method. Any disagreement aborts.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "kelvra.h"

namespace {

__extension__ typedef unsigned __int128 u128;
__extension__ typedef __int128 i128;

void check(bool ok) {
    if (!ok) std::abort();
}

u128 gcd128(u128 a, u128 b) {
    while (b != 0) a %= b, std::swap(a, b);
    return a;
}
u128 mag(i128 x) { return x < 0 ? u128(0) - u128(x) : u128(x); }

uint64_t mulmod(uint64_t a, uint64_t b, uint64_t m) { return uint64_t(u128(a) * b % m); }
uint64_t powmod(uint64_t b, uint64_t e, uint64_t m) {
    uint64_t r = 1 % m;
    for (b %= m; e; e >>= 1, b = mulmod(b, b, m))
        if (e & 1) r = mulmod(r, b, m);
    return r;
}

// kelvra_factor(n): ascending primes that multiply back to n.
void check_factorisation(uint64_t n) {
    uint64_t primes[15];
    uint8_t exps[15];
    uint8_t prime = 9;
    uint32_t count = 0;
    check(kelvra_factor(n, primes, exps, 15, &count) == KELVRA_OK);
    u128 product = 1;
    for (uint32_t i = 0; i < count; ++i) {
        check(kelvra_is_prime(primes[i], &prime) == KELVRA_OK && prime == 1 && (i == 0 || primes[i] > primes[i - 1]));
        for (uint8_t k = 0; k < exps[i]; ++k) product *= primes[i];
    }
    check(n < 2 ? count == 0 : product == n);
}

void number_theory(uint64_t a, uint64_t b, uint64_t e, uint64_t m) {
    uint64_t out = 7;
    check(kelvra_gcd(a, b, &out) == KELVRA_OK && out == uint64_t(gcd128(a, b)));
    if (a != 0 && b != 0) {
        const u128 lcm = u128(a / out) * b;
        out = 7;
        const kelvra_status s = kelvra_lcm(a, b, &out);
        check(lcm >> 64 ? s == KELVRA_ERR_CAPACITY && out == 7 : s == KELVRA_OK && out == uint64_t(lcm));
    }
    if (m == 0) return check(kelvra_mod_mul(a, b, m, &out) == KELVRA_ERR_DATA);
    check(kelvra_mod_add(a, b, m, &out) == KELVRA_OK && out == uint64_t((u128(a) + b) % m));
    check(kelvra_mod_mul(a, b, m, &out) == KELVRA_OK && out == mulmod(a, b, m));
    check(kelvra_mod_pow(a, e, m, &out) == KELVRA_OK && out == powmod(a, e, m));
    if (m >= 2 && m < (uint64_t{1} << 63)) {
        const kelvra_status s = kelvra_mod_inv(a, m, &out);
        if (gcd128(a % m, m) != 1) check(s == KELVRA_ERR_DATA);
        else check(s == KELVRA_OK && out < m && mulmod(a % m, out, m) == 1);
    }
    uint8_t prime = 9;
    check(kelvra_is_prime(a, &prime) == KELVRA_OK);
    if (a < (uint64_t{1} << 32)) {
        bool want = a >= 2;
        for (uint64_t d = 2; d * d <= a && want; ++d) want = a % d != 0;
        check(prime == (want ? 1 : 0));
    }
    check_factorisation(a);
    // Two factors within 2^20 of each other: Fermat's steps take these.
    const uint64_t x = a >> 32, y = x + (b & 0xFFFFF);
    if ((u128(x) * y) >> 64 == 0) check_factorisation(x * y);
}

// The library's result against wn/wd: a capacity failure when the unreduced
// values overflow (outputs untouched), else wn/wd in lowest terms.
void expect_fraction(kelvra_status got, int64_t num, uint64_t den, bool overflow, i128 wn, u128 wd) {
    if (overflow) return check(got == KELVRA_ERR_CAPACITY && num == 0x5A5A && den == 0xA5A5);
    const u128 g = wn == 0 ? wd : gcd128(mag(wn), wd);
    check(got == KELVRA_OK && num == int64_t(wn / i128(g)) && den == uint64_t(wd / g));
}

void rationals(int64_t an, uint64_t ad, int64_t bn, uint64_t bd) {
    constexpr uint64_t kMax = INT64_MAX;
    auto fails = [](i128 x) { return mag(x) > u128(INT64_MAX); };
    int64_t n = 0x5A5A;
    uint64_t d = 0xA5A5;
    const u128 dd = u128(ad) * bd;
    kelvra_status s = kelvra_rational_add(an, ad, bn, bd, &n, &d);
    if (ad == 0 || bd == 0) check(s == KELVRA_ERR_DATA && n == 0x5A5A);
    else if (ad > kMax || bd > kMax) check(s == KELVRA_ERR_CAPACITY && n == 0x5A5A);
    else {
        const i128 t1 = i128(an) * i128(bd), t2 = i128(bn) * i128(ad), sum = t1 + t2;
        const bool sum_fails = sum > i128(INT64_MAX) || sum < i128(INT64_MIN);
        expect_fraction(s, n, d, fails(t1) || fails(t2) || sum_fails || dd > UINT64_MAX, sum, dd);
    }
    n = 0x5A5A, d = 0xA5A5;
    s = kelvra_rational_mul(an, ad, bn, bd, &n, &d);
    const i128 p = i128(an) * i128(bn);
    if (ad == 0 || bd == 0) check(s == KELVRA_ERR_DATA && n == 0x5A5A);
    else expect_fraction(s, n, d, fails(p) || dd > UINT64_MAX, p, dd);
    n = 0x5A5A, d = 0xA5A5;
    s = kelvra_rational_div(an, ad, bn, bd, &n, &d);
    if (ad == 0 || bd == 0 || bn == 0) check(s == KELVRA_ERR_DATA && n == 0x5A5A);
    else if (bd > kMax) check(s == KELVRA_ERR_CAPACITY && n == 0x5A5A);
    else {
        const i128 q = i128(an) * i128(bd);
        const u128 qd = u128(ad) * mag(bn);
        expect_fraction(s, n, d, fails(q) || qd > UINT64_MAX, bn < 0 ? -q : q, qd);
    }
}

void continued_fractions(uint64_t num, uint64_t den, uint64_t max_den) {
    if (den == 0) den = 1;
    if (max_den == 0) max_den = 1;
    uint64_t terms[128];
    uint32_t count = 0;
    check(kelvra_continued_fraction(num, den, terms, 128, &count) == KELVRA_OK);
    u128 x = num, y = den, p1 = 1, p2 = 0, q1 = 0, q2 = 1;
    uint64_t bp = 0, bq = 1;
    bool stopped = false;
    uint32_t k = 0;
    for (; y != 0; ++k) {
        const u128 a = x / y, r = x % y;
        check(k < count && terms[k] == uint64_t(a));
        const u128 p = a * p1 + p2, q = a * q1 + q2;
        stopped = stopped || p > UINT64_MAX || q > UINT64_MAX || q > max_den;
        if (!stopped) bp = uint64_t(p), bq = uint64_t(q);
        p2 = p1, p1 = p, q2 = q1, q1 = q, x = y, y = r;
    }
    check(k == count);
    uint64_t gp = 7, gq = 7;
    check(kelvra_best_rational(num, den, max_den, &gp, &gq) == KELVRA_OK && gp == bp && gq == bq);
}

// Split, normalise a subnormal, make E even, then floor(sqrt(M 2^54)) by the
// bitwise base-4 method over 64 iterations.
double sqrt_reference(double x) {
    uint64_t b;
    std::memcpy(&b, &x, 8);
    const int biased = static_cast<int>(b >> 52);
    uint64_t m = b & ((uint64_t{1} << 52) - 1);
    int e = biased - 1075;
    if (biased != 0) m |= uint64_t{1} << 52;
    else
        for (e = -1074; (m & (uint64_t{1} << 52)) == 0; --e) m <<= 1;
    if (e % 2 != 0) m *= 2, e -= 1;
    const u128 n = u128(m) << 54;
    u128 rem = 0, root = 0;
    for (int i = 63; i >= 0; --i) {
        rem = (rem << 2) | ((n >> (2 * i)) & 3);
        const u128 trial = (root << 2) | 1;
        root <<= 1;
        if (rem >= trial) rem -= trial, root |= 1;
    }
    return static_cast<double>(static_cast<uint64_t>(root)) * std::ldexp(1.0, e / 2 - 27);
}

void square_root(uint64_t b) {
    b >>= 1; // positive
    double x, got = -7;
    std::memcpy(&x, &b, 8);
    if (!std::isfinite(x) || x == 0) return;
    check(kelvra_rational_sqrt(x, &got) == KELVRA_OK);
    const double want = sqrt_reference(x);
    check(std::memcmp(&got, &want, 8) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    uint64_t w[4] = {};
    std::memcpy(w, data + 1, size - 1 < sizeof w ? size - 1 : sizeof w);
    switch (data[0] % 4) {
    case 0:
        number_theory(w[0], w[1], w[2], w[3]);
        break;
    case 1:
        rationals(int64_t(w[0]), w[1], int64_t(w[2]), w[3]);
        break;
    case 2:
        continued_fractions(w[0], w[1], w[2]);
        break;
    default:
        square_root(w[0]);
        break;
    }
    return 0;
}
