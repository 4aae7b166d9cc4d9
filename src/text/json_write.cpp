// The canonical JSON writer: sorted keys, ", " and ": " separators, "%.17g"
// doubles with a ".0" mark, and the fixed escape table.
//
// The workspace contract is (24 + 4 * M) * max(D, 1) bytes, D the nesting depth
// (at most 64) and M the largest object member count. The writer keeps its 64
// traversal frames on its own stack and places only the key-order tables of
// open objects whose keys are out of order in the workspace, bump-wise (an
// object already in order is emitted as stored). That use never exceeds the
// contract, so when a table does not fit, the contract's answer is already
// known to be status 2. Otherwise the contract is checked once the whole tree
// has been walked, against the measures gathered on the way (or, when a 65th
// level is met, against a separate measuring walk), which spares the measuring
// walk in the common case. The statuses and out_length are those of checking
// first; only the output buffer, unspecified after status 2, may then hold text.
//
// Output goes piece by piece: a piece (bracket, separator, literal, number
// text, ".0", quote, one string byte or one escape) is copied only when it fits
// whole and nothing before it overflowed; every piece counts towards the length.
// Where the room left holds a value's worst case, its pieces are written
// without per-piece checks (same bytes).
#include <cstring>

#include "kelvra.h"
#include "text/json_escape.hpp"
#include "text/json_record.hpp"
#include "text/numtext.hpp"

namespace kelvra::text {
namespace {

namespace rec = json_record;

constexpr uint32_t max_depth = 64;
constexpr uint64_t frame_bytes = 24;
constexpr uint64_t order_slot_bytes = 4;

bool is_container_kind(uint32_t kind) noexcept { return kind == KELVRA_JSON_ARRAY || kind == KELVRA_JSON_OBJECT; }

// ---------------------------------------------------------------------------
// Tree measures

struct TreeMeasure {
    uint32_t depth;       // containers on the longest path, at most 64
    uint32_t max_members; // largest object member count
};

// The child list of a container: array items or object values.
const kelvra_json_value *const *child_list(const kelvra_json_value *container) noexcept {
    return rec::load_kind(container) == KELVRA_JSON_ARRAY ? rec::load_array(container).items
                                                          : rec::load_object(container).values;
}

TreeMeasure measure_tree(const kelvra_json_value *root) noexcept {
    TreeMeasure measure{0, 0};
    if (!is_container_kind(rec::load_kind(root))) return measure;
    struct Level {
        const kelvra_json_value *const *children;
        uint32_t count;
        uint32_t next;
    };
    Level stack[max_depth];
    uint32_t open = 0;
    auto enter = [&](const kelvra_json_value *container) {
        const uint32_t count = rec::load_member_count(container);
        if (rec::load_kind(container) == KELVRA_JSON_OBJECT && count > measure.max_members) measure.max_members = count;
        stack[open++] = {child_list(container), count, 0};
        if (open > measure.depth) measure.depth = open;
    };
    enter(root);
    while (open != 0) {
        Level &top = stack[open - 1];
        if (top.next == top.count) {
            --open;
            continue;
        }
        const kelvra_json_value *child = rec::load_value_at(top.children, top.next++);
        // A container beyond the 64th level is not entered.
        if (child != nullptr && is_container_kind(rec::load_kind(child)) && open < max_depth) enter(child);
    }
    return measure;
}

// Frames and key-order tables, without the 16 bytes the size function adds.
uint64_t workspace_need(TreeMeasure m) noexcept {
    const uint64_t levels = m.depth == 0 ? 1 : m.depth;
    return (order_slot_bytes * m.max_members + frame_bytes) * levels;
}

// ---------------------------------------------------------------------------
// Output pieces

class Output {
public:
    Output(uint8_t *out, uint64_t capacity) noexcept
            : cursor_(out), start_(out), room_(out == nullptr ? 0 : capacity), overflowed_(out == nullptr) {}

    uint64_t length() const noexcept { return static_cast<uint64_t>(cursor_ - start_) + unwritten_; }
    bool overflowed() const noexcept { return overflowed_; }
    uint64_t room() const noexcept { return room_; }

    // One piece of n >= 1 bytes.
    void put(const void *piece, size_t n) noexcept {
        if (n <= room_) {
            std::memcpy(cursor_, piece, n);
            cursor_ += n;
            room_ -= n;
        } else {
            overflow(n);
        }
    }

