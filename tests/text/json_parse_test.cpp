// The JSON parser: statuses and their order, number spelling against the C
// library, string decoding, nesting, exact arena use, odd arena bases and
// round trips through the writer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "kelvra.h"
#include "text/json_record.hpp"

namespace {

namespace rec = kelvra::text::json_record;

// A parse of a copy of the text that ends exactly at its last byte, into an
// arena of exactly `capacity` bytes of its own, so that the address sanitizer
// sees any byte read or written past either; `offset` shifts the arena's base.
struct Parsed {
    std::unique_ptr<uint8_t[]> storage;
    kelvra_json_value *root = nullptr;
    kelvra_status status = 0;
};

Parsed parse(const std::string &text, uint64_t capacity = 1 << 13, size_t offset = 0) {
    const std::unique_ptr<uint8_t[]> input(new uint8_t[text.size()]);
    std::memcpy(input.get(), text.data(), text.size());
    Parsed p;
    p.storage.reset(new uint8_t[capacity + offset]);
    std::memset(p.storage.get(), 0xA5, capacity + offset);
    p.status = kelvra_json_parse(input.get(), text.size(), p.storage.get() + offset, capacity, &p.root);
    return p;
}

kelvra_status status_of(const std::string &text, uint64_t capacity = 1 << 13) { return parse(text, capacity).status; }

// The canonical text of a tree (the writer), or "<status N>" when it fails.
std::string written(const kelvra_json_value *root) {
    std::vector<uint8_t> workspace(kelvra_json_write_arena_bytes(root));
    uint64_t length = 0;
    kelvra_status status = kelvra_json_write_ws(root, nullptr, 0, &length, workspace.data(), workspace.size());
    if (status != 0) return "<status " + std::to_string(status) + ">";
    std::string out(length, '\0');
    status = kelvra_json_write_ws(root, reinterpret_cast<uint8_t *>(out.data()), length, &length, workspace.data(),
                                  workspace.size());
    return status == 0 ? out : "<status " + std::to_string(status) + ">";
}

TEST(JsonParse, ArgumentChecksComeFirstAndLeaveTheRootAlone) {
    const uint8_t text[] = "[1]";
    uint8_t arena[4096];
    kelvra_json_value *root = reinterpret_cast<kelvra_json_value *>(&root);
    kelvra_json_value *const untouched = root;
    EXPECT_EQ(kelvra_json_parse(nullptr, 1, arena, sizeof arena, &root), 1u);
    EXPECT_EQ(kelvra_json_parse(nullptr, 0, arena, sizeof arena, &root), 2u) << "null input of length 0 is empty";
    EXPECT_EQ(kelvra_json_parse(text, 3, nullptr, 0, &root), 4u) << "an empty arena holds no record";
    EXPECT_EQ(kelvra_json_parse(text, 2, arena, sizeof arena, &root), 2u) << "bytes beyond the length are not read";
    EXPECT_EQ(root, untouched);
}

// Every malformed document the parser refuses with 2: stray bytes, literals
// that only match a prefix, numbers it does not take, broken strings and
// separators. (The corpus test sweeps many more.)
TEST(JsonParse, MalformedDocumentsGiveStatus2) {
    const char *texts[] = {
        "", " \t\r\n", "\f1", "1 2", "[1] x", "]", "}", "{}}", "'a'", "\xEF\xBB\xBF{}", "tru", "fals", "nul",
        "truex", "[truex]", "[nullnull]", "True", "nan", "inf", "-inf", "+1", ".5", "0x10", "1 .5", "- 1",
        "\"a\tb\"", "\"\x1F\"", "\"abc", "\"ab\\", "\"\\x\"", "\"\\u12\"", "\"\\u12G4\"", "\"\\uDE00\"",
        "\"\\uD83D\"", "\"\\uD83Dx\"", "\"\\uD83D\\n\"", "\"\\uD83D\\u0041\"", "\"\\uD83D\\uD83D\"",
        "\"\\uD83D\\uDE0\"", "\"\\\"", "\"\\u", "[1,]", "[1 2]", "[,1]", "[,]", "{\"a\" 1}", "{\"a\":1,}", "{1:2}",
        "{\"a\":}", "{\"a\"}", "[", "[1", "{", "{\"a\":1", "{\"a\":1 \"b\":2}", "[1]]", "[}", "{]", "{,}",
        "{\"a\":1,,\"b\":2}", "[\"a\":1]"};
    for (const char *text : texts) EXPECT_EQ(status_of(text), 2u) << text;
}

TEST(JsonParse, NumberSpellingIsLenient) {
    // Compared as long double, which holds every int64_t exactly.
    static_assert(std::numeric_limits<long double>::digits >= 64);
    struct Case { const char *text; uint32_t kind; long double value; };
    const Case cases[] = {
        {"1.5e3", 3, 1500.0}, {"1e5", 3, 1e5},    {"-0", 2, 0},       {"01", 2, 1},    {"1.2.3", 3, 1.2},
        {"1-2", 2, 1},        {"-", 2, 0},        {"--1", 2, 0},      {"1.", 3, 1.0},  {"2.e3", 3, 2000.0},
        {"-.5", 3, -0.5},     {"1e", 3, 1.0},     {"1E+", 3, 1.0},    {"0e+-1", 3, 0}, {"1eE2", 3, 1.0},
        {"1+2", 2, 1},        {"-012", 2, -12},   {"-.", 3, 0},       {"-e5", 3, 0},   {"1e-400", 3, 0.0},
        {"-1e999", 3, -HUGE_VAL}, {"-9223372036854775808", 2, -0x1p63L}, {"-99999999999999999999", 2, -0x1p63L},
        {"99999999999999999999", 2, 0x1p63L - 1},
    };
    for (const Case &c : cases) {
        Parsed p = parse(c.text);
        ASSERT_EQ(p.status, 0u) << c.text;
        ASSERT_EQ(rec::load_kind(p.root), c.kind) << c.text;
        const long double got = c.kind == 2 ? static_cast<long double>(rec::load_int(p.root)) : rec::load_double(p.root);
        EXPECT_EQ(got, c.value) << c.text;
    }
}

// A token with plenty of input after it is read in one pass (the usual
// spellings) and one at the very end of the input by the general reader; in
// both places it must give strtod's or strtoll's value bit for bit. The
// tokens sit at the one-pass reader's borders: 18/19/20 digits, exact powers
// of ten and the rounding border past them, ties, subnormal and overflow
// edges, 7- and 8-digit exponents, leading zeros and negative zero.
TEST(JsonParse, NumbersMatchTheCLibraryWhereverTheyStand) {
    const char *const tokens[] = {
        "9007199254740993", "9007199254740993.0", "9007199254740993e0", "-9007199254740992.5e0", "1e23", "1e22",
        "123456789012345678", "1234567890123456789", "-12345678901234567890", "1234567890123456789.0",
        "1.2345678901234567890", "0.1234567890123456789", "0.12345678901234567890", "9.999999999999999e22",
        "2.4703282292062328e-324", "2.4703282292062327e-324", "4.9406564584124654e-324", "2.2250738585072011e-308",
        "1.7976931348623157e308", "1.7976931348623158e308", "1.7976931348623159e308", "-1.7976931348623159e308",
        "0.000000000000000000000000000001", "0.0000000000000000001", "-0.0", "-0", "0e-9999999", "1e9999999",
        "1e99999999", "1.e5", "-65.613616999999977", "1E-07", "5e+2", "-.5", "1.5e", "1e+-5", "12345678.12345678",
    };
    const std::string room(80, ' ');
    for (const char *token : tokens) {
        const bool real = std::strpbrk(token, ".eE") != nullptr;
        const double want_double = std::strtod(token, nullptr);
        const long long want_int = std::strtoll(token, nullptr, 10);
        for (const std::string &text : {std::string(token), "[" + std::string(token) + "," + token + "]" + room,
                                        "{\"k\":" + std::string(token) + "}" + room}) {
            Parsed p = parse(text);
            ASSERT_EQ(p.status, 0u) << text;
            const kelvra_json_value *v = p.root;
            if (rec::load_kind(v) == KELVRA_JSON_ARRAY) v = rec::load_value_at(rec::load_array(v).items, 1);
            if (rec::load_kind(v) == KELVRA_JSON_OBJECT) v = rec::load_value_at(rec::load_object(v).values, 0);
            ASSERT_EQ(rec::load_kind(v), real ? KELVRA_JSON_DOUBLE : KELVRA_JSON_INT) << text;
            if (real) {
                const double got = rec::load_double(v);
                EXPECT_EQ(std::memcmp(&got, &want_double, sizeof got), 0) << text;
            } else {
                EXPECT_EQ(rec::load_int(v), want_int) << text;
            }
        }
    }
    // The length limit holds with room after the token too.
    for (const std::string &token : {"-" + std::string(61, '1'), "0." + std::string(60, '0')}) {
        EXPECT_EQ(status_of("[" + token + "]" + room), 0u) << token;
        EXPECT_EQ(status_of("[" + token + "1]" + room), 4u) << token;
    }
}

TEST(JsonParse, NumberTokenLengthLimit) {
    const std::string digits62 = std::string("-").append(61, '1');
    EXPECT_EQ(status_of(digits62), 0u);
    EXPECT_EQ(status_of(digits62 + "1"), 4u);
    EXPECT_EQ(status_of(std::string("[").append(60, '0').append("e-+.]")), 4u)
        << "the whole token counts, not its prefix";
    EXPECT_EQ(status_of(std::string("0.").append(60, '0')), 0u);
}

TEST(JsonParse, StringEscapesDecode) {
    struct Case { const char *text; std::string bytes; };
    const Case cases[] = {
        {R"("")", ""},
        {R"("\"\\\/\b\f\n\r\t")", "\"\\/\b\f\n\r\t"},
        {R"("\u0041\u00e9\u20AC")", "A\xC3\xA9\xE2\x82\xAC"},
        {R"("\uD83D\uDE00")", "\xF0\x9F\x98\x80"},
        {R"("\uDBFF\uDFFF")", "\xF4\x8F\xBF\xBF"},
        {R"("a\u0000b")", std::string("a\0b", 3)},
        {"\"\x7F\xFF\xC3\"", "\x7F\xFF\xC3"}, // no UTF-8 validation
        {R"("a long run of plain text, \"then\" an escape and more plain text after it")",
         R"(a long run of plain text, "then" an escape and more plain text after it)"},
    };
    for (const Case &c : cases) {
        Parsed p = parse(c.text);
        ASSERT_EQ(p.status, 0u) << c.text;
        ASSERT_EQ(rec::load_kind(p.root), KELVRA_JSON_STRING);
        const rec::StringField s = rec::load_string(p.root);
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(s.bytes), s.length), c.bytes) << c.text;
    }
    Parsed p = parse("\"abc\"");
    EXPECT_EQ(rec::load_string(p.root).bytes[3], 0xA5) << "no terminator is written after a string value";
}

