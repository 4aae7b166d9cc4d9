// Test helpers for the octonion tests: random inputs and the product written
// out straight from its documented grouping.
#pragma once

#include <array>
#include <random>

namespace kelvra_test {

using Octonion = std::array<double, 8>;

inline Octonion random_octonion(std::mt19937_64 &rng) {
    std::uniform_real_distribution<double> component(-2.0, 2.0);
    Octonion x;
    for (double &v : x) v = component(rng);
    return x;
}

// x·y = (a·c − d̄·b, d·a + b·c̄) for x = (a, b), y = (c, d), each quaternion
// product grouped as
//   r0 = (p0q0 − p1q1) − (p2q2 + p3q3)    r1 = (p0q1 + p1q0) − (p3q2 − p2q3)
//   r2 = (p0q2 − p1q3) + (p2q0 + p3q1)    r3 = (p0q3 + p1q2) + (p3q0 − p2q1)
inline Octonion grouped_product(const Octonion &x, const Octonion &y) {
    using Q = std::array<double, 4>;
    auto mul = [](const Q &p, const Q &q) {
        return Q{(p[0] * q[0] - p[1] * q[1]) - (p[2] * q[2] + p[3] * q[3]),
                 (p[0] * q[1] + p[1] * q[0]) - (p[3] * q[2] - p[2] * q[3]),
                 (p[0] * q[2] - p[1] * q[3]) + (p[2] * q[0] + p[3] * q[1]),
                 (p[0] * q[3] + p[1] * q[2]) + (p[3] * q[0] - p[2] * q[1])};
    };
    auto conj = [](const Q &q) { return Q{q[0], -q[1], -q[2], -q[3]}; };
    const Q a{x[0], x[1], x[2], x[3]}, b{x[4], x[5], x[6], x[7]};
    const Q c{y[0], y[1], y[2], y[3]}, d{y[4], y[5], y[6], y[7]};
    const Q ac = mul(a, c), db = mul(conj(d), b), da = mul(d, a), bc = mul(b, conj(c));
    return {ac[0] - db[0], ac[1] - db[1], ac[2] - db[2], ac[3] - db[3],
            da[0] + bc[0], da[1] + bc[1], da[2] + bc[2], da[3] + bc[3]};
}

} // namespace kelvra_test
