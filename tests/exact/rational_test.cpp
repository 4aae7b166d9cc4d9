// Rationals, continued fractions, best rational approximations, the exact
// exponential partial sums and the library's square root. Results and
// overflow statuses are checked against exact big-integer arithmetic (GMP).
#include <gtest/gtest.h>
#include <gmp.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "kelvra.h"

namespace {

__extension__ typedef unsigned __int128 u128;

constexpr uint64_t kSignedMax = INT64_MAX;

// ---- exact integers ---------------------------------------------------------------

class Z {
  public:
    Z() { mpz_init(v_); }
    Z(const Z &other) { mpz_init_set(v_, other.v_); }
    Z &operator=(const Z &other) {
        mpz_set(v_, other.v_);
        return *this;
    }
    ~Z() { mpz_clear(v_); }
    static Z of(int64_t x) {
        Z z;
        mpz_set_si(z.v_, x);
        return z;
    }
    static Z of_unsigned(uint64_t x) {
        Z z;
        mpz_set_ui(z.v_, x);
        return z;
    }
    static Z power_of_two(unsigned e) {
        Z z;
        mpz_ui_pow_ui(z.v_, 2, e);
        return z;
    }
    mpz_srcptr get() const { return v_; }
    mpz_ptr get() { return v_; }

    friend Z operator*(const Z &a, const Z &b) {
        Z z;
        mpz_mul(z.v_, a.v_, b.v_);
        return z;
    }
    friend Z operator+(const Z &a, const Z &b) {
        Z z;
        mpz_add(z.v_, a.v_, b.v_);
        return z;
    }
    friend Z operator-(const Z &a) {
        Z z;
        mpz_neg(z.v_, a.v_);
        return z;
    }
    friend int compare(const Z &a, const Z &b) { return mpz_cmp(a.v_, b.v_); }
    Z abs() const {
        Z z;
        mpz_abs(z.v_, v_);
        return z;
    }
    int sign() const { return mpz_sgn(v_); }

