// kelvra golden: the golden vectors, a fixed set of library calls written as
// one line each, "NAME INPUTS -> STATUS OUTPUTS". Integers are decimal,
// doubles their 64-bit patterns in hex (0x3ff0000000000000), byte strings
// '#' and hex (# alone when empty), bit arrays '%' and one 0 or 1 per bit.
// The inputs come from fixed tables and from a splitmix64 generator seeded
// per family, built from integer bits only, so the text is the same wherever
// the tool runs; tests/data/golden/vectors.txt holds it and the tests compare.
#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <limits>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "cli.hpp"
#include "io.hpp"

namespace kelvra::cli {

namespace {

// splitmix64: the same sequence everywhere, unlike the standard distributions.
struct Rng {
    uint64_t state;
    uint64_t next() {
        uint64_t z = (state += 0x9e3779b97f4a7c15u);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
        return z ^ (z >> 31);
    }
    uint64_t below(uint64_t n) { return next() % n; }
    // A subnormal of random sign.
    double subnormal() {
        const uint64_t r = next();
        return std::bit_cast<double>((r & (uint64_t{1} << 63)) | ((r & 0xfffffffffffffu) | 1));
    }
    // A double with a binary exponent in [lo, hi], a random mantissa and,
    // when `sign`, a random sign: magnitudes spread evenly on a log scale.
    double mag(int lo, int hi, bool sign = true) {
        const uint64_t r = next();
        const uint64_t e =
            static_cast<uint64_t>(1023 + lo + static_cast<int>(below(static_cast<uint64_t>(hi - lo + 1))));
        return std::bit_cast<double>((sign ? r & (uint64_t{1} << 63) : 0) | e << 52 | (r & 0xfffffffffffffu));
    }
};

double bits(uint64_t b) { return std::bit_cast<double>(b); }
// The double `steps` units in the last place away from x (same sign side).
double ulps(double x, int64_t steps) { return bits(std::bit_cast<uint64_t>(x) + static_cast<uint64_t>(steps)); }

// The text being written, one case per line.
struct Out {
    std::string text;
    Out &name(const char *n) { return text += n, *this; }
    template <class T>
    Out &number(T v) {
        char buf[24];
        text += ' ';
        return text.append(buf, std::to_chars(buf, buf + sizeof buf, v).ptr), *this;
    }
    Out &u(uint64_t v) { return number(v); }
    Out &i(int64_t v) { return number(v); }
    Out &hex(uint64_t v, int digits) {
        for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) text += "0123456789abcdef"[(v >> shift) & 15];
        return *this;
    }
    Out &d(double v) { return text += " 0x", hex(std::bit_cast<uint64_t>(v), 16); }
    Out &d(const double *v, size_t n) {
        for (size_t k = 0; k < n; ++k) d(v[k]);
        return *this;
    }
    Out &bytes(const void *data, size_t n) {
        text += " #";
        for (size_t k = 0; k < n; ++k) hex(static_cast<const uint8_t *>(data)[k], 2);
        return *this;
    }
    Out &digest(const char *hex_text) { return text.append(" #").append(hex_text), *this; }
    Out &bitarray(const uint8_t *b, size_t n) {
        text += " %";
        for (size_t k = 0; k < n; ++k) text += static_cast<char>('0' + (b[k] & 1));
        return *this;
    }
    Out &to(kelvra_status s) { return text += " ->", u(s); }
    void end() { text += '\n'; }
};

constexpr double kPi = 3.141592653589793;
constexpr double kInf = std::numeric_limits<double>::infinity();

// Arguments every real function sees: zeros, subnormals, the ends of the
// normal range, infinities, a NaN, and the numbers around the usual edges.
std::vector<double> special_arguments() {
    std::vector<double> v;
    for (const double x : {0.0,
                           bits(1),
                           bits(0xfffffffffffff),
                           2.2250738585072014e-308,
                           1e-300,
                           0x1p-60,
                           0x1p-30,
                           1e-8,
                           0.1,
                           0.5,
                           1.0,
                           2.0,
                           10.0,
                           100.0,
                           700.0,
                           709.782712893384,
                           709.7827128933841,
                           745.1332191019411,
                           746.0,
                           1e10,
                           0x1p52,
                           0x1p55,
                           ulps(0x1p55, -1),
                           1e300,
                           1.7976931348623157e308,
                           kInf}) {
        v.push_back(x);
        v.push_back(-x);
    }
    v.push_back(bits(0x7ff8000000000000u));
    return v;
}

// Near the multiples of pi/2 (and at a few far ones), a few units away.
std::vector<double> near_half_pi_multiples() {
    std::vector<double> v;
    for (const double k : {1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 16.0, 100.0, 1000.0, 65536.0, 1e6, 1e9, 1e12}) {
        const double x = k * (kPi / 2); // one rounding: the same product everywhere
        for (const int64_t s : {-2, -1, 0, 1, 2}) v.push_back(ulps(x, s));
    }
    return v;
}

// Near 1, where the logarithm loses most.
std::vector<double> near_one() {
    std::vector<double> v;
    for (int64_t s = -8; s <= 8; ++s) v.push_back(ulps(1.0, s));
    for (int e = -52; e <= -1; e += 3) v.push_back(1.0 + std::ldexp(1.0, e)), v.push_back(1.0 - std::ldexp(1.0, e));
    return v;
}

using Unary = kelvra_status (*)(double, double *);

void unary(Out &o, const char *name, Unary f, const std::vector<double> &xs) {
    for (const double x : xs) {
        double y = 0;
        const kelvra_status s = f(x, &y);
        o.name(name).d(x).to(s).d(y).end();
    }
}

void elementary(Out &o) {
    const std::vector<double> common = special_arguments(), half_pi = near_half_pi_multiples();
    struct Function {
        const char *name;
        Unary f;
        int lo, hi; // binary exponents of the random arguments
        bool near_half_pi, near_one;
    };
    const Function functions[] = {
        {"exp", kelvra_exp, -40, 10, false, false},
        {"log", kelvra_log, -1022, 1023, false, true},
        {"sin", kelvra_sin, -40, 54, true, false},
        {"cos", kelvra_cos, -40, 54, true, false},
        {"atan", kelvra_atan, -60, 60, false, false},
        {"rational_sqrt", kelvra_rational_sqrt, -1022, 1023, false, false},
    };
    uint64_t seed = 1;
    for (const Function &f : functions) {
        std::vector<double> xs = common;
        if (f.near_half_pi) xs.insert(xs.end(), half_pi.begin(), half_pi.end());
        if (f.near_one) {
            const std::vector<double> ones = near_one();
            xs.insert(xs.end(), ones.begin(), ones.end());
        }
        Rng rng{seed++};
        for (int k = 0; k < 400; ++k) xs.push_back(rng.mag(f.lo, f.hi, std::strcmp(f.name, "log") != 0 || k % 8 == 0));
        for (int k = 0; k < 40; ++k) xs.push_back(rng.subnormal());
        unary(o, f.name, f.f, xs);
    }

    // atan2 on every pair of some special values, then at random.
    const double corners[] = {0.0,  -0.0, bits(1), -bits(1), 1e-300, 0.5,  -0.5,  1.0,
                              -1.0, 3.0,  -3.0,    1e300,    -1e300, kInf, -kInf, bits(0x7ff8000000000000u)};
    for (const double y : corners)
        for (const double x : corners) {
            double a = 0;
            const kelvra_status s = kelvra_atan2(y, x, &a);
            o.name("atan2").d(y).d(x).to(s).d(a).end();
        }
    Rng rng{seed++};
    for (int k = 0; k < 300; ++k) {
        const double y = rng.mag(-30, 30), x = rng.mag(-30, 30);
        double a = 0;
        const kelvra_status s = kelvra_atan2(y, x, &a);
        o.name("atan2").d(y).d(x).to(s).d(a).end();
    }
}

void orbital(Out &o) {
    Rng rng{101};
    std::vector<double> anomalies = {
        0.0, -0.0, kPi, -kPi, 2 * kPi, 1e-300, 100.0, -1e6, kInf, -kInf, bits(0x7ff8000000000000u)};
    for (int k = 0; k < 30; ++k) anomalies.push_back(rng.mag(-20, 3));
    const double eccentricities[] = {0.0,  1e-9,     0.0167,        0.1, 0.5,  0.9,
                                     0.99, 0.999999, ulps(1.0, -1), 1.0, -0.1, bits(0x7ff8000000000000u)};
    for (const double m : anomalies)
        for (const double e : eccentricities) {
            double ecc = 0;
            const kelvra_status s = kelvra_kepler_solve(m, e, 1e-15, 50, &ecc);
            o.name("kepler_solve").d(m).d(e).d(1e-15).u(50).to(s).d(ecc).end();
        }
    for (const uint32_t budget : {0u, 1u, 2u, 100u}) // the budget's edges, and a tolerance of zero
        for (const double tolerance : {1e-3, 0.0}) {
            double ecc = 0;
            const kelvra_status s = kelvra_kepler_solve(2.5, 0.97, tolerance, budget, &ecc);
            o.name("kepler_solve").d(2.5).d(0.97).d(tolerance).u(budget).to(s).d(ecc).end();
        }
    for (const double m : anomalies)
        for (const double e : {0.0, 0.0167, 0.2, 0.6, 1.0})
            for (int32_t order = 0; order <= 7; ++order) {
                double c = 0;
                const kelvra_status s = kelvra_equation_of_centre(m, e, order, &c);
                o.name("equation_of_centre").d(m).d(e).i(order).to(s).d(c).end();
            }
}

void elementwise(Out &o) {
    Rng rng{201};
    const int ranges[4][2] = {{-30, 9}, {-30, 40}, {-30, 40}, {-1000, 1000}};
    for (uint32_t op = 0; op <= 4; ++op)
        for (uint32_t count : {1u, 3u, 8u, 17u}) {
            double in[17], out[17] = {};
            for (uint32_t k = 0; k < count; ++k) in[k] = rng.mag(ranges[op % 4][0], ranges[op % 4][1], op != 3);
            if (op == 3 && count == 17) in[11] = -1.0; // the error, after eleven results
            const kelvra_status s = kelvra_elementwise_transcendental(count, in, op, out);
            o.name("elementwise_transcendental").u(op).d(in, count).to(s).d(out, count).end();
        }
}

struct Q {
    int64_t num;
    uint64_t den;
};

void rationals(Out &o) {
    constexpr int64_t max = INT64_MAX, min = INT64_MIN;
    const Q qs[] = {{0, 1},
                    {1, 1},
                    {-1, 1},
                    {6, 4},
                    {-22, 7},
                    {355, 113},
                    {1, 3},
                    {max, 1},
                    {min, 1},
                    {1, uint64_t{max}},
                    {-1, uint64_t{max}},
                    {max, 2},
                    {3037000499, 1},
                    {4294967296, 4294967295u},
                    {1, 0},
                    {5, uint64_t{1} << 63}};
    using Binary = kelvra_status (*)(int64_t, uint64_t, int64_t, uint64_t, int64_t *, uint64_t *);
    const std::pair<const char *, Binary> ops[] = {{"rational_add", kelvra_rational_add},
                                                   {"rational_mul", kelvra_rational_mul},
                                                   {"rational_div", kelvra_rational_div}};
    for (const auto &[name, f] : ops)
        for (const Q &a : qs)
            for (const Q &b : qs) {
                int64_t n = 0;
                uint64_t d = 0;
                const kelvra_status s = f(a.num, a.den, b.num, b.den, &n, &d);
                o.name(name).i(a.num).u(a.den).i(b.num).u(b.den).to(s).i(n).u(d).end();
            }
    for (const Q &a : qs)
        for (const uint32_t e : {0u, 1u, 2u, 3u, 7u, 62u, 63u, 64u, 65u}) {
            int64_t n = 0;
            uint64_t d = 0;
            const kelvra_status s = kelvra_rational_pow_uint(a.num, a.den, e, &n, &d);
            o.name("rational_pow_uint").i(a.num).u(a.den).u(e).to(s).i(n).u(d).end();
        }
    for (const Q &x : {Q{0, 1}, Q{1, 1}, Q{-1, 1}, Q{1, 2}, Q{-3, 7}, Q{5, 1}, Q{100, 1}, Q{1, 0}})
        for (const uint32_t order : {0u, 1u, 2u, 5u, 10u, 15u, 20u, 21u}) {
            int64_t n = 0;
            uint64_t d = 0;
            const kelvra_status s = kelvra_exp_series_truncate(x.num, x.den, order, &n, &d);
            o.name("exp_series_truncate").i(x.num).u(x.den).u(order).to(s).i(n).u(d).end();
        }

    // Continued fractions: consecutive Fibonacci numbers give the longest.
    const std::pair<uint64_t, uint64_t> fractions[] = {{0, 1},
                                                       {1, 1},
                                                       {415, 93},
                                                       {355, 113},
                                                       {884279719003555u, 281474976710656u},
                                                       {UINT64_MAX, 1},
                                                       {1, UINT64_MAX},
                                                       {7540113804746346429u, 4660046610375530309u},
                                                       {UINT64_MAX, UINT64_MAX - 1},
                                                       {5, 0}};
    for (const auto &[num, den] : fractions)
        for (const uint32_t capacity : {4u, 100u}) {
            uint64_t terms[100] = {};
            uint32_t count = 0;
            const kelvra_status s = kelvra_continued_fraction(num, den, terms, capacity, &count);
            o.name("continued_fraction").u(num).u(den).u(capacity).to(s).u(count);
            for (uint32_t k = 0; k < count && k < capacity; ++k) o.u(terms[k]);
            o.end();
        }
    const std::vector<int64_t> term_lists[] = {
        {3, 7, 15, 1, 292, 1, 1, 1, 2}, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1},       {-2, 3, -4, 5}, {0, 1, 2},
        {2, 1, 2, 1, 1, 4, 1, 1, 6, 1}, {1000000000, 1000000000, 1000000000}, {0, 0, 0}};
    for (const std::vector<int64_t> &t : term_lists) {
        int64_t p[16] = {}, q[16] = {};
        const kelvra_status s = kelvra_cf_convergents_int64(t.data(), t.size(), p, q);
        o.name("cf_convergents_int64");
        for (const int64_t term : t) o.i(term);
        o.to(s);
        for (size_t k = 0; k < t.size(); ++k) o.i(p[k]).i(q[k]);
        o.end();
    }
    for (const auto &[num, den] : fractions)
        for (const uint64_t max_den :
             {uint64_t{0}, uint64_t{1}, uint64_t{7}, uint64_t{113}, uint64_t{33215}, uint64_t{1000000}, UINT64_MAX}) {
            uint64_t n = 0, d = 0;
            const kelvra_status s = kelvra_best_rational(num, den, max_den, &n, &d);
            o.name("best_rational").u(num).u(den).u(max_den).to(s).u(n).u(d).end();
        }
}

