// The TOML parser: argument and arena statuses, exact arena use at odd bases,
// statements, values and limits, the float procedure's own bits, and lookup.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "kelvra.h"
#include "text/toml_dump.hpp"

namespace {

using kelvra_test::toml_dump;

// A parse of a copy of the text that ends exactly at its last byte, into an
// arena of exactly `capacity` bytes starting `offset` bytes past an aligned
// address, so the sanitizers see any byte touched past either.
struct Parsed {
    std::unique_ptr<uint8_t[]> storage;
    kelvra_toml_value *root = nullptr;
    kelvra_status status = 0;
};

Parsed parse(const std::string &text, uint64_t capacity = 1 << 16, size_t offset = 0) {
    const std::unique_ptr<uint8_t[]> input(new uint8_t[text.size()]);
    std::memcpy(input.get(), text.data(), text.size());
    Parsed p;
    p.storage.reset(new uint8_t[capacity + offset]);
    std::memset(p.storage.get(), 0xA5, capacity + offset);
    p.status = kelvra_toml_parse(input.get(), text.size(), p.storage.get() + offset, capacity, &p.root);
    return p;
}

// The tree's dump, or "!N" for status N (which leaves the root null).
std::string outcome(const std::string &text, uint64_t capacity = 1 << 16, size_t offset = 0) {
    const Parsed p = parse(text, capacity, offset);
    if (p.status == 0) return toml_dump(p.root);
    EXPECT_EQ(p.root, nullptr) << text;
    return "!" + std::to_string(p.status);
}

struct Case {
    std::string text, expected;
};

void expect_cases(std::initializer_list<Case> cases) {
    for (const Case &c : cases) EXPECT_EQ(outcome(c.text), c.expected) << c.text;
}

std::string repeat(const std::string &part, int times, const std::string &separator = "") {
    std::string out;
    for (int i = 0; i < times; ++i) out += (i ? separator : "") + part;
    return out;
}

TEST(TomlParse, ArgumentChecksComeFirst) {
    const uint8_t text[] = "a = 1";
    uint8_t arena[512];
    kelvra_toml_value *root = reinterpret_cast<kelvra_toml_value *>(&root);
    kelvra_toml_value *const untouched = root;
    EXPECT_EQ(kelvra_toml_parse(text, 5, nullptr, 0, &root), 1u) << "a null arena is refused even when empty";
    EXPECT_EQ(root, untouched) << "status 1 leaves the root alone";
    EXPECT_EQ(kelvra_toml_parse(nullptr, 0, arena, sizeof arena, &root), 0u) << "null input of length 0 is empty";
    EXPECT_EQ(toml_dump(root), "{}");
    EXPECT_EQ(kelvra_toml_parse(text, 4, arena, sizeof arena, &root), 2u) << "bytes beyond the length are not read";
    EXPECT_EQ(root, nullptr) << "a failure past the argument checks leaves the root null";
}

// The sums follow the block sizes documented in toml.cpp: exactly the sum
// gives the same tree at any arena base, one byte less gives 4.
TEST(TomlParse, ArenaExactlyAtCapacity) {
    const struct { const char *text; uint64_t bytes; } cases[] = {
        {" # only a comment\n", 24 + 32},
        // root builder; key "hermitian"; implicit table (builder, node, member); key "max_nodes"; the pair;
        // root record, root keys+values; hermitian's record, keys+values; max_nodes's record
        {"[hermitian]\nmax_nodes = 4096\n", 24 + 16 + (24 + 72 + 24) + 16 + 96 + 32 + 16 + 32 + 16 + 32},
        // key; the string's block from its quote to the end (5 bytes); pair; conversion
        {"s = \"ab\"\n", 24 + 8 + 8 + 96 + 32 + 16 + 32},
        // multi-line: the 6 bytes after the opening delimiter, plus 1
        {"s = '''abc'''", 24 + 8 + 8 + 96 + 32 + 16 + 32},
        // key; two elements of link + record; items; pair; conversion
        {"a = [1, 2.5]", 24 + 8 + 2 * (16 + 32) + 16 + 96 + 32 + 16 + 32},
        // key; inline builder; key "x"; inner pair; its conversion (keys, values, record); outer pair; conversion
        {"t = {x = true}", 24 + 8 + 24 + 8 + 96 + (16 + 32) + 96 + 32 + 16 + 32},
        // two headers [[t]]: key, node + member, builder + element; key, builder + element;
        // conversion: root record, keys+values, t's record, items (2), two element records
        {"[[t]]\n[[t]]", 24 + 8 + 96 + 40 + 8 + 40 + 32 + 16 + 32 + 16 + 2 * 32},
    };
    for (const auto &c : cases) {
        const std::string tree = outcome(c.text);
        for (size_t offset : {0, 1, 3}) {
            EXPECT_EQ(outcome(c.text, c.bytes, offset), tree) << c.text << " at +" << offset;
            EXPECT_EQ(outcome(c.text, c.bytes - 1, offset), "!4") << c.text << " at +" << offset;
        }
    }
}

TEST(TomlParse, Statements) {
    expect_cases({
        {" \t\r\n# c\n#", "{}"},
        {"a.b.c = 1\n[a]\nd = 3", "{a={b={c=1},d=3}}"},
        {"[a]\nx = 1\n[b]\n[a]\ny = 2", "{a={x=1,y=2},b={}}"},
        {"[[t]]\nn = 1\n[[t]]\nn = 2\n[t.sub]\nk = 3", "{t=[{n=1},{n=2,sub={k=3}}]}"},
        {"[ a . b ]\n[[ c ]]", "{a={b={}},c=[{}]}"},
        {"a = 1\rb = 2", "{a=1,b=2}"},
        {"a = 1 # a comment runs to the line feed\rb = 2", "{a=1}"},
        {"a = [ # c\n 1, # d\n 'x', [], [true], {}, ]", "{a=[1,\"x\",[],[true],{}]}"},
        {"a = [1 2,]", "{a=[1,2]}"},
        {"a = {x = 1 y = {z = 'w'},}", "{a={x=1,y={z=\"w\"}}}"},
        {"a = {\n x = 1, # c\n}", "{a={x=1}}"},
        // Refused with 2 (the corpus sweeps more); several end exactly at the input's end.
        {"a = 1\na = 2", "!2"}, {"a.b = 1\na = 2", "!2"}, {"a = {x = 1}\na.y = 2", "!2"}, {"[t]\n[[t]]", "!2"},
        {"a = {x = 1}\n[a]", "!2"}, {"a = 1 b = 2", "!2"}, {"\"a\" = 1", "!2"}, {"a.\"b\" = 1", "!2"},
        {"a = {\"b\" = 1}", "!2"}, {"a.= 1", "!2"}, {"a 1", "!2"}, {"a =\n1", "!2"}, {"a = # none\n", "!2"},
        {"a =", "!2"}, {"[a", "!2"}, {"[[a]", "!2"}, {"[[a] ]", "!2"}, {"[]", "!2"}, {"[a] x", "!2"},
        {"\xEF\xBB\xBF" "a = 1", "!2"}, {"a = [,]", "!2"}, {"a = [1,,2]", "!2"}, {"a = [1", "!2"},
        {"a = {x.y = 1}", "!2"}, {"a = {x = 1, x = 2}", "!2"}, {"a = {x = 1", "!2"}, {"a = {x =\n1}", "!2"},
    });
}

// 64 nested arrays or inline tables, 63 tables below the root, 64 key parts,
// and one level less for an array of tables' elements are allowed, not one more.
TEST(TomlParse, NestingLimits) {
    const std::function<std::string(int)> nested[] = {
        [](int n) { return "a = " + repeat("[", n) + repeat("]", n); },
        [](int n) { return "a = " + repeat("{b = ", n) + "1" + repeat("}", n); },
        [](int n) { return "[" + repeat("t", n - 1, ".") + "]"; },
        [](int n) { return repeat("t", n, " . ") + " = 1"; },
        [](int n) { return "[[" + repeat("t", n - 2, ".") + "]]"; },
    };
    for (const auto &text : nested) {
        EXPECT_EQ(outcome(text(64)).substr(0, 1), "{") << text(64);
        EXPECT_EQ(outcome(text(65)), "!4") << text(65);
    }
    EXPECT_EQ(outcome("a = " + repeat("[", 70)), "!4") << "the depth check comes before the end";
}

// Numbers, booleans and strings. Floats follow the library's fixed procedure,
// which is not correctly rounded: 1e308, 6.626e-34 and the largest double come out a few units off.
TEST(TomlParse, Values) {
    expect_cases({
        {"n = [_1__2_, +17, -0, 007]", "{n=[12,17,0,7]}"},
        {"n = [9223372036854775807, -9223372036854775808]", "{n=[9223372036854775807,-9223372036854775808]}"},
        {"n = 9223372036854775808", "!4"}, {"n = -9223372036854775809", "!4"}, {"n = 18446744073709551616", "!4"},
        {"n = 99999999999999999999-", "!2"}, // the spelling is checked before the size
        {"n = 0x10", "!2"}, {"n = inf", "!2"}, {"n = 1979-05-27", "!2"}, {"n = -", "!2"},
        {"n = [true, false]", "{n=[true,false]}"}, {"n = tru", "!2"}, {"n = truex", "!2"},
        // 63 significant characters are kept; underscores do not count.
        {"n = " + std::string(62, '0') + "1", "{n=1}"},
        {"n = " + repeat("0", 63, "_") + "_", "{n=0}"},
        {"n = " + std::string(63, '0') + "1", "!2"},
        {"f = [1.5e3, .5, 5., -.5e1, -0.0, 1E2, 1e-400]", "{f=[1500f,0.5f,5f,-5f,-0f,100f,0f]}"},
        {"f = [3.141_592, 6.626e-34]", "{f=[3.1415920000000002f,6.626000000000005e-34f]}"},
        {"f = [1e308, 1.7976931348623157e308]", "{f=[9.9999999999999981e+307f,1.7976931348623145e+308f]}"},
        {"f = [9.99e308, -1e-99999999999999999999999999]", "{f=[inff,-0f]}"},
        {"f = 1e309", "!4"}, {"f = 0e309", "!4"}, {"f = 1e+", "!2"}, {"f = 1e+-5", "!2"},
        {"f = 1.2.3", "!2"}, {"f = .", "!2"},
        // Strings.
        {"s = \"a\\\"b\\\\c\\b\\f\\n\\r\\t\"", "{s=\"a\"b\\x5Cc\\x08\\x0C\\x0A\\x0D\\x09\"}"},
        {"s = \"\\u00E9\\u00e9\\u0041\\u20AC\\u0000\"", "{s=\"\\xC3\\xA9\\xC3\\xA9A\\xE2\\x82\\xAC\\x00\"}"},
        {"s = \"a\tb\rc\x01\"", "{s=\"a\\x09b\\x0Dc\\x01\"}"},
        {"s = ['a\\n', '', \"\"]", "{s=[\"a\\x5Cn\",\"\",\"\"]}"},
        {"s = \"\"\"\r\nline\r\nnext\rx\"\"\"", "{s=\"line\\x0Anext\\x0Dx\"}"},
        {"s = \"\"\"\nx\\ty\"\"\"", "{s=\"x\\x09y\"}"},
        {"s = \"\"\"a\"\"b\"\"\"", "{s=\"a\"\"b\"}"},
        {"s = \"\"\"a\\\"\"\"\"", "{s=\"a\"\"}"},
        {"s = '''\n\\n'''", "{s=\"\\x5Cn\"}"},
        {"s = \"\\uD800\"", "!2"}, {"s = \"\\uDFFF\"", "!2"}, {"s = \"\\U000000E9\"", "!2"},
        {"s = \"\\u12G4\"", "!2"}, {"s = \"\\u12\"", "!2"}, {"s = \"\\", "!2"},
        {"s = \"a\nb\"", "!2"}, {"s = \"abc", "!2"}, {"s = \"\"\"a\\\nb\"\"\"", "!2"},
        {"s = \"\"\"a\"\"\"\"", "!2"}, {"s = '''abc''", "!2"}, {"s = \"\"\"", "!2"},
        {"s = \"\"\"\r", "!2"},
    });
}

TEST(TomlTableGet, FindsMembersByExactKey) {
    const Parsed p = parse("[hermitian]\nmax_nodes = 4096\nmax = 1\n", 4096, 1), empty = parse("");
    ASSERT_EQ(p.status, 0u);
    const kelvra_toml_value *table = kelvra_toml_table_get(p.root, "hermitian");
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(toml_dump(kelvra_toml_table_get(table, "max_nodes")), "4096");
    EXPECT_EQ(toml_dump(kelvra_toml_table_get(table, "max")), "1");
    // Near misses, a null key or table, a value that is not a table, an empty table.
    const std::pair<const kelvra_toml_value *, const char *> misses[] = {
        {table, "max_node"}, {table, "Max"}, {table, nullptr}, {nullptr, "max"},
        {kelvra_toml_table_get(table, "max"), "max"}, {empty.root, ""}};
    for (const auto &[in, key] : misses) EXPECT_EQ(kelvra_toml_table_get(in, key), nullptr) << (key ? key : "null");
}

} // namespace