TEST(JsonParse, ValuesAndSeparators) {
    // The byte after a literal is left to the next structural check.
    const std::pair<const char *, const char *> cases[] = {
        {" \n 42 \r\t", "42"}, {"true", "true"}, {"false", "false"}, {"null", "null"}, {"[false]", "[false]"},
        {R"( { "b" : [ 1 , true , "x" , { } , [ ] ] , "a" : null } )", R"({"a": null, "b": [1, true, "x", {}, []]})"},
        // Duplicates are kept in document order (the writer's sort is stable); a key ends at an escaped 0.
        {R"({"z": 1, "a": 2, "z": 3, "a\u0000cut": 4})", R"({"a": 2, "a": 4, "z": 1, "z": 3})"}};
    for (const auto &[text, canonical] : cases) {
        Parsed p = parse(text);
        ASSERT_EQ(p.status, 0u) << text;
        EXPECT_EQ(written(p.root), canonical) << text;
    }
    // Empty containers still point at (empty) lists.
    const Parsed containers = parse("[{}, []]");
    const rec::ArrayField items = rec::load_array(containers.root);
    const rec::ObjectField empty_object = rec::load_object(rec::load_value_at(items.items, 0));
    const rec::ArrayField empty_array = rec::load_array(rec::load_value_at(items.items, 1));
    EXPECT_TRUE(empty_object.count == 0 && empty_object.keys != nullptr && empty_object.values != nullptr);
    EXPECT_TRUE(empty_array.count == 0 && empty_array.items != nullptr);
}

