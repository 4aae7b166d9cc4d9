// Exponential, logarithm, sine, cosine and arctangents: the published bits,
// the special values and statuses, and a differential comparison with the
// straightforward reference (reference.hpp) over every magnitude and around
// every branch threshold of the algorithms.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "elementary/reference.hpp"
#include "kelvra.h"
#include "support/bits.hpp"

namespace {

using kelvra_test::bits;
using kelvra_test::from_bits;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kPi = 3.141592653589793;

using Unary = kelvra_status (*)(double, double *);

struct Outcome {
    kelvra_status status;
    double value;
};

Outcome call(Unary f, double x) {
    double out = -12345.0;
    const kelvra_status status = f(x, &out);
    return {status, out};
}

std::string hex(double x) {
    char text[64];
    std::snprintf(text, sizeof text, "%a", x);
    return text;
}

#define EXPECT_SAME_BITS(actual, expected, arg)                                                             \
    EXPECT_EQ(bits(actual), bits(expected)) << "argument " << hex(arg) << ": got " << hex(actual)          \
                                            << ", expected " << hex(expected)

// A double with a uniformly random significand, sign and biased exponent in [low, high].
double random_double(std::mt19937_64 &rng, int low, int high, bool negative_too = true) {
    std::uniform_int_distribution<int> exponent(low, high);
    const uint64_t sign = negative_too ? (rng() & 1) << 63 : 0;
    return from_bits(sign | (static_cast<uint64_t>(exponent(rng)) << 52) | (rng() >> 12));
}

// x and its neighbours up to `ulps` units away on both sides.
void add_neighbourhood(std::vector<double> &args, double x, int ulps) {
    double below = x, above = x;
    args.push_back(x);
    for (int i = 0; i < ulps; ++i) {
        below = std::nextafter(below, -kInf);
        above = std::nextafter(above, kInf);
        args.push_back(below);
        args.push_back(above);
    }
}

template <class Library, class Reference>
void expect_same_everywhere(const std::vector<double> &args, Library library, Reference ref) {
    int mismatches = 0;
    for (double x : args) {
        const double got = library(x);
        const double want = ref(x);
        if (bits(got) != bits(want) && ++mismatches <= 10) {
            ADD_FAILURE() << "argument " << hex(x) << " (" << x << "): got " << hex(got) << ", reference "
                          << hex(want);
        }
    }
    EXPECT_EQ(mismatches, 0) << "of " << args.size() << " arguments";
}

double lib_exp(double x) { return call(kelvra_exp, x).value; }
double lib_log(double x) { return call(kelvra_log, x).value; }
double lib_sin(double x) { return call(kelvra_sin, x).value; }
double lib_cos(double x) { return call(kelvra_cos, x).value; }
double lib_atan(double x) { return call(kelvra_atan, x).value; }

// ---- published values ------------------------------------------------------------

struct Published {
    Unary f;
    const char *name;
    double x;
    double expected;
};

TEST(Elementary, PublishedValuesBitForBit) {
    const Published table[] = {
        {kelvra_exp, "exp", 1.0, 0x1.5bf0a8b145769p+1},
        {kelvra_exp, "exp", -1.0, 0x1.78b56362cef38p-2},
        {kelvra_exp, "exp", 0.5, 0x1.a61298e1e069cp+0},
        {kelvra_exp, "exp", -745.0, 0x1p-1074},
        {kelvra_exp, "exp", 0.0, 1.0},
        {kelvra_log, "log", 2.0, 0x1.62e42fefa39efp-1},
        {kelvra_log, "log", 10.0, 0x1.26bb1bbb55516p+1},
        {kelvra_log, "log", 0x1p-1074, -0x1.74385446d71c3p+9},
        {kelvra_log, "log", 1.0, 0.0},
        {kelvra_sin, "sin", 1.0, 0x1.aed548f090ceep-1},
        {kelvra_sin, "sin", 100.0, -0x1.03425b78c4db8p-1},
        {kelvra_sin, "sin", kPi, 0x1.1ap-53},
        {kelvra_sin, "sin", kPi / 2, 1.0},
        {kelvra_sin, "sin", 0x1p54, 0x1.cb6e20a00da99p-1},
        {kelvra_cos, "cos", 1.0, 0x1.14a280fb5068cp-1},
        {kelvra_cos, "cos", kPi, -1.0},
        {kelvra_cos, "cos", 0.0, 1.0},
        {kelvra_atan, "atan", 0.5, 0x1.dac670561bb4fp-2},
        {kelvra_atan, "atan", -2.0, -0x1.1b6e192ebbe44p+0},
        {kelvra_atan, "atan", 1.0, 0x1.921fb54442d18p-1},
        {kelvra_atan, "atan", kInf, 1.5707963267948966},
        {kelvra_atan, "atan", -kInf, -1.5707963267948966},
    };
    for (const Published &p : table) {
        const Outcome o = call(p.f, p.x);
        EXPECT_EQ(o.status, KELVRA_OK) << p.name << "(" << hex(p.x) << ")";
        EXPECT_EQ(bits(o.value), bits(p.expected))
            << p.name << "(" << hex(p.x) << ") = " << hex(o.value) << ", published " << hex(p.expected);
    }
}

// ---- special values and statuses --------------------------------------------------

constexpr uint64_t kAnyNaN = ~uint64_t{0};

TEST(Elementary, SpecialValuesAndStatuses) {
    const double max = std::numeric_limits<double>::max();
    const struct {
        Unary f;
        double x;
        kelvra_status status;
        uint64_t want; // bits; kAnyNaN for any NaN
    } table[] = {
        // The exponential's range: the thresholds themselves are inside (at -745.2 the
        // final product rounds to +0.0 by itself); a NaN passes.
        {kelvra_exp, 710.0, KELVRA_OK, bits(kInf)},
        {kelvra_exp, kInf, KELVRA_OK, bits(kInf)},
        {kelvra_exp, -746.0, KELVRA_OK, bits(0.0)},
        {kelvra_exp, -kInf, KELVRA_OK, bits(0.0)},
        {kelvra_exp, kNaN, KELVRA_OK, kAnyNaN},
        {kelvra_exp, -745.2, KELVRA_OK, bits(0.0)},
        {kelvra_exp, -745.13, KELVRA_OK, bits(0x1p-1074)},
        {kelvra_exp, std::nextafter(709.782712893384, kInf), KELVRA_OK, bits(kInf)},
        {kelvra_exp, std::nextafter(-745.2, -kInf), KELVRA_OK, bits(0.0)},
        // The logarithm's domain; a NaN comes back unchanged.
        {kelvra_log, 0.0, KELVRA_ERR_DATA, bits(-kInf)},
        {kelvra_log, -0.0, KELVRA_ERR_DATA, bits(-kInf)},
        {kelvra_log, -1.0, KELVRA_ERR_DATA, 0x7FF8000000000000u},
        {kelvra_log, -0x1p-1074, KELVRA_ERR_DATA, 0x7FF8000000000000u},
        {kelvra_log, -kInf, KELVRA_ERR_DATA, 0x7FF8000000000000u},
        {kelvra_log, kInf, KELVRA_OK, bits(kInf)},
        {kelvra_log, -kNaN, KELVRA_OK, bits(-kNaN)},
        // Sine and cosine refuse 2^55 and beyond, reduce just below it, and are
        // exactly 0 and 1 below 2^-72 (the remainder is 0 there).
        {kelvra_sin, 0x1p55, KELVRA_ERR_DATA, bits(0.0)},
        {kelvra_sin, -1e300, KELVRA_ERR_DATA, bits(0.0)},
        {kelvra_cos, -0x1p55, KELVRA_ERR_DATA, bits(0.0)},
        {kelvra_cos, max, KELVRA_ERR_DATA, bits(0.0)},
        {kelvra_sin, kInf, KELVRA_ERR_DATA, kAnyNaN},
        {kelvra_cos, -kInf, KELVRA_ERR_DATA, kAnyNaN},
        {kelvra_sin, kNaN, KELVRA_OK, kAnyNaN},
        {kelvra_cos, kNaN, KELVRA_OK, kAnyNaN},
        {kelvra_sin, -0.0, KELVRA_OK, bits(0.0)},
        {kelvra_sin, -1e-30, KELVRA_OK, bits(0.0)},
        {kelvra_sin, 0x1p-73, KELVRA_OK, bits(0.0)},
        {kelvra_cos, 0x1p-1074, KELVRA_OK, bits(1.0)},
        {kelvra_cos, -0.0, KELVRA_OK, bits(1.0)},
        // The arctangent: -0.0 is not below zero, but the sign is applied to a zero series.
        {kelvra_atan, 0.0, KELVRA_OK, bits(0.0)},
        {kelvra_atan, -0.0, KELVRA_OK, bits(0.0)},
        {kelvra_atan, -1e-30, KELVRA_OK, bits(-0.0)},
        {kelvra_atan, kNaN, KELVRA_OK, kAnyNaN},
    };
    for (const auto &t : table) {
        const Outcome o = call(t.f, t.x);
        EXPECT_EQ(o.status, t.status) << "row " << &t - table << ", argument " << hex(t.x);
        if (t.want == kAnyNaN) EXPECT_TRUE(std::isnan(o.value)) << "row " << &t - table;
        else EXPECT_EQ(bits(o.value), t.want) << "row " << &t - table << ": " << hex(o.value);
    }
    const double top = call(kelvra_exp, 709.782712893384).value;
    EXPECT_TRUE(std::isfinite(top) && top > 1.7e308) << hex(top);
    for (Unary f : {kelvra_sin, kelvra_cos}) EXPECT_EQ(call(f, std::nextafter(0x1p55, 0.0)).status, KELVRA_OK);
    EXPECT_GT(call(kelvra_sin, 0x1p-60).value, 0.0) << "from 2^-72 on the remainder is no longer zero";
    for (double x : {1e-300, 0.3, 0.41421356237309515, 1.0, 2.414213562373095, 1e10})
        EXPECT_EQ(bits(call(kelvra_atan, -x).value), bits(-call(kelvra_atan, x).value)) << x;
}

double lib_atan2(double y, double x) {
    double out = -12345.0;
    EXPECT_EQ(kelvra_atan2(y, x, &out), KELVRA_OK);
    return out;
}

// -0.0 counts as y >= 0; x = 0 and y NaN gives +0.0. The expected value 1 means "a NaN".
TEST(Elementary, TwoArgumentArctangentAxesAndQuadrants) {
    const double half_pi = 1.5707963267948966, table[][3] = {
        {1, 0, half_pi}, {1, -0.0, half_pi}, {-1, 0, -half_pi}, {0, 0, 0.0}, {-0.0, -0.0, 0.0}, {kNaN, 0, 0.0},
        {0, -1, kPi}, {-0.0, -1, kPi}, {-1, -1, -2.356194490192345}, {1, 1, 0.7853981633974483},
        {kInf, 1, half_pi}, {kNaN, 1, 1}, {1, kNaN, 1}, {kInf, kInf, 1}};
    for (const auto &t : table) {
        const double got = lib_atan2(t[0], t[1]);
        if (t[2] == 1) EXPECT_TRUE(std::isnan(got)) << t[0] << ", " << t[1];
        else EXPECT_EQ(bits(got), bits(t[2])) << t[0] << ", " << t[1];
    }
}

TEST(Elementary, NullOutPointer) {
    for (Unary f : {kelvra_exp, kelvra_log, kelvra_sin, kelvra_cos, kelvra_atan}) {
        EXPECT_EQ(f(1.0, nullptr), KELVRA_ERR_ARG);
        EXPECT_EQ(f(-1.0, nullptr), KELVRA_ERR_ARG) << "checked before the domain";
    }
    EXPECT_EQ(kelvra_atan2(1.0, 1.0, nullptr), KELVRA_ERR_ARG);
}

// ---- differential comparison with the reference ------------------------------------

// A few thousand random arguments besides the named hard cases; the long
// random comparison is fuzz/elementary_fuzz.cpp.
constexpr int kRandomArguments = 3000;

TEST(ElementaryDifferential, Exponential) {
    std::mt19937_64 rng(1);
    std::vector<double> args;
    std::uniform_real_distribution<double> whole_range(-746.0, 710.0);
    for (int i = 0; i < kRandomArguments; ++i) args.push_back(whole_range(rng));
    for (int i = 0; i < kRandomArguments; ++i) args.push_back(random_double(rng, 0, 1032));
    // x log2 e near k + 1/2: the reduced argument is at its largest and the
    // rounding of k flips; also every k at its exact multiple of ln 2.
    for (int k = -1076; k <= 1025; ++k) {
        add_neighbourhood(args, (k + 0.5) * 0.6931471805599453, 3);
        add_neighbourhood(args, k * 0.6931471805599453, 1);
    }
    for (double edge : {709.782712893384, -745.2, -708.4, -744.4, 0.0, 0.34657359027997264, -0.34657359027997264})
        add_neighbourhood(args, edge, 50);
    expect_same_everywhere(args, lib_exp, reference::exp);
}

TEST(ElementaryDifferential, Logarithm) {
    std::mt19937_64 rng(2);
    std::vector<double> args;
    for (int i = 0; i < 2 * kRandomArguments; ++i) args.push_back(random_double(rng, 0, 2046, false));
    for (int i = 0; i < 2000; ++i) args.push_back(from_bits(rng() >> (12 + rng() % 52))); // subnormals
    // The halving threshold sqrt 2 at many exponents, and arguments near 1
    // where the series argument is tiny.
    for (int e = -1074; e <= 1023; e += 7) add_neighbourhood(args, std::ldexp(1.4142135623730951, e), 20);
    for (int e = -1074; e <= 1023; e += 7) add_neighbourhood(args, std::ldexp(1.0, e), 5);
    add_neighbourhood(args, 1.0, 2000);
    add_neighbourhood(args, 0.7071067811865476, 200);
    add_neighbourhood(args, std::numeric_limits<double>::max(), 10);
    add_neighbourhood(args, std::numeric_limits<double>::min(), 10);
    for (double x : {0.0, -0.0, -1.0, kInf, -kInf, kNaN}) args.push_back(x);
    expect_same_everywhere(args, lib_log, reference::log);
}

std::vector<double> trig_arguments(uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::vector<double> args;
    for (int i = 0; i < kRandomArguments; ++i) args.push_back(random_double(rng, 940, 1077));
    std::uniform_real_distribution<double> moderate(-20.0, 20.0);
    for (int i = 0; i < kRandomArguments / 2; ++i) args.push_back(moderate(rng));
    // Quadrant boundaries (odd multiples of pi/4, where F = 1/2 rounds q up),
    // the quadrant centres, and the exponent thresholds 2^-72 and 2^55.
    for (int j = -400; j <= 400; ++j) {
        add_neighbourhood(args, j * 0.7853981633974483, 4);
        add_neighbourhood(args, std::ldexp(j * 0.7853981633974483, 40), 2);
    }
    for (double edge : {0x1p-72, -0x1p-72, 0x1p55, -0x1p55, 0x1p54, 0x1p53}) add_neighbourhood(args, edge, 30);
    for (int e = 0; e < 55; ++e) add_neighbourhood(args, std::ldexp(1.0, e), 2);
    for (double x : {0.0, -0.0, kInf, -kInf, kNaN}) args.push_back(x);
    return args;
}

TEST(ElementaryDifferential, Sine) { expect_same_everywhere(trig_arguments(3), lib_sin, reference::sin); }

TEST(ElementaryDifferential, Cosine) { expect_same_everywhere(trig_arguments(4), lib_cos, reference::cos); }

std::vector<double> atan_arguments(uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::vector<double> args;
    for (int i = 0; i < kRandomArguments; ++i) args.push_back(random_double(rng, 0, 2046));
    std::uniform_real_distribution<double> moderate(-4.0, 4.0);
    for (int i = 0; i < kRandomArguments; ++i) args.push_back(moderate(rng));
    for (double edge : {0.41421356237309515, 2.414213562373095, 1.0, 0.0})
        for (double sign : {1.0, -1.0}) add_neighbourhood(args, sign * edge, 200);
    for (double x : {kInf, -kInf, kNaN, std::numeric_limits<double>::max()}) args.push_back(x);
    return args;
}

TEST(ElementaryDifferential, Arctangent) { expect_same_everywhere(atan_arguments(5), lib_atan, reference::atan); }

TEST(ElementaryDifferential, TwoArgumentArctangent) {
    std::mt19937_64 rng(6);
    std::vector<std::pair<double, double>> points;
    for (int i = 0; i < kRandomArguments; ++i) points.emplace_back(random_double(rng, 0, 2046), random_double(rng, 0, 2046));
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int i = 0; i < kRandomArguments; ++i) points.emplace_back(unit(rng), unit(rng));
    const double specials[] = {0.0, -0.0, 1.0, -1.0, 0x1p-1074, -0x1p-1074, kInf, -kInf, kNaN, 1e300, -1e300};
    for (double y : specials)
        for (double x : specials) points.emplace_back(y, x);
    int mismatches = 0;
    for (const auto &[y, x] : points) {
        const double got = lib_atan2(y, x);
        const double want = reference::atan2(y, x);
        if (bits(got) != bits(want) && ++mismatches <= 10)
            ADD_FAILURE() << "atan2(" << hex(y) << ", " << hex(x) << ") = " << hex(got) << ", reference " << hex(want);
    }
    EXPECT_EQ(mismatches, 0);
}

