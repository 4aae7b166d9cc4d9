// The multiplication rule of the Cayley–Dickson basis: e_i·e_j = ±e_(i XOR j)
// in dimension n = 1, 2, 4, ..., 64, and the three-band split of a count.
//
// The sign follows the doubling rule (a, b)·(c, d) = (a·c − d̄·b, d·a + b·c̄)
// with e_k = (e_k, 0) below the half h and (0, e_(k−h)) above it. Each halving
// step maps the pair to one in dimension h (swapping operands where the rule
// does) and flips the sign where a conjugate meets an imaginary unit; at most
// six steps reach dimension 1, where e0·e0 = +e0.
#include "kelvra.h"

namespace kelvra::loop {

namespace {

constexpr int32_t kMaxBasisDim = 64;

bool is_power_of_two(int32_t n) noexcept { return n > 0 && (n & (n - 1)) == 0; }

int32_t basis_sign(int32_t n, int32_t i, int32_t j) noexcept {
    int32_t sign = 1;
    for (; n > 1; n /= 2) {
        const int32_t h = n / 2;
        if (i < h && j < h) continue;
        if (i < h) { // e_i · (0, e_q) = (0, e_q·e_i)
            const int32_t q = j - h;
            j = i;
            i = q;
        } else if (j < h) { // (0, e_p) · e_j = (0, e_p·ē_j)
            i -= h;
            if (j != 0) sign = -sign;
        } else { // (0, e_p) · (0, e_q) = (−ē_q·e_p, 0)
            const int32_t p = i - h, q = j - h;
            i = q;
            j = p;
            if (q == 0) sign = -sign;
        }
    }
    return sign;
}

} // namespace

} // namespace kelvra::loop

extern "C" KELVRA_API kelvra_status kelvra_cd_basis_product(int32_t n, int32_t i, int32_t j, uint32_t *out_index,
                                                            int32_t *out_sign) noexcept {
    if (out_index == nullptr || out_sign == nullptr) return KELVRA_ERR_ARG;
    if (!kelvra::loop::is_power_of_two(n) || n > kelvra::loop::kMaxBasisDim) return KELVRA_ERR_DATA;
    if (i < 0 || i >= n || j < 0 || j >= n) return KELVRA_ERR_DATA;
    *out_index = static_cast<uint32_t>(i ^ j);
    *out_sign = kelvra::loop::basis_sign(n, i, j);
    return KELVRA_OK;
}

// q = n / 3 in the first band, q or q + 1 in the second, the rest in the third.
extern "C" KELVRA_API kelvra_status kelvra_three_fold_bands(uint32_t n, uint32_t *b0, uint32_t *b1,
                                                            uint32_t *b2) noexcept {
    if (b0 == nullptr || b1 == nullptr || b2 == nullptr) return KELVRA_ERR_ARG;
    const uint32_t q = n / 3;
    const uint32_t second = n % 3 == 2 ? q + 1 : q;
    *b0 = q;
    *b1 = second;
    *b2 = n - q - second;
    return KELVRA_OK;
}