// Keys sort in document order here, so the writer's text is the input's.
TEST(JsonParse, ListsGrowPastEverySlotBoundary) {
    for (int n : {7, 8, 9, 16, 17, 1000}) {
        std::string array = "[", object = "{";
        for (int i = 0; i < n; ++i) {
            char member[32];
            std::snprintf(member, sizeof member, "%s\"k%04d\": %d", i ? ", " : "", i, i);
            array.append(i ? ", " : "").append(std::to_string(i));
            object += member;
        }
        for (const std::string &text : {array + "]", object + "}"}) {
            Parsed p = parse(text, 1 << 20);
            ASSERT_EQ(p.status, 0u) << text;
            EXPECT_EQ(written(p.root), text);
        }
        char last[16]; // the writer sorts, so the stored order is checked apart
        std::snprintf(last, sizeof last, "k%04d", n - 1);
        EXPECT_STREQ(rec::load_key_at(rec::load_object(parse(object + "}", 1 << 20).root).keys, n - 1), last);
    }
}

TEST(JsonParse, NestingLimit) {
    const uint64_t roomy = 1 << 16;
    EXPECT_EQ(status_of(std::string(64, '[') + std::string(64, ']'), roomy), 0u);
    EXPECT_EQ(status_of(std::string(65, '[') + std::string(65, ']'), roomy), 4u);
    EXPECT_EQ(status_of(std::string(65, '[') + "x", roomy), 4u) << "the depth check comes before the bad byte";
    std::string objects;
    for (int i = 0; i < 64; ++i) objects += "{\"a\":";
    EXPECT_EQ(status_of(objects + "1" + std::string(64, '}'), roomy), 0u);
    EXPECT_EQ(status_of(objects + "{}" + std::string(64, '}'), roomy), 4u);
}