void octonions(Out &o) {
    Rng rng{301};
    const auto random_octonion = [&](std::array<double, 8> &x) {
        for (double &c : x) c = rng.mag(-8, 8);
    };
    std::vector<std::array<double, 8>> xs(40);
    for (auto &x : xs) random_octonion(x);
    for (int k = 0; k < 8; ++k) xs[k] = {}, xs[k][k] = 1.0; // the basis
    xs[8] = {};                                             // zero: inv refuses it
    xs[9] = {1e300, -1e300, 1e-300, 0.0, -0.0, 1e200, 3.0, bits(1)};
    for (size_t k = 0; k + 2 < xs.size(); ++k) {
        const double *x = xs[k].data(), *y = xs[(k * 7 + 3) % xs.size()].data(),
                     *z = xs[(k * 5 + 1) % xs.size()].data();
        double out[8] = {};
        kelvra_status s = kelvra_loop_bind_f64(x, y, 8, out);
        o.name("loop_bind").d(x, 8).d(y, 8).to(s).d(out, 8).end();
        s = kelvra_loop_inv_f64(x, 8, out);
        o.name("loop_inv").d(x, 8).to(s).d(out, 8).end();
        s = kelvra_loop_associator_f64(x, y, z, 8, out);
        o.name("loop_associator").d(x, 8).d(y, 8).d(z, 8).to(s).d(out, 8).end();
        s = kelvra_cross7_f64(x, y, 8, out);
        o.name("cross7").d(x, 8).d(y, 8).to(s).d(out, 8).end();
        s = kelvra_g2_three_form_f64(x, y, z, 8, out);
        o.name("g2_three_form").d(x, 8).d(y, 8).d(z, 8).to(s).d(out, 1).end();
    }
    double out[8] = {};
    o.name("loop_bind").u(4).to(kelvra_loop_bind_f64(xs[10].data(), xs[11].data(), 4, out)).end(); // dim must be 8

    // The batch forms, for every block count up to 9 (the wide tiers take
    // 2 or 4 blocks at a time and finish the rest singly), one line a block.
    using Batch2 = kelvra_status (*)(const double *, const double *, uint64_t, double *);
    using Batch1 = kelvra_status (*)(const double *, uint64_t, double *);
    const std::pair<const char *, Batch2> pairs[] = {{"loop_bind_hd", kelvra_loop_bind_hd_f64},
                                                     {"loop_unbind_hd", kelvra_loop_unbind_hd_f64},
                                                     {"loop_runbind_hd", kelvra_loop_runbind_hd_f64}};
    const std::pair<const char *, Batch1> singles[] = {{"loop_conj_hd", kelvra_loop_conj_hd_f64},
                                                       {"loop_inv_hd", kelvra_loop_inv_hd_f64}};
    std::vector<double> a(9 * 8), b(9 * 8), c(9 * 8);
    for (uint64_t n = 0; n <= 9; ++n) {
        for (double &v : a) v = rng.mag(-8, 8);
        for (double &v : b) v = rng.mag(-8, 8);
        if (n == 7) std::fill(a.begin() + 40, a.begin() + 48, 0.0); // block 5 is zero: inv stops there
        for (const auto &[name, f] : pairs) {
            std::fill(c.begin(), c.end(), 0.0);
            const kelvra_status s = f(a.data(), b.data(), n, c.data());
            o.name(name).u(n).to(s).end();
            for (uint64_t k = 0; k < n; ++k)
                o.name(name).u(n).u(k).d(&a[k * 8], 8).d(&b[k * 8], 8).to(s).d(&c[k * 8], 8).end();
        }
        for (const auto &[name, f] : singles) {
            std::fill(c.begin(), c.end(), 0.0);
            const kelvra_status s = f(a.data(), n, c.data());
            o.name(name).u(n).to(s).end();
            for (uint64_t k = 0; k < n; ++k) o.name(name).u(n).u(k).d(&a[k * 8], 8).to(s).d(&c[k * 8], 8).end();
        }
    }
}