    void put_char(char c) noexcept {
        if (room_ != 0) {
            *cursor_++ = static_cast<uint8_t>(c);
            --room_;
        } else {
            overflow(1);
        }
    }

    // n >= 1 one-byte pieces: as many as fit are copied.
    void put_bytes(const uint8_t *bytes, size_t n) noexcept {
        if (n <= room_) {
            std::memcpy(cursor_, bytes, n);
            cursor_ += n;
            room_ -= n;
            return;
        }
        const size_t fitting = static_cast<size_t>(room_);
        if (fitting != 0) std::memcpy(cursor_, bytes, fitting);
        cursor_ += fitting;
        overflow(n - fitting);
    }

    // In-place writing, for callers that checked room() first: text goes to
    // here() and advance() accounts for it.
    uint8_t *here() noexcept { return cursor_; }
    void advance_to(uint8_t *end) noexcept {
        room_ -= static_cast<uint64_t>(end - cursor_);
        cursor_ = end;
    }

private:
    void overflow(uint64_t n) noexcept {
        room_ = 0;
        overflowed_ = true;
        unwritten_ += n;
    }

    uint8_t *cursor_;
    uint8_t *start_;
    uint64_t room_;
    uint64_t unwritten_ = 0;
    bool overflowed_;
};

// ---------------------------------------------------------------------------
// Strings

// The escape table, write_escape, plain_run and write_escaped: json_escape.hpp.

void put_escape(Output &out, uint8_t byte) noexcept {
    uint8_t piece[escape_max];
    out.put(piece, static_cast<size_t>(write_escape(piece, byte) - piece));
}

// The quoted, escaped string followed by `suffix` (may be empty).
void put_string(Output &out, const uint8_t *bytes, size_t n, const char *suffix = "",
                size_t suffix_length = 0) noexcept {
    if (out.room() / escape_max > n + 2 + suffix_length) {
        // Every piece fits whatever the bytes are.
        uint8_t *dest = out.here();
        *dest++ = '"';
        dest = write_escaped(dest, bytes, n);
        *dest++ = '"';
        std::memcpy(dest, suffix, suffix_length);
        out.advance_to(dest + suffix_length);
        return;
    }
    out.put_char('"');
    size_t i = 0;
    while (i < n) {
        const size_t run = plain_run(bytes + i, n - i);
        if (run != 0) {
            out.put_bytes(bytes + i, run);
            i += run;
            if (i == n) break;
        }
        put_escape(out, bytes[i++]);
    }
    out.put_char('"');
    if (suffix_length != 0) out.put(suffix, suffix_length);
}

// A key as written and sorted; a null key pointer reads as the empty key.
const char *key_text(const char *key) noexcept { return key == nullptr ? "" : key; }

// Room that lets a key be copied while it is scanned.
constexpr uint64_t key_copy_room = 64;

void put_key(Output &out, const char *key) noexcept {
    const uint8_t *text = reinterpret_cast<const uint8_t *>(key_text(key));
    const uint8_t *p = text;
    if (out.room() >= key_copy_room) {
        // Keys are mostly short and plain: copy while looking for the end.
        uint8_t *dest = out.here();
        *dest++ = '"';
        const uint8_t *const limit = text + (key_copy_room - 4);
        while (p != limit && escape_letters.letter[*p] == 0) *dest++ = *p++;
        if (*p == 0) {
            std::memcpy(dest, "\": ", 3);
            out.advance_to(dest + 3);
            return;
        }
        // A long key or one with escapes: written again from the start below.
    }
    const size_t n = static_cast<size_t>(p - text) + std::strlen(reinterpret_cast<const char *>(p));
    put_string(out, text, n, ": ", 2);
}

// ---------------------------------------------------------------------------
// Scalars

bool needs_double_mark(const char *text, size_t n) noexcept {
    for (size_t i = 0; i < n; ++i) {
        const char c = text[i];
        if (c == '.' || c == 'e' || c == 'E' || c == 'i' || c == 'n') return false;
    }
    return true;
}

void put_double(Output &out, double value) noexcept {
    if (out.room() >= double_text_max + 2) {
        // Both pieces fit for certain: format in place.
        char *text = reinterpret_cast<char *>(out.here());
        size_t n = format_double(value, text);
        if (needs_double_mark(text, n)) {
            std::memcpy(text + n, ".0", 2);
            n += 2;
        }
        out.advance_to(out.here() + n);
        return;
    }
    char text[double_text_max];
    const size_t n = format_double(value, text);
    if (n != 0) out.put(text, n);
    if (needs_double_mark(text, n)) out.put(".0", 2);
}

void put_int(Output &out, int64_t value) noexcept {
    if (out.room() >= int_text_max) {
        out.advance_to(out.here() + format_int(value, reinterpret_cast<char *>(out.here())));
        return;
    }
    char text[int_text_max];
    out.put(text, format_int(value, text));
}

// Any record but a container; unknown kinds (and a null record) give no text.
void put_scalar(Output &out, const kelvra_json_value *v) noexcept {
    if (v == nullptr) return;
    switch (rec::load_kind(v)) {
    case KELVRA_JSON_NULL:
        out.put("null", 4);
        break;
    case KELVRA_JSON_BOOL:
        if (rec::load_bool(v) != 0) out.put("true", 4);
        else out.put("false", 5);
        break;
    case KELVRA_JSON_INT:
        put_int(out, rec::load_int(v));
        break;
    case KELVRA_JSON_DOUBLE:
        put_double(out, rec::load_double(v));
        break;
    case KELVRA_JSON_STRING: {
        const rec::StringField s = rec::load_string(v);
        put_string(out, s.bytes, s.length);
        break;
    }
    default:
        break;
    }
}

// ---------------------------------------------------------------------------
// Key order

// Catalog order: unsigned bytes, a proper prefix first (strcmp on the keys).
int compare_keys(const char *const *keys, uint32_t a, uint32_t b) noexcept {
    const auto *x = reinterpret_cast<const uint8_t *>(key_text(rec::load_key_at(keys, a)));
    const auto *y = reinterpret_cast<const uint8_t *>(key_text(rec::load_key_at(keys, b)));
    // Keys are short: a plain loop beats a call.
    while (*x == *y && *x != 0) {
        ++x;
        ++y;
    }
    return static_cast<int>(*x) - static_cast<int>(*y);
}

uint32_t load_slot(const uint8_t *table, size_t i) noexcept {
    uint32_t v;
    std::memcpy(&v, table + i * order_slot_bytes, sizeof v);
    return v;
}

void store_slot(uint8_t *table, size_t i, uint32_t v) noexcept {
    std::memcpy(table + i * order_slot_bytes, &v, sizeof v);
}

// Fills table with 0 .. count-1 in stable catalog order of the keys (the
// order a stable insertion sort gives; binary search finds each place).
// Returns false when the keys were in order already (the table is then the
// identity).
bool sort_member_order(const char *const *keys, uint32_t count, uint8_t *table) noexcept {
    bool moved = false;
    for (uint32_t i = 0; i < count; ++i) {
        if (i == 0 || compare_keys(keys, load_slot(table, i - 1), i) <= 0) {
            store_slot(table, i, i);
            continue;
        }
        moved = true;
        // First position whose key sorts after key i (equal keys stay before it).
        uint32_t low = 0, high = i - 1;
        while (low < high) {
            const uint32_t mid = low + (high - low) / 2;
            if (compare_keys(keys, load_slot(table, mid), i) <= 0) low = mid + 1;
            else high = mid;
        }
        std::memmove(table + (low + 1) * order_slot_bytes, table + low * order_slot_bytes,
                     (i - low) * order_slot_bytes);
        store_slot(table, low, i);
    }
    return moved;
}

// ---------------------------------------------------------------------------
// The walk

enum class WalkEnd { complete, table_too_large, too_deep };

class TreeWriter {
public:
    TreeWriter(Output &out, uint8_t *workspace, uint64_t workspace_bytes) noexcept
            : out_(out), tables_(workspace), table_room_(workspace_bytes) {}

