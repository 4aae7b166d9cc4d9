// Orbital routines on the library's own sine, cosine and arctangent: Newton's
// method for Kepler's equation, the equation of the centre, and the output
// angle of a pin-and-slot linkage.
#include "kelvra.h"

#include "elementary/elementary.hpp"

namespace kelvra::elementary {
namespace {

// The coefficient of e^k sin(kM), k = 1 ... 6: 2, 5/4, 13/12, 103/96, 1097/960, 1223/960.
constexpr double kCentreCoefficients[6] = {
    2.0, 1.25, 1.0833333333333333, 1.0729166666666667, 1.1427083333333334, 1.2739583333333333};
constexpr int32_t kCentreMaxOrder = 6;

bool eccentricity_outside_range(double e) noexcept { return e < 0 || e >= 1; } // NaN passes

} // namespace
} // namespace kelvra::elementary

using namespace kelvra::elementary;

extern "C" KELVRA_API kelvra_status kelvra_kepler_solve(double mean_anomaly, double eccentricity, double tolerance,
                                                        uint32_t max_iterations, double *out) noexcept {
    if (out == nullptr) return KELVRA_ERR_ARG;
    *out = mean_anomaly;
    if (eccentricity_outside_range(eccentricity) || max_iterations == 0) return KELVRA_ERR_DATA;
    if (eccentricity == 0) return KELVRA_OK;
    const double m = mean_anomaly;
    const double e = eccentricity;
    double anomaly = m + e * fixed_sin(m);
    for (uint32_t i = 0; i < max_iterations; ++i) {
        const SinCos sc = fixed_sincos(anomaly);
        const double delta = (anomaly - e * sc.sine - m) / (1 - e * sc.cosine);
        anomaly -= delta;
        if (detail::abs_of(delta) < tolerance) {
            *out = anomaly;
            return KELVRA_OK;
        }
    }
    *out = anomaly;
    return KELVRA_ERR_CAPACITY;
}

extern "C" KELVRA_API kelvra_status kelvra_equation_of_centre(double mean_anomaly, double eccentricity, int32_t order,
                                                              double *out) noexcept {
    if (out == nullptr) return KELVRA_ERR_ARG;
    *out = 0.0;
    if (eccentricity_outside_range(eccentricity) || order < 1 || order > kCentreMaxOrder) return KELVRA_ERR_DATA;
    double power = 1;
    double sum = 0;
    for (int32_t k = 1; k <= order; ++k) {
        power *= eccentricity;
        sum += power * kCentreCoefficients[k - 1] * fixed_sin(static_cast<double>(k) * mean_anomaly);
    }
    *out = sum;
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_pin_slot(double angle, double radius, double offset, double *out) noexcept {
    if (out == nullptr) return KELVRA_ERR_ARG;
    *out = 0.0;
    if (radius == 0 && offset == 0) return KELVRA_ERR_DATA; // the direction is undefined
    const SinCos sc = fixed_sincos(angle);
    *out = fixed_atan2(sc.sine * radius, sc.cosine * radius + offset);
    return KELVRA_OK;
}
