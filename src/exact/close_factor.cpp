// Fermat's method: walk a upward from ceil(sqrt(n)) while a^2 - n is not a
// square. Only a handful of steps are taken, so numbers without close factors
// pay little, and the square test first asks a few residue filters that turn
// away all but about one non-square in a hundred before any root is formed.
#include "exact/close_factor.hpp"

#include <bit>

namespace kelvra::exact {
namespace {

// Bit r of the mask is set when r is a square modulo m (m <= 64).
constexpr uint64_t square_residue_mask(uint64_t m) noexcept {
    uint64_t mask = 0;
    for (uint64_t x = 0; x < m; ++x) mask |= uint64_t{1} << (x * x % m);
    return mask;
}

constexpr uint64_t kSquaresMod64 = square_residue_mask(64); // 12 of 64 residues
constexpr uint64_t kSquaresMod63 = square_residue_mask(63); // 16 of 63
constexpr uint64_t kSquaresMod13 = square_residue_mask(13); // 7 of 13
constexpr uint64_t kSquaresMod11 = square_residue_mask(11); // 6 of 11

// False for most non-squares, true for every square; the moduli are coprime,
// so the filters reject independently (about 99% of non-squares in all).
inline bool may_be_square(uint64_t n) noexcept {
    if (((kSquaresMod64 >> (n & 63)) & 1) == 0) return false;
    if (((kSquaresMod63 >> (n % 63)) & 1) == 0) return false;
    if (((kSquaresMod13 >> (n % 13)) & 1) == 0) return false;
    return ((kSquaresMod11 >> (n % 11)) & 1) != 0;
}

// The root when n is a perfect square, else UINT64_MAX (no root is that large).
inline uint64_t square_root_if_square(uint64_t n) noexcept {
    if (!may_be_square(n)) return UINT64_MAX;
    const uint64_t r = integer_square_root(n);
    return r * r == n ? r : UINT64_MAX;
}

// 1/sqrt(x) to within a relative 2^-37 for x >= 1: a first guess read off
// the exponent bits, then four Newton steps, each of which squares the
// relative error (3.5% -> 2e-3 -> 5e-6 -> 4e-11 -> below double rounding).
double reciprocal_square_root(double x) noexcept {
    double y = std::bit_cast<double>(0x5FE6EB50C7B537A9u - (std::bit_cast<uint64_t>(x) >> 1));
    const double half_x = 0.5 * x;
    for (int i = 0; i < 4; ++i) y = y * (1.5 - half_x * y * y);
    return y;
}

} // namespace

uint64_t integer_square_root(uint64_t n) noexcept {
    if (n < 2) return n;
    const double x = static_cast<double>(n);
    double estimate = x * reciprocal_square_root(x);
    // The estimate is within a unit or two; integers settle the last step.
    // Roots of 64-bit values are below 2^32, which also keeps r * r exact.
    if (estimate > 4294967295.0) estimate = 4294967295.0;
    uint64_t r = static_cast<uint64_t>(estimate);
    while (r * r > n) --r;
    while (r < 0xFFFFFFFFu && (r + 1) * (r + 1) <= n) ++r;
    return r;
}

uint64_t close_divisor(uint64_t n) noexcept {
    uint64_t a = integer_square_root(n);
    if (a * a == n) return a;
    ++a;
    // a^2 - n and the gaps 2a + 1 between consecutive squares, in wrapping
    // arithmetic: a^2 may reach 2^64, but a^2 - n itself stays far below.
    uint64_t excess = a * a - n;
    uint64_t gap = 2 * a + 1;
    for (uint32_t step = 0; step < kFermatSteps; ++step) {
        const uint64_t b = square_root_if_square(excess);
        if (b != UINT64_MAX) {
            // n = (a - b)(a + b); a - b = 1 would be the trivial split.
            return a - b > 1 ? a - b : 0;
        }
        excess += gap;
        gap += 2;
        ++a;
    }
    return 0;
}

} // namespace kelvra::exact
