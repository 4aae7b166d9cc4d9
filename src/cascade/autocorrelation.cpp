// Circular autocorrelation: out[k] = Σ_i x[(i + k) mod n]·x[i], each sum
// taken strictly in increasing i from 0.0, no normalisation.
//
// Four lags are computed side by side; each keeps its own sum in the
// documented order, which only removes the wait on one long chain of additions.
#include "kelvra.h"

namespace kelvra::cascade {

namespace {

constexpr uint64_t kLagsAtOnce = 4;

// out[first .. first + count − 1] for count ≤ kLagsAtOnce lags.
void autocorrelate_lags(const double *x, uint64_t n, uint64_t first, uint64_t count, double *out) noexcept {
    double sums[kLagsAtOnce] = {0.0, 0.0, 0.0, 0.0};
    uint64_t shifted[kLagsAtOnce]; // (i + lag) mod n, advanced with i
    for (uint64_t m = 0; m < count; ++m) shifted[m] = first + m;
    for (uint64_t i = 0; i < n; ++i) {
        for (uint64_t m = 0; m < count; ++m) {
            sums[m] = sums[m] + x[shifted[m]] * x[i];
            if (++shifted[m] == n) shifted[m] = 0;
        }
    }
    for (uint64_t m = 0; m < count; ++m) out[first + m] = sums[m];
}

} // namespace

} // namespace kelvra::cascade

extern "C" KELVRA_API kelvra_status kelvra_autocorrelation_f64(const double *x, uint64_t n, double *out) noexcept {
    if (n == 0) return KELVRA_OK;
    if (x == nullptr || out == nullptr) return KELVRA_ERR_ARG;
    for (uint64_t lag = 0; lag < n; lag += kelvra::cascade::kLagsAtOnce) {
        const uint64_t left = n - lag;
        kelvra::cascade::autocorrelate_lags(
            x, n, lag, left < kelvra::cascade::kLagsAtOnce ? left : kelvra::cascade::kLagsAtOnce, out);
    }
    return KELVRA_OK;
}
