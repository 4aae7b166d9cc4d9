// TOML text (the subset described in kelvra.h) to a tree of value records in
// the caller's arena, and member lookup in a table of that tree.
//
// Two phases. Phase 1 reads the statements into linked lists: tables are
// builders with member lists, so that dotted keys and headers can reopen a
// table at any time. Phase 2 turns those lists into the public records with
// exact key, value and item arrays. Every block comes from the arena in the
// order of the text, in sizes that are multiples of 8, so the sticky 8-byte
// rule never pads and callers can size an arena by adding the blocks up:
//   key part                 length + 1, rounded up to 8
//   single-line string       bytes from its opening quote to the end of the input, rounded up (at least 8)
//   multi-line string        bytes after its opening (and trimmed line break) to the end of the input,
//                            plus 1, rounded up
//   key/value pair           node 72, member 24
//   implicit table           builder 24, node 72, member 24
//   array-of-tables header   node 72 and member 24 on first use of the name; builder 24 and element 16 each
//   inline table             builder 24 (its pairs as above), then its conversion
//   array                    link 16 and record 32 per element; items count * 8 when it closes
//   conversion               record 32 per table member and per array-of-tables element, keys and values
//                            count * 8 each per table, items count * 8 per array of tables, root record 32
// An arena whose room runs out at any block gives 4.
#include "kelvra.h"

#include <cstring>

#include "frame/arena.hpp"
#include "frame/status.hpp"
#include "text/toml_record.hpp"
#include "text/toml_scan.hpp"

namespace kelvra::text {
namespace {

namespace rec = toml_record;
namespace scan = toml_scan;
using rec::get;
using rec::put;

constexpr uint32_t max_key_parts = 64;
constexpr uint32_t max_level = 64;

// Intermediate blocks and their fields.
constexpr uint64_t builder_bytes = 24; // head member, tail member, count (u32)
constexpr size_t builder_head = 0, builder_tail = 8, builder_count = 16;
constexpr uint64_t member_bytes = 24; // key, node, next member
constexpr size_t member_key = 0, member_node = 8, member_next = 16;
constexpr uint64_t node_bytes = 72; // tag (u32), plain record, table builder, element head, tail, count (u32)
constexpr size_t node_tag = 0, node_record = 8, node_builder = 40, node_head = 48, node_tail = 56, node_count = 64;
constexpr uint64_t element_bytes = 16; // table builder, next element
constexpr size_t element_builder = 0, element_next = 8;
constexpr uint64_t link_bytes = 16; // record, next link
constexpr size_t link_record = 0, link_next = 8;

constexpr uint32_t tag_plain = 0, tag_table = 1, tag_table_array = 2;

constexpr uint64_t round8(uint64_t n) noexcept { return (n + 7) & ~uint64_t{7}; }

#define KELVRA_TRY(expr)                                                                                               \
    do {                                                                                                               \
        const kelvra_status status_ = (expr);                                                                          \
        if (status_ != KELVRA_OK) return status_;                                                                      \
    } while (0)

class Parser {
public:
    Parser(const uint8_t *input, uint64_t length, uint8_t *arena, uint64_t capacity) noexcept
            : cur_(input), end_(input + length), base_(arena), capacity_(capacity) {}

    kelvra_status parse(kelvra_toml_value **out_root) noexcept;

private:
    // Blocks are zero-filled: an empty builder or list needs no further setup.
    uint8_t *reserve(uint64_t size) noexcept {
        uint8_t *block = arena::reserve_sticky(base_, capacity_, used_, failed_, size);
        if (block != nullptr) std::memset(block, 0, size);
        return block;
    }
    bool at(uint8_t c) const noexcept { return cur_ != end_ && *cur_ == c; }

    kelvra_status statement() noexcept;
    kelvra_status key_value() noexcept;
    kelvra_status header() noexcept;
    kelvra_status read_key_part(const char *&key) noexcept;
    kelvra_status read_dotted_key() noexcept;
    kelvra_status walk(uint8_t *&table, uint32_t parts) noexcept;
    kelvra_status insert(uint8_t *table, const char *key, const rec::Record &value) noexcept;
    kelvra_status add_member(uint8_t *table, const char *key, uint8_t *&node) noexcept;