    WalkEnd write(const kelvra_json_value *root) noexcept {
        if (!is_container_kind(rec::load_kind(root))) {
            put_scalar(out_, root);
            return WalkEnd::complete;
        }
        if (!open_container(root)) return WalkEnd::table_too_large;
        while (open_ != 0) {
            const WalkEnd end = continue_top();
            if (end != WalkEnd::complete) return end;
        }
        return WalkEnd::complete;
    }

    TreeMeasure measure() const noexcept { return measure_; }

private:
    struct Frame {
        const kelvra_json_value *const *children;
        const char *const *keys; // objects only
        uint8_t *order;          // objects whose keys were out of order
        uint64_t order_bytes;
        uint32_t count;
        uint32_t next;
    };

    // Writes members of the top frame until it closes or a child container
    // is opened.
    WalkEnd continue_top() noexcept {
        Frame &f = frames_[open_ - 1];
        while (f.next != f.count) {
            if (f.next != 0) out_.put(", ", 2);
            uint32_t member = f.next++;
            if (f.keys != nullptr) {
                if (f.order != nullptr) member = load_slot(f.order, member);
                put_key(out_, rec::load_key_at(f.keys, member));
            }
            const kelvra_json_value *child = rec::load_value_at(f.children, member);
            if (child != nullptr && is_container_kind(rec::load_kind(child))) {
                if (open_ == max_depth) return WalkEnd::too_deep;
                if (rec::load_member_count(child) == 0) {
                    put_empty_container(child);
                    continue;
                }
                return open_container(child) ? WalkEnd::complete : WalkEnd::table_too_large;
            }
            put_scalar(out_, child);
        }
        out_.put_char(f.keys != nullptr ? '}' : ']');
        table_used_ -= f.order_bytes;
        --open_;
        return WalkEnd::complete;
    }

