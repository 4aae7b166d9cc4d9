// Cascade kernels on signs and order: a value split into sign and magnitude
// and put back together, the product of many signs, reversal of a vector and
// an operator conjugated by reversal.
#include "cascade/orientation.hpp"
#include "frame/status.hpp"
#include "kelvra.h"

namespace kelvra::cascade {

namespace {

// +1, −1, or 0 for ±0 and NaN (neither above nor below zero).
int8_t sign_of(double x) noexcept {
    if (x > 0) return 1;
    if (x < 0) return -1;
    return 0;
}

double magnitude(double x) noexcept {
    if (x > 0) return x;
    if (x < 0) return -x;
    return 0.0;
}

// 0 as soon as a 0 is met (nothing after it is read), else ±1 by the parity of negatives.
int8_t net_chirality(const int8_t *signs, uint64_t n) noexcept {
    bool negative = false;
    for (uint64_t i = 0; i < n; ++i) {
        if (signs[i] == 0) return 0;
        if (signs[i] < 0) negative = !negative;
    }
    return negative ? -1 : 1;
}

template <class T>
kelvra_status flip(const T *in, uint64_t n, T *out) noexcept {
    if (n == 0) return KELVRA_OK;
    if (in == nullptr || out == nullptr) return KELVRA_ERR_ARG;
    chiral_flip(in, n, out);
    return KELVRA_OK;
}

} // namespace

} // namespace kelvra::cascade

using namespace kelvra::cascade;

extern "C" KELVRA_API kelvra_status kelvra_cascade_pin_slot_at_zero_f64(double x, int8_t *out_sign,
                                                                        double *out_mag) noexcept {
    if (out_sign == nullptr || out_mag == nullptr) return KELVRA_ERR_ARG;
    *out_sign = sign_of(x);
    *out_mag = magnitude(x);
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_cascade_magnitude_f64(double x, double *out) noexcept {
    if (out == nullptr) return KELVRA_ERR_ARG;
    *out = magnitude(x);
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_cascade_reorient_f64(int8_t sign, double x, double *out) noexcept {
    if (out == nullptr) return KELVRA_ERR_ARG;
    *out = reorient(sign, x);
    return KELVRA_OK;
}

// Negation modulo 2^64, so the most negative value maps to itself.
extern "C" KELVRA_API kelvra_status kelvra_cascade_reorient_i64(int8_t sign, int64_t x, int64_t *out) noexcept {
    if (out == nullptr) return KELVRA_ERR_ARG;
    *out = sign < 0 ? static_cast<int64_t>(0 - static_cast<uint64_t>(x)) : x;
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_cascade_net_chirality_i8(const int8_t *signs, uint64_t n,
                                                                    int8_t *out) noexcept {
    if (out == nullptr || kelvra::missing_data(signs, n)) return KELVRA_ERR_ARG;
    *out = net_chirality(signs, n);
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_cascade_chiral_flip_f64(const double *in, uint64_t n, double *out) noexcept {
    return flip(in, n, out);
}

extern "C" KELVRA_API kelvra_status kelvra_cascade_chiral_flip_i64(const int64_t *in, uint64_t n,
                                                                   int64_t *out) noexcept {
    return flip(in, n, out);
}

// out = reverse(op(reverse(in))), the reversed input staged in scratch.
extern "C" KELVRA_API kelvra_status kelvra_cascade_chiral_dual_f64(kelvra_cascade_op_f64 op, void *ctx,
                                                                   const double *in, uint64_t n, double *out,
                                                                   double *scratch) noexcept {
    if (op == nullptr || out == nullptr) return KELVRA_ERR_ARG;
    if (n == 0) return op(in, 0, out, ctx);
    if (in == nullptr || scratch == nullptr) return KELVRA_ERR_ARG;
    chiral_flip(in, n, scratch);
    if (const kelvra_status status = op(scratch, n, out, ctx)) return status;
    chiral_flip<double>(out, n, out);
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_reverse_order(uint32_t n, uint32_t *out) noexcept {
    if (n == 0) return KELVRA_OK;
    if (out == nullptr) return KELVRA_ERR_ARG;
    for (uint32_t i = 0; i < n; ++i) out[i] = n - 1 - i;
    return KELVRA_OK;
}