void oscillators(Out &o) {
    Rng rng{401};
    for (const uint64_t n : {1u, 2u, 3u, 5u, 8u, 16u}) {
        std::vector<double> theta(n), omega(n), weights(n * n), drive(n), gain(n), out(n);
        for (uint64_t k = 0; k < n; ++k) theta[k] = rng.mag(-4, 1), omega[k] = rng.mag(-6, 1);
        for (double &w : weights) w = rng.mag(-4, 0);
        for (uint64_t k = 0; k < n; ++k) drive[k] = rng.mag(-4, 1), gain[k] = rng.mag(-4, 0, false);
        for (const double coupling : {0.0, 0.5, 4.0}) {
            std::fill(out.begin(), out.end(), 0.0);
            const kelvra_status s =
                kelvra_cascade_kuramoto_step_f64(theta.data(), omega.data(), n, coupling, 0.01, out.data());
            o.name("kuramoto_step")
                .u(n)
                .d(theta.data(), n)
                .d(omega.data(), n)
                .d(coupling)
                .d(0.01)
                .to(s)
                .d(out.data(), n)
                .end();
        }
        for (int variant = 0; variant < 8; ++variant) { // with and without weights, drive and gains
            const double *w = variant & 1 ? weights.data() : nullptr, *dr = variant & 2 ? drive.data() : nullptr,
                         *g = variant & 4 ? gain.data() : nullptr;
            std::fill(out.begin(), out.end(), 0.0);
            const kelvra_status s = kelvra_cascade_kuramoto_step_general_f64(theta.data(), omega.data(), n, w, 1.5, 0.3,
                                                                             dr, g, 0.02, out.data());
            o.name("kuramoto_step_general").u(n).d(theta.data(), n).d(omega.data(), n);
            if (w) o.d(w, n * n);
            o.d(1.5).d(0.3);
            if (dr) o.d(dr, n);
            if (g) o.d(g, n);
            o.d(0.02).u(static_cast<uint64_t>(variant)).to(s).d(out.data(), n).end();
        }
    }
}

