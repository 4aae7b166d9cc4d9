// Operations on single octonions: product, conjugate, inverse, associator, the
// matrices of left and right multiplication, the seven-dimensional cross
// product and the G2 three-form. Every operation takes the dimension, which
// must be 8; pointers are checked first, the dimension second.
#include "kelvra.h"
#include "loop/octonion.hpp"

namespace kelvra::loop {

namespace {

bool wrong_dim(uint64_t dim) noexcept { return dim != kOctonionDim; }

void basis_octonion(int index, double out[8]) noexcept {
    for (int k = 0; k < 8; ++k) out[k] = k == index ? 1.0 : 0.0;
}

enum class Side { left, right };

// Column c of the operator is x·e_c (left) or e_c·x (right), stored at out[r·8 + c].
void multiplication_matrix(const double x[8], Side side, double out[64]) noexcept {
    double matrix[64];
    for (int c = 0; c < 8; ++c) {
        double e[8], column[8];
        basis_octonion(c, e);
        if (side == Side::left) octonion_product(x, e, column);
        else octonion_product(e, x, column);
        for (int r = 0; r < 8; ++r) matrix[r * 8 + c] = column[r];
    }
    for (int k = 0; k < 64; ++k) out[k] = matrix[k];
}

void cross_product(const double u[8], const double v[8], double out[8]) noexcept {
    octonion_product(u, v, out);
    out[0] = 0.0;
}

} // namespace

} // namespace kelvra::loop

using namespace kelvra::loop;

extern "C" KELVRA_API kelvra_status kelvra_loop_bind_f64(const double *x, const double *y, uint64_t dim,
                                                         double *out) noexcept {
    if (x == nullptr || y == nullptr || out == nullptr) return KELVRA_ERR_ARG;
    if (wrong_dim(dim)) return KELVRA_ERR_DATA;
    octonion_product(x, y, out);
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_loop_conj_f64(const double *x, uint64_t dim, double *out) noexcept {
    if (x == nullptr || out == nullptr) return KELVRA_ERR_ARG;
    if (wrong_dim(dim)) return KELVRA_ERR_DATA;
    octonion_conjugate(x, out);
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_loop_inv_f64(const double *x, uint64_t dim, double *out) noexcept {
    if (x == nullptr || out == nullptr) return KELVRA_ERR_ARG;
    if (wrong_dim(dim)) return KELVRA_ERR_DATA;
    return octonion_inverse(x, out) ? KELVRA_OK : KELVRA_ERR_DATA;
}

extern "C" KELVRA_API kelvra_status kelvra_loop_associator_f64(const double *x, const double *y, const double *z,
                                                               uint64_t dim, double *out) noexcept {
    if (x == nullptr || y == nullptr || z == nullptr || out == nullptr) return KELVRA_ERR_ARG;
    if (wrong_dim(dim)) return KELVRA_ERR_DATA;
    double xy[8], xy_z[8], yz[8], x_yz[8];
    octonion_product(x, y, xy);
    octonion_product(xy, z, xy_z);
    octonion_product(y, z, yz);
    octonion_product(x, yz, x_yz);
    for (int k = 0; k < 8; ++k) out[k] = xy_z[k] - x_yz[k];
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_loop_left_op_f64(const double *x, uint64_t dim, double *out) noexcept {
    if (x == nullptr || out == nullptr) return KELVRA_ERR_ARG;
    if (wrong_dim(dim)) return KELVRA_ERR_DATA;
    multiplication_matrix(x, Side::left, out);
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_loop_right_op_f64(const double *x, uint64_t dim, double *out) noexcept {
    if (x == nullptr || out == nullptr) return KELVRA_ERR_ARG;
    if (wrong_dim(dim)) return KELVRA_ERR_DATA;
    multiplication_matrix(x, Side::right, out);
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_cross7_f64(const double *u, const double *v, uint64_t dim,
                                                      double *out) noexcept {
    if (u == nullptr || v == nullptr || out == nullptr) return KELVRA_ERR_ARG;
    if (wrong_dim(dim)) return KELVRA_ERR_DATA;
    cross_product(u, v, out);
    return KELVRA_OK;
}

// φ(x, u, v) = ⟨x, u × v⟩, summed left to right from 0.0 with the real part
// included as x0·0.0, so that a NaN or infinity there still shows.
extern "C" KELVRA_API kelvra_status kelvra_g2_three_form_f64(const double *x, const double *u, const double *v,
                                                             uint64_t dim, double *out) noexcept {
    if (x == nullptr || u == nullptr || v == nullptr || out == nullptr) return KELVRA_ERR_ARG;
    if (wrong_dim(dim)) return KELVRA_ERR_DATA;
    double cross[8];
    cross_product(u, v, cross);
    double sum = 0.0;
    for (int k = 0; k < 8; ++k) sum = sum + x[k] * cross[k];
    *out = sum;
    return KELVRA_OK;
}