// ---- sanity against the platform's libm ----------------------------------------------
// The reference shares the algorithm, so a misread constant would be shared
// too; the true functions catch that. Tolerance: a few units in the last
// place plus the 2^-60 absolute resolution of the fixed-point series.

double allowed_error(double value) {
    return 4 * (std::nextafter(std::fabs(value), kInf) - std::fabs(value)) + 0x1p-60;
}

TEST(ElementaryAccuracy, CloseToTheTrueFunctions) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> exp_range(-700.0, 700.0), angle(-100.0, 100.0), wide(-50.0, 50.0);
    for (int i = 0; i < 3000; ++i) {
        const double x = exp_range(rng);
        const double want = std::exp(x);
        EXPECT_LE(std::fabs(lib_exp(x) - want), allowed_error(want)) << hex(x);
        const double p = random_double(rng, 1, 2046, false);
        EXPECT_LE(std::fabs(lib_log(p) - std::log(p)), allowed_error(std::log(p))) << hex(p);
        const double a = angle(rng);
        EXPECT_LE(std::fabs(lib_sin(a) - std::sin(a)), allowed_error(std::sin(a))) << hex(a);
        EXPECT_LE(std::fabs(lib_cos(a) - std::cos(a)), allowed_error(std::cos(a))) << hex(a);
        const double t = std::ldexp(wide(rng), static_cast<int>(rng() % 40) - 20);
        EXPECT_LE(std::fabs(lib_atan(t) - std::atan(t)), allowed_error(std::atan(t))) << hex(t);
        const double y = wide(rng);
        EXPECT_LE(std::fabs(lib_atan2(y, t) - std::atan2(y, t)), allowed_error(std::atan2(y, t)))
            << hex(y) << ", " << hex(t);
    }
}

} // namespace