void linear_algebra(Out &o) {
    Rng rng{501};
    for (const uint32_t n : {1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 12u})
        for (const uint32_t m : {1u, 2u, 3u}) {
            std::vector<double> a(n * n), b(n * m), x(n * m);
            for (double &v : a) v = rng.mag(-3, 3);
            for (double &v : b) v = rng.mag(-3, 3);
            if (m == 3 && n > 1) std::copy(a.begin(), a.begin() + n, a.begin() + n); // two equal rows: singular
            std::vector<uint8_t> workspace(kelvra_dense_solve_arena_bytes(n, m));
            const kelvra_status s =
                kelvra_dense_solve_f64_ws(n, m, a.data(), b.data(), x.data(), workspace.data(), workspace.size());
            o.name("dense_solve")
                .u(n)
                .u(m)
                .d(a.data(), a.size())
                .d(b.data(), b.size())
                .to(s)
                .d(x.data(), x.size())
                .end();
        }
    for (const uint32_t n : {1u, 2u, 3u, 4u, 5u, 6u, 9u}) {
        std::vector<double> a(n * n), copy, values(n);
        for (uint32_t r = 0; r < n; ++r)
            for (uint32_t c = 0; c <= r; ++c) a[r * n + c] = a[c * n + r] = rng.mag(-3, 3);
        copy = a;
        const kelvra_status s = kelvra_jacobi_eigvals(n, copy.data(), 100, 1e-14, values.data());
        o.name("jacobi_eigvals").u(n).d(a.data(), a.size()).to(s).d(values.data(), n).end();
    }
    for (const uint32_t n : {1u, 2u, 3u, 4u, 6u}) {
        std::vector<double> h(2 * n * n), values(n), vectors(2 * n * n), workspace(2 * n * n);
        for (uint32_t r = 0; r < n; ++r)
            for (uint32_t c = 0; c <= r; ++c) {
                const double re = rng.mag(-3, 3), im = r == c ? 0.0 : rng.mag(-3, 3);
                h[2 * (r * n + c)] = h[2 * (c * n + r)] = re;
                h[2 * (r * n + c) + 1] = im;
                h[2 * (c * n + r) + 1] = -im;
            }
        const kelvra_status s = kelvra_hermitian_eigendecompose_ws(n, h.data(), values.data(), vectors.data(),
                                                                   workspace.data(), workspace.size());
        o.name("hermitian_eigendecompose")
            .u(n)
            .d(h.data(), h.size())
            .to(s)
            .d(values.data(), n)
            .d(vectors.data(), vectors.size())
            .end();
    }
}

