// The string scans of the canonical JSON writer (json_escape.hpp). On x86-64
// they look at 16 bytes per step in SSE2 registers (part of the baseline, so
// no processor query is needed); elsewhere they go byte by byte over the same
// escape table, with the same results.
#include "text/json_escape.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelvra::text {

#if defined(__SSE2__)

namespace {

// Marks, among 16 bytes, those that are not written as themselves.
inline unsigned special_mask(__m128i v) noexcept {
    const __m128i control_max = _mm_set1_epi8(0x1F);
    const __m128i control = _mm_cmpeq_epi8(_mm_max_epu8(v, control_max), control_max);
    const __m128i quote = _mm_cmpeq_epi8(v, _mm_set1_epi8('"'));
    const __m128i backslash = _mm_cmpeq_epi8(v, _mm_set1_epi8('\\'));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(control, _mm_or_si128(quote, backslash))));
}

} // namespace

size_t plain_run(const uint8_t *p, size_t n) noexcept {
    size_t i = 0;
    for (; n - i >= 16; i += 16) {
        const unsigned mask = special_mask(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i)));
        if (mask != 0) return i + static_cast<size_t>(__builtin_ctz(mask));
    }
    while (i < n && escape_letters.letter[p[i]] == 0) ++i;
    return i;
}

uint8_t *write_escaped(uint8_t *dest, const uint8_t *bytes, size_t n) noexcept {
    size_t i = 0;
    while (i < n) {
        if (n - i >= 16) {
            // Sixteen bytes are stored at once; only the plain ones are kept.
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + i));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(dest), v);
            const unsigned mask = special_mask(v);
            if (mask == 0) {
                dest += 16;
                i += 16;
                continue;
            }
            const size_t plain = static_cast<size_t>(__builtin_ctz(mask));
            dest += plain;
            i += plain;
        } else if (escape_letters.letter[bytes[i]] == 0) {
            *dest++ = bytes[i++];
            continue;
        }
        dest = write_escape(dest, bytes[i++]);
    }
    return dest;
}

#else

size_t plain_run(const uint8_t *p, size_t n) noexcept {
    size_t i = 0;
    while (i < n && escape_letters.letter[p[i]] == 0) ++i;
    return i;
}

uint8_t *write_escaped(uint8_t *dest, const uint8_t *bytes, size_t n) noexcept {
    for (size_t i = 0; i < n; ++i) {
        if (escape_letters.letter[bytes[i]] == 0) *dest++ = bytes[i];
        else dest = write_escape(dest, bytes[i]);
    }
    return dest;
}

#endif

} // namespace kelvra::text
