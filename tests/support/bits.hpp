// A double's bit pattern and back, for exact comparisons and for building
// edge-case values.
#pragma once

#include <cstdint>
#include <cstring>

namespace kelvra_test {

inline uint64_t bits(double x) {
    uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

inline double from_bits(uint64_t b) {
    double x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

} // namespace kelvra_test
