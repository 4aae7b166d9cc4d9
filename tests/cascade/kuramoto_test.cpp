// Kuramoto steps on phases a quarter turn apart, where every sine is exactly
// 0 or ±1 and so every result is known exactly: which difference is taken,
// the scaling by K/n or by K times the weight, the lag, the drive and its
// gain, and the Euler step. The golden vectors pin the rounding of larger
// systems on every variant.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "kelvra.h"

namespace {

using Vec = std::vector<double>;

constexpr double kQuarter = 1.5707963267948966; // kelvra_sin gives exactly ±1 here

struct General {
    const double *weights = nullptr;
    double coupling = 2.0, lag = 0.0;
    const double *drive = nullptr, *gain = nullptr;
};

Vec general_step(const Vec &theta, const Vec &omega, const General &g, double dt) {
    Vec out(theta.size(), -99.0);
    EXPECT_EQ(kelvra_cascade_kuramoto_step_general_f64(theta.data(), omega.data(), theta.size(), g.weights, g.coupling,
                                                       g.lag, g.drive, g.gain, dt, out.data()),
              KELVRA_OK);
    return out;
}

} // namespace

TEST(Kuramoto, StepsOnExactSines) {
    // sin(θ1 − θ0) = 1 pulls oscillator 0 forward, sin(θ0 − θ1) = −1 pulls 1 back; K/n = 3/2.
    const Vec theta = {0.0, kQuarter}, omega = {1.0, -0.25};
    Vec out(2);
    ASSERT_EQ(kelvra_cascade_kuramoto_step_f64(theta.data(), omega.data(), 2, 3.0, 0.5, out.data()), KELVRA_OK);
    EXPECT_EQ(out, (Vec{(1.5 + 1.0) * 0.5, (-1.5 - 0.25) * 0.5 + kQuarter}));
    // Weights scale by K·w (row i, column j); the diagonal meets sin(0 − lag).
    const double weights[] = {7.0, 0.5, 0.25, 9.0}, drive[] = {kQuarter, kQuarter}, gain[] = {3.0, 5.0};
    EXPECT_EQ(general_step(theta, omega, {weights}, 0.5), (Vec{(1.0 + 1.0) * 0.5, (-0.5 - 0.25) * 0.5 + kQuarter}));
    // The drive pulls by sin(drive − θi), times the gain or 1 without one.
    EXPECT_EQ(general_step(theta, omega, {weights, 2.0, 0.0, drive, gain}, 0.5),
              (Vec{(3.0 + 2.0) * 0.5, (0.0 - 0.75) * 0.5 + kQuarter}));
    EXPECT_EQ(general_step(theta, omega, {weights, 2.0, 0.0, drive, nullptr}, 0.5),
              (Vec{(1.0 + 2.0) * 0.5, (0.0 - 0.75) * 0.5 + kQuarter}));
    // Without weights every term is scaled by K/n; a lag of a quarter turn makes
    // equal phases pull by sin(−lag) = −1 each.
    EXPECT_EQ(general_step({0.25, 0.25, 0.25}, {0.0, 1.0, 0.0}, {nullptr, 3.0, kQuarter}, 2.0),
              (Vec{-3.0 * 2.0 + 0.25, -2.0 * 2.0 + 0.25, -3.0 * 2.0 + 0.25}));
}

// A difference of 2^55 or more contributes kelvra_sin's +0.0 (not a failure).
// Statuses: out first, then n = 0, then the inputs.
TEST(Kuramoto, FarPhasesAndStatuses) {
    const Vec far = {0.0, std::ldexp(1.0, 56)}, still = {0.0, 0.0};
    Vec out(2);
    ASSERT_EQ(kelvra_cascade_kuramoto_step_f64(far.data(), still.data(), 2, 1.0, 1.0, out.data()), KELVRA_OK);
    EXPECT_TRUE(out[0] == 0.0 && out[1] == far[1]);
    auto general = [](const double *t, const double *o, uint64_t n, double *result) {
        return kelvra_cascade_kuramoto_step_general_f64(t, o, n, nullptr, 1, 0, nullptr, nullptr, 1, result);
    };
    EXPECT_EQ(kelvra_cascade_kuramoto_step_f64(nullptr, nullptr, 0, 1, 1, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_cascade_kuramoto_step_f64(nullptr, nullptr, 0, 1, 1, out.data()), KELVRA_OK);
    EXPECT_EQ(kelvra_cascade_kuramoto_step_f64(far.data(), nullptr, 1, 1, 1, out.data()), KELVRA_ERR_ARG);
    EXPECT_EQ(general(nullptr, nullptr, 0, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(general(nullptr, nullptr, 0, out.data()), KELVRA_OK);
    EXPECT_EQ(general(nullptr, still.data(), 2, out.data()), KELVRA_ERR_ARG);
}
