// The exported elementary functions: each writes the value of its fixed-point
// routine (elementary.hpp) and reports the arguments outside its domain.
#include "kelvra.h"

#include "elementary/elementary.hpp"

namespace kelvra::elementary {
namespace {

// sin and cos report 2 for an infinity or |x| >= 2^55 (a NaN gives NaN with 0).
kelvra_status trig_status(double x) noexcept { return detail::abs_of(x) >= 0x1p55 ? KELVRA_ERR_DATA : KELVRA_OK; }

} // namespace
} // namespace kelvra::elementary

using namespace kelvra::elementary;

extern "C" KELVRA_API kelvra_status kelvra_exp(double x, double *out) noexcept {
    if (out == nullptr) return KELVRA_ERR_ARG;
    *out = fixed_exp(x);
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_log(double x, double *out) noexcept {
    if (out == nullptr) return KELVRA_ERR_ARG;
    *out = fixed_log(x);
    return x <= 0 ? KELVRA_ERR_DATA : KELVRA_OK; // x < 0 and x = +-0
}

extern "C" KELVRA_API kelvra_status kelvra_sin(double x, double *out) noexcept {
    if (out == nullptr) return KELVRA_ERR_ARG;
    *out = fixed_sin(x);
    return trig_status(x);
}

extern "C" KELVRA_API kelvra_status kelvra_cos(double x, double *out) noexcept {
    if (out == nullptr) return KELVRA_ERR_ARG;
    *out = fixed_cos(x);
    return trig_status(x);
}

extern "C" KELVRA_API kelvra_status kelvra_atan(double x, double *out) noexcept {
    if (out == nullptr) return KELVRA_ERR_ARG;
    *out = fixed_atan(x);
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_atan2(double y, double x, double *out) noexcept {
    if (out == nullptr) return KELVRA_ERR_ARG;
    *out = fixed_atan2(y, x);
    return KELVRA_OK;
}
