// Exponential, logarithm, sine, cosine and arctangents: the published bits,
// the special values and statuses, and a differential comparison with the
// straightforward reference (reference.hpp) around every branch threshold of
// the algorithms. The long random comparison is fuzz/elementary_fuzz.cpp.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "elementary/reference.hpp"
#include "kelvra.h"

namespace {

using reference::bits;
using reference::from_bits;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMax = std::numeric_limits<double>::max();
constexpr double kPi = 3.141592653589793;
constexpr uint64_t kAnyNaN = ~uint64_t{0};

using Unary = kelvra_status (*)(double, double *);

std::string hex(double x) {
    char text[64];
    std::snprintf(text, sizeof text, "%a", x);
    return text;
}

double lib(Unary f, double x, kelvra_status *status = nullptr) {
    double out = -12345.0;
    const kelvra_status s = f(x, &out);
    if (status != nullptr) *status = s;
    return out;
}

// x and its neighbours up to `ulps` units away on both sides.
void add_neighbourhood(std::vector<double> &args, double x, int ulps) {
    double below = x, above = x;
    args.push_back(x);
    for (int i = 0; i < ulps; ++i) {
        args.push_back(below = std::nextafter(below, -kInf));
        args.push_back(above = std::nextafter(above, kInf));
    }
}

TEST(Elementary, PublishedValuesSpecialValuesAndStatuses) {
    constexpr kelvra_status OK = KELVRA_OK, DATA = KELVRA_ERR_DATA;
    const Unary exp = kelvra_exp, log = kelvra_log, sin = kelvra_sin, cos = kelvra_cos, atan = kelvra_atan;
    const struct {
        Unary f;
        double x;
        kelvra_status status;
        uint64_t want; // bits; kAnyNaN for any NaN
    } table[] = {
        {exp, 1.0, OK, bits(0x1.5bf0a8b145769p+1)}, {exp, -1.0, OK, bits(0x1.78b56362cef38p-2)},
        {exp, 0.5, OK, bits(0x1.a61298e1e069cp+0)}, {exp, -745.0, OK, bits(0x1p-1074)}, {exp, 0.0, OK, bits(1.0)},
        {log, 2.0, OK, bits(0x1.62e42fefa39efp-1)}, {log, 10.0, OK, bits(0x1.26bb1bbb55516p+1)},
        {log, 0x1p-1074, OK, bits(-0x1.74385446d71c3p+9)}, {log, 1.0, OK, bits(0.0)},
        {sin, 1.0, OK, bits(0x1.aed548f090ceep-1)}, {sin, 100.0, OK, bits(-0x1.03425b78c4db8p-1)},
        {sin, kPi, OK, bits(0x1.1ap-53)}, {sin, kPi / 2, OK, bits(1.0)},
        {sin, 0x1p54, OK, bits(0x1.cb6e20a00da99p-1)}, {cos, 1.0, OK, bits(0x1.14a280fb5068cp-1)},
        {cos, kPi, OK, bits(-1.0)}, {atan, 0.5, OK, bits(0x1.dac670561bb4fp-2)},
        {atan, -2.0, OK, bits(-0x1.1b6e192ebbe44p+0)}, {atan, 1.0, OK, bits(0x1.921fb54442d18p-1)},
        {atan, kInf, OK, bits(1.5707963267948966)}, {atan, -kInf, OK, bits(-1.5707963267948966)},
        // The exponential's range: the thresholds themselves are inside (at -745.2 the
        // final product rounds to +0.0 by itself); a NaN passes.
        {exp, 710.0, OK, bits(kInf)}, {exp, -kInf, OK, bits(0.0)}, {exp, kNaN, OK, kAnyNaN},
        {exp, -745.2, OK, bits(0.0)}, {exp, -745.13, OK, bits(0x1p-1074)},
        {exp, std::nextafter(709.782712893384, kInf), OK, bits(kInf)},
        {exp, std::nextafter(-745.2, -kInf), OK, bits(0.0)},
        // The logarithm's domain; a NaN comes back unchanged.
        {log, 0.0, DATA, bits(-kInf)}, {log, -0.0, DATA, bits(-kInf)}, {log, -0x1p-1074, DATA, 0x7FF8000000000000u},
        {log, -kInf, DATA, 0x7FF8000000000000u}, {log, kInf, OK, bits(kInf)}, {log, -kNaN, OK, bits(-kNaN)},
        // Sine and cosine refuse 2^55 and beyond, and are exactly 0 and 1 below
        // 2^-72 (the remainder is 0 there).
        {sin, 0x1p55, DATA, bits(0.0)}, {sin, -1e300, DATA, bits(0.0)}, {cos, -0x1p55, DATA, bits(0.0)},
        {cos, kMax, DATA, bits(0.0)}, {sin, kInf, DATA, kAnyNaN}, {cos, -kInf, DATA, kAnyNaN},
        {sin, kNaN, OK, kAnyNaN}, {cos, kNaN, OK, kAnyNaN}, {sin, -1e-30, OK, bits(0.0)},
        {sin, 0x1p-73, OK, bits(0.0)}, {cos, -0.0, OK, bits(1.0)},
        // The arctangent: -0.0 is not below zero, but the sign is applied to a zero series.
        {atan, -0.0, OK, bits(0.0)}, {atan, -1e-30, OK, bits(-0.0)}, {atan, kNaN, OK, kAnyNaN},
    };
    for (const auto &t : table) {
        kelvra_status status;
        const double got = lib(t.f, t.x, &status);
        EXPECT_EQ(status, t.status) << "row " << &t - table << ", argument " << hex(t.x);
        if (t.want == kAnyNaN) EXPECT_TRUE(std::isnan(got)) << "row " << &t - table;
        else EXPECT_EQ(bits(got), t.want) << "row " << &t - table << ": " << hex(got);
    }
    double out;
    EXPECT_EQ(kelvra_sin(std::nextafter(0x1p55, 0.0), &out), KELVRA_OK) << "just below 2^55 is reduced";
    EXPECT_EQ(kelvra_cos(std::nextafter(-0x1p55, 0.0), &out), KELVRA_OK);
    for (Unary f : {kelvra_exp, kelvra_log, kelvra_sin, kelvra_cos, kelvra_atan})
        EXPECT_EQ(f(-1.0, nullptr), KELVRA_ERR_ARG) << "checked before the domain";
    EXPECT_EQ(kelvra_atan2(1.0, 1.0, nullptr), KELVRA_ERR_ARG);
}

// Around every threshold of the algorithms: x log2 e near k + 1/2 (the
// reduced argument at its largest, the rounding of k flips) and at k; the
// halving threshold sqrt 2 and powers of two down to the subnormals; the
// quadrant boundaries (odd multiples of pi/4, where F = 1/2 rounds q up) and
// the exponent limits 2^-72 and 2^55; the arctangent's range switches.
TEST(ElementaryDifferential, SameBitsAsTheReferenceAroundEveryThreshold) {
    std::vector<double> exp_args, log_args, trig_args, atan_args;
    for (int k = -1076; k <= 1025; ++k) {
        add_neighbourhood(exp_args, (k + 0.5) * 0.6931471805599453, 3);
        add_neighbourhood(exp_args, k * 0.6931471805599453, 1);
    }
    for (double edge : {709.782712893384, -745.2, -708.4, -744.4, 0.0, 0.34657359027997264, -0.34657359027997264})
        add_neighbourhood(exp_args, edge, 50);
    // x log2 e exactly half way between two integers: k is rounded away from zero there.
    for (int k = -2151; k <= 2048; ++k) {
        std::vector<double> near;
        add_neighbourhood(near, (k + 0.5) * 0.6931471805599453, 64);
        for (double x : near)
            if (x * 1.4426950408889634 == k + 0.5) exp_args.push_back(x);
    }
    for (int e = -1074; e <= 1023; e += 7) {
        add_neighbourhood(log_args, std::ldexp(1.4142135623730951, e), 20);
        add_neighbourhood(log_args, std::ldexp(1.0, e), 5);
    }
    for (const auto &[x, ulps] : {std::pair{1.0, 2000}, {0.7071067811865476, 200}, {kMax, 10}, {0x1p-1022, 10}})
        add_neighbourhood(log_args, x, ulps);
    for (int j = -400; j <= 400; ++j) {
        add_neighbourhood(trig_args, j * 0.7853981633974483, 4);
        add_neighbourhood(trig_args, std::ldexp(j * 0.7853981633974483, 40), 2);
    }
    for (double edge : {0x1p-72, -0x1p-72, 0x1p55, -0x1p55, 0x1p54, 0x1p53}) add_neighbourhood(trig_args, edge, 30);
    for (int e = 0; e < 55; ++e) add_neighbourhood(trig_args, std::ldexp(1.0, e), 2);
    for (double edge : {0.41421356237309515, 2.414213562373095, 1.0, 0.0})
        for (double sign : {1.0, -1.0}) add_neighbourhood(atan_args, sign * edge, 200);
    // The special values; random arguments are left to the fuzz target.
    for (auto *args : {&exp_args, &log_args, &trig_args, &atan_args})
        for (double x : {0.0, -0.0, -1.0, kInf, -kInf, kNaN, kMax}) args->push_back(x);
    const struct {
        Unary f;
        double (*ref)(double);
        const std::vector<double> &args;
    } runs[] = {{kelvra_exp, reference::exp, exp_args},   {kelvra_log, reference::log, log_args},
                {kelvra_sin, reference::sin, trig_args},  {kelvra_cos, reference::cos, trig_args},
                {kelvra_atan, reference::atan, atan_args}};
    for (const auto &run : runs) {
        for (double x : run.args) {
            const double got = lib(run.f, x), want = run.ref(x);
            ASSERT_EQ(bits(got), bits(want)) << "function " << &run - runs << ", argument " << hex(x) << ": got "
                                             << hex(got) << ", reference " << hex(want);
        }
    }
}

// Every pair of signed zeros, subnormals, infinities, NaN and values in each
// range of the quotient; random pairs are left to the fuzz target.
TEST(ElementaryDifferential, TwoArgumentArctangent) {
    const double specials[] = {0.0,  -0.0, 1.0,   -1.0,   0x1p-1074, -0x1p-1074, kInf, -kInf,
                               kNaN, 0.3,  -2.75, 1e300, -1e300,    3e-300,     kMax};
    for (double y : specials) {
        for (double x : specials) {
            double got = -12345.0;
            ASSERT_EQ(kelvra_atan2(y, x, &got), KELVRA_OK);
            ASSERT_EQ(bits(got), bits(reference::atan2(y, x))) << hex(y) << ", " << hex(x) << ": " << hex(got);
        }
    }
}

} // namespace
