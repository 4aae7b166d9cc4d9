// Reversal of a vector's order (its chirality), shared by the flip kernels and
// the operators built on them.
#pragma once

#include <cstdint>

namespace kelvra::cascade {

// out[i] = in[n−1−i] by pairwise exchange, so out may equal in. Elements are
// moved as they are (bit patterns unchanged); the middle element of an odd
// count is copied only when out is a different array.
template <class T>
inline void chiral_flip(const T *in, uint64_t n, T *out) noexcept {
    for (uint64_t i = 0; i < n / 2; ++i) {
        const T first = in[i];
        out[i] = in[n - 1 - i];
        out[n - 1 - i] = first;
    }
    if (n % 2 == 1 && out != in) out[n / 2] = in[n / 2];
}

// −x (the sign bit flipped) for a negative orientation, else x.
inline double reorient(int8_t sign, double x) noexcept { return sign < 0 ? -x : x; }

} // namespace kelvra::cascade
