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

using Vec = std::vector<double>;

double sine(double x) {
    double v = 0.0;
    kelvra_sin(x, &v);
    return v;
}

// The plain step: out[i] = ((Σ_j sin(θj − θi))·(K/n) + ωi)·dt + θi, the sum
// first, then one scaling. The general step: each term scaled before it is
// added; ωi; the drive; then the Euler step.
Vec reference_step(bool plain, const Vec &theta, const Vec &omega, const double *weights, double coupling,
                   double lag, const double *drive, const double *gain, double dt) {
    const size_t n = theta.size();
    const double c = coupling / static_cast<double>(n);
    Vec out(n);
    for (size_t i = 0; i < n; ++i) {
        double s = 0;
        for (size_t j = 0; j < n; ++j) {
            const double pull = sine((theta[j] - theta[i]) - lag);
            s = s + (plain ? pull : weights ? (coupling * weights[i * n + j]) * pull : c * pull);
        }
        s = plain ? s * c + omega[i] : s + omega[i];
        if (drive) s = sine(drive[i] - theta[i]) * (gain ? gain[i] : 1.0) + s;
        out[i] = s * dt + theta[i];
    }
    return out;
}

Vec uniform(std::mt19937_64 &rng, size_t n, double low, double high) {
    std::uniform_real_distribution<double> d(low, high);
    Vec v(n);
    for (double &x : v) x = d(rng);
    return v;
}

void expect_bits(const Vec &got, const Vec &want) {
    for (size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(std::memcmp(&got[i], &want[i], sizeof(double)), 0) << "[" << i << "] " << got[i] << " vs " << want[i];
}

} // namespace

// The plain step on sizes 1 to 100; the general step with and without
// weights, drive and gain.
TEST(Kuramoto, StepsMatchTheirEvaluationOrder) {
    std::mt19937_64 rng(21);
    for (size_t n : {1u, 2u, 3u, 17u, 100u}) {
        const Vec theta = uniform(rng, n, -40.0, 40.0), omega = uniform(rng, n, -1.0, 1.0);
        Vec out(n);
        ASSERT_EQ(kelvra_cascade_kuramoto_step_f64(theta.data(), omega.data(), n, 1.7, 0.01, out.data()), KELVRA_OK);
        expect_bits(out, reference_step(true, theta, omega, nullptr, 1.7, 0.0, nullptr, nullptr, 0.01));
    }
    const size_t n = 23;
    const Vec theta = uniform(rng, n, -4.0, 4.0), omega = uniform(rng, n, -1.0, 1.0);
    const Vec weights = uniform(rng, n * n, 0.0, 2.0), drive = uniform(rng, n, -3.0, 3.0), gain = uniform(rng, n, 0, 5);
    for (int variant = 0; variant < 8; ++variant) {
        const double *w = variant & 1 ? weights.data() : nullptr, *d = variant & 2 ? drive.data() : nullptr;
        const double *g = variant & 4 ? gain.data() : nullptr;
        Vec out(n);
        ASSERT_EQ(kelvra_cascade_kuramoto_step_general_f64(theta.data(), omega.data(), n, w, 0.9, 0.3, d, g, 0.05,
                                                           out.data()),
                  KELVRA_OK);
        SCOPED_TRACE(variant);
        expect_bits(out, reference_step(false, theta, omega, w, 0.9, 0.3, d, g, 0.05));
    }
}

TEST(Kuramoto, EdgeCasesAndStatuses) {
    // Equal phases: every sine is of 0, so only the natural frequency moves them.
    const Vec theta(5, 0.75), omega = {1, -2, 0.5, 0, 3};
    Vec out(5);
    ASSERT_EQ(kelvra_cascade_kuramoto_step_f64(theta.data(), omega.data(), 5, 1e300, 0.1, out.data()), KELVRA_OK);
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(out[i], 0.75 + omega[i] * 0.1) << i;
    // A difference of 2^55 or more contributes kelvra_sin's +0.0.
    const Vec far = {0.0, std::ldexp(1.0, 56)}, still = {0.0, 0.0};
    ASSERT_EQ(kelvra_cascade_kuramoto_step_f64(far.data(), still.data(), 2, 1.0, 1.0, out.data()), KELVRA_OK);
    EXPECT_TRUE(out[0] == 0.0 && out[1] == far[1]);
    // A NaN phase spreads to every oscillator it pulls on.
    const Vec with_nan = {0.0, std::numeric_limits<double>::quiet_NaN(), 1.0}, zero3(3, 0.0);
    ASSERT_EQ(kelvra_cascade_kuramoto_step_f64(with_nan.data(), zero3.data(), 3, 1.0, 1.0, out.data()), KELVRA_OK);
    for (size_t i = 0; i < 3; ++i) EXPECT_TRUE(std::isnan(out[i])) << i;
    // Statuses: out first, then n = 0, then the inputs.
    auto general = [](const double *t, const double *o, uint64_t n, double *result) {
        return kelvra_cascade_kuramoto_step_general_f64(t, o, n, nullptr, 1, 0, nullptr, nullptr, 1, result);
    };
    EXPECT_EQ(kelvra_cascade_kuramoto_step_f64(nullptr, nullptr, 0, 1, 1, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_cascade_kuramoto_step_f64(nullptr, nullptr, 0, 1, 1, out.data()), KELVRA_OK);
    EXPECT_EQ(kelvra_cascade_kuramoto_step_f64(theta.data(), nullptr, 1, 1, 1, out.data()), KELVRA_ERR_ARG);
    EXPECT_EQ(general(nullptr, nullptr, 0, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(general(nullptr, nullptr, 0, out.data()), KELVRA_OK);
    EXPECT_EQ(general(nullptr, omega.data(), 2, out.data()), KELVRA_ERR_ARG);
}
