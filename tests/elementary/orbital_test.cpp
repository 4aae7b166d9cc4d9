// Kepler's equation, the equation of the centre and the pin-and-slot angle:
// documented cases, statuses, and agreement with the same steps taken on the
// reference sine, cosine and arctangent.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "elementary/reference.hpp"
#include "kelvra.h"

namespace {

using reference::bits;

constexpr double kPi = 3.141592653589793;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Solved {
    kelvra_status status;
    double value;
};

Solved kepler(double m, double e, double tolerance, uint32_t iterations) {
    double out = -1.0;
    const kelvra_status s = kelvra_kepler_solve(m, e, tolerance, iterations, &out);
    return {s, out};
}

Solved kepler_reference(double m, double e, double tolerance, uint32_t iterations) {
    double big_e = m + e * reference::sin(m);
    for (uint32_t i = 0; i < iterations; ++i) {
        const double delta = (big_e - e * reference::sin(big_e) - m) / (1 - e * reference::cos(big_e));
        big_e = big_e - delta;
        if (std::fabs(delta) < tolerance) return {KELVRA_OK, big_e};
    }
    return {KELVRA_ERR_CAPACITY, big_e};
}

double centre_reference(double m, double e, int order) {
    static const double coefficients[6] = {2.0, 1.25, 1.0833333333333333, 1.0729166666666667, 1.1427083333333334,
                                           1.2739583333333333};
    double p = 1, sum = 0;
    for (int k = 1; k <= order; ++k) {
        p = p * e;
        sum = sum + p * coefficients[k - 1] * reference::sin(k * m);
    }
    return sum;
}

TEST(Kepler, ConvergesOnTheDocumentedCase) {
    const Solved s = kepler(1.0, 0.5, 1e-12, 50);
    EXPECT_EQ(s.status, KELVRA_OK);
    EXPECT_NEAR(s.value, 1.4987011, 1e-7);
    EXPECT_NEAR(s.value - 0.5 * std::sin(s.value), 1.0, 1e-12) << "solves E - e sin E = M";
    EXPECT_EQ(kepler(1.0, 0.5, 1e-12, 1).status, KELVRA_ERR_CAPACITY);
}

TEST(Kepler, StatusesAndWhatIsWritten) {
    EXPECT_EQ(kelvra_kepler_solve(1.0, 0.5, 1e-12, 50, nullptr), KELVRA_ERR_ARG);
    const Solved circular = kepler(2.5, 0.0, 1e-12, 50);
    EXPECT_EQ(circular.status, KELVRA_OK);
    EXPECT_EQ(circular.value, 2.5);
    for (double bad : {-0.1, 1.0, 1.5}) {
        const Solved s = kepler(2.5, bad, 1e-12, 50);
        EXPECT_EQ(s.status, KELVRA_ERR_DATA) << bad;
        EXPECT_EQ(s.value, 2.5) << "M is written first";
    }
    const Solved no_budget = kepler(2.5, 0.3, 1e-12, 0);
    EXPECT_EQ(no_budget.status, KELVRA_ERR_DATA);
    EXPECT_EQ(no_budget.value, 2.5);
    const Solved never = kepler(1.0, 0.5, 0.0, 30);
    EXPECT_EQ(never.status, KELVRA_ERR_CAPACITY) << "a zero tolerance is never met";
    EXPECT_EQ(bits(never.value), bits(kepler_reference(1.0, 0.5, 0.0, 30).value));
    const Solved nan = kepler(1.0, kNaN, 1e-12, 10);
    EXPECT_EQ(nan.status, KELVRA_ERR_CAPACITY) << "a NaN eccentricity passes the range tests";
    EXPECT_TRUE(std::isnan(nan.value));
}

TEST(Kepler, SameIteratesAsTheReference) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> anomaly(-10.0, 10.0), eccentricity(0.0, 0.999);
    for (int i = 0; i < 1000; ++i) {
        const double m = anomaly(rng), e = eccentricity(rng);
        const uint32_t budget = 1 + static_cast<uint32_t>(rng() % 40);
        const Solved got = kepler(m, e, 1e-13, budget);
        const Solved want = kepler_reference(m, e, 1e-13, budget);
        ASSERT_EQ(got.status, want.status) << m << ", " << e << ", " << budget;
        ASSERT_EQ(bits(got.value), bits(want.value)) << m << ", " << e << ", " << budget;
    }
}

