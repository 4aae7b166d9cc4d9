// Gauss-Jordan elimination with partial pivoting on the augmented matrix
// [A | B] (n rows, n + m columns, row-major) held in a caller's workspace.
//
// Step k: the pivot is the first row at or below k holding the largest
// |entry| of column k (NaN never wins; an all-zero column stops with
// "singular"); that row is swapped into place, divided by the pivot, and
// f times it is subtracted from every other row whose column-k entry f is
// not exactly zero.
//
// Two things make this fast without changing a bit of the solution:
//
//  - Only the columns after k are carried along. Columns before k are
//    finished and never read again, and column k is not read after step k,
//    so the solution columns see exactly the operations, in exactly the
//    order, of reducing all n + m columns. Column k keeps each row's
//    multiplier f (and the pivot row its pivot), which the next point uses.
//
//  - Steps are taken a panel of kPanel columns at a time. The panel's own
//    columns are reduced step by step for all rows. The columns to the right
//    then receive the panel's steps tile by tile: first the panel rows, step
//    by step (each pivot row is divided and a copy of it taken at that
//    moment), then every other row gets all of the panel's subtractions in
//    one pass, in step order, with the multipliers kept in the panel. Every
//    element thus goes through the same divisions and subtractions, in the
//    same order, with the same operands, as in the step-by-step method; only
//    the order in which different elements are visited changes.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "linalg/elimination.hpp"

namespace kelvra::linalg {

class GaussJordan {
public:
    GaussJordan(uint32_t n, uint32_t m, double *cells, SubtractSteps subtract_steps) noexcept
            : n_(n), m_(m), width_(size_t{n} + m), cells_(cells), subtract_steps_(subtract_steps) {}

    // Row i of the augmented matrix is A's row i followed by B's row i.
    void load(const double *a, const double *b) noexcept {
        for (size_t i = 0; i < n_; ++i) {
            std::memcpy(row(i), a + i * n_, n_ * sizeof(double));
            std::memcpy(row(i) + n_, b + i * m_, m_ * sizeof(double));
        }
    }

    // Reduces A to the identity; false when a pivot is exactly zero.
    bool reduce() noexcept {
        for (size_t first = 0; first < n_; first += kPanel) {
            const size_t steps = n_ - first < kPanel ? n_ - first : kPanel;
            if (!reduce_panel(first, steps)) return false;
            for (size_t col = first + steps; col < width_; col += kTile) {
                const size_t len = width_ - col < kTile ? width_ - col : kTile;
                apply_panel(first, steps, col, len);
            }
        }
        return true;
    }

    // X(i, j) = augmented(i, n + j).
    void store_solution(double *x) const noexcept {
        for (size_t i = 0; i < n_; ++i) std::memcpy(x + i * m_, row(i) + n_, m_ * sizeof(double));
    }

private:
    static constexpr size_t kTile = 256;

    double *row(size_t i) noexcept { return cells_ + i * width_; }
    const double *row(size_t i) const noexcept { return cells_ + i * width_; }

    // The pivot row for column k, or n when the column's largest |entry| is 0.
    size_t pivot_row(size_t k) const noexcept {
        double largest = 0.0;
        size_t chosen = k;
        for (size_t i = k; i < n_; ++i) {
            const double magnitude = std::fabs(row(i)[k]);
            if (magnitude > largest) {
                largest = magnitude;
                chosen = i;
            }
        }
        return largest == 0.0 ? n_ : chosen;
    }

    // Rows swap from the panel's first column on: everything before it is
    // finished, everything from it on belongs to the row's content.
    void swap_rows(size_t i, size_t j, size_t from) noexcept {
        double *__restrict ri = row(i);
        double *__restrict rj = row(j);
        for (size_t c = from; c < width_; ++c) {
            const double t = ri[c];
            ri[c] = rj[c];
            rj[c] = t;
        }
    }

    // Steps first .. first + steps - 1 on the panel's own columns.
    bool reduce_panel(size_t first, size_t steps) noexcept {
        const size_t end = first + steps;
        for (size_t k = first; k < end; ++k) {
            const size_t p = pivot_row(k);
            if (p == n_) return false;
            if (p != k) swap_rows(p, k, first);
            double *__restrict rk = row(k);
            const double pivot = rk[k];
            for (size_t c = k + 1; c < end; ++c) rk[c] = rk[c] / pivot;
            for (size_t i = 0; i < n_; ++i) {
                if (i == k) continue;
                double *__restrict ri = row(i);
                const double f = ri[k];
                if (f == 0.0) continue;
                for (size_t c = k + 1; c < end; ++c) ri[c] = ri[c] - f * rk[c];
            }
        }
        return true;
    }

    // The panel's steps on columns col .. col + len - 1 (right of the panel).
    void apply_panel(size_t first, size_t steps, size_t col, size_t len) noexcept {
        double pivot_copies[kPanel * kTile];
        for (size_t t = 0; t < steps; ++t) {
            const size_t k = first + t;
            double *__restrict rk = row(k) + col;
            double *__restrict copy = pivot_copies + t * kTile;
            const double pivot = row(k)[k];
            for (size_t c = 0; c < len; ++c) copy[c] = rk[c] = rk[c] / pivot;
            for (size_t u = 0; u < steps; ++u) {
                const double f = row(first + u)[k];
                if (u == t || f == 0.0) continue;
                double *__restrict ru = row(first + u) + col;
                for (size_t c = 0; c < len; ++c) ru[c] = ru[c] - f * copy[c];
            }
        }
        const DelayedSteps delayed{pivot_copies, kTile, steps, len};
        subtract_steps_(row(0) + col, row(0) + first, width_, first, delayed);
        const size_t below = first + steps;
        subtract_steps_(row(below) + col, row(below) + first, width_, n_ - below, delayed);
    }

    size_t n_, m_, width_;
    double *cells_;
    SubtractSteps subtract_steps_;
};

} // namespace kelvra::linalg
