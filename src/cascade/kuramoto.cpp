// One explicit Euler step of coupled phase oscillators (the Kuramoto model).
//
// Every sine is the library's own (the value kelvra_sin writes, taken inline
// from elementary.hpp), so a step gives the same bits on every processor. The
// order of evaluation is part of the result: the all-to-all step sums the
// sines first and scales the sum once; the general step scales each term
// before adding it. Both read every θj for every i, so
// out must not overlap theta; out[i] is written in index order.
#include "elementary/elementary.hpp"
#include "kelvra.h"

namespace kelvra::cascade {

namespace {

// The value kelvra_sin writes, whatever its status: +0.0 for a finite
// argument of magnitude 2^55 or more, NaN for an infinity or NaN.
double sine(double x) noexcept { return elementary::fixed_sin(x); }

// Σ_j sin(θj − θi) in increasing j from 0.
double pull_on(const double *theta, uint64_t n, double theta_i) noexcept {
    double sum = 0.0;
    for (uint64_t j = 0; j < n; ++j) sum = sum + sine(theta[j] - theta_i);
    return sum;
}

// Σ_j (coupling·w_ij)·sin((θj − θi) − lag) with weights, Σ_j c·sin((θj − θi) − lag) without.
double weighted_pull_on(const double *theta, uint64_t n, const double *weights_row, double coupling,
                        double per_oscillator, double lag, double theta_i) noexcept {
    double sum = 0.0;
    if (weights_row != nullptr) {
        for (uint64_t j = 0; j < n; ++j) sum = sum + (coupling * weights_row[j]) * sine((theta[j] - theta_i) - lag);
    } else {
        for (uint64_t j = 0; j < n; ++j) sum = sum + per_oscillator * sine((theta[j] - theta_i) - lag);
    }
    return sum;
}

} // namespace

} // namespace kelvra::cascade

using kelvra::cascade::pull_on;
using kelvra::cascade::sine;
using kelvra::cascade::weighted_pull_on;

// out[i] = ((Σ_j sin(θj − θi))·(K/n) + ωi)·dt + θi.
extern "C" KELVRA_API kelvra_status kelvra_cascade_kuramoto_step_f64(const double *theta, const double *omega,
                                                                     uint64_t n, double coupling, double dt,
                                                                     double *out) noexcept {
    if (out == nullptr) return KELVRA_ERR_ARG;
    if (n == 0) return KELVRA_OK;
    if (theta == nullptr || omega == nullptr) return KELVRA_ERR_ARG;
    const double per_oscillator = coupling / static_cast<double>(n);
    for (uint64_t i = 0; i < n; ++i) {
        const double theta_i = theta[i];
        out[i] = ((pull_on(theta, n, theta_i) * per_oscillator) + omega[i]) * dt + theta_i;
    }
    return KELVRA_OK;
}

// With weights (row-major n × n, entry i·n + j the pull of j on i) the
// coupling is not divided by n. With a drive, sin(drive_i − θi)·gain_i joins
// the sum (gain 1.0 without drive_gain).
extern "C" KELVRA_API kelvra_status kelvra_cascade_kuramoto_step_general_f64(
    const double *theta, const double *omega, uint64_t n, const double *weights, double coupling, double lag,
    const double *drive, const double *drive_gain, double dt, double *out) noexcept {
    if (out == nullptr) return KELVRA_ERR_ARG;
    if (n == 0) return KELVRA_OK;
    if (theta == nullptr || omega == nullptr) return KELVRA_ERR_ARG;
    const double per_oscillator = coupling / static_cast<double>(n);
    for (uint64_t i = 0; i < n; ++i) {
        const double theta_i = theta[i];
        const double *row = weights != nullptr ? weights + i * n : nullptr;
        double s = weighted_pull_on(theta, n, row, coupling, per_oscillator, lag, theta_i);
        s = s + omega[i];
        if (drive != nullptr) {
            const double gain = drive_gain != nullptr ? drive_gain[i] : 1.0;
            s = sine(drive[i] - theta_i) * gain + s;
        }
        out[i] = s * dt + theta_i;
    }
    return KELVRA_OK;
}