// Arena use worked out by hand from the reservation order; each document
// parses in exactly that many bytes (or, malformed, fails with 2 there: the
// reservations come before the fault is seen) and fails with 4 in one byte less.
TEST(JsonParse, ArenaUseIsExact) {
    struct Case { const char *text; uint64_t bytes; kelvra_status status = 0; };
    const Case cases[] = {
        {"7", 32},              // record
        {" \"abc\" ", 36},      // record + raw span 3 + 1
        {R"("\u00e9")", 39},    // record + raw span 6 + 1
        {"[]", 2664},           // record + stack 2560 + list 64 + final slot 8
        {"[[]]", 2768},         // 32 + 2560 + 64 | 32 + 64 + 8 | 8
        {"[1,2,3,4,5,6,7,8,9]", 3144}, // 32 + 2560 + 64 + 9 * 32 + grown list 128 + final 72
        // record 0-32, stack -2592, value list -2656, key list -2720, key block 3 -2723,
        // key copy 3 at 2728 -2731, value record at 2736 -2768, string block 5 -2773,
        // final keys at 2776 -2784, final values -2792.
        {R"({"ab":"x\ny"})", 2792},
        // ... key block 8 -2728, key copy 8 -2736, value record -2768, final arrays -2784
        {R"({"abcdefg":1})", 2784},
        // ... key block 20 -2740, key copy 8 at 2744 -2752, value record -2784, its list -2848,
        // its final slot -2856, final keys -2864, final values -2872
        {R"({"\u00e9\u00e9\u00e9x":[]})", 2872},
        // A string its block (raw span + 1, the span ending at the end of input), "[1,]" the
        // record for the missing item, "{" the record, stack, value list and key list.
        {"\"ab\tc\"", 37, 2}, {"\"abc", 36, 2}, {"\"ab\\", 36, 2}, {"\"\\q\"", 35, 2},
        {"\"abcdefghijklmnop\\u12\"", 32 + 20 + 1, 2}, {"[1,]", 2720, 2}, {"{", 2720, 2},
    };
    for (const Case &c : cases) {
        for (size_t offset : {0, 1}) {
            EXPECT_EQ(parse(c.text, c.bytes, offset).status, c.status) << c.text;
            EXPECT_EQ(parse(c.text, c.bytes - 1, offset).status, 4u) << c.text;
        }
    }
}

// Every capacity below a document's need fails with 4 and every one from it
// up gives the same tree, whatever the base's alignment.
TEST(JsonParse, EveryShortArenaFailsCleanly) {
    const std::string text = R"({"key \"one\"": ["a string long enough for word copies", -1.5e-3, {"k": [true, null]}],
                                 "\u00e9": "tail\u0000", "n": 123456789012345678901234})";
    const Parsed roomy = parse(text);
    ASSERT_EQ(roomy.status, 0u);
    const std::string expected = written(roomy.root);
    uint64_t need = 0;
    while (parse(text, need).status == 4u) ++need;
    ASSERT_GT(need, 2560u);
    for (size_t offset : {0, 1, 3}) {
        for (uint64_t capacity = 0; capacity < need; ++capacity) {
            ASSERT_EQ(parse(text, capacity, offset).status, 4u) << capacity;
        }
        for (uint64_t capacity = need; capacity < need + 16; ++capacity) {
            Parsed p = parse(text, capacity, offset);
            ASSERT_EQ(p.status, 0u) << capacity;
            ASSERT_EQ(written(p.root), expected);
        }
    }
}

} // namespace
