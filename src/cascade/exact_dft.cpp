// Exact discrete Fourier transform of integer vectors of power-of-two length n.
//
// With ζ a primitive n-th root of unity and h = n/2, ζ^h = −1, so every power
// ζ^e is +ζ^e for e < h and −ζ^(e−h) otherwise. X_k = Σ_i x_i ζ^(±i·k) is kept
// as h integer coefficients of 1, ζ, ..., ζ^(h−1) (row k of the output), for
// the real and the imaginary input separately. Sums wrap modulo 2^64.
#include "kelvra.h"

namespace kelvra::cascade {

namespace {

bool is_power_of_two(uint32_t n) noexcept { return n != 0 && (n & (n - 1)) == 0; }

// Adds +v at coefficient e (e < h) or −v at e − h, modulo 2^64.
void accumulate(uint64_t *row, uint32_t e, uint32_t h, int64_t v) noexcept {
    const uint64_t value = static_cast<uint64_t>(v);
    if (e < h) row[e] += value;
    else row[e - h] -= value;
}

void transform(uint32_t n, bool negative_exponent, const int64_t *re_in, const int64_t *im_in, uint64_t *re_out,
               uint64_t *im_out) noexcept {
    const uint32_t h = n / 2, mask = n - 1;
    for (uint32_t k = 0; k < n; ++k) {
        uint64_t *re_row = re_out + uint64_t{h} * k;
        uint64_t *im_row = im_out + uint64_t{h} * k;
        for (uint32_t m = 0; m < h; ++m) re_row[m] = im_row[m] = 0;
        // i·k mod n, advanced by k per step (n divides 2^32, so 32-bit wrap is harmless).
        uint32_t ik = 0;
        for (uint32_t i = 0; i < n; ++i, ik += k) {
            const uint32_t e = negative_exponent ? (n - (ik & mask)) & mask : ik & mask;
            accumulate(re_row, e, h, re_in[i]);
            accumulate(im_row, e, h, im_in[i]);
        }
    }
}

} // namespace

} // namespace kelvra::cascade

extern "C" KELVRA_API kelvra_status kelvra_exact_dft_i64(uint32_t n, int32_t negative_exponent, const int64_t *re_in,
                                                         const int64_t *im_in, int64_t *re_out,
                                                         int64_t *im_out) noexcept {
    if (re_in == nullptr || im_in == nullptr || re_out == nullptr || im_out == nullptr) return KELVRA_ERR_ARG;
    if (n < 2 || !kelvra::cascade::is_power_of_two(n)) return KELVRA_ERR_DATA;
    kelvra::cascade::transform(n, negative_exponent != 0, re_in, im_in, reinterpret_cast<uint64_t *>(re_out),
                               reinterpret_cast<uint64_t *>(im_out));
    return KELVRA_OK;
}
