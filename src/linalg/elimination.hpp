// The inner loop of the dense solver: a run of rows receives a panel's
// delayed elimination steps, in step order, over a run of columns.
//
//   for every row r, for t = 0 .. steps - 1 with f_r[t] != 0:
//       row_r[c] = row_r[c] - f_r[t] * pivots[t][c]
//
// Row r's columns start at targets + r * row_stride, its multipliers f_r at
// multipliers + r * row_stride; pivot row t starts at pivots + t * stride.
// A multiplier that is exactly zero skips its step, as the step-by-step
// method skips the row. Each product is rounded and then subtracted; nothing
// is fused, so every implementation gives the same bits.
#pragma once

#include <cstddef>

namespace kelvra::linalg {

// Elimination steps taken together (the panel width).
inline constexpr size_t kPanel = 4;

struct DelayedSteps {
    const double *pivots; // pivot rows, `stride` apart
    size_t stride;
    size_t steps; // 1 .. kPanel
    size_t len;   // columns in the run
};

using SubtractSteps = void (*)(double *targets, const double *multipliers, size_t row_stride, size_t rows,
                               const DelayedSteps &d) noexcept;

// Baseline (SSE2) and AVX implementations of the same source.
void subtract_steps_sse2(double *targets, const double *multipliers, size_t row_stride, size_t rows,
                         const DelayedSteps &d) noexcept;
void subtract_steps_avx(double *targets, const double *multipliers, size_t row_stride, size_t rows,
                        const DelayedSteps &d) noexcept;

} // namespace kelvra::linalg
