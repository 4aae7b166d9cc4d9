// TLV framing, byte search in both directions, dispatch matching, mirroring.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kelvra.h"

namespace {

const uint8_t *bytes(const std::string &s) { return reinterpret_cast<const uint8_t *>(s.data()); }
uint32_t size32(const std::string &s) { return static_cast<uint32_t>(s.size()); }

TEST(Tlv, FramesTagLengthValue) {
    struct Case { uint8_t tag; uint32_t length, capacity; kelvra_status status; std::vector<uint8_t> head; };
    const Case cases[] = {
        {0x07, 3, 8, 0, {7, 0, 0, 0, 3}}, {0x07, 3, 7, 4, {}}, {0xAB, 0, 5, 0, {0xAB, 0, 0, 0, 0}}, {1, 0, 4, 4, {}},
        {9, 0x01020304, 0x01020309, 0, {9, 1, 2, 3, 4}}, // every length byte, most significant first
        {1, 0xFFFFFFFFu, 4, 4, {}}, {1, 0xFFFFFFFDu, 0xFFFFFFFFu, 4, {}}, // the check must not wrap in 32 bits
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> value(c.status == 0 ? c.length : 3), out(c.status == 0 ? c.capacity : 16);
        for (size_t i = 0; i < value.size(); ++i) value[i] = static_cast<uint8_t>(i * 7 + 1);
        uint32_t length = 0;
        ASSERT_EQ(kelvra_tlv_pack(c.tag, c.length ? value.data() : nullptr, c.length, out.data(), c.capacity, &length),
                  c.status) << c.length << " in " << c.capacity;
        if (c.status != 0) continue;
        EXPECT_EQ(length, c.length + 5);
        EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 5), c.head);
        EXPECT_TRUE(std::equal(value.begin(), value.end(), out.begin() + 5)) << c.length;
    }
    uint8_t out[16];
    uint32_t n = 0;
    EXPECT_EQ(kelvra_tlv_pack(1, nullptr, 1, out, 16, &n), KELVRA_ERR_ARG);
}

// Edges, then periodic texts with long near-matches, where a plain scan turns
// quadratic and the searches hand over to Two-Way. Random texts over small
// alphabets are swept by fuzz/dispatch_match_fuzz.cpp.
TEST(ByteSearch, EdgesAndPeriodicNeedles) {
    const std::string a(200000, 'a'), a500(500, 'a');
    std::string abab;
    for (int i = 0; i < 50000; ++i) abab += (i % 7 == 6) ? "abc" : "ab";
    const std::pair<std::string, std::string> cases[] = {
        {"0123456789", ""}, {"", ""}, {"ab", "abc"}, {"", "a"}, {"aaa", "aa"}, {"abcabc", "abc"}, {"abcabc", "c"},
        {"xyz", "xyz"}, {std::string(40, 'a') + "b" + std::string(40, 'a'), "ab"}, {a.substr(0, 100), a.substr(0, 99)},
        {std::string("\0\xff\0\xff", 4), std::string("\xff\0", 2)}, {a, a.substr(0, 1000) + "b"},
        {a + "b", a.substr(0, 1000) + "b"}, {"b" + a, "b" + a.substr(0, 1000)}, {a, a500 + "b" + a500},
        {a + "b" + a, a500 + "b" + a500}, {abab, "ababab"}, {abab, "abcabababababababc"},
        {abab, "ababababababababababab"}, {abab, "bab"},
    };
    // Both directions against std::string's find and rfind, which try every start in order.
    const auto want = [](size_t at) { return at == std::string::npos ? KELVRA_NOT_FOUND : static_cast<uint32_t>(at); };
    for (const auto &[h, n] : cases) {
        uint32_t first = 0x1234, last = 0x1234;
        ASSERT_EQ(kelvra_byte_search(bytes(h), size32(h), bytes(n), size32(n), &first), KELVRA_OK);
        ASSERT_EQ(kelvra_byte_search_backward(bytes(h), size32(h), bytes(n), size32(n), &last), KELVRA_OK);
        EXPECT_EQ(first, want(h.find(n))) << "forward: " << h.size() << " / " << n;
        EXPECT_EQ(last, want(h.rfind(n))) << "backward: " << h.size() << " / " << n;
    }
}

