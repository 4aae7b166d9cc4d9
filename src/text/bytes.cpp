// TLV framing, byte-string search in both directions, first-match dispatch
// over a pattern table, and byte reversal.
//
// The searches report exactly what trying every start position in order
// would, but run in linear time: a block scan compares the needle's first and
// last bytes at 16 start positions at once (SSE2, part of the x86-64
// baseline) and checks only the candidates; when candidates keep failing
// after long partial matches (periodic text), it hands the rest of the
// haystack to the Two-Way algorithm, which never looks at a byte more than a
// small constant number of times. The block scans live in byte_scan_sse2.cpp.
#include "kelvra.h"

#include <cstddef>
#include <cstring>

#include "frame/status.hpp"
#include "text/byte_scan.hpp"

namespace kelvra::text {
namespace {

constexpr uint32_t not_found = KELVRA_NOT_FOUND;

// Byte views for Two-Way: the bytes as they are, or read from the back, so
// one implementation finds the first occurrence and, on reversed views, the
// last one.
struct Forward {
    const uint8_t *p;
    uint8_t operator[](int64_t i) const noexcept { return p[i]; }
};
struct Backward {
    const uint8_t *last; // the byte at view index 0
    uint8_t operator[](int64_t i) const noexcept { return *(last - i); }
};

// The maximal suffix of x[0, m) under the byte order (`inverted` flips it);
// returns the position before it and its period.
template <class View>
int64_t maximal_suffix(const View &x, int64_t m, bool inverted, int64_t &period) noexcept {
    int64_t ms = -1, j = 0, k = 1;
    period = 1;
    while (j + k < m) {
        const uint8_t a = x[j + k], b = x[ms + k];
        if (inverted ? a > b : a < b) {
            j += k;
            k = 1;
            period = j - ms;
        } else if (a == b) {
            if (k != period) {
                ++k;
            } else {
                j += period;
                k = 1;
            }
        } else {
            ms = j;
            j = ms + 1;
            k = period = 1;
        }
    }
    return ms;
}

template <class View>
bool same_prefix(const View &x, int64_t shift, int64_t count) noexcept {
    for (int64_t i = 0; i < count; ++i) {
        if (x[i] != x[i + shift]) return false;
    }
    return true;
}

// Two-Way (Crochemore and Perrin): the first start in y[0, n) at which
// x[0, m) occurs, or -1. Needs 1 <= m <= n.
template <class View>
int64_t two_way(const View &x, int64_t m, const View &y, int64_t n) noexcept {
    int64_t p = 0, q = 0;
    const int64_t i0 = maximal_suffix(x, m, false, p);
    const int64_t j0 = maximal_suffix(x, m, true, q);
    const int64_t ell = i0 > j0 ? i0 : j0;
    int64_t period = i0 > j0 ? p : q;
    if (same_prefix(x, period, ell + 1)) {
        // A periodic needle: remember how much of the previous window is known to match.
        int64_t j = 0, memory = -1;
        while (j <= n - m) {
            int64_t i = (ell > memory ? ell : memory) + 1;
            while (i < m && x[i] == y[i + j]) ++i;
            if (i >= m) {
                i = ell;
                while (i > memory && x[i] == y[i + j]) --i;
                if (i <= memory) return j;
                j += period;
                memory = m - period - 1;
            } else {
                j += i - ell;
                memory = -1;
            }
        }
    } else {
        period = (ell + 1 > m - ell - 1 ? ell + 1 : m - ell - 1) + 1;
        int64_t j = 0;
        while (j <= n - m) {
            int64_t i = ell + 1;
            while (i < m && x[i] == y[i + j]) ++i;
            if (i >= m) {
                i = ell;
                while (i >= 0 && x[i] == y[i + j]) --i;
                if (i < 0) return j;
                j += period;
            } else {
                j += i - ell;
            }
        }
    }
    return -1;
}

// The block scans, their allowance and middle_matches: byte_scan.hpp.

// First occurrence of needle[0, m) in hay[0, n); 1 <= m <= n.
uint32_t find_first(const uint8_t *hay, uint32_t n, const uint8_t *needle, uint32_t m) noexcept {
    const uint8_t first = needle[0], last = needle[m - 1];
    const uint64_t starts = uint64_t{n} - m + 1; // start positions to try
    const ScanState scan = scan_blocks_forward(hay, starts, needle, m);
    if (scan.found) return static_cast<uint32_t>(scan.at);
    uint64_t s = scan.done, spent = scan.spent;
    // For the last few starts, or where the block scan stopped, a memchr on
    // the first byte finds the candidates, under the same allowance.
    while (s < starts && spent <= check_allowance + check_per_byte * s) {
        const auto *hit = static_cast<const uint8_t *>(std::memchr(hay + s, first, starts - s));
        if (hit == nullptr) return not_found;
        const auto at = static_cast<uint64_t>(hit - hay);
        if (hay[at + m - 1] == last && middle_matches(hay + at, needle, m)) return static_cast<uint32_t>(at);
        spent += m;
        s = at + 1;
    }
    if (s >= starts) return not_found;
    const int64_t found = two_way(Forward{needle}, m, Forward{hay + s}, static_cast<int64_t>(n - s));
    return found < 0 ? not_found : static_cast<uint32_t>(s + static_cast<uint64_t>(found));
}

// Last occurrence of needle[0, m) in hay[0, n); 1 <= m <= n.
uint32_t find_last(const uint8_t *hay, uint32_t n, const uint8_t *needle, uint32_t m) noexcept {
    const uint8_t first = needle[0], last = needle[m - 1];
    // Start positions still to try are [0, open); they are tried from the top.
    const ScanState scan = scan_blocks_backward(hay, uint64_t{n} - m + 1, needle, m);
    if (scan.found) return static_cast<uint32_t>(scan.at);
    uint64_t open = uint64_t{n} - m + 1 - scan.done, spent = scan.spent, covered = scan.done;
    while (open > 0 && spent <= check_allowance + check_per_byte * covered) {
        const uint64_t at = open - 1;
        if (hay[at] == first && hay[at + m - 1] == last && middle_matches(hay + at, needle, m)) {
            return static_cast<uint32_t>(at);
        }
        if (hay[at] == first) spent += m;
        open = at;
        ++covered;
    }
    if (open == 0) return not_found;
    // The region still open ends at hay[open - 1 + m - 1]; search it reversed.
    const uint64_t region = open - 1 + m;
    const int64_t found =
        two_way(Backward{needle + m - 1}, m, Backward{hay + region - 1}, static_cast<int64_t>(region));
    return found < 0 ? not_found : static_cast<uint32_t>(region - static_cast<uint64_t>(found) - m);
}

kelvra_status search_arguments(const uint8_t *haystack, uint32_t haystack_length, const uint8_t *needle,
                               uint32_t needle_length, const uint32_t *out_index) noexcept {
    if (out_index == nullptr || missing_data(needle, needle_length) || missing_data(haystack, haystack_length)) {
        return KELVRA_ERR_ARG;
    }
    return KELVRA_OK;
}

uint32_t search_forward(const uint8_t *haystack, uint32_t haystack_length, const uint8_t *needle,
                        uint32_t needle_length) noexcept {
    if (needle_length == 0) return 0;
    if (needle_length > haystack_length) return not_found;
    return find_first(haystack, haystack_length, needle, needle_length);
}

} // namespace
} // namespace kelvra::text

