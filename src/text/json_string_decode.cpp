// JSON string bodies: escapes, Unicode escapes and surrogate pairs decoded to
// UTF-8 straight into the parser's arena; other bytes are copied unchanged
// (no UTF-8 validation), in runs of eight where they allow.
#include "text/json_string_decode.hpp"

#include <cstddef>
#include <cstring>

#include "text/json_scan.hpp"

namespace kelvra::text {
namespace {

namespace scan = json_scan;

// The byte a two-character escape stands for; 0 for 'u' and for bytes that
// do not form an escape.
struct EscapeTable {
    uint8_t bytes[256];
};

constexpr EscapeTable make_escape_table() noexcept {
    EscapeTable t{};
    t.bytes[static_cast<uint8_t>('"')] = 0x22;
    t.bytes[static_cast<uint8_t>('\\')] = 0x5C;
    t.bytes[static_cast<uint8_t>('/')] = 0x2F;
    t.bytes[static_cast<uint8_t>('b')] = 0x08;
    t.bytes[static_cast<uint8_t>('f')] = 0x0C;
    t.bytes[static_cast<uint8_t>('n')] = 0x0A;
    t.bytes[static_cast<uint8_t>('r')] = 0x0D;
    t.bytes[static_cast<uint8_t>('t')] = 0x09;
    return t;
}

constexpr EscapeTable escapes = make_escape_table();

// Value of one hexadecimal digit, or -1.
inline int hex_digit(uint8_t c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    const uint8_t lower = c | 0x20;
    if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
    return -1;
}

// Four hexadecimal digits at p (the caller checked that four bytes exist).
inline bool read_hex4(const uint8_t *p, uint32_t &unit) noexcept {
    const int d0 = hex_digit(p[0]), d1 = hex_digit(p[1]), d2 = hex_digit(p[2]), d3 = hex_digit(p[3]);
    if ((d0 | d1 | d2 | d3) < 0) return false;
    unit = static_cast<uint32_t>((d0 << 12) | (d1 << 8) | (d2 << 4) | d3);
    return true;
}

inline size_t utf8_length(uint32_t code_point) noexcept {
    if (code_point < 0x80) return 1;
    if (code_point < 0x800) return 2;
    if (code_point < 0x10000) return 3;
    return 4;
}

inline void put_utf8(uint8_t *out, uint32_t code_point, size_t length) noexcept {
    switch (length) {
    case 1:
        out[0] = static_cast<uint8_t>(code_point);
        break;
    case 2:
        out[0] = static_cast<uint8_t>(0xC0 | (code_point >> 6));
        out[1] = static_cast<uint8_t>(0x80 | (code_point & 0x3F));
        break;
    case 3:
        out[0] = static_cast<uint8_t>(0xE0 | (code_point >> 12));
        out[1] = static_cast<uint8_t>(0x80 | ((code_point >> 6) & 0x3F));
        out[2] = static_cast<uint8_t>(0x80 | (code_point & 0x3F));
        break;
    default:
        out[0] = static_cast<uint8_t>(0xF0 | (code_point >> 18));
        out[1] = static_cast<uint8_t>(0x80 | ((code_point >> 12) & 0x3F));
        out[2] = static_cast<uint8_t>(0x80 | ((code_point >> 6) & 0x3F));
        out[3] = static_cast<uint8_t>(0x80 | (code_point & 0x3F));
        break;
    }
}

// p is at the backslash of "\uXXXX"; on success p is past the escape (or past
// both escapes of a surrogate pair).
kelvra_status decode_unicode_escape(const uint8_t *&p, const uint8_t *end, uint32_t &code_point) noexcept {
    uint32_t unit;
    if (end - p < 6 || !read_hex4(p + 2, unit)) return KELVRA_ERR_DATA;
    p += 6;
    if (unit >= 0xDC00 && unit <= 0xDFFF) return KELVRA_ERR_DATA;
    if (unit < 0xD800 || unit > 0xDBFF) {
        code_point = unit;
        return KELVRA_OK;
    }
    uint32_t low;
    if (end - p < 6 || p[0] != '\\' || p[1] != 'u' || !read_hex4(p + 2, low)) return KELVRA_ERR_DATA;
    if (low < 0xDC00 || low > 0xDFFF) return KELVRA_ERR_DATA;
    p += 6;
    code_point = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    return KELVRA_OK;
}

// A malformed string: 4 when the block for its raw span would not have fit
// (that reservation comes first), else 2. The raw span steps over a
// backslash and its follower as a pair, up to a quote or the end of input.
kelvra_status malformed_string(const uint8_t *start, const uint8_t *end, uint64_t capacity, uint64_t used) noexcept {
    const uint64_t available = static_cast<uint64_t>(end - start);
    uint64_t span = 0;
    while (span < available && start[span] != '"') span += start[span] == '\\' ? 2 : 1;
    if (span > available) span = available;
    const uint64_t pad = (0 - used) & 7u;
    const uint64_t room = capacity - (used + pad); // the caller checked that the padding fits
    return span >= room ? KELVRA_ERR_CAPACITY : KELVRA_ERR_DATA;
}

// The block is reserved before any byte is decoded, so an arena too small for
// it gives 4 even for a malformed string. Rather than pre-scanning, the decoder writes straight into the place the
// block will take and settles the size at the closing quote: decoded text is
// never longer than the raw bytes it came from, so running out of room
// proves the reservation would have failed. Only a malformed string pays for
// the pre-scan, to choose between 4 and 2.
} // namespace

DecodedString decode_json_string(const uint8_t *start, const uint8_t *end, uint8_t *base, uint64_t capacity,
                                 uint64_t used) noexcept {
    DecodedString result{KELVRA_ERR_CAPACITY, nullptr, 0, nullptr, 0};
    const uint64_t pad = (0 - used) & 7u;
    if (pad > capacity - used) return result;
    const uint64_t offset = used + pad;
    const uint64_t room = capacity - offset;
    uint8_t *const out = base + offset;
    uint64_t written = 0;
    const uint8_t *p = start;
    for (;;) {
        // A plain run, eight bytes at a time while input and room allow; a
        // word is stored whole and the part past the run is overwritten later
        // or lies beyond the block.
        while (end - p >= 8 && room - written >= 8) {
            const uint64_t word = scan::load_word(p);
            std::memcpy(out + written, &word, sizeof word);
            const uint64_t marks = scan::string_stop_marks(word);
            if (marks != 0) {
                const size_t n = scan::first_marked_byte(marks);
                p += n;
                written += n;
                goto run_ended;
            }
            p += 8;
            written += 8;
        }
        while (p != end && !scan::has_class(*p, scan::string_stop)) {
            if (written == room) return result;
            out[written++] = *p++;
        }
    run_ended:
        if (p == end) break;
        const uint8_t c = *p;
        if (c == '"') {
            const uint64_t raw_span = static_cast<uint64_t>(p - start);
            if (raw_span >= room) return result;
            return DecodedString{KELVRA_OK, p + 1, offset + raw_span + 1, out, written};
        }
        if (c != '\\' || end - p < 2) break;
        const uint8_t simple = escapes.bytes[p[1]];
        if (simple != 0) {
            if (written == room) return result;
            out[written++] = simple;
            p += 2;
            continue;
        }
        uint32_t code_point;
        if (p[1] != 'u' || decode_unicode_escape(p, end, code_point) != KELVRA_OK) break;
        const size_t n = utf8_length(code_point);
        if (room - written < n) return result;
        put_utf8(out + written, code_point, n);
        written += n;
    }
    result.status = malformed_string(start, end, capacity, used);
    return result;
}

} // namespace kelvra::text
