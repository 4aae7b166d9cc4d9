// Kepler's equation, the equation of the centre and the pin-and-slot angle:
// documented cases and statuses, and the angle against the same steps taken on
// the reference sine, cosine and arctangent. The golden vectors pin many more
// Kepler solutions (budgets that run out among them) and centre sums.
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

struct Solved {
    kelvra_status status;
    double value;
};

// Any of the three routines, returning the status and what was written.
template <class F, class... Args>
Solved run(F f, Args... args) {
    double out = -1.0;
    const kelvra_status s = f(args..., &out);
    return {s, out};
}

Solved kepler(double m, double e, double tolerance, uint32_t iterations) {
    return run(kelvra_kepler_solve, m, e, tolerance, iterations);
}
Solved centre(double m, double e, int32_t order) { return run(kelvra_equation_of_centre, m, e, order); }
Solved pin_slot(double theta, double r, double d) { return run(kelvra_pin_slot, theta, r, d); }

// Newton's fourth step is the first below the tolerance; with a budget of
// three the third iterate comes back.
TEST(Kepler, IterationBudgetAndStatuses) {
    const Solved four = kepler(1.0, 0.5, 1e-12, 4), three = kepler(1.0, 0.5, 1e-12, 3);
    EXPECT_TRUE(four.status == KELVRA_OK && bits(four.value) == bits(0x1.7faae0a2eff22p+0)) << four.value;
    EXPECT_TRUE(three.status == KELVRA_ERR_CAPACITY && bits(three.value) == bits(0x1.7faae0a2f0146p+0));
    EXPECT_EQ(kelvra_kepler_solve(1.0, 0.5, 1e-12, 50, nullptr), KELVRA_ERR_ARG);
    const Solved circular = kepler(2.5, 0.0, 1e-12, 50);
    EXPECT_TRUE(circular.status == KELVRA_OK && circular.value == 2.5);
    // Out-of-range eccentricities and no iteration budget: M is written first.
    for (const auto &[e, budget] : {std::pair{-0.1, 50}, {1.0, 50}, {1.5, 50}, {0.3, 0}}) {
        const Solved bad = kepler(2.5, e, 1e-12, budget);
        EXPECT_TRUE(bad.status == KELVRA_ERR_DATA && bad.value == 2.5) << e << ", " << budget;
    }
    EXPECT_EQ(kepler(1.0, 0.5, 0.0, 30).status, KELVRA_ERR_CAPACITY) << "a zero tolerance is never met";
    const Solved nan = kepler(1.0, std::numeric_limits<double>::quiet_NaN(), 1e-12, 10);
    EXPECT_EQ(nan.status, KELVRA_ERR_CAPACITY) << "a NaN eccentricity passes the range tests";
    EXPECT_TRUE(std::isnan(nan.value));
}

// Orders 1 to 6 and eccentricities in [0, 1); the golden vectors pin every
// order. The table holds only the e^k sin(kM) terms, so the sum matches the
// true equation of the centre (from the true anomaly) through e^2.
TEST(EquationOfCentre, StatusesAndTrueAnomaly) {
    EXPECT_EQ(kelvra_equation_of_centre(1.0, 0.1, 1, nullptr), KELVRA_ERR_ARG);
    for (const auto &[e, order] : {std::pair{0.1, 0}, {0.1, 7}, {0.1, -1}, {-0.01, 3}, {1.0, 3}}) {
        const Solved bad = centre(1.0, e, order);
        EXPECT_TRUE(bad.status == KELVRA_ERR_DATA && bits(bad.value) == bits(0.0)) << e << ", " << order;
    }
    EXPECT_EQ(centre(1.0, 0.0, 6).status, KELVRA_OK);
    const double m = 0.8, e = 0.05;
    const double big_e = kepler(m, e, 1e-15, 50).value;
    const double true_anomaly = 2 * std::atan(std::sqrt((1 + e) / (1 - e)) * std::tan(big_e / 2));
    EXPECT_NEAR(centre(m, e, 2).value, true_anomaly - m, 2 * e * e * e);
}

TEST(PinSlot, DocumentedCaseAndStatuses) {
    EXPECT_LE(std::fabs(pin_slot(kPi, 2.0, 1.0).value - kPi), std::nextafter(kPi, 4.0) - kPi)
        << "the point (-1, ~0) lies on the negative axis";
    const Solved undefined = pin_slot(1.0, 0.0, 0.0);
    EXPECT_TRUE(undefined.status == KELVRA_ERR_DATA && bits(undefined.value) == bits(0.0));
    EXPECT_EQ(kelvra_pin_slot(1.0, 1.0, 0.0, nullptr), KELVRA_ERR_ARG);
    const Solved radius_zero = pin_slot(1.0, 0.0, 2.0);
    EXPECT_TRUE(radius_zero.status == KELVRA_OK && bits(radius_zero.value) == bits(0.0)) << "r = 0 alone is fine";
}

// The linkage angle, bit for bit through the reference sine, cosine and arctangent.
TEST(PinSlot, SameBitsAsTheReferenceSteps) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> anomaly(-10.0, 10.0), length(-3.0, 3.0);
    for (int i = 0; i < 600; ++i) {
        const double m = anomaly(rng), r = length(rng), d = length(rng);
        const Solved angle = pin_slot(m, r, d);
        const double linkage = reference::atan2(reference::sin(m) * r, reference::cos(m) * r + d);
        ASSERT_TRUE(angle.status == KELVRA_OK && bits(angle.value) == bits(linkage)) << m << ", " << r << ", " << d;
    }
}

} // namespace
