// The dense solver's row updates built for AVX: four doubles per instruction,
// separate multiply and subtract (no FMA), so the bits match the baseline.
#include "linalg/elimination_kernels.hpp"

namespace kelvra::linalg {

void subtract_steps_avx(double *targets, const double *multipliers, size_t row_stride, size_t rows,
                        const DelayedSteps &d) noexcept {
    subtract_steps_body(targets, multipliers, row_stride, rows, d);
}

} // namespace kelvra::linalg