TEST(EquationOfCentre, FirstOrderAndStatuses) {
    double out = -1;
    ASSERT_EQ(kelvra_equation_of_centre(100.0, 0.1, 1, &out), KELVRA_OK);
    EXPECT_EQ(bits(out), bits(0.2 * reference::sin(100.0)));
    EXPECT_EQ(kelvra_equation_of_centre(1.0, 0.1, 1, nullptr), KELVRA_ERR_ARG);
    for (int order : {0, 7, -1}) {
        out = -1;
        EXPECT_EQ(kelvra_equation_of_centre(1.0, 0.1, order, &out), KELVRA_ERR_DATA) << order;
        EXPECT_EQ(bits(out), bits(0.0));
    }
    for (double e : {-0.01, 1.0}) {
        out = -1;
        EXPECT_EQ(kelvra_equation_of_centre(1.0, e, 3, &out), KELVRA_ERR_DATA) << e;
        EXPECT_EQ(bits(out), bits(0.0));
    }
}

TEST(EquationOfCentre, SameSumsAsTheReference) {
    std::mt19937_64 rng(12);
    std::uniform_real_distribution<double> anomaly(-7.0, 7.0), eccentricity(0.0, 0.99);
    for (int i = 0; i < 5000; ++i) {
        const double m = anomaly(rng), e = eccentricity(rng);
        const int order = 1 + static_cast<int>(rng() % 6);
        double out = -1;
        ASSERT_EQ(kelvra_equation_of_centre(m, e, order, &out), KELVRA_OK);
        ASSERT_EQ(bits(out), bits(centre_reference(m, e, order))) << m << ", " << e << ", " << order;
    }
    // Against the true anomaly: the table holds only the e^k sin(kM) terms,
    // so the sum matches the true equation of the centre through e^2.
    const double m = 0.8, e = 0.05;
    const Solved big_e = kepler(m, e, 1e-15, 50);
    const double true_anomaly = 2 * std::atan(std::sqrt((1 + e) / (1 - e)) * std::tan(big_e.value / 2));
    double out = 0;
    ASSERT_EQ(kelvra_equation_of_centre(m, e, 2, &out), KELVRA_OK);
    EXPECT_NEAR(out, true_anomaly - m, 2 * e * e * e);
}

TEST(PinSlot, DocumentedCases) {
    double out = -1;
    ASSERT_EQ(kelvra_pin_slot(0.0, 1.0, 2.0, &out), KELVRA_OK);
    EXPECT_EQ(bits(out), bits(0.0));
    ASSERT_EQ(kelvra_pin_slot(kPi, 2.0, 1.0, &out), KELVRA_OK);
    EXPECT_LE(std::fabs(out - kPi), std::nextafter(kPi, 4.0) - kPi) << "the point (-1, ~0) lies on the negative axis";
    for (double theta : {0.5, -2.0, 3.0, 2 * kPi + 1.0, -5.0}) {
        ASSERT_EQ(kelvra_pin_slot(theta, 1.0, 0.0, &out), KELVRA_OK);
        EXPECT_NEAR(out, std::remainder(theta, 2 * kPi), 1e-15) << theta;
    }
    out = -1;
    EXPECT_EQ(kelvra_pin_slot(1.0, 0.0, 0.0, &out), KELVRA_ERR_DATA);
    EXPECT_EQ(bits(out), bits(0.0));
    EXPECT_EQ(kelvra_pin_slot(1.0, 1.0, 0.0, nullptr), KELVRA_ERR_ARG);
    ASSERT_EQ(kelvra_pin_slot(1.0, 0.0, 2.0, &out), KELVRA_OK) << "r = 0 alone is fine";
    EXPECT_EQ(bits(out), bits(0.0));
}

TEST(PinSlot, SameAnglesAsTheReference) {
    std::mt19937_64 rng(13);
    std::uniform_real_distribution<double> angle(-20.0, 20.0), length(-3.0, 3.0);
    for (int i = 0; i < 5000; ++i) {
        const double theta = angle(rng), r = length(rng), d = length(rng);
        double out = -1;
        ASSERT_EQ(kelvra_pin_slot(theta, r, d, &out), KELVRA_OK);
        const double want = reference::atan2(reference::sin(theta) * r, reference::cos(theta) * r + d);
        ASSERT_EQ(bits(out), bits(want)) << theta << ", " << r << ", " << d;
    }
}

} // namespace
