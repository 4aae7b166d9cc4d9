// The octonion product in its one evaluation order.
//
// An octonion is 8 doubles, real part first, read as a pair of quaternions
// (a, b) = (x0..x3, x4..x7). With x = (a, b) and y = (c, d):
//     x·y = (a·c − d̄·b, d·a + b·c̄)
// and every quaternion product is grouped as in quaternion_product below, each
// product of two doubles rounded, then the sums as written (the library is
// built without contraction into fused multiply-add).
//
// The code is written once over a "lane" type: plain double for the scalar
// path, and the compiler's vector types (__m128d, __m256d) for the batch
// kernels, whose +, −, × and unary minus act lane by lane with the same
// rounding. So every tier performs the very same operations on every block and
// reproduces the scalar result bit for bit.
#pragma once

#include <cstdint>

namespace kelvra::loop {

// The only dimension the octonion operations accept.
inline constexpr uint64_t kOctonionDim = 8;

// The products are templates over the lane type, instantiated by the tier
// files with their own vector types. They have internal linkage, so no tier's
// copy can ever be the one another file links to.
namespace {

// r = p·q (Hamilton product, e1·e2 = e3).
template <class Lane>
inline void quaternion_product(const Lane p[4], const Lane q[4], Lane r[4]) noexcept {
    r[0] = (p[0] * q[0] - p[1] * q[1]) - (p[2] * q[2] + p[3] * q[3]);
    r[1] = (p[0] * q[1] + p[1] * q[0]) - (p[3] * q[2] - p[2] * q[3]);
    r[2] = (p[0] * q[2] - p[1] * q[3]) + (p[2] * q[0] + p[3] * q[1]);
    r[3] = (p[0] * q[3] + p[1] * q[2]) + (p[3] * q[0] - p[2] * q[1]);
}

template <class Lane>
inline void quaternion_conjugate(const Lane q[4], Lane r[4]) noexcept {
    r[0] = q[0];
    r[1] = -q[1];
    r[2] = -q[2];
    r[3] = -q[3];
}

// out = x·y. The result is complete before the first store, so out may alias x or y.
template <class Lane>
inline void octonion_product(const Lane x[8], const Lane y[8], Lane out[8]) noexcept {
    const Lane *a = x, *b = x + 4, *c = y, *d = y + 4;
    Lane c_bar[4], d_bar[4];
    quaternion_conjugate(c, c_bar);
    quaternion_conjugate(d, d_bar);
    Lane ac[4], d_bar_b[4], da[4], b_c_bar[4];
    quaternion_product(a, c, ac);
    quaternion_product(d_bar, b, d_bar_b);
    quaternion_product(d, a, da);
    quaternion_product(b, c_bar, b_c_bar);
    Lane result[8];
    for (int k = 0; k < 4; ++k) {
        result[k] = ac[k] - d_bar_b[k];
        result[4 + k] = da[k] + b_c_bar[k];
    }
    for (int k = 0; k < 8; ++k) out[k] = result[k];
}

} // namespace

inline void octonion_conjugate(const double x[8], double out[8]) noexcept {
    out[0] = x[0];
    for (int k = 1; k < 8; ++k) out[k] = -x[k];
}

// out = x⁻¹ = x̄ / |x|², dividing component by component; false (out untouched)
// when the squared norm, summed in index order from 0.0, is exactly 0.
inline bool octonion_inverse(const double x[8], double out[8]) noexcept {
    double norm_squared = 0.0;
    for (int k = 0; k < 8; ++k) norm_squared = norm_squared + x[k] * x[k];
    if (norm_squared == 0.0) return false;
    double result[8];
    result[0] = x[0] / norm_squared;
    for (int k = 1; k < 8; ++k) result[k] = -x[k] / norm_squared;
    for (int k = 0; k < 8; ++k) out[k] = result[k];
    return true;
}

} // namespace kelvra::loop