void hamming(Out &o) {
    Rng rng{601};
    for (const int32_t r : {2, 3, 4, 5, 6}) {
        const uint64_t n = (uint64_t{1} << r) - 1, k = n - static_cast<uint64_t>(r);
        for (int round = 0; round < 4; ++round) {
            std::vector<uint8_t> data(k), code(n), decoded(k);
            for (uint8_t &bit : data) bit = static_cast<uint8_t>(rng.next() & 1);
            kelvra_status s = kelvra_hamming_encode(data.data(), k, r, code.data());
            o.name("hamming_encode").i(r).bitarray(data.data(), k).to(s).bitarray(code.data(), n).end();
            // Clean, then one flipped bit at a time (all of them for short codes).
            for (uint64_t flip = 0; flip <= n; flip += (n <= 15 || flip == 0) ? 1 : 1 + rng.below(9)) {
                std::vector<uint8_t> received = code;
                if (flip > 0) received[flip - 1] ^= 1;
                uint32_t syndrome = 0;
                s = kelvra_hamming_decode_correct(received.data(), n, decoded.data(), &syndrome);
                o.name("hamming_decode_correct")
                    .bitarray(received.data(), n)
                    .to(s)
                    .bitarray(decoded.data(), k)
                    .u(syndrome)
                    .end();
            }
        }
    }
    uint8_t bits1[3] = {1, 0, 1}, code[8] = {};
    o.name("hamming_encode").i(1).bitarray(bits1, 1).to(kelvra_hamming_encode(bits1, 1, 1, code)).end();
    o.name("hamming_encode").i(17).bitarray(bits1, 3).to(kelvra_hamming_encode(bits1, 3, 17, code)).end();
    uint32_t syndrome = 0;
    o.name("hamming_syndrome").bitarray(bits1, 3).to(kelvra_hamming_syndrome(bits1, 3, &syndrome)).u(syndrome).end();
    o.name("hamming_syndrome").bitarray(code, 8).to(kelvra_hamming_syndrome(code, 8, &syndrome)).u(syndrome).end();
}