// Patterns in priority order with their handlers; the handler, or -1 when nothing matched.
int64_t dispatch(const std::vector<std::pair<std::string, uint32_t>> &table, const std::string &text) {
    std::string blob;
    std::vector<uint32_t> offsets, lengths, handlers;
    for (const auto &[pattern, handler] : table) {
        offsets.push_back(size32(blob)), lengths.push_back(size32(pattern)), handlers.push_back(handler);
        blob += pattern;
    }
    blob += '#'; // never null
    uint8_t matched = 7;
    uint32_t handler = 7;
    EXPECT_EQ(kelvra_dispatch_match(bytes(text), size32(text), bytes(blob), offsets.data(), lengths.data(),
                                    handlers.data(), static_cast<uint32_t>(table.size()), &matched, &handler),
              KELVRA_OK);
    EXPECT_TRUE(matched != 0 || handler == 0) << "no handler without a match";
    return matched ? int64_t{handler} : -1;
}

TEST(Dispatch, TableOrderDecides) {
    struct Case { std::vector<std::pair<std::string, uint32_t>> table; std::string text; int64_t handler; };
    const Case cases[] = {
        {{{"lo", 1}, {"hel", 2}}, "hello", 1}, {{{"hel", 2}, {"lo", 1}}, "hello", 2}, {{{"xyz", 1}, {"", 9}}, "hello", 9},
        {{{"", 4}}, "", 4}, {{{"a", 1}}, "", -1}, {{{"abc", 1}, {"hellos", 2}}, "hello", -1}, {{}, "hello", -1},
    };
    for (const Case &c : cases) EXPECT_EQ(dispatch(c.table, c.text), c.handler) << c.text;
}

// Each missing output, array or text is refused, as is a pattern with bytes but no blob; an empty one still occurs.
TEST(Dispatch, ArgumentChecks) {
    uint8_t m = 3, t[] = {'h', 'i'};
    uint32_t h = 3, at = 0;
    const uint32_t zero[] = {0}, two[] = {2}, id[] = {5};
    EXPECT_EQ(kelvra_dispatch_match(t, 2, nullptr, nullptr, nullptr, nullptr, 0, &m, &h), KELVRA_OK);
    EXPECT_TRUE(m == 0 && h == 0);
    EXPECT_EQ(kelvra_dispatch_match(t, 2, t, zero, two, id, 1, nullptr, &h), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_dispatch_match(t, 2, t, nullptr, two, id, 1, &m, &h), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_dispatch_match(nullptr, 2, t, zero, two, id, 1, &m, &h), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_dispatch_match(t, 2, nullptr, zero, two, id, 1, &m, &h), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_dispatch_match(t, 2, nullptr, zero, zero, id, 1, &m, &h), KELVRA_OK);
    EXPECT_TRUE(m == 1 && h == 5);
    // The searches themselves: a null haystack with bytes; a null empty one is fine.
    for (auto search : {kelvra_byte_search, kelvra_byte_search_backward}) {
        EXPECT_EQ(search(nullptr, 1, t, 1, &at), KELVRA_ERR_ARG);
        EXPECT_EQ(search(nullptr, 0, t, 1, &at), KELVRA_OK);
        EXPECT_EQ(at, KELVRA_NOT_FOUND);
    }
}

TEST(Mirror, ReversesBytes) {
    uint8_t in[257], out[257] = {};
    for (size_t i = 0; i < sizeof in; ++i) in[i] = static_cast<uint8_t>(i * 31);
    for (const uint32_t n : {1u, 3u, 257u}) {
        ASSERT_EQ(kelvra_mirror_pattern(in, n, out), KELVRA_OK);
        for (uint32_t i = 0; i < n; ++i) ASSERT_EQ(out[i], in[n - 1 - i]) << n;
    }
    EXPECT_EQ(kelvra_mirror_pattern(nullptr, 0, nullptr), KELVRA_OK);
    EXPECT_EQ(kelvra_mirror_pattern(nullptr, 1, out), KELVRA_ERR_ARG);
}

} // namespace