using namespace kelvra;

extern "C" KELVRA_API kelvra_status kelvra_tlv_pack(uint8_t tag, const uint8_t *value, uint32_t value_length,
                                                    uint8_t *out, uint32_t out_capacity,
                                                    uint32_t *out_length) noexcept {
    if (out == nullptr || out_length == nullptr || missing_data(value, value_length)) return KELVRA_ERR_ARG;
    if (uint64_t{out_capacity} < uint64_t{value_length} + 5) return KELVRA_ERR_CAPACITY;
    out[0] = tag;
    out[1] = static_cast<uint8_t>(value_length >> 24);
    out[2] = static_cast<uint8_t>(value_length >> 16);
    out[3] = static_cast<uint8_t>(value_length >> 8);
    out[4] = static_cast<uint8_t>(value_length);
    if (value_length > 0) std::memcpy(out + 5, value, value_length);
    *out_length = value_length + 5;
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_byte_search(const uint8_t *haystack, uint32_t haystack_length,
                                                       const uint8_t *needle, uint32_t needle_length,
                                                       uint32_t *out_index) noexcept {
    if (const kelvra_status s = text::search_arguments(haystack, haystack_length, needle, needle_length, out_index)) {
        return s;
    }
    *out_index = text::search_forward(haystack, haystack_length, needle, needle_length);
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_byte_search_backward(const uint8_t *haystack, uint32_t haystack_length,
                                                                const uint8_t *needle, uint32_t needle_length,
                                                                uint32_t *out_index) noexcept {
    if (const kelvra_status s = text::search_arguments(haystack, haystack_length, needle, needle_length, out_index)) {
        return s;
    }
    if (needle_length == 0) *out_index = haystack_length;
    else if (needle_length > haystack_length) *out_index = text::not_found;
    else *out_index = text::find_last(haystack, haystack_length, needle, needle_length);
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_dispatch_match(const uint8_t *text, uint32_t text_length,
                                                          const uint8_t *pattern_blob, const uint32_t *pattern_offsets,
                                                          const uint32_t *pattern_lengths, const uint32_t *handler_ids,
                                                          uint32_t count, uint8_t *out_matched,
                                                          uint32_t *out_handler_id) noexcept {
    if (out_matched == nullptr || out_handler_id == nullptr) return KELVRA_ERR_ARG;
    *out_matched = 0;
    *out_handler_id = 0;
    if (count > 0 && (pattern_offsets == nullptr || pattern_lengths == nullptr || handler_ids == nullptr)) {
        return KELVRA_ERR_ARG;
    }
    if (missing_data(text, text_length)) return KELVRA_ERR_ARG;
    for (uint32_t i = 0; i < count; ++i) {
        // A missing blob is a null needle: an empty pattern still occurs,
        // any other is refused by the search's own check.
        const uint8_t *pattern = pattern_blob != nullptr ? pattern_blob + pattern_offsets[i] : nullptr;
        uint32_t at = text::not_found;
        if (const kelvra_status s = kelvra_byte_search(text, text_length, pattern, pattern_lengths[i], &at)) return s;
        if (at != text::not_found) {
            *out_matched = 1;
            *out_handler_id = handler_ids[i];
            return KELVRA_OK;
        }
    }
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_mirror_pattern(const uint8_t *source, uint32_t length,
                                                          uint8_t *destination) noexcept {
    if (length == 0) return KELVRA_OK;
    if (source == nullptr || destination == nullptr) return KELVRA_ERR_ARG;
    for (uint32_t i = 0; i < length; ++i) destination[i] = source[length - 1 - i];
    return KELVRA_OK;
}
