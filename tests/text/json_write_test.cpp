// The canonical writer: exact bytes, key order, piece-wise truncation, the
// workspace contract and the status order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "kelvra.h"
#include "text/json_record.hpp"

namespace {

namespace rec = kelvra::text::json_record;

template <class Sized> uint32_t size32(const Sized &s) { return static_cast<uint32_t>(s.size()); }

// Builds trees in an arena at an odd address, as callers may.
class Tree {
public:
    Tree() : storage_((1 << 20) + 8) { EXPECT_EQ(kelvra_json_builder_init(&b_, storage_.data() + 1, 1 << 20), 0u); }
    kelvra_json_value *null() { return kelvra_json_new_null(&b_); }
    kelvra_json_value *boolean(uint32_t v) { return kelvra_json_new_bool(&b_, v); }
    kelvra_json_value *integer(int64_t v) { return kelvra_json_new_int(&b_, v); }
    kelvra_json_value *number(double v) { return kelvra_json_new_double(&b_, v); }
    kelvra_json_value *string(const std::string &s) {
        const std::string &kept = *texts_.emplace_back(std::make_unique<std::string>(s));
        return kelvra_json_new_string(&b_, reinterpret_cast<const uint8_t *>(kept.data()), size32(s));
    }
    kelvra_json_value *array(std::vector<kelvra_json_value *> v) { return kelvra_json_new_array(&b_, v.data(), size32(v)); }
    kelvra_json_value *object(const std::vector<std::pair<std::string, kelvra_json_value *>> &members) {
        std::vector<const char *> keys;
        std::vector<kelvra_json_value *> values;
        for (const auto &[key, value] : members) {
            keys.push_back(texts_.emplace_back(std::make_unique<std::string>(key))->c_str());
            values.push_back(value);
        }
        return kelvra_json_new_object(&b_, keys.data(), values.data(), size32(keys));
    }

private:
    std::vector<uint8_t> storage_;
    kelvra_json_builder b_{};
    std::vector<std::unique_ptr<std::string>> texts_;
};

constexpr uint64_t untouched = 0xDEADBEEF;

// The text, measured, then written once into a buffer of exactly its length
// (the careful piece-by-piece path near the end) and once into an ample buffer
// (the unchecked path); both must agree.
std::string text_of(const kelvra_json_value *root) {
    std::vector<uint8_t> workspace(kelvra_json_write_arena_bytes(root));
    const auto write = [&](std::string &out, uint64_t &length) {
        EXPECT_EQ(kelvra_json_write_ws(root, reinterpret_cast<uint8_t *>(out.data()), out.size(), &length,
                                       workspace.data(), workspace.size()), 0u);
    };
    uint64_t length = untouched, again = untouched;
    EXPECT_EQ(kelvra_json_write_ws(root, nullptr, 0, &length, workspace.data(), workspace.size()), 0u);
    std::string exact(length, '\0'), ample(length * 8 + 64, '\0');
    write(exact, again);
    EXPECT_EQ(again, length);
    write(ample, again);
    EXPECT_EQ(ample.substr(0, again), exact);
    return exact;
}

// `inner` as the deepest of `depth` levels, each wrapped in an array.
kelvra_json_value *nest_arrays(Tree &t, int depth, kelvra_json_value *inner) {
    for (int i = 1; i < depth; ++i) inner = t.array({inner});
    return inner;
}

TEST(JsonWrite, DocumentedExampleAndScalarTexts) {
    Tree t;
    kelvra_json_value *root =
        t.object({{"b", t.integer(1)},
                  {"a", t.array({t.boolean(1), t.null(), t.number(2.5), t.string("x\ny")})},
                  {"c", t.object({})}});
    EXPECT_EQ(text_of(root), R"({"a": [true, null, 2.5, "x\ny"], "b": 1, "c": {}})");

    const std::pair<double, const char *> doubles[] = {
        {1.0, "1.0"}, {100.0, "100.0"}, {-0.0, "-0.0"}, {0.1, "0.10000000000000001"}, {1e21, "1e+21"},
        {1e-7, "9.9999999999999995e-08"}, {1e16, "10000000000000000.0"}, {1e17, "1e+17"},
        {5e-324, "4.9406564584124654e-324"}, {HUGE_VAL, "inf"}, {-HUGE_VAL, "-inf"}, {std::nan(""), "nan"}};
    for (const auto &[value, text] : doubles) EXPECT_EQ(text_of(t.number(value)), text);
    EXPECT_EQ(text_of(t.integer(INT64_MIN)), "-9223372036854775808");
    EXPECT_EQ(text_of(t.boolean(0)), "false");
    kelvra_json_value *odd_truth = t.boolean(1);
    rec::store_bool(odd_truth, 7); // any non-zero truth value is true
    EXPECT_EQ(text_of(odd_truth), "true");
    // A record of an unknown kind writes nothing; the separators stay.
    kelvra_json_value *odd_kind = t.null();
    rec::store_kind(odd_kind, 9);
    EXPECT_EQ(text_of(t.array({t.null(), odd_kind, t.object({{"k", odd_kind}})})), R"([null, , {"k": }])");
}

// The escaped text as the table defines it, one byte at a time.
std::string reference_escape(const std::string &s) {
    const char *named = "\"\\\b\t\n\f\r";
    std::string out = "\"";
    for (unsigned char c : s) {
        const char *at = c == 0 ? nullptr : std::strchr(named, c);
        char escaped[8];
        if (at != nullptr) std::snprintf(escaped, sizeof escaped, "\\%c", "\"\\btnfr"[at - named]);
        else if (c < 0x20) std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
        else escaped[0] = static_cast<char>(c), escaped[1] = 0;
        out += escaped;
    }
    return out + "\"";
}

TEST(JsonWrite, StringsAndKeysFollowTheEscapeTable) {
    Tree t;
    // Every byte value, in a string and (up to its first 0 byte) in a key.
    std::string every(256, '\0');
    for (int i = 0; i < 256; ++i) every[static_cast<size_t>(i)] = static_cast<char>((i + 1) % 256);
    EXPECT_EQ(text_of(t.string(every)), reference_escape(every));
    const std::string key = every.substr(0, every.find('\0'));
    EXPECT_EQ(text_of(t.object({{key, t.null()}})), "{" + reference_escape(key) + ": null}");
}

TEST(JsonWrite, KeysSortStablyAsUnsignedBytesWithPrefixesFirst) {
    Tree t;
    EXPECT_EQ(text_of(t.object({{"b", t.integer(1)}, {"a", t.integer(2)}, {"ab", t.integer(3)}, {"", t.integer(4)}})),
              R"({"": 4, "a": 2, "ab": 3, "b": 1})");
    EXPECT_EQ(text_of(t.object({{"k", t.integer(1)}, {"\xC3\xA9", t.null()}, {"k", t.integer(2)}})),
              "{\"k\": 1, \"k\": 2, \"\xC3\xA9\": null}");

    std::mt19937 rng(8);
    std::vector<std::pair<std::string, kelvra_json_value *>> members;
    for (int i = 0; i < 400; ++i) {
        std::string key(rng() % 4, 'a');
        for (char &c : key) c = "ab\x80\xff"[rng() % 4];
        members.push_back({key, t.integer(i)});
    }
    kelvra_json_value *object = t.object(members);
    // std::string orders as unsigned bytes, a proper prefix first.
    std::stable_sort(members.begin(), members.end(), [](const auto &x, const auto &y) { return x.first < y.first; });
    std::string want = "{";
    for (const auto &[key, value] : members) want += (want.size() > 1 ? ", " : "") + reference_escape(key) + ": " + text_of(value);
    EXPECT_EQ(text_of(object), want + "}");

    kelvra_json_value *values[2] = {t.integer(1), t.integer(2)};
    const char *keys[2] = {"a", nullptr}; // read as the empty key
    uint8_t arena[256];
    kelvra_json_builder b;
    ASSERT_EQ(kelvra_json_builder_init(&b, arena, sizeof arena), 0u);
    EXPECT_EQ(text_of(kelvra_json_new_object(&b, keys, values, 2)), R"({"": 2, "a": 1})");
}

TEST(JsonWrite, SixtyFourLevelsAreWrittenSixtyFiveAreNot) {
    Tree t;
    EXPECT_EQ(text_of(nest_arrays(t, 64, t.array({}))), std::string(64, '[') + std::string(64, ']'));
    kelvra_json_value *deep65 = nest_arrays(t, 65, t.array({}));
    EXPECT_EQ(kelvra_json_write_arena_bytes(deep65), 64u * 24 + 16);
    std::vector<uint8_t> workspace(64 * 24);
    uint64_t length = untouched;
    EXPECT_EQ(kelvra_json_write_ws(deep65, nullptr, 0, &length, workspace.data(), workspace.size()), 4u);
    // The workspace check comes before the depth check.
    EXPECT_EQ(kelvra_json_write_ws(deep65, nullptr, 0, &length, workspace.data(), workspace.size() - 1), 2u);
    EXPECT_EQ(length, untouched);

    // An object below the 64th level does not count towards the member maximum.
    kelvra_json_value *v = nest_arrays(t, 64, t.array({t.object({{"a", t.null()}, {"b", t.null()}, {"c", t.null()}})}));
    EXPECT_EQ(kelvra_json_write_arena_bytes(v), 64u * 24 + 16);
    EXPECT_EQ(kelvra_json_write_ws(v, nullptr, 0, &length, workspace.data(), workspace.size()), 4u);
}

// The size function's figure minus its 16 spare bytes is exactly what the
// writer needs: one byte less gives 2, whatever the shape.
TEST(JsonWrite, WorkspaceContractIsExact) {
    Tree t;
    kelvra_json_value *wide = t.object({{"d", t.null()}, {"c", t.null()}, {"b", t.null()}, {"a", t.null()}});
    kelvra_json_value *chain = wide;
    for (int i = 0; i < 5; ++i) chain = t.object({{"z", chain}, {"y", t.integer(i)}, {"x", t.null()}});
    const std::pair<kelvra_json_value *, uint64_t> cases[] = {
        {t.integer(1), 40},
        {t.object({{"a", t.null()}, {"b", t.null()}, {"c", t.null()}}), 52},
        {t.array({t.null(), t.string("s")}), 40},
        {t.array({t.object({{"x", wide}}), t.array({t.array({})})}), (4 * 4 + 24) * 3 + 16},
        {chain, (4 * 4 + 24) * 6 + 16},
        {t.array({t.array({t.object({})})}), 3 * 24 + 16}, // the deepest level is an empty container
        {t.object({{"a", t.object({{"a", t.null()}, {"b", t.null()}, {"c", t.null()}})}, {"b", t.null()}}),
         (4 * 3 + 24) * 2 + 16}};
    for (const auto &[root, size] : cases) {
        ASSERT_EQ(kelvra_json_write_arena_bytes(root), size);
        const uint64_t need = size - 16;
        std::vector<uint8_t> workspace(need + 1);
        uint64_t length = untouched;
        EXPECT_EQ(kelvra_json_write_ws(root, nullptr, 0, &length, workspace.data(), need - 1), 2u);
        EXPECT_EQ(length, untouched);
        EXPECT_EQ(kelvra_json_write_ws(root, nullptr, 0, &length, workspace.data() + 1, need), 0u);
        EXPECT_EQ(length, text_of(root).size());
    }
    EXPECT_EQ(kelvra_json_write_arena_bytes(nullptr), 0u);
    uint64_t length = untouched;
    uint8_t out[16];
    EXPECT_EQ(kelvra_json_write_ws(t.null(), out, sizeof out, &length, nullptr, 100), 2u);
    EXPECT_EQ(kelvra_json_write_ws(nullptr, out, sizeof out, &length, nullptr, 0), 1u);
    EXPECT_EQ(length, untouched);
}

// Every capacity: the buffer holds whole pieces up to the first one that did
// not fit, and nothing after it; the full length is reported each time, and
// a null buffer only measures, whatever capacity comes with it.
TEST(JsonWrite, TruncationStopsAtTheFirstPieceThatDoesNotFit) {
    Tree t;
    kelvra_json_value *root = t.array({t.string("a\nb"), t.integer(12345), t.number(7.0), t.string("\x01"),
                                       t.array({}), t.object({{"k", t.null()}})});
    const std::string text = R"(["a\nb", 12345, 7.0, "\u0001", [], {"k": null}])";
    // Ends of the pieces: [ " a \n b " ,_ 12345 ,_ 7 .0 ,_ " \u0001 " ,_ [ ] ,_ { " k " :_ null } ]
    const std::vector<size_t> piece_ends = {1,  2,  3,  5,  6,  7,  9,  14, 16, 17, 19, 21, 22, 28, 29, 31,
                                            32, 33, 35, 36, 37, 38, 39, 41, 45, 46, 47};
    ASSERT_EQ(piece_ends.back(), text.size());
    std::vector<uint8_t> workspace(kelvra_json_write_arena_bytes(root));
    uint64_t length = 0;
    EXPECT_EQ(kelvra_json_write_ws(root, nullptr, 5, &length, workspace.data(), workspace.size()), 0u);
    EXPECT_EQ(length, text.size());
    for (size_t capacity = 0; capacity <= text.size(); ++capacity) {
        std::vector<uint8_t> out(text.size() + 1, '#');
        length = 0;
        ASSERT_EQ(kelvra_json_write_ws(root, out.data(), capacity, &length, workspace.data(), workspace.size()),
                  capacity == text.size() ? 0u : 4u);
        EXPECT_EQ(length, text.size());
        size_t written = 0;
        for (size_t end : piece_ends)
            if (end <= capacity) written = end;
        EXPECT_EQ(std::string(out.begin(), out.end()), text.substr(0, written) + std::string(text.size() + 1 - written, '#'))
            << "capacity " << capacity;
    }
}

} // namespace
