// JSON text to a tree of value records in the caller's arena.
//
// One forward pass, no recursion, no heap. Open containers live on an
// explicit stack of 64 frames of 40 bytes, itself a block of the arena; the
// innermost frame is kept in a local copy and written back only when a child
// container is opened above it. Every block is reserved with the sticky 8-byte
// rule in a fixed order (record, string block, key copy, member lists, final
// arrays), because callers size their arenas from that order.
#include "kelvra.h"

#include <array>
#include <cstring>

#include "frame/arena.hpp"
#include "frame/status.hpp"
#include "text/decimal_round.hpp"
#include "text/digit_word.hpp"
#include "text/json_record.hpp"
#include "text/json_scan.hpp"
#include "text/json_string_decode.hpp"
#include "text/numtext.hpp"

namespace kelvra::text {
namespace {

namespace record = json_record;
namespace scan = json_scan;

constexpr uint32_t max_depth = 64;
constexpr uint64_t frame_bytes = 40;
constexpr uint64_t stack_bytes = max_depth * frame_bytes;
constexpr uint32_t initial_slots = 8;
constexpr size_t max_number_token = 62;
// Up to 18 decimal digits always fit an int64 without overflow checks.
constexpr size_t plain_int_digits = 18;
// At most 19 decimal digits fit a uint64 significand exactly.
constexpr size_t plain_significand_digits = 19;
// The word-at-a-time number reader loads up to sixteen bytes at a time from
// within max_number_token + 1 bytes of the token's start, and gives up once
// its token is longer; it never loads more than this many bytes past the
// token's start.
constexpr size_t plain_number_room = max_number_token + 18;

// Where each field of a frame sits inside its 40 bytes of the arena stack.
constexpr size_t frame_record_at = 0;
constexpr size_t frame_is_object_at = 8;
constexpr size_t frame_count_at = 12;
constexpr size_t frame_slots_at = 16;
constexpr size_t frame_keys_at = 24;
constexpr size_t frame_values_at = 32;

// An open container: its record and the growing lists of its members.
struct Frame {
    kelvra_json_value *record;
    uint8_t is_object;
    uint32_t count;
    uint32_t slots;
    const char **keys;          // objects only
    kelvra_json_value **values; // items of an array, values of an object
};

template <class T>
void put(uint8_t *at, T value) noexcept {
    std::memcpy(at, &value, sizeof value);
}

template <class T>
T get(const uint8_t *at) noexcept {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// Copies `count` pointer slots. Most containers are small and their slots
// were just stored one by one, so small lists move slot by slot: a wider load
// spanning two fresh stores would stall on store forwarding.
[[gnu::always_inline]] inline void copy_slots(uint8_t *dest, const uint8_t *src, size_t count) noexcept {
    if (count > 4) {
        std::memcpy(dest, src, count * record::slot_bytes);
        return;
    }
    for (size_t i = 0; i < 4 && i < count; ++i) {
        std::memcpy(dest + i * record::slot_bytes, src + i * record::slot_bytes, record::slot_bytes);
    }
}

constexpr bool is_container(uint32_t kind) noexcept { return kind == KELVRA_JSON_ARRAY || kind == KELVRA_JSON_OBJECT; }

#define KELVRA_TRY(expr)                                                                                               \
    do {                                                                                                               \
        const kelvra_status status_ = (expr);                                                                          \
        if (status_ != KELVRA_OK) return status_;                                                                      \
    } while (0)

// Every member function is inlined into the one export, so the parser's
// state stays in registers instead of being reloaded after each store into
// the arena (which could otherwise alias it).
#define KELVRA_HOT [[gnu::always_inline]]

class Parser {
public:
    KELVRA_HOT Parser(const uint8_t *input, uint64_t length, uint8_t *arena, uint64_t capacity) noexcept
            : cur_(input), end_(input + length), base_(arena), capacity_(capacity),
              roomy_end_(capacity >= roomy_margin ? capacity - roomy_margin + 1 : 0) {}

    KELVRA_HOT kelvra_status parse(kelvra_json_value **out_root) noexcept;

private:
    // Far from the arena's end, a small block (a record, a short list) is
    // placed without the exact checks, which could not fail there.
    KELVRA_HOT uint8_t *reserve(uint64_t size) noexcept {
        if (used_ < roomy_end_ && size <= small_block) {
            const uint64_t start = (used_ + 7) & ~uint64_t{7};
            used_ = start + size;
            return base_ + start;
        }
        return arena::reserve_sticky(base_, capacity_, used_, failed_, size);
    }
    KELVRA_HOT void skip_whitespace() noexcept { cur_ = scan::skip_whitespace(cur_, end_); }
    // Consumes `byte` after whitespace; false at the end of input or any other byte.
    KELVRA_HOT bool take(uint8_t byte) noexcept {
        skip_whitespace();
        if (cur_ == end_ || *cur_ != byte) return false;
        ++cur_;
        return true;
    }

    // What follows an item (or an opening bracket) after whitespace.
    enum class Next { item, closed, malformed };
    KELVRA_HOT Next next_item(uint8_t closer, uint32_t count) noexcept;

    KELVRA_HOT kelvra_status parse_value(kelvra_json_value *&value, uint32_t &kind) noexcept;
    KELVRA_HOT kelvra_status parse_number(uint8_t *block, uint32_t &kind) noexcept;
    KELVRA_HOT bool parse_plain_number(uint8_t *block, uint32_t &kind) noexcept;
    KELVRA_HOT kelvra_status parse_number_token(uint8_t *block, uint32_t &kind) noexcept;
    KELVRA_HOT kelvra_status parse_literal(uint8_t *block, uint32_t &kind) noexcept;
    KELVRA_HOT kelvra_status parse_string_value(uint8_t *block) noexcept;
    KELVRA_HOT kelvra_status parse_key(const char *&key) noexcept;

    KELVRA_HOT kelvra_status run_containers() noexcept;
    KELVRA_HOT kelvra_status run_array() noexcept;
    KELVRA_HOT kelvra_status run_object() noexcept;
    KELVRA_HOT kelvra_status read_array(kelvra_json_value *array) noexcept;
    KELVRA_HOT kelvra_status close_small_array(kelvra_json_value *array, kelvra_json_value *const *items,
                                               uint32_t count) noexcept;
    KELVRA_HOT kelvra_status open_frame(kelvra_json_value *container, bool is_object) noexcept;
    KELVRA_HOT kelvra_status append_item(kelvra_json_value *value) noexcept;
    KELVRA_HOT kelvra_status append_member(const char *key, kelvra_json_value *value) noexcept;
    KELVRA_HOT kelvra_status grow_lists() noexcept;
    KELVRA_HOT kelvra_status close_frame() noexcept;
    KELVRA_HOT void save_top() noexcept;
    KELVRA_HOT void load_top() noexcept;

    const uint8_t *cur_;
    const uint8_t *const end_;
    uint8_t *const base_;
    const uint64_t capacity_;
    // Below this much use, a block of up to small_block bytes and its padding fit.
    static constexpr uint64_t small_block = 256;
    static constexpr uint64_t roomy_margin = small_block + 7;
    const uint64_t roomy_end_;
    uint64_t used_ = 0;
    uint32_t failed_ = 0; // set by reserve; every failed reservation ends the parse at once

    uint8_t *stack_ = nullptr;
    uint32_t depth_ = 0; // open frames; the innermost is top_
    Frame top_{};
};

inline kelvra_status Parser::parse(kelvra_json_value **out_root) noexcept {
    kelvra_json_value *root;
    uint32_t kind;
    KELVRA_TRY(parse_value(root, kind));
    if (is_container(kind)) {
        stack_ = reserve(stack_bytes);
        if (stack_ == nullptr) return KELVRA_ERR_CAPACITY;
        KELVRA_TRY(open_frame(root, kind == KELVRA_JSON_OBJECT));
        KELVRA_TRY(run_containers());
    }
    skip_whitespace();
    if (cur_ != end_) return KELVRA_ERR_DATA;
    *out_root = root;
    return KELVRA_OK;
}

// The record is reserved before the first byte is looked at, so a value that
// turns out malformed still consumes it.
inline kelvra_status Parser::parse_value(kelvra_json_value *&value, uint32_t &kind) noexcept {
    skip_whitespace();
    if (cur_ == end_) return KELVRA_ERR_DATA;
    uint8_t *block = reserve(record::record_bytes);
    if (block == nullptr) return KELVRA_ERR_CAPACITY;
    value = reinterpret_cast<kelvra_json_value *>(block);
    const uint8_t c = *cur_;
    if (c == '-' || scan::is_digit(c)) return parse_number(block, kind);
    if (c == '"') {
        kind = KELVRA_JSON_STRING;
        ++cur_;
        return parse_string_value(block);
    }
    if (c == '{' || c == '[') {
        kind = c == '{' ? KELVRA_JSON_OBJECT : KELVRA_JSON_ARRAY;
        record::init_record(block, kind);
        ++cur_;
        return KELVRA_OK;
    }
    return parse_literal(block, kind);
}

// Appends the run of digits at p to significand (modulo 2^64) and returns
// the end of the run; null once the run passes max_number_token bytes from
// start. Sixteen bytes are looked at per step, their two loads independent of
// each other, since fractions of 9 to 16 digits are common.
[[gnu::always_inline]] inline const uint8_t *read_digit_run(const uint8_t *p, const uint8_t *start,
                                                            uint64_t &significand) noexcept {
    using digit_word::powers_of_ten;
    for (;;) {
        const uint64_t first = scan::load_word(p);
        const uint64_t second = scan::load_word(p + 8);
        const uint64_t first_marks = digit_word::non_digit_marks(first);
        const uint64_t second_marks = digit_word::non_digit_marks(second);
        if (first_marks != 0) {
            const size_t count = scan::first_marked_byte(first_marks);
            significand = significand * powers_of_ten[count] + digit_word::leading_digits_value(first, count);
            return p + count;
        }
        const size_t count = second_marks == 0 ? 8 : scan::first_marked_byte(second_marks);
        // Distributed (modulo 2^64 alike) so that the three products run side by side.
        significand = significand * powers_of_ten[8 + count] +
                      digit_word::leading_digits_value(first, 8) * powers_of_ten[count] +
                      digit_word::leading_digits_value(second, count);
        p += 8 + count;
        if (count < 8) return p;
        if (static_cast<size_t>(p - start) > max_number_token) return nullptr;
    }
}

// The integer part's digits into significand, as read_digit_run. Most
// integer parts are short, so the second word is loaded only when the first
// holds eight digits.
[[gnu::always_inline]] inline const uint8_t *read_integer_digits(const uint8_t *p, const uint8_t *start,
                                                                 uint64_t &significand) noexcept {
    const uint64_t first = scan::load_word(p);
    const uint64_t marks = digit_word::non_digit_marks(first);
    if (marks != 0) {
        const size_t count = scan::first_marked_byte(marks);
        significand = digit_word::leading_digits_value(first, count);
        return p + count;
    }
    significand = digit_word::leading_digits_value(first, 8);
    return read_digit_run(p + 8, start, significand);
}

inline kelvra_status Parser::parse_number(uint8_t *block, uint32_t &kind) noexcept {
    if (static_cast<size_t>(end_ - cur_) >= plain_number_room && parse_plain_number(block, kind)) return KELVRA_OK;
    return parse_number_token(block, kind);
}

// The usual spellings in one pass: digits, an optional fraction, an optional
// exponent of 1 to 7 digits, at most 19 digits before the exponent (18 for an
// integer), the token ending there. Their value is exactly strtod's (or
// strtoll's) of the whole token, and the significand holds every digit, so it
// is rounded once from the digits already read. Any other token, and the rare
// double whose rounding is undecided, returns false with nothing consumed for
// parse_number_token. The caller guarantees plain_number_room bytes of input.
inline bool Parser::parse_plain_number(uint8_t *block, uint32_t &kind) noexcept {
    const uint8_t *const start = cur_;
    const bool negative = *start == '-';
    const uint8_t *const int_begin = start + negative;
    uint64_t significand;
    const uint8_t *p = read_integer_digits(int_begin, start, significand);
    // The fraction's reads must stay within plain_number_room of start.
    if (p == nullptr || static_cast<size_t>(p - start) > max_number_token) return false;
    size_t digit_count = static_cast<size_t>(p - int_begin);
    bool is_double = false;
    int64_t exponent = 0;
    if (*p == '.') {
        const uint8_t *const fraction_begin = p + 1;
        p = read_digit_run(fraction_begin, start, significand);
        if (p == nullptr) return false;
        is_double = true;
        digit_count += static_cast<size_t>(p - fraction_begin);
        exponent = -(p - fraction_begin);
    }
    if (digit_count == 0 || digit_count > plain_significand_digits) return false;
    if ((*p | 0x20) == 'e') {
        is_double = true;
        ++p;
        const bool negative_exponent = *p == '-';
        p += *p == '-' || *p == '+';
        const uint64_t word = scan::load_word(p);
        const uint64_t marks = digit_word::non_digit_marks(word);
        const size_t count = marks == 0 ? 8 : scan::first_marked_byte(marks);
        if (count == 0 || count == 8) return false;
        const auto value = static_cast<int64_t>(digit_word::leading_digits_value(word, count));
        exponent += negative_exponent ? -value : value;
        p += count;
    }
    if (scan::has_class(*p, scan::number_char) || static_cast<size_t>(p - start) > max_number_token) return false;
    if (is_double) {
        uint64_t bits = 0;
        if (!decimal_round::exact_decimal_to_bits_by_product(significand, exponent, bits)) return false;
        bits |= static_cast<uint64_t>(negative) << 63;
        double value;
        std::memcpy(&value, &bits, sizeof value);
        kind = KELVRA_JSON_DOUBLE;
        record::store_double(record::init_record(block, kind), value);
    } else {
        if (digit_count > plain_int_digits) return false;
        const auto magnitude = static_cast<int64_t>(significand);
        kind = KELVRA_JSON_INT;
        record::store_int(record::init_record(block, kind), negative ? -magnitude : magnitude);
    }
    cur_ = p;
    return true;
}

// The token runs over '0'-'9', '.', 'e', 'E', '+', '-' after an optional
// minus; its longest prefix that strtod (a '.', 'e' or 'E' in the token) or
// strtoll (otherwise) accepts gives the value.
inline kelvra_status Parser::parse_number_token(uint8_t *block, uint32_t &kind) noexcept {
    const uint8_t *const start = cur_;
    const uint8_t *const digits = start + (*start == '-');
    // The usual spelling first (digits, a fraction, an exponent), then any
    // further token bytes of a lenient spelling.
    const uint8_t *p = scan::skip_digits(digits, end_);
    uint8_t seen = 0;
    if (p != end_ && *p == '.') {
        seen = scan::fraction_mark;
        p = scan::skip_digits(p + 1, end_);
    }
    if (p != end_ && (*p | 0x20) == 'e') {
        seen = scan::fraction_mark;
        ++p;
        if (p != end_ && (*p == '+' || *p == '-')) ++p;
        p = scan::skip_digits(p, end_);
    }
    while (p != end_) {
        const uint8_t bits = scan::classes.bits[*p];
        if ((bits & scan::number_char) == 0) break;
        seen |= bits;
        p = scan::skip_digits(p + 1, end_);
    }
    cur_ = p;
    if (static_cast<size_t>(p - start) > max_number_token) return KELVRA_ERR_CAPACITY;
    const char *const text = reinterpret_cast<const char *>(start);
    const char *const text_end = reinterpret_cast<const char *>(p);
    if (seen & scan::fraction_mark) {
        kind = KELVRA_JSON_DOUBLE;
        record::store_double(record::init_record(block, kind), parse_double_prefix(text, text_end));
        return KELVRA_OK;
    }
    kind = KELVRA_JSON_INT;
    kelvra_json_value *value = record::init_record(block, kind);
    const size_t digit_count = static_cast<size_t>(p - digits);
    if (seen == 0 && digit_count != 0 && digit_count <= plain_int_digits) {
        int64_t magnitude = 0;
        for (const uint8_t *d = digits; d != p; ++d) magnitude = magnitude * 10 + (*d - '0');
        record::store_int(value, digits == start ? magnitude : -magnitude);
    } else {
        record::store_int(value, parse_int_prefix(text, text_end));
    }
    return KELVRA_OK;
}

// Only the literal's own bytes are compared; what follows is left to the
// next structural check.
inline kelvra_status Parser::parse_literal(uint8_t *block, uint32_t &kind) noexcept {
    const size_t left = static_cast<size_t>(end_ - cur_);
    if (left < 4) return KELVRA_ERR_DATA;
    uint32_t truth = 0;
    size_t length = 4;
    if (std::memcmp(cur_, "true", 4) == 0) {
        kind = KELVRA_JSON_BOOL;
        truth = 1;
    } else if (left >= 5 && std::memcmp(cur_, "false", 5) == 0) {
        kind = KELVRA_JSON_BOOL;
        length = 5;
    } else if (std::memcmp(cur_, "null", 4) == 0) {
        kind = KELVRA_JSON_NULL;
    } else {
        return KELVRA_ERR_DATA;
    }
    record::store_bool(record::init_record(block, kind), truth); // a null's payload stays zero
    cur_ += length;
    return KELVRA_OK;
}

inline kelvra_status Parser::parse_string_value(uint8_t *block) noexcept {
    const DecodedString s = decode_json_string(cur_, end_, base_, capacity_, used_);
    if (s.status != KELVRA_OK) return s.status;
    cur_ = s.next;
    used_ = s.used;
    // The record's length field is 32 bits wide; a longer string cannot be held.
    if (s.length > UINT32_MAX) return KELVRA_ERR_CAPACITY;
    record::store_string(record::init_record(block, KELVRA_JSON_STRING), s.bytes, static_cast<uint32_t>(s.length));
    return KELVRA_OK;
}

// A key is decoded into its own block, then copied with a terminating 0 into
// a second block of decoded length + 1.
inline kelvra_status Parser::parse_key(const char *&key) noexcept {
    const DecodedString s = decode_json_string(cur_, end_, base_, capacity_, used_);
    if (s.status != KELVRA_OK) return s.status;
    cur_ = s.next;
    used_ = s.used;
    uint8_t *copy = reserve(s.length + 1);
    if (copy == nullptr) return KELVRA_ERR_CAPACITY;
    if (s.length != 0) std::memcpy(copy, s.bytes, s.length);
    copy[s.length] = 0;
    key = reinterpret_cast<const char *>(copy);
    return KELVRA_OK;
}

// Each pass of the outer loop runs the innermost container until it closes
// or opens a child; arrays and objects have loops of their own, so an
// array's items take no object checks.
inline kelvra_status Parser::run_containers() noexcept {
    while (depth_ != 0) {
        if (top_.is_object) {
            KELVRA_TRY(run_object());
        } else {
            KELVRA_TRY(run_array());
        }
    }
    return KELVRA_OK;
}

// Consumes the closer, or the comma that must come before every item but
// the first (count items are in the container so far).
inline Parser::Next Parser::next_item(uint8_t closer, uint32_t count) noexcept {
    skip_whitespace();
    if (cur_ != end_ && *cur_ == closer) {
        ++cur_;
        return Next::closed;
    }
    if (count != 0) {
        if (cur_ == end_ || *cur_ != ',') return Next::malformed;
        ++cur_;
    }
    return Next::item;
}

inline kelvra_status Parser::run_array() noexcept {
    for (;;) {
        const Next next = next_item(']', top_.count);
        if (next == Next::closed) return close_frame();
        if (next == Next::malformed) return KELVRA_ERR_DATA;
        kelvra_json_value *value;
        uint32_t kind;
        KELVRA_TRY(parse_value(value, kind));
        KELVRA_TRY(append_item(value));
        if (kind == KELVRA_JSON_ARRAY) {
            const uint32_t depth = depth_;
            KELVRA_TRY(read_array(value));
            if (depth_ != depth) return KELVRA_OK; // it became the top frame
        } else if (kind == KELVRA_JSON_OBJECT) {
            return open_frame(value, true);
        }
    }
}

inline kelvra_status Parser::run_object() noexcept {
    for (;;) {
        const Next next = next_item('}', top_.count);
        if (next == Next::closed) return close_frame();
        if (next == Next::malformed) return KELVRA_ERR_DATA;
        const char *key = nullptr;
        if (!take('"')) return KELVRA_ERR_DATA;
        KELVRA_TRY(parse_key(key));
        if (!take(':')) return KELVRA_ERR_DATA;
        kelvra_json_value *value;
        uint32_t kind;
        KELVRA_TRY(parse_value(value, kind));
        KELVRA_TRY(append_member(key, value));
        if (is_container(kind)) return open_frame(value, kind == KELVRA_JSON_OBJECT);
    }
}

// A nested array whose opening bracket was just consumed. Arrays of up to 8
// scalars (coordinate pairs, short lists) are read here with their items in
// registers: the frame is never pushed and the value list, reserved as for
// any array, is abandoned unwritten. A container item or a ninth item turns
// the array into the top frame (its items copied into the value list) and
// the container loop carries on from there, so the reservations, their order
// and the statuses are those of the frame-by-frame path.
inline kelvra_status Parser::read_array(kelvra_json_value *array) noexcept {
    if (depth_ == max_depth) return KELVRA_ERR_CAPACITY;
    uint8_t *list = reserve(uint64_t{initial_slots} * record::slot_bytes);
    if (list == nullptr) return KELVRA_ERR_CAPACITY;
    kelvra_json_value *items[initial_slots];
    uint32_t count = 0;
    for (;;) {
        const Next next = next_item(']', count);
        if (next == Next::closed) return close_small_array(array, items, count);
        if (next == Next::malformed) return KELVRA_ERR_DATA;
        kelvra_json_value *value;
        uint32_t kind;
        KELVRA_TRY(parse_value(value, kind));
        if (count == initial_slots || is_container(kind)) {
            if (depth_ != 0) save_top();
            top_ = Frame{array, 0, count, initial_slots, nullptr, reinterpret_cast<kelvra_json_value **>(list)};
            ++depth_;
            copy_slots(list, reinterpret_cast<const uint8_t *>(items), count);
            KELVRA_TRY(append_item(value));
            return is_container(kind) ? open_frame(value, kind == KELVRA_JSON_OBJECT) : KELVRA_OK;
        }
        items[count++] = value;
    }
}

// The final items array of an array read by read_array, as close_frame
// would reserve and fill it.
inline kelvra_status Parser::close_small_array(kelvra_json_value *array, kelvra_json_value *const *items,
                                               uint32_t count) noexcept {
    const uint64_t slots = count == 0 ? 1 : count;
    uint8_t *final_items = reserve(slots * record::slot_bytes);
    if (final_items == nullptr) return KELVRA_ERR_CAPACITY;
    auto **item_array = reinterpret_cast<kelvra_json_value **>(final_items);
    if (count == 0) {
        record::store_value_at(item_array, 0, nullptr);
    } else {
        copy_slots(final_items, reinterpret_cast<const uint8_t *>(items), count);
    }
    record::store_array(array, item_array, count);
    return KELVRA_OK;
}

// A new frame gets lists of 8 slots: the value list, then (objects) the key list.
inline kelvra_status Parser::open_frame(kelvra_json_value *container, bool is_object) noexcept {
    if (depth_ == max_depth) return KELVRA_ERR_CAPACITY;
    if (depth_ != 0) save_top();
    uint8_t *values = reserve(uint64_t{initial_slots} * record::slot_bytes);
    if (values == nullptr) return KELVRA_ERR_CAPACITY;
    uint8_t *keys = nullptr;
    if (is_object) {
        keys = reserve(uint64_t{initial_slots} * record::slot_bytes);
        if (keys == nullptr) return KELVRA_ERR_CAPACITY;
    }
    top_ = Frame{container,     static_cast<uint8_t>(is_object),       0,
                 initial_slots, reinterpret_cast<const char **>(keys), reinterpret_cast<kelvra_json_value **>(values)};
    ++depth_;
    return KELVRA_OK;
}

inline kelvra_status Parser::append_item(kelvra_json_value *value) noexcept {
    if (top_.count == top_.slots) KELVRA_TRY(grow_lists());
    record::store_value_at(top_.values, top_.count, value);
    ++top_.count;
    return KELVRA_OK;
}

inline kelvra_status Parser::append_member(const char *key, kelvra_json_value *value) noexcept {
    if (top_.count == top_.slots) KELVRA_TRY(grow_lists());
    record::store_value_at(top_.values, top_.count, value);
    record::store_key_at(top_.keys, top_.count, key);
    ++top_.count;
    return KELVRA_OK;
}

// Full lists are replaced by lists of twice the slots (values first, then
// keys); the old ones stay behind in the arena. The slot count saturates at
// 2^32 - 1, and a full list of that many slots cannot grow.
inline kelvra_status Parser::grow_lists() noexcept {
    if (top_.slots == UINT32_MAX) return KELVRA_ERR_CAPACITY;
    const uint32_t slots = top_.slots > UINT32_MAX / 2 ? UINT32_MAX : top_.slots * 2;
    const uint64_t list_bytes = uint64_t{slots} * record::slot_bytes;
    uint8_t *values = reserve(list_bytes);
    if (values == nullptr) return KELVRA_ERR_CAPACITY;
    copy_slots(values, reinterpret_cast<const uint8_t *>(top_.values), top_.count);
    top_.values = reinterpret_cast<kelvra_json_value **>(values);
    if (top_.is_object) {
        uint8_t *keys = reserve(list_bytes);
        if (keys == nullptr) return KELVRA_ERR_CAPACITY;
        copy_slots(keys, reinterpret_cast<const uint8_t *>(top_.keys), top_.count);
        top_.keys = reinterpret_cast<const char **>(keys);
    }
    top_.slots = slots;
    return KELVRA_OK;
}

// The container gets exact arrays of max(count, 1) slots (an object's keys
// first); an empty container's single slot holds a null pointer.
inline kelvra_status Parser::close_frame() noexcept {
    const uint64_t slots = top_.count == 0 ? 1 : top_.count;
    const uint64_t bytes = slots * record::slot_bytes;
    if (top_.is_object) {
        uint8_t *keys = reserve(bytes);
        if (keys == nullptr) return KELVRA_ERR_CAPACITY;
        uint8_t *values = reserve(bytes);
        if (values == nullptr) return KELVRA_ERR_CAPACITY;
        auto **key_array = reinterpret_cast<const char **>(keys);
        auto **value_array = reinterpret_cast<kelvra_json_value **>(values);
        if (top_.count == 0) {
            record::store_key_at(key_array, 0, nullptr);
            record::store_value_at(value_array, 0, nullptr);
        } else {
            copy_slots(keys, reinterpret_cast<const uint8_t *>(top_.keys), top_.count);
            copy_slots(values, reinterpret_cast<const uint8_t *>(top_.values), top_.count);
        }
        record::store_object(top_.record, key_array, value_array, top_.count);
    } else {
        uint8_t *items = reserve(bytes);
        if (items == nullptr) return KELVRA_ERR_CAPACITY;
        auto **item_array = reinterpret_cast<kelvra_json_value **>(items);
        if (top_.count == 0) {
            record::store_value_at(item_array, 0, nullptr);
        } else {
            copy_slots(items, reinterpret_cast<const uint8_t *>(top_.values), top_.count);
        }
        record::store_array(top_.record, item_array, top_.count);
    }
    --depth_;
    if (depth_ != 0) load_top();
    return KELVRA_OK;
}

// Frame i of the stack holds container i (the root is frame 0) while a
// deeper container is open.
inline void Parser::save_top() noexcept {
    uint8_t *frame = stack_ + (depth_ - 1) * frame_bytes;
    put(frame + frame_record_at, top_.record);
    put(frame + frame_is_object_at, top_.is_object);
    put(frame + frame_count_at, top_.count);
    put(frame + frame_slots_at, top_.slots);
    put(frame + frame_keys_at, top_.keys);
    put(frame + frame_values_at, top_.values);
}

inline void Parser::load_top() noexcept {
    const uint8_t *frame = stack_ + (depth_ - 1) * frame_bytes;
    top_.record = get<kelvra_json_value *>(frame + frame_record_at);
    top_.is_object = get<uint8_t>(frame + frame_is_object_at);
    top_.count = get<uint32_t>(frame + frame_count_at);
    top_.slots = get<uint32_t>(frame + frame_slots_at);
    top_.keys = get<const char **>(frame + frame_keys_at);
    top_.values = get<kelvra_json_value **>(frame + frame_values_at);
}

#undef KELVRA_TRY
#undef KELVRA_HOT

} // namespace
} // namespace kelvra::text

extern "C" KELVRA_API kelvra_status kelvra_json_parse(const uint8_t *input, uint64_t input_length, uint8_t *arena,
                                                      uint64_t arena_capacity, kelvra_json_value **out_root) noexcept {
    using kelvra::missing_data;
    if (out_root == nullptr || missing_data(input, input_length) || missing_data(arena, arena_capacity)) {
        return KELVRA_ERR_ARG;
    }
    kelvra::text::Parser parser(input, input_length, arena, arena_capacity);
    return parser.parse(out_root);
}
