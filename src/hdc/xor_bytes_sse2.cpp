// The wide XOR behind the binary and Klein-four binds (bytes.hpp). SSE2 is
// part of the x86-64 baseline, so no tier choice is needed: at 16 bytes per
// instruction the loop already runs at memory speed once vectors leave the
// cache. Elsewhere the same bytes come from a loop over 8-byte words.
#include "hdc/bytes.hpp"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelvra::hdc {

#if defined(__SSE2__)

namespace {

// From this size on the output goes around the cache (it will not be
// re-read soon, and the inputs then stream from memory anyway).
constexpr size_t kStreamFrom = size_t{8} << 20;

inline __m128i load128(const uint8_t *p) noexcept { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }

inline __m128i xor128(const uint8_t *a, const uint8_t *b, size_t i) noexcept {
    return _mm_xor_si128(load128(a + i), load128(b + i));
}

size_t xor_stream(const uint8_t *a, const uint8_t *b, size_t n, uint8_t *out) noexcept {
    size_t i = 0;
    for (; i < n && (reinterpret_cast<uintptr_t>(out + i) & 15u) != 0; ++i) out[i] = a[i] ^ b[i];
    for (; i + 64 <= n; i += 64) {
        const __m128i x0 = xor128(a, b, i), x1 = xor128(a, b, i + 16);
        const __m128i x2 = xor128(a, b, i + 32), x3 = xor128(a, b, i + 48);
        _mm_stream_si128(reinterpret_cast<__m128i *>(out + i), x0);
        _mm_stream_si128(reinterpret_cast<__m128i *>(out + i + 16), x1);
        _mm_stream_si128(reinterpret_cast<__m128i *>(out + i + 32), x2);
        _mm_stream_si128(reinterpret_cast<__m128i *>(out + i + 48), x3);
    }
    _mm_sfence();
    return i;
}

size_t xor_cached(const uint8_t *a, const uint8_t *b, size_t n, uint8_t *out) noexcept {
    size_t i = 0;
    for (; i + 64 <= n; i += 64) {
        const __m128i x0 = xor128(a, b, i), x1 = xor128(a, b, i + 16);
        const __m128i x2 = xor128(a, b, i + 32), x3 = xor128(a, b, i + 48);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), x0);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i + 16), x1);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i + 32), x2);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i + 48), x3);
    }
    for (; i + 16 <= n; i += 16) _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), xor128(a, b, i));
    return i;
}

} // namespace

void xor_bytes(const uint8_t *a, const uint8_t *b, size_t n, uint8_t *out) noexcept {
    size_t i = n >= kStreamFrom ? xor_stream(a, b, n, out) : xor_cached(a, b, n, out);
    for (; i < n; ++i) out[i] = a[i] ^ b[i];
}

#else

// Each word is read in full before it is written, as each block is above.
void xor_bytes(const uint8_t *a, const uint8_t *b, size_t n, uint8_t *out) noexcept {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        x ^= y;
        std::memcpy(out + i, &x, 8);
    }
    for (; i < n; ++i) out[i] = a[i] ^ b[i];
}

#endif

} // namespace kelvra::hdc