    // "[]" or "{}" without a frame; it counts as a level all the same.
    void put_empty_container(const kelvra_json_value *container) noexcept {
        const bool object = rec::load_kind(container) == KELVRA_JSON_OBJECT;
        out_.put_char(object ? '{' : '[');
        out_.put_char(object ? '}' : ']');
        if (open_ + 1 > measure_.depth) measure_.depth = open_ + 1;
    }

    bool open_container(const kelvra_json_value *container) noexcept {
        Frame &f = frames_[open_];
        f = Frame{nullptr, nullptr, nullptr, 0, 0, 0};
        if (rec::load_kind(container) == KELVRA_JSON_OBJECT) {
            const rec::ObjectField object = rec::load_object(container);
            f.children = object.values;
            f.keys = object.keys;
            f.count = object.count;
            if (object.count > measure_.max_members) measure_.max_members = object.count;
            if (object.count > 1 && !reserve_order(f)) return false;
            out_.put_char('{');
        } else {
            const rec::ArrayField array = rec::load_array(container);
            f.children = array.items;
            f.count = array.count;
            out_.put_char('[');
        }
        ++open_;
        if (open_ > measure_.depth) measure_.depth = open_;
        return true;
    }

    bool reserve_order(Frame &f) noexcept {
        const uint64_t bytes = uint64_t{f.count} * order_slot_bytes;
        if (tables_ == nullptr || bytes > table_room_ - table_used_) return false;
        uint8_t *table = tables_ + table_used_;
        if (sort_member_order(f.keys, f.count, table)) {
            f.order = table;
            f.order_bytes = bytes;
            table_used_ += bytes;
        }
        return true;
    }

    Output &out_;
    uint8_t *tables_;
    uint64_t table_room_;
    uint64_t table_used_ = 0;
    Frame frames_[max_depth];
    uint32_t open_ = 0;
    TreeMeasure measure_{0, 0};
};

} // namespace
} // namespace kelvra::text

extern "C" KELVRA_API uint64_t kelvra_json_write_arena_bytes(const kelvra_json_value *root) noexcept {
    if (root == nullptr) return 0;
    return kelvra::text::workspace_need(kelvra::text::measure_tree(root)) + 16;
}

extern "C" KELVRA_API kelvra_status kelvra_json_write_ws(const kelvra_json_value *root, uint8_t *out,
                                                         uint64_t out_capacity, uint64_t *out_length,
                                                         uint8_t *workspace, uint64_t workspace_bytes) noexcept {
    using namespace kelvra::text;
    if (root == nullptr || out_length == nullptr) return KELVRA_ERR_ARG;
    if (workspace == nullptr) return KELVRA_ERR_DATA;
    Output output(out, out_capacity);
    TreeWriter writer(output, workspace, workspace_bytes);
    switch (writer.write(root)) {
    case WalkEnd::table_too_large:
        return KELVRA_ERR_DATA;
    case WalkEnd::too_deep:
        // The workspace check comes first; it needs the measures of the whole tree.
        return workspace_need(measure_tree(root)) > workspace_bytes ? KELVRA_ERR_DATA : KELVRA_ERR_CAPACITY;
    case WalkEnd::complete:
        break;
    }
    if (workspace_need(writer.measure()) > workspace_bytes) return KELVRA_ERR_DATA;
    *out_length = output.length();
    if (out == nullptr) return KELVRA_OK;
    return output.overflowed() ? KELVRA_ERR_CAPACITY : KELVRA_OK;
}
