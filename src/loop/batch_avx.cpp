// Batch binding, 256-bit tier: four blocks at a time, one block per lane.
// Built with -mavx; runs only where the tier rule has found AVX usable.
//
// Blocks are turned into component-major form in registers: 128-bit halves of
// blocks 0 and 2 (and of 1 and 3) are paired in one register, and an unpack
// separates even and odd components. The way back unpacks the result columns
// into the same pairs and stores each 128-bit half where it belongs.
#include "loop/batch_kernels.hpp"
#include "loop/octonion.hpp"

#if defined(__AVX__)
#include <immintrin.h>

#include <cstdint>

namespace kelvra::loop {

namespace {

constexpr uint64_t kWidth = 4;

// From this many blocks (16 MiB of output) the result cannot stay in cache
// anyway, and stores that bypass it save reading every output line first.
constexpr uint64_t kStreamBlocks = uint64_t{1} << 18;

// (low[0], low[1], high[0], high[1]): two broadcast loads and a blend, which
// keeps the shuffle units free for the unpacks.
__m256d pair_halves(const double *low, const double *high) noexcept {
    return _mm256_blend_pd(_mm256_broadcast_pd(reinterpret_cast<const __m128d *>(low)),
                           _mm256_broadcast_pd(reinterpret_cast<const __m128d *>(high)), 0b1100);
}

// Lane l of column c is component c of block l.
void load_columns(const double *blocks, __m256d columns[8]) noexcept {
    for (int c = 0; c < 8; c += 2) {
        const __m256d even_blocks = pair_halves(blocks + c, blocks + 16 + c);    // blocks 0 and 2
        const __m256d odd_blocks = pair_halves(blocks + 8 + c, blocks + 24 + c); // blocks 1 and 3
        columns[c] = _mm256_unpacklo_pd(even_blocks, odd_blocks);
        columns[c + 1] = _mm256_unpackhi_pd(even_blocks, odd_blocks);
    }
}

void store_blocks(const __m256d columns[8], double *blocks) noexcept {
    for (int c = 0; c < 8; c += 2) {
        // Components c and c+1 of blocks 0 and 2, and of blocks 1 and 3.
        const __m256d even_blocks = _mm256_unpacklo_pd(columns[c], columns[c + 1]);
        const __m256d odd_blocks = _mm256_unpackhi_pd(columns[c], columns[c + 1]);
        _mm_storeu_pd(blocks + c, _mm256_castpd256_pd128(even_blocks));
        _mm_storeu_pd(blocks + 8 + c, _mm256_castpd256_pd128(odd_blocks));
        _mm_storeu_pd(blocks + 16 + c, _mm256_extractf128_pd(even_blocks, 1));
        _mm_storeu_pd(blocks + 24 + c, _mm256_extractf128_pd(odd_blocks, 1));
    }
}

// The same rows as store_blocks, written around the caches in whole 32-byte
// halves of a block (out 32-byte aligned).
void stream_blocks(const __m256d columns[8], double *blocks) noexcept {
    for (int c = 0; c < 8; c += 4) {
        const __m256d even_low = _mm256_unpacklo_pd(columns[c], columns[c + 1]);
        const __m256d odd_low = _mm256_unpackhi_pd(columns[c], columns[c + 1]);
        const __m256d even_high = _mm256_unpacklo_pd(columns[c + 2], columns[c + 3]);
        const __m256d odd_high = _mm256_unpackhi_pd(columns[c + 2], columns[c + 3]);
        _mm256_stream_pd(blocks + c, _mm256_permute2f128_pd(even_low, even_high, 0x20));
        _mm256_stream_pd(blocks + 8 + c, _mm256_permute2f128_pd(odd_low, odd_high, 0x20));
        _mm256_stream_pd(blocks + 16 + c, _mm256_permute2f128_pd(even_low, even_high, 0x31));
        _mm256_stream_pd(blocks + 24 + c, _mm256_permute2f128_pd(odd_low, odd_high, 0x31));
    }
}

} // namespace

uint64_t bind_blocks_avx(const double *a, const double *b, uint64_t n, double *out) noexcept {
    const uint64_t handled = n - n % kWidth;
    const bool stream = n >= kStreamBlocks && reinterpret_cast<uintptr_t>(out) % 32 == 0;
    for (uint64_t k = 0; k < handled; k += kWidth) {
        __m256d x[8], y[8], product[8];
        load_columns(a + 8 * k, x);
        load_columns(b + 8 * k, y);
        octonion_product(x, y, product);
        if (stream) stream_blocks(product, out + 8 * k);
        else store_blocks(product, out + 8 * k);
    }
    if (stream) _mm_sfence();
    return handled;
}

} // namespace kelvra::loop

#else

namespace kelvra::loop {
uint64_t bind_blocks_avx(const double *, const double *, uint64_t, double *) noexcept { return 0; }
} // namespace kelvra::loop

#endif
