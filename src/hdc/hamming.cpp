// Single-error-correcting Hamming codes of length n = 2^r - 1, one byte per
// bit. Positions 1..n; powers of two hold parity, the rest data in order.
//
// Parity bit p is the XOR of the bits at positions q with q AND p != 0, so
// all parity bits at once are the XOR of the positions of the set bits: its
// bit log2(p) is parity bit p. Encoding takes that XOR over the data bits
// (parity positions still clear), the syndrome over the whole word; one pass
// each gives the same bits as the parity-by-parity description.
#include <cstring>

#include "frame/status.hpp"
#include "hdc/position_xor.hpp"
#include "kelvra.h"

namespace kelvra::hdc {

namespace {

constexpr int32_t kMinR = 2, kMaxR = 16;

constexpr uint64_t code_length(int32_t r) noexcept { return (uint64_t{1} << r) - 1; }

// r for a code length n = 2^r - 1 with r in 2..16, or 0.
int32_t parity_bits_for(uint64_t n) noexcept {
    for (int32_t r = kMinR; r <= kMaxR; ++r) {
        if (n == code_length(r)) return r;
    }
    return 0;
}

bool all_bits(const uint8_t *v, uint64_t n) noexcept {
    unsigned invalid = 0;
    for (uint64_t i = 0; i < n; ++i) invalid |= v[i] > 1 ? 1u : 0u;
    return invalid == 0;
}

// XOR of the positions q (1-based) of the set bits among code[0 .. n-1].
uint32_t position_xor_bytewise(const uint8_t *code, uint64_t n) noexcept {
    uint32_t x = 0;
    for (uint32_t i = 0; i < n; ++i) x ^= (i + 1) & (0u - code[i]);
    return x;
}

// The same XOR for n + 1 = 2^r >= 16, 16 positions at a time:
// position_xor_blocks (position_xor.hpp).

// The XOR of the positions of the set bits, and whether every byte is 0 or 1.
bool position_xor(const uint8_t *code, uint64_t n, uint32_t &x) noexcept {
    if (n + 1 >= 16) return position_xor_blocks(code, n, x);
    if (!all_bits(code, n)) return false;
    x = position_xor_bytewise(code, n);
    return true;
}

// Data bits sit in the runs between parity positions: positions
// 2^j + 1 .. 2^(j+1) - 1, that is code indices 2^j .. 2^(j+1) - 2.
template <class Run>
void for_each_data_run(int32_t r, Run run) noexcept {
    uint64_t data_index = 0;
    for (int32_t j = 1; j < r; ++j) {
        const uint64_t first = uint64_t{1} << j, length = first - 1;
        run(first, data_index, length);
        data_index += length;
    }
}

bool is_power_of_two(uint32_t q) noexcept { return q != 0 && (q & (q - 1)) == 0; }

// Data index of a data position q (not a power of two): q - 1 minus the
// floor(log2 q) + 1 parity positions before it.
uint64_t data_index_of(uint32_t q) noexcept { return q - 2 - static_cast<uint32_t>(31 - __builtin_clz(q)); }

} // namespace

} // namespace kelvra::hdc

using namespace kelvra::hdc;

extern "C" KELVRA_API kelvra_status kelvra_hamming_encode(const uint8_t *data, uint64_t k, int32_t r,
                                                          uint8_t *code) noexcept {
    if (data == nullptr || code == nullptr) return KELVRA_ERR_ARG;
    if (r < kMinR || r > kMaxR) return KELVRA_ERR_DATA;
    const uint64_t n = code_length(r);
    if (k != n - static_cast<uint64_t>(r)) return KELVRA_ERR_DATA;
    if (!all_bits(data, k)) return KELVRA_ERR_DATA;
    code[0] = 0;
    for_each_data_run(r, [&](uint64_t first, uint64_t from, uint64_t length) {
        code[first - 1] = 0;
        std::memcpy(code + first, data + from, length);
    });
    uint32_t parity = 0;
    position_xor(code, n, parity); // the data bits were checked above
    for (int32_t j = 0; j < r; ++j) code[(uint64_t{1} << j) - 1] = static_cast<uint8_t>((parity >> j) & 1u);
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_hamming_syndrome(const uint8_t *code, uint64_t n,
                                                            uint32_t *syndrome) noexcept {
    if (code == nullptr || syndrome == nullptr) return KELVRA_ERR_ARG;
    uint32_t s = 0;
    if (parity_bits_for(n) == 0 || !position_xor(code, n, s)) return KELVRA_ERR_DATA;
    *syndrome = s;
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_hamming_decode_correct(const uint8_t *code, uint64_t n, uint8_t *data,
                                                                  uint32_t *syndrome) noexcept {
    if (code == nullptr || data == nullptr || syndrome == nullptr) return KELVRA_ERR_ARG;
    const int32_t r = parity_bits_for(n);
    uint32_t s = 0;
    if (r == 0 || !position_xor(code, n, s)) return KELVRA_ERR_DATA;
    for_each_data_run(r, [&](uint64_t first, uint64_t into, uint64_t length) {
        std::memmove(data + into, code + first, length); // data may be the code buffer itself
    });
    if (s != 0 && !is_power_of_two(s)) data[data_index_of(s)] ^= 1u;
    *syndrome = s;
    return KELVRA_OK;
}