// Canonical text of a tree; the status and the bytes.
void write_json(Out &o, const kelvra_json_value *root) {
    std::vector<uint8_t> workspace(kelvra_json_write_arena_bytes(root) + 1), text(1 << 16);
    uint64_t length = 0;
    const kelvra_status s =
        kelvra_json_write_ws(root, text.data(), text.size(), &length, workspace.data(), workspace.size());
    o.to(s).bytes(text.data(), s == KELVRA_OK ? length : 0).end();
}

void json(Out &o) {
    Rng rng{701};
    std::vector<uint8_t> arena(1 << 16);
    kelvra_json_builder b;
    kelvra_json_builder_init(&b, arena.data(), arena.size());
    // Numbers whose shortest text is hard to get right, then random ones.
    std::vector<double> numbers = {0.0,
                                   -0.0,
                                   0.1,
                                   1.0 / 3,
                                   100.0,
                                   1e21,
                                   1e22,
                                   123456789012345680.0,
                                   5e-324,
                                   2.2250738585072014e-308,
                                   1.7976931348623157e308,
                                   9007199254740993.0,
                                   -1.5e-7,
                                   0x1p-1074,
                                   1e-7,
                                   1e-6,
                                   1e15,
                                   1e16,
                                   4.35,
                                   0.3};
    for (int k = 0; k < 60; ++k) numbers.push_back(rng.mag(-1022, 1023));
    std::vector<kelvra_json_value *> items;
    for (const double x : numbers) {
        items.push_back(kelvra_json_new_double(&b, x));
        o.name("json_double").d(x);
        write_json(o, items.back());
    }
    static const uint8_t text[] = "tab\t \"quoted\" \\ / \x01\x1f \x7f caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80";
    static const uint8_t empty[1] = {};
    kelvra_json_value *const none[1] = {nullptr};
    const char *const no_keys[1] = {nullptr};
    const char *keys[] = {"zeta", "alpha", "", "\xc3\xa9t\xc3\xa9", "Alpha", "numbers", "nested"};
    kelvra_json_value *inner[] = {kelvra_json_new_int(&b, INT64_MIN), kelvra_json_new_int(&b, INT64_MAX),
                                  kelvra_json_new_bool(&b, 0),        kelvra_json_new_null(&b),
                                  kelvra_json_new_array(&b, none, 0), kelvra_json_new_object(&b, no_keys, none, 0)};
    kelvra_json_value *values[] = {kelvra_json_new_null(&b),
                                   kelvra_json_new_int(&b, -7),
                                   kelvra_json_new_string(&b, text, sizeof text - 1),
                                   kelvra_json_new_bool(&b, 1),
                                   kelvra_json_new_string(&b, empty, 0),
                                   kelvra_json_new_array(&b, items.data(), static_cast<uint32_t>(items.size())),
                                   kelvra_json_new_array(&b, inner, 6)};
    const kelvra_json_value *tree = kelvra_json_new_object(&b, keys, values, 7);
    o.name("json_built").u(b.failed);
    write_json(o, tree);

    const char *documents[] = {
        "{ \"text\" : \"tab\\there \\\"quoted\\\"\",\n  \"list\": [-7, 1e-1, 1E2, true],\n  \"alpha\": 1, \"zeta\": "
        "null }",
        "[0, -0, 0.0, -0.0, 1.0, 1e0, 10e-1, 0.1e1, 1e400, -1e400, 1e-400, 9223372036854775807, -9223372036854775808,"
        " 9223372036854775808, 123456789012345678901234567890, 2.5e-324, 4.9406564584124654e-324]",
        "{\"b\": {\"d\": [], \"c\": {}}, \"a\": \"\\u00e9\\ud83d\\ude00\\u0000\\n\", \"a\": 2}",
        "[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[1]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]",
        "  \"just a string\"  ",
        "[1, 2,]",
        "{\"a\" 1}",
        "\"\\ud800\"",
        "01",
        "[1e]",
        "nul",
        "",
    };
    for (const char *doc : documents) {
        std::vector<uint8_t> parse_arena(1 << 16);
        kelvra_json_value *root = nullptr;
        const kelvra_status s = kelvra_json_parse(reinterpret_cast<const uint8_t *>(doc), std::strlen(doc),
                                                  parse_arena.data(), parse_arena.size(), &root);
        o.name("json_parse").bytes(doc, std::strlen(doc)).to(s).end();
        if (s == KELVRA_OK) o.name("json_parse_write"), write_json(o, root);
    }
}

