// The body of the dense solver's row updates (see elimination.hpp), compiled
// once per instruction set. Everything here has internal linkage, so each
// including file keeps its own copy built with its own flags.
#pragma once

#include <cstddef>
#include <utility>

#include "linalg/elimination.hpp"

namespace kelvra::linalg {
namespace {

// Two rows whose `Steps` multipliers are all non-zero, in one pass: each
// pivot value is loaded once for both rows, and each row value stays in a
// register through every step.
template <size_t Steps>
inline void subtract_pair(double *__restrict x, double *__restrict y, const double *fx, const double *fy,
                          const DelayedSteps &d) noexcept {
    double gx[Steps], gy[Steps];
    for (size_t t = 0; t < Steps; ++t) gx[t] = fx[t], gy[t] = fy[t];
    const double *__restrict pivots = d.pivots;
    const size_t stride = d.stride;
    for (size_t c = 0; c < d.len; ++c) {
        double u = x[c], v = y[c];
        for (size_t t = 0; t < Steps; ++t) {
            const double p = pivots[t * stride + c];
            u = u - gx[t] * p;
            v = v - gy[t] * p;
        }
        x[c] = u;
        y[c] = v;
    }
}

template <size_t Steps>
inline void subtract_single(double *__restrict x, const double *fx, const DelayedSteps &d) noexcept {
    double gx[Steps];
    for (size_t t = 0; t < Steps; ++t) gx[t] = fx[t];
    const double *__restrict pivots = d.pivots;
    const size_t stride = d.stride;
    for (size_t c = 0; c < d.len; ++c) {
        double u = x[c];
        for (size_t t = 0; t < Steps; ++t) u = u - gx[t] * pivots[t * stride + c];
        x[c] = u;
    }
}

// A row with some zero multipliers: the remaining steps one at a time.
inline void subtract_nonzero_steps(double *__restrict x, const double *fx, const DelayedSteps &d) noexcept {
    for (size_t t = 0; t < d.steps; ++t) {
        const double f = fx[t];
        if (f == 0.0) continue;
        const double *__restrict p = d.pivots + t * d.stride;
        for (size_t c = 0; c < d.len; ++c) x[c] = x[c] - f * p[c];
    }
}

inline bool all_nonzero(const double *f, size_t steps) noexcept {
    bool all = true;
    for (size_t t = 0; t < steps; ++t) all = all && f[t] != 0.0;
    return all;
}

template <size_t Steps>
void subtract_rows(double *targets, const double *multipliers, size_t row_stride, size_t rows,
                   const DelayedSteps &d) noexcept {
    size_t r = 0;
    while (r < rows) {
        double *x = targets + r * row_stride;
        const double *fx = multipliers + r * row_stride;
        if (!all_nonzero(fx, Steps)) {
            subtract_nonzero_steps(x, fx, d);
            r += 1;
        } else if (r + 1 < rows && all_nonzero(fx + row_stride, Steps)) {
            subtract_pair<Steps>(x, x + row_stride, fx, fx + row_stride, d);
            r += 2;
        } else {
            subtract_single<Steps>(x, fx, d);
            r += 1;
        }
    }
}

template <size_t... Steps>
inline void subtract_rows_for(double *targets, const double *multipliers, size_t row_stride, size_t rows,
                              const DelayedSteps &d, std::index_sequence<Steps...>) noexcept {
    ((d.steps == Steps + 1 ? subtract_rows<Steps + 1>(targets, multipliers, row_stride, rows, d) : void()), ...);
}

inline void subtract_steps_body(double *targets, const double *multipliers, size_t row_stride, size_t rows,
                                const DelayedSteps &d) noexcept {
    subtract_rows_for(targets, multipliers, row_stride, rows, d, std::make_index_sequence<kPanel>{});
}

} // namespace
} // namespace kelvra::linalg