    kelvra_status value(uint32_t level, rec::Record &out) noexcept;
    kelvra_status array(uint32_t level, rec::Record &out) noexcept;
    kelvra_status inline_table(uint32_t level, rec::Record &out) noexcept;
    kelvra_status string(rec::Record &out) noexcept;
    kelvra_status number(rec::Record &out) noexcept;

    kelvra_status convert_table(const uint8_t *builder, uint32_t level, rec::Record &out) noexcept;
    kelvra_status convert_node(const uint8_t *node, uint32_t level, uint8_t *&record) noexcept;

    const uint8_t *cur_;
    const uint8_t *const end_;
    uint8_t *const base_;
    const uint64_t capacity_;
    uint64_t used_ = 0;
    uint32_t failed_ = 0;

    uint8_t *root_ = nullptr;    // the root table builder
    uint8_t *current_ = nullptr; // the table pairs go into
    const char *parts_[max_key_parts] = {};
    uint32_t part_count_ = 0;
};

// Member lookup in a builder by key.
uint8_t *find_member(const uint8_t *table, const char *key) noexcept {
    for (uint8_t *m = get<uint8_t *>(table, builder_head); m != nullptr; m = get<uint8_t *>(m, member_next)) {
        if (std::strcmp(get<const char *>(m, member_key), key) == 0) return m;
    }
    return nullptr;
}

kelvra_status Parser::parse(kelvra_toml_value **out_root) noexcept {
    root_ = reserve(builder_bytes);
    if (root_ == nullptr) return KELVRA_ERR_CAPACITY;
    current_ = root_;
    for (;;) {
        cur_ = scan::skip_full(cur_, end_);
        if (cur_ == end_) break;
        KELVRA_TRY(statement());
        cur_ = scan::skip_line(cur_, end_);
        if (cur_ != end_ && *cur_ != '\n' && *cur_ != '\r') return KELVRA_ERR_DATA;
    }
    uint8_t *root = reserve(rec::record_bytes);
    if (root == nullptr) return KELVRA_ERR_CAPACITY;
    rec::Record table;
    KELVRA_TRY(convert_table(root_, 0, table));
    std::memcpy(root, table.bytes, rec::record_bytes);
    *out_root = reinterpret_cast<kelvra_toml_value *>(root);
    return KELVRA_OK;
}

kelvra_status Parser::statement() noexcept {
    if (*cur_ == '[') return header();
    if (scan::is_bare_key_char(*cur_)) return key_value();
    return KELVRA_ERR_DATA;
}

kelvra_status Parser::read_key_part(const char *&key) noexcept {
    const uint8_t *const start = cur_;
    cur_ = scan::skip_bare_key(cur_, end_);
    const uint64_t length = static_cast<uint64_t>(cur_ - start);
    if (length == 0) return KELVRA_ERR_DATA;
    uint8_t *copy = reserve(round8(length + 1));
    if (copy == nullptr) return KELVRA_ERR_CAPACITY;
    std::memcpy(copy, start, length);
    key = reinterpret_cast<const char *>(copy);
    return KELVRA_OK;
}

// Parts separated by dots, with spaces and tabs around each dot.
kelvra_status Parser::read_dotted_key() noexcept {
    part_count_ = 0;
    for (;;) {
        if (part_count_ == max_key_parts) return KELVRA_ERR_CAPACITY;
        KELVRA_TRY(read_key_part(parts_[part_count_]));
        ++part_count_;
        const uint8_t *const after = scan::skip_line(cur_, end_);
        if (after == end_ || *after != '.') return KELVRA_OK;
        cur_ = scan::skip_line(after + 1, end_);
    }
}

// Follows the first `parts` key parts from `table`, creating empty tables for
// missing ones and entering the last element of an array of tables.
kelvra_status Parser::walk(uint8_t *&table, uint32_t parts) noexcept {
    for (uint32_t i = 0; i < parts; ++i) {
        uint8_t *member = find_member(table, parts_[i]);
        if (member == nullptr) {
            uint8_t *builder = reserve(builder_bytes);
            if (builder == nullptr) return KELVRA_ERR_CAPACITY;
            uint8_t *node;
            KELVRA_TRY(add_member(table, parts_[i], node));
            put(node, node_tag, tag_table);
            put(node, node_builder, builder);
            table = builder;
            continue;
        }
        const uint8_t *node = get<const uint8_t *>(member, member_node);
        switch (get<uint32_t>(node, node_tag)) {
        case tag_table:
            table = get<uint8_t *>(node, node_builder);
            break;
        case tag_table_array:
            table = get<uint8_t *>(get<const uint8_t *>(node, node_tail), element_builder);
            break;
        default:
            return KELVRA_ERR_DATA;
        }
    }
    return KELVRA_OK;
}

// Appends a member with a fresh node (72 bytes, then the member's 24).
kelvra_status Parser::add_member(uint8_t *table, const char *key, uint8_t *&node) noexcept {
    const uint32_t count = get<uint32_t>(table, builder_count);
    if (count == UINT32_MAX) return KELVRA_ERR_CAPACITY;
    node = reserve(node_bytes);
    if (node == nullptr) return KELVRA_ERR_CAPACITY;
    uint8_t *member = reserve(member_bytes);
    if (member == nullptr) return KELVRA_ERR_CAPACITY;
    put(member, member_key, key);
    put(member, member_node, node);
    uint8_t *tail = get<uint8_t *>(table, builder_tail);
    if (tail == nullptr) {
        put(table, builder_head, member);
    } else {
        put(tail, member_next, member);
    }
    put(table, builder_tail, member);
    put(table, builder_count, count + 1);
    return KELVRA_OK;
}

kelvra_status Parser::insert(uint8_t *table, const char *key, const rec::Record &value) noexcept {
    if (find_member(table, key) != nullptr) return KELVRA_ERR_DATA;
    uint8_t *node;
    KELVRA_TRY(add_member(table, key, node));
    put(node, node_tag, tag_plain);
    std::memcpy(node + node_record, value.bytes, rec::record_bytes);
    return KELVRA_OK;
}

kelvra_status Parser::key_value() noexcept {
    KELVRA_TRY(read_dotted_key());
    uint8_t *table = current_;
    KELVRA_TRY(walk(table, part_count_ - 1));
    const char *const key = parts_[part_count_ - 1];
    cur_ = scan::skip_line(cur_, end_);
    if (!at('=')) return KELVRA_ERR_DATA;
    cur_ = scan::skip_line(cur_ + 1, end_);
    rec::Record v;
    KELVRA_TRY(value(0, v));
    return insert(table, key, v);
}

kelvra_status Parser::header() noexcept {
    ++cur_;
    const bool table_array = at('[');
    if (table_array) ++cur_;
    cur_ = scan::skip_line(cur_, end_);
    KELVRA_TRY(read_dotted_key());
    cur_ = scan::skip_line(cur_, end_);
    if (!at(']')) return KELVRA_ERR_DATA;
    ++cur_;
    if (table_array) {
        if (!at(']')) return KELVRA_ERR_DATA;
        ++cur_;
    }
    uint8_t *table = root_;
    if (!table_array) {
        KELVRA_TRY(walk(table, part_count_));
        current_ = table;
        return KELVRA_OK;
    }
    KELVRA_TRY(walk(table, part_count_ - 1));
    const char *const key = parts_[part_count_ - 1];
    uint8_t *node;
    if (uint8_t *member = find_member(table, key); member != nullptr) {
        node = get<uint8_t *>(member, member_node);
        if (get<uint32_t>(node, node_tag) != tag_table_array) return KELVRA_ERR_DATA;
    } else {
        KELVRA_TRY(add_member(table, key, node));
        put(node, node_tag, tag_table_array);
    }
    const uint32_t count = get<uint32_t>(node, node_count);
    if (count == UINT32_MAX) return KELVRA_ERR_CAPACITY;
    uint8_t *builder = reserve(builder_bytes);
    if (builder == nullptr) return KELVRA_ERR_CAPACITY;
    uint8_t *element = reserve(element_bytes);
    if (element == nullptr) return KELVRA_ERR_CAPACITY;
    put(element, element_builder, builder);
    uint8_t *tail = get<uint8_t *>(node, node_tail);
    if (tail == nullptr) {
        put(node, node_head, element);
    } else {
        put(tail, element_next, element);
    }
    put(node, node_tail, element);
    put(node, node_count, count + 1);
    current_ = builder;
    return KELVRA_OK;
}

kelvra_status Parser::value(uint32_t level, rec::Record &out) noexcept {
    if (cur_ == end_) return KELVRA_ERR_DATA;
    const uint8_t c = *cur_;
    if (c == '"' || c == '\'') return string(out);
    if (c == '[') return array(level, out);
    if (c == '{') return inline_table(level, out);
    const uint64_t left = static_cast<uint64_t>(end_ - cur_);
    if (left >= 4 && std::memcmp(cur_, "true", 4) == 0) {
        cur_ += 4;
        out = rec::make_boolean(1);
        return KELVRA_OK;
    }
    if (left >= 5 && std::memcmp(cur_, "false", 5) == 0) {
        cur_ += 5;
        out = rec::make_boolean(0);
        return KELVRA_OK;
    }
    return number(out);
}

kelvra_status Parser::array(uint32_t level, rec::Record &out) noexcept {
    if (level >= max_level) return KELVRA_ERR_CAPACITY;
    ++cur_;
    uint8_t *head = nullptr;
    uint8_t *tail = nullptr;
    uint32_t count = 0;
    for (;;) {
        cur_ = scan::skip_full(cur_, end_);
        if (cur_ == end_) return KELVRA_ERR_DATA;
        if (*cur_ == ']') break;
        rec::Record item;
        KELVRA_TRY(value(level + 1, item));
        if (count == UINT32_MAX) return KELVRA_ERR_CAPACITY;
        uint8_t *link = reserve(link_bytes);
        if (link == nullptr) return KELVRA_ERR_CAPACITY;
        uint8_t *record = reserve(rec::record_bytes);
        if (record == nullptr) return KELVRA_ERR_CAPACITY;
        std::memcpy(record, item.bytes, rec::record_bytes);
        put(link, link_record, record);
        if (tail == nullptr) {
            head = link;
        } else {
            put(tail, link_next, link);
        }
        tail = link;
        ++count;
        cur_ = scan::skip_full(cur_, end_);
        if (at(',')) ++cur_;
    }
    ++cur_;
    uint8_t *items = nullptr;
    if (count != 0) {
        items = reserve(uint64_t{count} * rec::slot_bytes);
        if (items == nullptr) return KELVRA_ERR_CAPACITY;
        uint32_t i = 0;
        for (const uint8_t *link = head; link != nullptr; link = get<const uint8_t *>(link, link_next), ++i) {
            put(items, i * rec::slot_bytes, get<uint8_t *>(link, link_record));
        }
    }
    out = rec::make_array(items, count);
    return KELVRA_OK;
}

// One key part per member (no dots); line breaks, comments and a trailing or
// missing comma are accepted. The table is finished at its closing brace, so
// it is a plain value that no later statement can extend.
kelvra_status Parser::inline_table(uint32_t level, rec::Record &out) noexcept {
    if (level >= max_level) return KELVRA_ERR_CAPACITY;
    ++cur_;
    uint8_t *builder = reserve(builder_bytes);
    if (builder == nullptr) return KELVRA_ERR_CAPACITY;
    cur_ = scan::skip_full(cur_, end_);
    for (;;) {
        if (cur_ == end_) return KELVRA_ERR_DATA;
        if (*cur_ == '}') break;
        const char *key;
        KELVRA_TRY(read_key_part(key));
        cur_ = scan::skip_line(cur_, end_);
        if (!at('=')) return KELVRA_ERR_DATA;
        cur_ = scan::skip_line(cur_ + 1, end_);
        rec::Record v;
        KELVRA_TRY(value(level + 1, v));
        KELVRA_TRY(insert(builder, key, v));
        cur_ = scan::skip_full(cur_, end_);
        if (at(',')) cur_ = scan::skip_full(cur_ + 1, end_);
    }
    ++cur_;
    return convert_table(builder, level, out);
}

// A UTF-8 encoding of a code point below 0x10000 (surrogates excluded by the caller).
uint8_t *put_utf8(uint8_t *out, uint32_t cp) noexcept {
    if (cp < 0x80) {
        *out++ = static_cast<uint8_t>(cp);
    } else if (cp < 0x800) {
        *out++ = static_cast<uint8_t>(0xC0 | (cp >> 6));
        *out++ = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    } else {
        *out++ = static_cast<uint8_t>(0xE0 | (cp >> 12));
        *out++ = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    }
    return out;
}

int hex_value(uint8_t c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decodes the escape after a backslash at p into out. Each escape is at
// least two input bytes and at most three output bytes, and "\u" takes six
// input bytes for its three, so the output never overtakes the input.
kelvra_status decode_escape(const uint8_t *&p, const uint8_t *end, uint8_t *&out) noexcept {
    ++p;
    if (p == end) return KELVRA_ERR_DATA;
    const uint8_t c = *p++;
    switch (c) {
    case '"':
        *out++ = 0x22;
        return KELVRA_OK;
    case '\\':
        *out++ = 0x5C;
        return KELVRA_OK;
    case 'b':
        *out++ = 0x08;
        return KELVRA_OK;
    case 'f':
        *out++ = 0x0C;
        return KELVRA_OK;
    case 'n':
        *out++ = 0x0A;
        return KELVRA_OK;
    case 'r':
        *out++ = 0x0D;
        return KELVRA_OK;
    case 't':
        *out++ = 0x09;
        return KELVRA_OK;
    case 'u':
        break;
    default:
        return KELVRA_ERR_DATA;
    }
    if (end - p < 4) return KELVRA_ERR_DATA;
    uint32_t cp = 0;
    for (int i = 0; i < 4; ++i) {
        const int h = hex_value(*p++);
        if (h < 0) return KELVRA_ERR_DATA;
        cp = cp << 4 | static_cast<uint32_t>(h);
    }
    if (cp >= 0xD800 && cp <= 0xDFFF) return KELVRA_ERR_DATA;
    out = put_utf8(out, cp);
    return KELVRA_OK;
}

// The string's block is sized by the rest of the input, which bounds its
// decoded length plus the terminating 0 before a byte is decoded.
kelvra_status Parser::string(rec::Record &out) noexcept {
    const uint8_t quote = *cur_;
    const bool basic = quote == '"';
    const bool multi_line = end_ - cur_ >= 3 && cur_[1] == quote && cur_[2] == quote;
    const uint8_t *p = cur_ + (multi_line ? 3 : 1);
    uint64_t block_bytes;
    if (multi_line) {
        if (p != end_ && *p == '\r') ++p;
        if (p != end_ && *p == '\n') ++p;
        block_bytes = round8(static_cast<uint64_t>(end_ - p) + 1);
    } else {
        block_bytes = round8(static_cast<uint64_t>(end_ - cur_)); // at least the quote: 8 or more
    }
    uint8_t *const block = reserve(block_bytes);
    if (block == nullptr) return KELVRA_ERR_CAPACITY;
    uint8_t *o = block;
    for (;;) {
        if (p == end_) return KELVRA_ERR_DATA;
        const uint8_t c = *p;
        if (multi_line) {
            if (c == quote && end_ - p >= 3 && p[1] == quote && p[2] == quote) {
                p += 3;
                break;
            }
            if (c == '\r' && end_ - p >= 2 && p[1] == '\n') {
                *o++ = '\n';
                p += 2;
                continue;
            }
        } else {
            if (c == quote) {
                ++p;
                break;
            }
            if (c == '\n') return KELVRA_ERR_DATA;
        }
        if (basic && c == '\\') {
            KELVRA_TRY(decode_escape(p, end_, o));
            continue;
        }
        *o++ = c;
        ++p;
    }
    *o = 0;
    cur_ = p;
    const uint64_t length = static_cast<uint64_t>(o - block);
    // The record's length field is 32 bits wide; a longer string cannot be held.
    if (length > UINT32_MAX) return KELVRA_ERR_CAPACITY;
    out = rec::make_string(block, static_cast<uint32_t>(length));
    return KELVRA_OK;
}

// The longest run of number bytes, underscores dropped.
kelvra_status Parser::number(rec::Record &out) noexcept {
    char text[scan::max_number_chars + 1];
    size_t length = 0;
    for (; cur_ != end_ && scan::is_number_char(*cur_); ++cur_) {
        if (*cur_ == '_') continue;
        if (length == scan::max_number_chars) return KELVRA_ERR_DATA;
        text[length++] = static_cast<char>(*cur_);
    }
    if (length == 0) return KELVRA_ERR_DATA;
    const scan::NumberValue n = scan::convert_number(text, length);
    if (n.status != KELVRA_OK) return n.status;
    out = n.is_float ? rec::make_float(n.number) : rec::make_integer(n.integer);
    return KELVRA_OK;
}

// A table becomes a record with exact key and value arrays; each member's
// node gets a record of its own, converted one level deeper.
kelvra_status Parser::convert_table(const uint8_t *builder, uint32_t level, rec::Record &out) noexcept {
    if (level >= max_level) return KELVRA_ERR_CAPACITY;
    const uint32_t count = get<uint32_t>(builder, builder_count);
    uint8_t *keys = nullptr;
    uint8_t *values = nullptr;
    if (count != 0) {
        keys = reserve(uint64_t{count} * rec::slot_bytes);
        if (keys == nullptr) return KELVRA_ERR_CAPACITY;
        values = reserve(uint64_t{count} * rec::slot_bytes);
        if (values == nullptr) return KELVRA_ERR_CAPACITY;
    }
    uint64_t i = 0;
    for (const uint8_t *m = get<const uint8_t *>(builder, builder_head); m != nullptr;
         m = get<const uint8_t *>(m, member_next), ++i) {
        uint8_t *record;
        KELVRA_TRY(convert_node(get<const uint8_t *>(m, member_node), level + 1, record));
        put(keys, i * rec::slot_bytes, get<const char *>(m, member_key));
        put(values, i * rec::slot_bytes, record);
    }
    out = rec::make_table(keys, values, count);
    return KELVRA_OK;
}

kelvra_status Parser::convert_node(const uint8_t *node, uint32_t level, uint8_t *&record) noexcept {
    record = reserve(rec::record_bytes);
    if (record == nullptr) return KELVRA_ERR_CAPACITY;
    rec::Record r;
    switch (get<uint32_t>(node, node_tag)) {
    case tag_plain:
        std::memcpy(r.bytes, node + node_record, rec::record_bytes);
        break;
    case tag_table:
        KELVRA_TRY(convert_table(get<const uint8_t *>(node, node_builder), level, r));
        break;
    default: {
        const uint32_t count = get<uint32_t>(node, node_count);
        uint8_t *items = reserve(uint64_t{count} * rec::slot_bytes);
        if (items == nullptr) return KELVRA_ERR_CAPACITY;
        uint64_t i = 0;
        for (const uint8_t *e = get<const uint8_t *>(node, node_head); e != nullptr;
             e = get<const uint8_t *>(e, element_next), ++i) {
            uint8_t *element = reserve(rec::record_bytes);
            if (element == nullptr) return KELVRA_ERR_CAPACITY;
            rec::Record table;
            KELVRA_TRY(convert_table(get<const uint8_t *>(e, element_builder), level + 1, table));
            std::memcpy(element, table.bytes, rec::record_bytes);
            put(items, i * rec::slot_bytes, element);
        }
        r = rec::make_array(items, count);
        break;
    }
    }
    std::memcpy(record, r.bytes, rec::record_bytes);
    return KELVRA_OK;
}

#undef KELVRA_TRY

} // namespace
} // namespace kelvra::text

extern "C" KELVRA_API kelvra_status kelvra_toml_parse(const uint8_t *input, uint64_t input_length, uint8_t *arena,
                                                      uint64_t arena_capacity, kelvra_toml_value **out_root) noexcept {
    if (arena == nullptr || out_root == nullptr || kelvra::missing_data(input, input_length)) return KELVRA_ERR_ARG;
    *out_root = nullptr;
    kelvra::text::Parser parser(input, input_length, arena, arena_capacity);
    return parser.parse(out_root);
}

extern "C" KELVRA_API const kelvra_toml_value *kelvra_toml_table_get(const kelvra_toml_value *table,
                                                                     const char *key) noexcept {
    namespace rec = kelvra::text::toml_record;
    if (table == nullptr || key == nullptr || rec::load_kind(table) != KELVRA_TOML_TABLE) return nullptr;
    const uint32_t count = rec::load_table_count(table);
    if (count == 0) return nullptr;
    const char *const *keys = rec::load_table_keys(table);
    kelvra_toml_value *const *values = rec::load_table_values(table);
    for (uint32_t i = 0; i < count; ++i) {
        if (std::strcmp(rec::load_slot<const char *>(keys, i), key) == 0) {
            return rec::load_slot<kelvra_toml_value *>(values, i);
        }
    }
    return nullptr;
}
