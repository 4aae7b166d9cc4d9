// Batch binding, 128-bit tier: two blocks at a time, one block per lane.
// Built with the baseline flags (SSE2 is part of x86-64).
#include "loop/batch_kernels.hpp"
#include "loop/octonion.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace kelvra::loop {

namespace {

constexpr uint64_t kWidth = 2;

// Component-major form of two blocks: lane l of column c is component c of block l.
void load_columns(const double *blocks, __m128d columns[8]) noexcept {
    for (int c = 0; c < 8; c += 2) {
        const __m128d first = _mm_loadu_pd(blocks + c);
        const __m128d second = _mm_loadu_pd(blocks + 8 + c);
        columns[c] = _mm_unpacklo_pd(first, second);
        columns[c + 1] = _mm_unpackhi_pd(first, second);
    }
}

void store_blocks(const __m128d columns[8], double *blocks) noexcept {
    for (int c = 0; c < 8; c += 2) {
        _mm_storeu_pd(blocks + c, _mm_unpacklo_pd(columns[c], columns[c + 1]));
        _mm_storeu_pd(blocks + 8 + c, _mm_unpackhi_pd(columns[c], columns[c + 1]));
    }
}

} // namespace

uint64_t bind_blocks_sse2(const double *a, const double *b, uint64_t n, double *out) noexcept {
    const uint64_t handled = n - n % kWidth;
    for (uint64_t k = 0; k < handled; k += kWidth) {
        __m128d x[8], y[8], product[8];
        load_columns(a + 8 * k, x);
        load_columns(b + 8 * k, y);
        octonion_product(x, y, product);
        store_blocks(product, out + 8 * k);
    }
    return handled;
}

} // namespace kelvra::loop

#else

namespace kelvra::loop {
uint64_t bind_blocks_sse2(const double *, const double *, uint64_t, double *) noexcept { return 0; }
} // namespace kelvra::loop

#endif