void digests(Out &o) {
    std::vector<std::string> messages = {"", "abc", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
                                         std::string(1000000, 'a')};
    for (const size_t n : {1u, 55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 127u, 128u, 129u, 1000u}) {
        std::string m(n, '\0');
        for (size_t k = 0; k < n; ++k) m[k] = static_cast<char>(k * 131 + n);
        messages.push_back(m);
    }
    std::vector<const uint8_t *> pointers;
    std::vector<uint64_t> lengths;
    for (const std::string &m : messages) {
        const auto *data = reinterpret_cast<const uint8_t *>(m.data());
        char hex[65] = {};
        uint8_t raw[32] = {};
        const kelvra_status s = kelvra_sha256_hex(data, m.size(), hex);
        const kelvra_status t = kelvra_sha256_shani(data, m.size(), raw);
        // Long messages by their length and digest, not their bytes.
        if (m.size() > 200) o.name("sha256").u(m.size()).to(s).digest(hex).end();
        else o.name("sha256").bytes(m.data(), m.size()).to(s).digest(hex).end();
        o.name("sha256_shani").u(m.size()).to(t).bytes(raw, 32).end();
        pointers.push_back(data);
        lengths.push_back(m.size());
    }
    for (const uint64_t count : {1u, 3u, 4u, 5u, 8u, 9u, 17u}) { // the 4- and 8-lane batches and their remainders
        std::vector<uint8_t> out(32 * count);
        const kelvra_status s = kelvra_sha256_batch(pointers.data(), lengths.data(), count, out.data());
        for (uint64_t k = 0; k < count; ++k)
            o.name("sha256_batch").u(count).u(k).u(lengths[k]).to(s).bytes(&out[32 * k], 32).end();
    }
}

void hypervectors(Out &o) {
    Rng rng{801};
    for (const uint32_t nbytes : {1u, 7u, 8u, 15u, 16u, 31u, 32u, 33u, 64u, 100u, 1000u}) {
        std::vector<uint8_t> ab(2 * nbytes);
        for (uint8_t &byte : ab) byte = static_cast<uint8_t>(rng.next());
        double similarity = 0;
        const kelvra_status s = kelvra_hdc_similarity(ab.data(), ab.data() + nbytes, nbytes, &similarity);
        o.name("hdc_similarity").bytes(ab.data(), nbytes).bytes(ab.data() + nbytes, nbytes).to(s).d(similarity).end();
    }
}

// A small genome saved in a new temporary directory, removed at the end.
struct Scratch {
    std::filesystem::path root;
    Scratch() {
        std::error_code error;
        const std::filesystem::path base = std::filesystem::temp_directory_path(error);
        std::random_device seed;
        for (int attempt = 0; attempt < 100 && !error && root.empty(); ++attempt) {
            const auto candidate = base / ("kelvra-golden-" + std::to_string((uint64_t{seed()} << 32) ^ seed()));
            if (std::filesystem::create_directory(candidate, error)) root = candidate;
        }
    }
    ~Scratch() {
        std::error_code error;
        if (!root.empty()) std::filesystem::remove_all(root, error);
    }
};