  private:
    mpz_t v_;
};

const Z &signed_max() {
    static const Z z = Z::of(INT64_MAX);
    return z;
}
const Z &signed_min() {
    static const Z z = Z::of(INT64_MIN);
    return z;
}
const Z &unsigned_max() {
    static const Z z = Z::of_unsigned(UINT64_MAX);
    return z;
}

// The overflow rules: a signed product may not exceed 2^63 - 1 in magnitude,
// a signed sum must stay in -2^63 ... 2^63 - 1, an unsigned product below 2^64.
bool product_fails(const Z &product) { return compare(product.abs(), signed_max()) > 0; }
bool sum_fails(const Z &sum) { return compare(sum, signed_max()) > 0 || compare(sum, signed_min()) < 0; }
bool unsigned_fails(const Z &product) { return compare(product, unsigned_max()) > 0; }

struct Fraction {
    kelvra_status status;
    int64_t num;
    uint64_t den;
    bool operator==(const Fraction &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Fraction &f) {
    return os << "status " << f.status << ", " << f.num << "/" << f.den;
}

constexpr int64_t kUntouchedNum = 0x5A5A5A5A;
constexpr uint64_t kUntouchedDen = 0xA5A5A5A5;

Fraction failed(kelvra_status status) { return {status, kUntouchedNum, kUntouchedDen}; }

// num/den (den > 0) in lowest terms, as the library must write it.
Fraction reduced(const Z &num, const Z &den) {
    Z g, n, d;
    mpz_gcd(g.get(), num.get(), den.get());
    mpz_divexact(n.get(), num.get(), g.get());
    mpz_divexact(d.get(), den.get(), g.get());
    if (num.sign() == 0) return {KELVRA_OK, 0, 1};
    return {KELVRA_OK, mpz_get_si(n.get()), mpz_get_ui(d.get())};
}

template <class Call>
Fraction run(Call call) {
    Fraction f{99, kUntouchedNum, kUntouchedDen};
    f.status = call(&f.num, &f.den);
    return f;
}

// ---- random operands across all bit lengths ------------------------------------------

int64_t random_signed(std::mt19937_64 &rng) {
    switch (rng() % 16) {
    case 0: return 0;
    case 1: return INT64_MIN;
    case 2: return INT64_MAX;
    case 3: return static_cast<int64_t>(rng() % 7) - 3;
    default: {
        const unsigned bits = static_cast<unsigned>(rng() % 64);
        const uint64_t m = bits == 0 ? 0 : rng() >> (64 - bits);
        return (rng() & 1) ? -static_cast<int64_t>(m) : static_cast<int64_t>(m);
    }
    }
}

uint64_t random_unsigned(std::mt19937_64 &rng) {
    switch (rng() % 16) {
    case 0: return 0;
    case 1: return UINT64_MAX;
    case 2: return kSignedMax;
    case 3: return kSignedMax + 1;
    case 4: return 1 + rng() % 6;
    default: {
        const unsigned bits = 1 + static_cast<unsigned>(rng() % 64);
        return rng() >> (64 - bits);
    }
    }
}

// A common factor now and then, so that reduction has work to do.
void share_factor(std::mt19937_64 &rng, int64_t &num, uint64_t &den) {
    if (rng() % 3 != 0) return;
    const uint64_t f = 1 + rng() % 1000;
    const uint64_t m = num < 0 ? 0 - static_cast<uint64_t>(num) : static_cast<uint64_t>(num);
    if (m <= kSignedMax / f && den <= UINT64_MAX / f && den * f != 0) {
        num = num < 0 ? -static_cast<int64_t>(m * f) : static_cast<int64_t>(m * f);
        den *= f;
    }
}

constexpr int kRandomCases = 20000;

// ---- arithmetic -------------------------------------------------------------------------

TEST(Rational, DocumentedCases) {
    using F = Fraction;
    auto add = [](int64_t an, uint64_t ad, int64_t bn, uint64_t bd) {
        return run([&](int64_t *n, uint64_t *d) { return kelvra_rational_add(an, ad, bn, bd, n, d); });
    };
    auto mul = [](int64_t an, uint64_t ad, int64_t bn, uint64_t bd) {
        return run([&](int64_t *n, uint64_t *d) { return kelvra_rational_mul(an, ad, bn, bd, n, d); });
    };
    auto div = [](int64_t an, uint64_t ad, int64_t bn, uint64_t bd) {
        return run([&](int64_t *n, uint64_t *d) { return kelvra_rational_div(an, ad, bn, bd, n, d); });
    };
    auto pow = [](int64_t n0, uint64_t d0, uint32_t e) {
        return run([&](int64_t *n, uint64_t *d) { return kelvra_rational_pow_uint(n0, d0, e, n, d); });
    };
    EXPECT_EQ(add(1, 2, 1, 3), (F{0, 5, 6}));
    EXPECT_EQ(add(1, 2, -1, 2), (F{0, 0, 1}));
    EXPECT_EQ(add(1, uint64_t{1} << 63, 1, 2), failed(4));
    EXPECT_EQ(add(1, 0, 1, 2), failed(2));
    EXPECT_EQ(mul(2, 4, 3, 9), (F{0, 1, 6}));
    EXPECT_EQ(mul(0, 5, 7, 3), (F{0, 0, 1}));
    EXPECT_EQ(mul(1, UINT64_MAX, 1, 1), (F{0, 1, UINT64_MAX})) << "denominators up to 2^64 - 1";
    EXPECT_EQ(div(1, 2, -3, 4), (F{0, -2, 3}));
    EXPECT_EQ(div(1, 2, 0, 4), failed(2));
    EXPECT_EQ(div(1, 2, 1, uint64_t{1} << 63), failed(4));
    EXPECT_EQ(pow(2, 3, 3), (F{0, 8, 27}));
    EXPECT_EQ(pow(-1, 2, 3), (F{0, -1, 8}));
    EXPECT_EQ(pow(0, 5, 0), (F{0, 1, 1}));
    EXPECT_EQ(pow(7, 0, 0), failed(2));
    EXPECT_EQ(pow(1, 2, 65), failed(4));
    EXPECT_EQ(pow(2, 4, 40), failed(4)) << "the unreduced denominator 4^40 overflows";
    EXPECT_EQ(pow(1, 2, 40), (F{0, 1, uint64_t{1} << 40}));
    EXPECT_EQ(pow(0, 4, 40), failed(4)) << "the denominator overflows even for a zero base";
    // -2^63 is representable but refused as a product; as a sum it is fine.
    EXPECT_EQ(mul(INT64_MIN, 1, 1, 1), failed(4));
    EXPECT_EQ(add(INT64_MIN + 1, 1, -1, 1), (F{0, INT64_MIN, 1}));
    EXPECT_EQ(mul(INT64_MIN + 2, 2, 1, 1), (F{0, INT64_MIN / 2 + 1, 1}));
}

TEST(Rational, NullOutPointerFirst) {
    int64_t n;
    uint64_t d;
    EXPECT_EQ(kelvra_rational_add(1, 0, 1, 0, nullptr, &d), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_rational_mul(1, 0, 1, 0, &n, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_rational_div(1, 0, 0, 0, nullptr, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_rational_pow_uint(1, 0, 99, nullptr, &d), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_exp_series_truncate(1, 0, 99, &n, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_best_rational(1, 0, 0, nullptr, &d), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_rational_sqrt(-1.0, nullptr), KELVRA_ERR_ARG);
}

TEST(RationalExact, AdditionAgainstGmp) {
    std::mt19937_64 rng(21);
    for (int i = 0; i < kRandomCases; ++i) {
        int64_t an = random_signed(rng), bn = random_signed(rng);
        uint64_t ad = random_unsigned(rng), bd = random_unsigned(rng);
        share_factor(rng, an, ad);
        Fraction want;
        if (ad == 0 || bd == 0) {
            want = failed(2);
        } else if (ad > kSignedMax || bd > kSignedMax) {
            want = failed(4);
        } else {
            const Z t1 = Z::of(an) * Z::of_unsigned(bd), t2 = Z::of(bn) * Z::of_unsigned(ad);
            const Z s = t1 + t2, d = Z::of_unsigned(ad) * Z::of_unsigned(bd);
            want = product_fails(t1) || product_fails(t2) || sum_fails(s) || unsigned_fails(d) ? failed(4)
                                                                                               : reduced(s, d);
        }
        const Fraction got =
            run([&](int64_t *n, uint64_t *d) { return kelvra_rational_add(an, ad, bn, bd, n, d); });
        ASSERT_EQ(got, want) << an << "/" << ad << " + " << bn << "/" << bd;
    }
}

TEST(RationalExact, MultiplicationAndDivisionAgainstGmp) {
    std::mt19937_64 rng(22);
    for (int i = 0; i < kRandomCases; ++i) {
        int64_t an = random_signed(rng), bn = random_signed(rng);
        uint64_t ad = random_unsigned(rng), bd = random_unsigned(rng);
        share_factor(rng, an, ad);
        share_factor(rng, bn, bd);
        Fraction want_mul;
        if (ad == 0 || bd == 0) {
            want_mul = failed(2);
        } else {
            const Z p = Z::of(an) * Z::of(bn), d = Z::of_unsigned(ad) * Z::of_unsigned(bd);
            want_mul = product_fails(p) || unsigned_fails(d) ? failed(4) : reduced(p, d);
        }
        ASSERT_EQ(run([&](int64_t *n, uint64_t *d) { return kelvra_rational_mul(an, ad, bn, bd, n, d); }), want_mul)
            << an << "/" << ad << " * " << bn << "/" << bd;

        Fraction want_div;
        if (ad == 0 || bd == 0 || bn == 0) {
            want_div = failed(2);
        } else if (bd > kSignedMax) {
            want_div = failed(4);
        } else {
            const Z n = Z::of(an) * Z::of_unsigned(bd), d = Z::of_unsigned(ad) * Z::of(bn).abs();
            want_div = product_fails(n) || unsigned_fails(d) ? failed(4) : reduced(bn < 0 ? -n : n, d);
        }
        ASSERT_EQ(run([&](int64_t *n, uint64_t *d) { return kelvra_rational_div(an, ad, bn, bd, n, d); }), want_div)
            << an << "/" << ad << " / " << bn << "/" << bd;
    }
}

TEST(RationalExact, PowersAgainstGmp) {
    std::mt19937_64 rng(23);
    for (int i = 0; i < kRandomCases; ++i) {
        // Small bases reach high exponents before overflowing.
        const bool small = rng() % 2 == 0;
        const int64_t num = small ? static_cast<int64_t>(rng() % 9) - 4 : random_signed(rng);
        const uint64_t den = small ? rng() % 6 : random_unsigned(rng);
        const uint32_t e = static_cast<uint32_t>(rng() % 68);
        Fraction want;
        if (den == 0) {
            want = failed(2);
        } else if (e > 64) {
            want = failed(4);
        } else {
            Z p, q;
            mpz_pow_ui(p.get(), Z::of(num).get(), e);
            mpz_pow_ui(q.get(), Z::of_unsigned(den).get(), e);
            want = product_fails(p) || unsigned_fails(q) ? failed(4) : reduced(p, q);
        }
        ASSERT_EQ(run([&](int64_t *n, uint64_t *d) { return kelvra_rational_pow_uint(num, den, e, n, d); }), want)
            << "(" << num << "/" << den << ")^" << e;
    }
}

// ---- the exponential series ---------------------------------------------------------------

TEST(RationalExact, ExponentialSeriesDocumentedCases) {
    auto series = [](int64_t xn, uint64_t xd, uint32_t order) {
        return run([&](int64_t *n, uint64_t *d) { return kelvra_exp_series_truncate(xn, xd, order, n, d); });
    };
    EXPECT_EQ(series(1, 1, 5), (Fraction{0, 163, 60}));
    EXPECT_EQ(series(-1, 1, 1), (Fraction{0, 0, 1}));
    EXPECT_EQ(series(1, 2, 3), (Fraction{0, 79, 48}));
    EXPECT_EQ(series(5, 7, 0), (Fraction{0, 1, 1}));
    EXPECT_EQ(series(1, 1, 20), (Fraction{0, 6613313319248080001, 2432902008176640000}));
    // Failures leave 0/1 behind.
    EXPECT_EQ(series(2, 1, 20), (Fraction{4, 0, 1}));
    EXPECT_EQ(series(1, 1, 21), (Fraction{4, 0, 1}));
    EXPECT_EQ(series(1, 0, 3), (Fraction{2, 0, 1}));
}

TEST(RationalExact, ExponentialSeriesAgainstGmp) {
    std::mt19937_64 rng(24);
    for (int i = 0; i < kRandomCases / 2; ++i) {
        const uint32_t order = static_cast<uint32_t>(rng() % 22);
        const unsigned num_bits = static_cast<unsigned>(rng() % 64), den_bits = 1 + static_cast<unsigned>(rng() % 20);
        int64_t xn = num_bits == 0 ? 0 : static_cast<int64_t>(rng() >> (64 - num_bits));
        if (rng() & 1) xn = -xn;
        if (rng() % 50 == 0) xn = INT64_MIN;
        const uint64_t xd = rng() % 40 == 0 ? 0 : 1 + (rng() >> (64 - den_bits));
        Fraction want{4, 0, 1};
        if (xd == 0) {
            want = {2, 0, 1};
        } else if (order <= 20) {
            // Term k: xd^(N-k) |xn|^k N!/k!, summed in order; the denominator xd^N N!.
            Z factorial_n, p, sum;
            mpz_fac_ui(factorial_n.get(), order);
            mpz_pow_ui(p.get(), Z::of_unsigned(xd).get(), order);
            bool overflow = unsigned_fails(p);
            for (uint32_t k = 0; k <= order && !overflow; ++k) {
                Z t, a, b, k_factorial;
                mpz_pow_ui(a.get(), Z::of_unsigned(xd).get(), order - k);
                mpz_pow_ui(b.get(), Z::of(xn).abs().get(), k);
                mpz_fac_ui(k_factorial.get(), k);
                mpz_divexact(t.get(), factorial_n.get(), k_factorial.get());
                t = t * a * b;
                if (product_fails(t)) overflow = true;
                if (xn < 0 && k % 2 == 1) t = -t;
                sum = sum + t;
                if (sum_fails(sum)) overflow = true;
            }
            const Z d = p * factorial_n;
            if (!overflow && !unsigned_fails(d)) {
                want = reduced(sum, d);
                // The same value as the series summed in exact rationals.
                mpq_t total, x, term;
                mpq_inits(total, x, term, nullptr);
                mpq_set_si(x, 1, 1);
                mpz_set_si(mpq_numref(x), xn);
                mpz_set_ui(mpq_denref(x), xd);
                mpq_canonicalize(x);
                mpq_set_ui(term, 1, 1);
                mpq_set(total, term);
                for (uint32_t k = 1; k <= order; ++k) {
                    mpq_mul(term, term, x);
                    mpq_t kq;
                    mpq_init(kq);
                    mpq_set_ui(kq, k, 1);
                    mpq_div(term, term, kq);
                    mpq_clear(kq);
                    mpq_add(total, total, term);
                }
                EXPECT_EQ(mpz_get_si(mpq_numref(total)), want.num);
                EXPECT_EQ(mpz_get_ui(mpq_denref(total)), want.den);
                mpq_clears(total, x, term, nullptr);
            }
        }
        ASSERT_EQ(run([&](int64_t *n, uint64_t *d) { return kelvra_exp_series_truncate(xn, xd, order, n, d); }), want)
            << "x = " << xn << "/" << xd << ", order " << order;
    }
}

// ---- continued fractions and convergents ------------------------------------------------

std::vector<uint64_t> expansion(uint64_t num, uint64_t den) {
    std::vector<uint64_t> terms;
    Z x = Z::of_unsigned(num), y = Z::of_unsigned(den);
    while (y.sign() != 0) {
        Z q, r;
        mpz_fdiv_qr(q.get(), r.get(), x.get(), y.get());
        terms.push_back(mpz_get_ui(q.get()));
        x = y;
        y = r;
    }
    return terms;
}

TEST(ContinuedFraction, DocumentedCasesAndChecks) {
    uint64_t terms[8] = {};
    uint32_t count = 99;
    ASSERT_EQ(kelvra_continued_fraction(415, 93, terms, 8, &count), KELVRA_OK);
    EXPECT_EQ(std::vector<uint64_t>(terms, terms + count), (std::vector<uint64_t>{4, 2, 6, 7}));
    uint64_t two[2] = {};
    EXPECT_EQ(kelvra_continued_fraction(415, 93, two, 2, &count), KELVRA_ERR_CAPACITY);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(two[0], 4u);
    EXPECT_EQ(two[1], 2u);
    ASSERT_EQ(kelvra_continued_fraction(0, 5, terms, 8, &count), KELVRA_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(terms[0], 0u);
    // Check order: count null; count cleared; den 0; capacity 0; terms null.
    EXPECT_EQ(kelvra_continued_fraction(1, 0, nullptr, 0, nullptr), KELVRA_ERR_ARG);
    count = 99;
    EXPECT_EQ(kelvra_continued_fraction(1, 0, nullptr, 0, &count), KELVRA_ERR_DATA);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(kelvra_continued_fraction(1, 2, nullptr, 0, &count), KELVRA_ERR_CAPACITY);
    EXPECT_EQ(kelvra_continued_fraction(1, 2, nullptr, 4, &count), KELVRA_ERR_ARG);
}

TEST(ContinuedFraction, AgainstGmpIncludingTheLongestExpansions) {
    std::mt19937_64 rng(25);
    std::vector<std::pair<uint64_t, uint64_t>> cases = {{12200160415121876738u, 7540113804746346429u}, // F93/F92
                                                        {UINT64_MAX, 1},
                                                        {1, UINT64_MAX}};
    for (int i = 0; i < kRandomCases; ++i) cases.emplace_back(random_unsigned(rng), 1 + random_unsigned(rng) % UINT64_MAX);
    for (const auto &[num, den] : cases) {
        const std::vector<uint64_t> want = expansion(num, den);
        uint64_t terms[128];
        uint32_t count = 0;
        ASSERT_EQ(kelvra_continued_fraction(num, den, terms, 128, &count), KELVRA_OK) << num << "/" << den;
        ASSERT_EQ(std::vector<uint64_t>(terms, terms + count), want) << num << "/" << den;
    }
    uint64_t terms[128];
    uint32_t count = 0;
    ASSERT_EQ(kelvra_continued_fraction(12200160415121876738u, 7540113804746346429u, terms, 128, &count), KELVRA_OK);
    EXPECT_EQ(count, 91u) << "consecutive Fibonacci numbers need the most terms";
}

TEST(Convergents, DocumentedCasesAndOverflow) {
    const int64_t terms[4] = {1, 2, 2, 2};
    int64_t p[4], q[4];
    ASSERT_EQ(kelvra_cf_convergents_int64(terms, 4, p, q), KELVRA_OK);
    EXPECT_EQ(std::vector<int64_t>(p, p + 4), (std::vector<int64_t>{1, 3, 7, 17}));
    EXPECT_EQ(std::vector<int64_t>(q, q + 4), (std::vector<int64_t>{1, 2, 5, 12}));
    EXPECT_EQ(kelvra_cf_convergents_int64(terms, 0, p, q), KELVRA_ERR_DATA);
    std::vector<int64_t> many(257, 1), pp(257), qq(257);
    EXPECT_EQ(kelvra_cf_convergents_int64(many.data(), 257, pp.data(), qq.data()), KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_cf_convergents_int64(many.data(), 256, pp.data(), qq.data()), KELVRA_ERR_CAPACITY)
        << "Fibonacci numbers pass 2^63 at index 91";
    EXPECT_EQ(pp[89], 4660046610375530309) << "entries before the failing index stay written";
    EXPECT_EQ(kelvra_cf_convergents_int64(nullptr, 4, p, q), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_cf_convergents_int64(terms, 4, p, nullptr), KELVRA_ERR_ARG);
}

TEST(Convergents, AgainstGmp) {
    std::mt19937_64 rng(26);
    for (int i = 0; i < kRandomCases / 4; ++i) {
        const size_t n = 1 + rng() % 40;
        std::vector<int64_t> terms(n);
        for (auto &t : terms) t = rng() % 4 == 0 ? random_signed(rng) : static_cast<int64_t>(rng() % 200) - 50;
        std::vector<int64_t> p(n, 0x77), q(n, 0x77);
        const kelvra_status status = kelvra_cf_convergents_int64(terms.data(), n, p.data(), q.data());
        Z p1 = Z::of(1), p2 = Z::of(0), q1 = Z::of(0), q2 = Z::of(1);
        size_t i_fail = n;
        for (size_t k = 0; k < n; ++k) {
            const Z a = Z::of(terms[k]);
            const Z ap = a * p1, aq = a * q1, pk = ap + p2, qk = aq + q2;
            if (product_fails(ap) || sum_fails(pk) || product_fails(aq) || sum_fails(qk)) {
                i_fail = k;
                break;
            }
            ASSERT_EQ(p[k], mpz_get_si(pk.get())) << "index " << k;
            ASSERT_EQ(q[k], mpz_get_si(qk.get())) << "index " << k;
            p2 = p1;
            p1 = pk;
            q2 = q1;
            q1 = qk;
        }
        ASSERT_EQ(status, i_fail == n ? KELVRA_OK : KELVRA_ERR_CAPACITY);
    }
}

// ---- best rational approximation -----------------------------------------------------------

struct Unsigned {
    kelvra_status status;
    uint64_t num, den;
    bool operator==(const Unsigned &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Unsigned &f) {
    return os << "status " << f.status << ", " << f.num << "/" << f.den;
}

Unsigned best(uint64_t num, uint64_t den, uint64_t max_den) {
    Unsigned u{99, 77, 77};
    u.status = kelvra_best_rational(num, den, max_den, &u.num, &u.den);
    return u;
}

// The last convergent with q <= max_den whose p and q fit in 64 bits.
Unsigned best_by_gmp(uint64_t num, uint64_t den, uint64_t max_den) {
    Unsigned answer{0, 0, 1};
    Z p1 = Z::of(1), p2 = Z::of(0), q1 = Z::of(0), q2 = Z::of(1);
    for (uint64_t a : expansion(num, den)) {
        const Z p = Z::of_unsigned(a) * p1 + p2, q = Z::of_unsigned(a) * q1 + q2;
        if (unsigned_fails(p) || unsigned_fails(q) || compare(q, Z::of_unsigned(max_den)) > 0) break;
        answer = {0, mpz_get_ui(p.get()), mpz_get_ui(q.get())};
        p2 = p1;
        p1 = p;
        q2 = q1;
        q1 = q;
    }
    return answer;
}

TEST(BestRational, DocumentedCases) {
    EXPECT_EQ(best(314159, 100000, 100), (Unsigned{0, 22, 7}));
    EXPECT_EQ(best(314159, 100000, 1000), (Unsigned{0, 355, 113}));
    EXPECT_EQ(best(1, 3, 2), (Unsigned{0, 0, 1})) << "only convergents, never 1/2";
    EXPECT_EQ(best(6, 4, 100), (Unsigned{0, 3, 2}));
    EXPECT_EQ(best(0, 5, 10), (Unsigned{0, 0, 1}));
    EXPECT_EQ(best(1, 0, 10), (Unsigned{2, 0, 1})) << "0/1 is written before the checks";
    EXPECT_EQ(best(1, 2, 0), (Unsigned{2, 0, 1}));
    EXPECT_EQ(best(UINT64_MAX, 1, UINT64_MAX), (Unsigned{0, UINT64_MAX, 1}));
    // The last convergent is the fraction itself, numerator 2^64 - 1.
    EXPECT_EQ(best(UINT64_MAX, UINT64_MAX - 1, UINT64_MAX), (Unsigned{0, UINT64_MAX, UINT64_MAX - 1}));
    EXPECT_EQ(best(UINT64_MAX, UINT64_MAX - 1, UINT64_MAX - 2), (Unsigned{0, 1, 1}));
}

TEST(BestRational, AgainstGmp) {
    std::mt19937_64 rng(27);
    for (int i = 0; i < kRandomCases; ++i) {
        const uint64_t num = random_unsigned(rng), den = 1 + random_unsigned(rng) % UINT64_MAX;
        const uint64_t max_den = rng() % 3 == 0 ? UINT64_MAX : 1 + random_unsigned(rng) % UINT64_MAX;
        ASSERT_EQ(best(num, den, max_den), best_by_gmp(num, den, max_den)) << num << "/" << den << " <= " << max_den;
    }
}

// ---- the square root -------------------------------------------------------------------------

double from_bits(uint64_t b) {
    double x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

uint64_t bits(double x) {
    uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

// The documented method: split, normalise a subnormal, make E even, then
// floor(sqrt(M 2^54)) by the bitwise base-4 method over 64 iterations.
double sqrt_reference(double x) {
    const uint64_t b = bits(x);
    const int biased = static_cast<int>(b >> 52);
    uint64_t m = b & ((uint64_t{1} << 52) - 1);
    int e;
    if (biased != 0) {
        m |= uint64_t{1} << 52;
        e = biased - 1075;
    } else {
        e = -1074;
        while ((m & (uint64_t{1} << 52)) == 0) {
            m <<= 1;
            --e;
        }
    }
    if (e % 2 != 0) {
        m *= 2;
        e -= 1;
    }
    const u128 n = static_cast<u128>(m) << 54;
    u128 remainder = 0, root = 0;
    for (int i = 63; i >= 0; --i) {
        remainder = (remainder << 2) | ((n >> (2 * i)) & 3);
        const u128 trial = (root << 2) | 1;
        root <<= 1;
        if (remainder >= trial) {
            remainder -= trial;
            root |= 1;
        }
    }
    return static_cast<double>(static_cast<uint64_t>(root)) * std::ldexp(1.0, e / 2 - 27);
}

double library_sqrt(double x, kelvra_status *status = nullptr) {
    double out = -7.0;
    const kelvra_status s = kelvra_rational_sqrt(x, &out);
    if (status) *status = s;
    return out;
}

TEST(RationalSqrt, DocumentedCases) {
    EXPECT_EQ(library_sqrt(4.0), 2.0);
    EXPECT_EQ(library_sqrt(2.0), 0x1.6a09e667f3bccp+0) << "one unit below the correctly rounded root";
    EXPECT_EQ(library_sqrt(3.0), 0x1.bb67ae8584caap+0);
    EXPECT_EQ(library_sqrt(0x1p-1074), 0x1p-537);
    kelvra_status s;
    EXPECT_EQ(bits(library_sqrt(-1.0, &s)), bits(0.0));
    EXPECT_EQ(s, KELVRA_ERR_DATA);
    EXPECT_TRUE(std::isnan(library_sqrt(-INFINITY, &s)));
    EXPECT_EQ(s, KELVRA_ERR_DATA);
    EXPECT_EQ(bits(library_sqrt(-0.0, &s)), bits(0.0));
    EXPECT_EQ(s, KELVRA_OK);
    EXPECT_EQ(library_sqrt(INFINITY, &s), INFINITY);
    EXPECT_EQ(s, KELVRA_OK);
    const double nan = from_bits(0x7FF8000000000123);
    EXPECT_EQ(bits(library_sqrt(nan, &s)), bits(nan)) << "a NaN comes back unchanged";
    EXPECT_EQ(s, KELVRA_OK);
}

TEST(RationalSqrt, SubnormalsKeepFullPrecision) {
    // Normalising the significand first gives subnormals the 53 significant
    // bits of the root that normal arguments get (without it, 2^-1073 would
    // come out as 0x1.6a09e66p-537).
    EXPECT_EQ(library_sqrt(0x1p-1073), 0x1.6a09e667f3bccp-537);
    EXPECT_EQ(library_sqrt(0x1p-1073), library_sqrt(2.0) * 0x1p-537);
    EXPECT_EQ(library_sqrt(0x3p-1074), library_sqrt(3.0) * 0x1p-537);
    std::mt19937_64 rng(28);
    for (int i = 0; i < 2000; ++i) {
        const double x = from_bits(rng() >> (12 + rng() % 52));
        if (x == 0) continue;
        // Scaling by an even power of two commutes with the method.
        ASSERT_EQ(library_sqrt(x), library_sqrt(x * 0x1p600) * 0x1p-300) << x;
    }
}

TEST(RationalSqrt, AgainstTheBitwiseMethod) {
    std::mt19937_64 rng(29);
    std::vector<double> args;
    for (int i = 0; i < kRandomCases; ++i) args.push_back(from_bits(rng() >> 1)); // every positive exponent
    for (int i = 0; i < 2000; ++i) args.push_back(from_bits(rng() >> (12 + rng() % 52)));
    args.push_back(std::numeric_limits<double>::max());
    args.push_back(std::numeric_limits<double>::min());
    args.push_back(std::nextafter(std::numeric_limits<double>::min(), 0.0));
    for (double x : args) {
        if (!std::isfinite(x) || x == 0) continue;
        const double got = library_sqrt(x);
        ASSERT_EQ(bits(got), bits(sqrt_reference(x))) << "sqrt(" << x << ")";
        // Truncate, then round: the correctly rounded root or one unit below.
        const double correct = std::sqrt(x);
        ASSERT_TRUE(got == correct || got == std::nextafter(correct, 0.0)) << x;
    }
}

TEST(RationalSqrt, ExactOnSquaresAndRightAroundThem) {
    // floor(sqrt(N)) steps at the perfect squares: the root of j^2 is j
    // exactly, and its neighbours are where a root search slips by one.
    std::mt19937_64 rng(30);
    for (int i = 0; i < 4000; ++i) {
        const uint64_t root = (uint64_t{1} << 26) + rng() % (uint64_t{1} << 26);
        const int scale = static_cast<int>(rng() % 200) - 100;
        const double square = std::ldexp(static_cast<double>(root * root), 2 * scale);
        ASSERT_EQ(library_sqrt(square), std::ldexp(static_cast<double>(root), scale)) << root;
        const double below = std::nextafter(square, 0.0);
        ASSERT_EQ(bits(library_sqrt(below)), bits(sqrt_reference(below))) << root;
        const double above = std::nextafter(square, INFINITY);
        ASSERT_EQ(bits(library_sqrt(above)), bits(sqrt_reference(above))) << root;
    }
}

} // namespace
