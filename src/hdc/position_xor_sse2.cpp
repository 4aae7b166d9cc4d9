// The position XOR of the Hamming codes (position_xor.hpp), 16 positions per
// step in SSE2 registers on x86-64 (part of the baseline, so no processor
// query is needed), byte by byte elsewhere; both give the same answers.
#include "hdc/position_xor.hpp"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelvra::hdc {

#if defined(__SSE2__)

namespace {

inline __m128i load128(const uint8_t *p) noexcept { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }

} // namespace

// The same XOR for n + 1 = 2^r >= 16, 16 positions at a time, positions
// q = 16 h .. 16 h + 15 in block h (position 0, before the code, is a 0).
// Write q = 8 g + l. The low three bits of the XOR are the XOR of those l
// whose residue class mod 8 holds an odd number of set bits: the byte-wise
// XOR of all blocks, folded to 8 bytes, gives those parities. The high bits
// are 8 times the XOR of those g whose eight bytes hold an odd number of set
// bits: PSADBW sums each 8-byte half. Also tells whether every byte is 0 or 1.
bool position_xor_blocks(const uint8_t *code, uint64_t n, uint32_t &x) noexcept {
    uint8_t first[16] = {0};
    std::memcpy(first + 1, code, 15);
    __m128i seen = _mm_setzero_si128(), residues = _mm_setzero_si128(), halves = _mm_setzero_si128();
    __m128i g = _mm_set_epi64x(1, 0);
    const __m128i two = _mm_set_epi64x(2, 2), one = _mm_set_epi64x(1, 1), zero = _mm_setzero_si128();
    for (uint64_t q = 0; q <= n; q += 16) {
        const __m128i v = q == 0 ? load128(first) : load128(code + q - 1);
        seen = _mm_or_si128(seen, v);
        residues = _mm_xor_si128(residues, v);
        const __m128i odd = _mm_sub_epi64(zero, _mm_and_si128(_mm_sad_epu8(v, zero), one));
        halves = _mm_xor_si128(halves, _mm_and_si128(g, odd));
        g = _mm_add_epi64(g, two);
    }
    const __m128i stray = _mm_and_si128(seen, _mm_set1_epi8(static_cast<char>(0xfe)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(stray, zero)) != 0xffff) return false;
    const uint64_t high = static_cast<uint64_t>(_mm_cvtsi128_si64(halves)) ^
                          static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(halves, halves)));
    const uint64_t folded = static_cast<uint64_t>(_mm_cvtsi128_si64(residues)) ^
                            static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(residues, residues)));
    uint32_t low = 0;
    for (uint32_t l = 0; l < 8; ++l) low ^= l & (0u - static_cast<uint32_t>((folded >> (8 * l)) & 1u));
    x = static_cast<uint32_t>(high << 3) ^ low;
    return true;
}

#else

bool position_xor_blocks(const uint8_t *code, uint64_t n, uint32_t &x) noexcept {
    unsigned invalid = 0;
    uint32_t sum = 0;
    for (uint64_t i = 0; i < n; ++i) {
        invalid |= code[i] > 1 ? 1u : 0u;
        sum ^= static_cast<uint32_t>(i + 1) & (0u - static_cast<uint32_t>(code[i] & 1u));
    }
    if (invalid != 0) return false;
    x = sum;
    return true;
}

#endif

} // namespace kelvra::hdc