// The size and SHA-256 of a file's bytes, with the library's version text
// ("kelvra 0.8.2", which the genome files carry as their writer's) made
// "kelvra VERSION" first, so that a release alone does not change them; the
// number of times it was found comes first.
kelvra_status file_digest(Out &o, const char *name, const std::filesystem::path &path) {
    std::vector<uint8_t> bytes;
    const kelvra_status s = read_input(path.string().c_str(), bytes);
    std::string text(bytes.begin(), bytes.end());
    const std::string version = std::string("kelvra ") + kelvra_version();
    uint64_t found = 0;
    for (size_t at = text.find(version); at != std::string::npos; at = text.find(version, at + 1), ++found)
        text.replace(at, version.size(), "kelvra VERSION");
    char hex[65] = {};
    if (s == KELVRA_OK) kelvra_sha256_hex(reinterpret_cast<const uint8_t *>(text.data()), text.size(), hex);
    o.name(name).to(s).u(found).u(text.size()).digest(hex).end();
    return s;
}

int genome(Out &o) {
    constexpr uint32_t dim = 16;
    const char *records[] = {"Calpha",           "ATGCGTACGTTAGCAT", "GGATTACA________", "Cbeta",
                             "ACGGTTAAGGCCTTAA", "ATATATCGCGCGATAT", "TTTTGGGGCCCCAAAA", "Cgamma",
                             "TATTACAGATTACAGA"};
    std::vector<uint8_t> body;
    for (const char *r : records) {
        uint8_t record[dim] = {};
        std::memcpy(record, r, std::strlen(r));
        body.insert(body.end(), record, record + dim);
    }
    const uint8_t the_one[dim] = {'g', 'o', 'l', 'd', 'e', 'n', '-', 'v', 'e', 'c', 't', 'o', 'r', 's', '-', '1'};
    Scratch scratch;
    if (scratch.root.empty()) return error("golden", exit_io, "cannot make a temporary directory");
    const std::filesystem::path dir = scratch.root / "genome", bundle = scratch.root / "beta.chr";
    std::error_code error_code;
    std::filesystem::create_directory(dir, error_code);
    std::vector<uint8_t> arena(kelvra_genome_arena_bytes(body.size(), 8, body.size()));
    kelvra_status s = kelvra_genome_save(dir.string().c_str(), body.data(), body.size(), dim, the_one, dim,
                                         arena.data(), arena.size());
    o.name("genome_save").bytes(body.data(), body.size()).u(dim).bytes(the_one, dim).to(s).end();
    if (s != KELVRA_OK) return fail("kelvra_genome_save", s);
    s = kelvra_genome_export(dir.string().c_str(), "beta", bundle.string().c_str(), the_one, dim, arena.data(),
                             arena.size());
    o.name("genome_export").bytes("beta", 4).to(s).end();
    if (s != KELVRA_OK) return fail("kelvra_genome_export", s);
    // Sizes and digests of the files' bytes.
    if ((s = file_digest(o, "genome_turns_bin", dir / "turns.bin")) != KELVRA_OK) return fail("reading turns.bin", s);
    if ((s = file_digest(o, "genome_manifest_json", dir / "manifest.json")) != KELVRA_OK)
        return fail("reading manifest.json", s);
    if ((s = file_digest(o, "genome_bundle", bundle)) != KELVRA_OK) return fail("reading the bundle", s);
    return exit_ok;
}

int run_golden(Args args) {
    const char *path = "-";
    const std::vector<char *> words = operands(args);
    for (size_t k = 0; k < words.size(); ++k) {
        if ((std::strcmp(words[k], "-o") == 0 || std::strcmp(words[k], "--out") == 0) && k + 1 < words.size())
            path = words[++k];
        else return usage_error(golden_command, (std::string("unexpected '") + words[k] + "'").c_str());
    }
    Out o;
    o.text = "# kelvra golden vectors: NAME INPUTS -> STATUS OUTPUTS; see tests/data/golden/README.md\n";
    elementary(o);
    orbital(o);
    elementwise(o);
    rationals(o);
    octonions(o);
    oscillators(o);
    linear_algebra(o);
    hamming(o);
    json(o);
    digests(o);
    hypervectors(o);
    if (const int rc = genome(o)) return rc;
    return write_file("golden", path, o.text.data(), o.text.size()) ? exit_ok : exit_io;
}

} // namespace

const Command golden_command = {"golden", "[-o FILE]",
                                "the golden vectors: fixed library calls and their results, to the bit", run_golden};

} // namespace kelvra::cli
