// Kuramoto steps: bit for bit against the documented evaluation order, written
// out here with the library's own sine.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "kelvra.h"

namespace {

double sine(double x) {
    double v = 0.0;
    kelvra_sin(x, &v);
    return v;
}

// out[i] = ((Σ_j sin(θj − θi))·(K/n) + ωi)·dt + θi: the sum first, then one scaling.
std::vector<double> plain_step(const std::vector<double> &theta, const std::vector<double> &omega, double coupling,
                               double dt) {
    const size_t n = theta.size();
    const double c = coupling / static_cast<double>(n);
    std::vector<double> out(n);
    for (size_t i = 0; i < n; ++i) {
        double s = 0;
        for (size_t j = 0; j < n; ++j) s = s + sine(theta[j] - theta[i]);
        out[i] = ((s * c) + omega[i]) * dt + theta[i];
    }
    return out;
}

// Each term scaled before it is added; ωi; the drive; then the Euler step.
std::vector<double> general_step(const std::vector<double> &theta, const std::vector<double> &omega,
                                 const double *weights, double coupling, double lag, const double *drive,
                                 const double *gain, double dt) {
    const size_t n = theta.size();
    const double c = coupling / static_cast<double>(n);
    std::vector<double> out(n);
    for (size_t i = 0; i < n; ++i) {
        double s = 0;
        for (size_t j = 0; j < n; ++j) {
            const double pull = sine((theta[j] - theta[i]) - lag);
            s = s + (weights ? (coupling * weights[i * n + j]) * pull : c * pull);
        }
        s = s + omega[i];
        if (drive) s = sine(drive[i] - theta[i]) * (gain ? gain[i] : 1.0) + s;
        out[i] = s * dt + theta[i];
    }
    return out;
}

std::vector<double> uniform(std::mt19937_64 &rng, size_t n, double low, double high) {
    std::uniform_real_distribution<double> d(low, high);
    std::vector<double> v(n);
    for (double &x : v) x = d(rng);
    return v;
}

void expect_bits(const std::vector<double> &got, const std::vector<double> &want, const char *what) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(std::memcmp(&got[i], &want[i], sizeof(double)), 0) << what << " [" << i << "] " << got[i] << " vs "
                                                                      << want[i];
    }
}

} // namespace

TEST(Kuramoto, PlainStepMatchesTheSumThenScaleOrder) {
    std::mt19937_64 rng(21);
    for (size_t n : {1u, 2u, 3u, 17u, 100u}) {
        const auto theta = uniform(rng, n, -40.0, 40.0), omega = uniform(rng, n, -1.0, 1.0);
        std::vector<double> out(n);
        ASSERT_EQ(kelvra_cascade_kuramoto_step_f64(theta.data(), omega.data(), n, 1.7, 0.01, out.data()), KELVRA_OK);
        expect_bits(out, plain_step(theta, omega, 1.7, 0.01), "plain");
    }
}

TEST(Kuramoto, GeneralStepMatchesItsOrderInEveryVariant) {
    std::mt19937_64 rng(22);
    const size_t n = 23;
    const auto theta = uniform(rng, n, -4.0, 4.0), omega = uniform(rng, n, -1.0, 1.0);
    const auto weights = uniform(rng, n * n, 0.0, 2.0), drive = uniform(rng, n, -3.0, 3.0);
    const auto gain = uniform(rng, n, 0.0, 5.0);
    for (const double *w : {static_cast<const double *>(nullptr), weights.data()}) {
        for (const double *d : {static_cast<const double *>(nullptr), drive.data()}) {
            for (const double *g : {static_cast<const double *>(nullptr), gain.data()}) {
                std::vector<double> out(n);
                ASSERT_EQ(kelvra_cascade_kuramoto_step_general_f64(theta.data(), omega.data(), n, w, 0.9, 0.3, d, g,
                                                                   0.05, out.data()),
                          KELVRA_OK);
                expect_bits(out, general_step(theta, omega, w, 0.9, 0.3, d, g, 0.05), "general");
            }
        }
    }
}

TEST(Kuramoto, EdgeCases) {
    // Equal phases: every sine is of 0, so only the natural frequency moves them.
    const std::vector<double> theta(5, 0.75), omega = {1, -2, 0.5, 0, 3};
    std::vector<double> out(5);
    ASSERT_EQ(kelvra_cascade_kuramoto_step_f64(theta.data(), omega.data(), 5, 1e300, 0.1, out.data()), KELVRA_OK);
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(out[i], 0.75 + omega[i] * 0.1) << i;

    // A difference of 2^55 or more contributes kelvra_sin's +0.0.
    const std::vector<double> far = {0.0, std::ldexp(1.0, 56)}, still = {0.0, 0.0};
    ASSERT_EQ(kelvra_cascade_kuramoto_step_f64(far.data(), still.data(), 2, 1.0, 1.0, out.data()), KELVRA_OK);
    EXPECT_EQ(out[0], 0.0);
    EXPECT_EQ(out[1], far[1]);

    // A NaN phase spreads to every oscillator it pulls on.
    const std::vector<double> with_nan = {0.0, std::numeric_limits<double>::quiet_NaN(), 1.0};
    const std::vector<double> zero3(3, 0.0);
    ASSERT_EQ(kelvra_cascade_kuramoto_step_f64(with_nan.data(), zero3.data(), 3, 1.0, 1.0, out.data()), KELVRA_OK);
    for (size_t i = 0; i < 3; ++i) EXPECT_TRUE(std::isnan(out[i])) << i;

    // Statuses: out first, then n = 0, then the inputs.
    EXPECT_EQ(kelvra_cascade_kuramoto_step_f64(nullptr, nullptr, 0, 1, 1, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_cascade_kuramoto_step_f64(nullptr, nullptr, 0, 1, 1, out.data()), KELVRA_OK);
    EXPECT_EQ(kelvra_cascade_kuramoto_step_f64(theta.data(), nullptr, 1, 1, 1, out.data()), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_cascade_kuramoto_step_f64(nullptr, omega.data(), 1, 1, 1, out.data()), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_cascade_kuramoto_step_general_f64(nullptr, nullptr, 0, nullptr, 1, 0, nullptr, nullptr, 1,
                                                       nullptr),
              KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_cascade_kuramoto_step_general_f64(nullptr, nullptr, 0, nullptr, 1, 0, nullptr, nullptr, 1,
                                                       out.data()),
              KELVRA_OK);
    EXPECT_EQ(kelvra_cascade_kuramoto_step_general_f64(theta.data(), nullptr, 2, nullptr, 1, 0, nullptr, nullptr, 1,
                                                       out.data()),
              KELVRA_ERR_ARG);
}

TEST(Kuramoto, StrongCouplingSynchronises) {
    // The order parameter r = |mean e^{iθ}| grows towards 1 when the coupling
    // beats the spread of natural frequencies.
    std::mt19937_64 rng(24);
    const size_t n = 50;
    auto theta = uniform(rng, n, -3.0, 3.0);
    const auto omega = uniform(rng, n, -0.2, 0.2);
    auto order = [&] {
        double c = 0, s = 0;
        for (double t : theta) {
            c += std::cos(t);
            s += std::sin(t);
        }
        return std::hypot(c, s) / n;
    };
    const double before = order();
    std::vector<double> next(n);
    for (int step = 0; step < 400; ++step) {
        ASSERT_EQ(kelvra_cascade_kuramoto_step_f64(theta.data(), omega.data(), n, 2.0, 0.05, next.data()), KELVRA_OK);
        theta.swap(next);
    }
    EXPECT_LT(before, 0.5);
    EXPECT_GT(order(), 0.95);
}
