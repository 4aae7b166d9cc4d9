// TLV framing, byte search in both directions, dispatch matching, mirroring.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "kelvra.h"

namespace {

const uint8_t *bytes(const std::string &s) { return reinterpret_cast<const uint8_t *>(s.data()); }
uint32_t size32(const std::string &s) { return static_cast<uint32_t>(s.size()); }

TEST(Tlv, FramesTagLengthValue) {
    uint8_t out[16] = {};
    uint32_t length = 0;
    const std::string abc = "abc";
    ASSERT_EQ(kelvra_tlv_pack(0x07, bytes(abc), 3, out, 8, &length), KELVRA_OK);
    EXPECT_EQ(std::vector<uint8_t>(out, out + length), (std::vector<uint8_t>{7, 0, 0, 0, 3, 'a', 'b', 'c'}));
    EXPECT_EQ(kelvra_tlv_pack(0x07, bytes(abc), 3, out, 7, &length), KELVRA_ERR_CAPACITY);
    ASSERT_EQ(kelvra_tlv_pack(0xAB, nullptr, 0, out, 5, &length), KELVRA_OK);
    EXPECT_EQ(std::vector<uint8_t>(out, out + length), (std::vector<uint8_t>{0xAB, 0, 0, 0, 0}));
    EXPECT_EQ(kelvra_tlv_pack(1, nullptr, 0, out, 4, &length), KELVRA_ERR_CAPACITY);
    EXPECT_EQ(kelvra_tlv_pack(1, nullptr, 1, out, 16, &length), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_tlv_pack(1, bytes(abc), 3, nullptr, 16, &length), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_tlv_pack(1, bytes(abc), 3, out, 16, nullptr), KELVRA_ERR_ARG);
    // The length check must not wrap in 32 bits.
    EXPECT_EQ(kelvra_tlv_pack(1, bytes(abc), 0xFFFFFFFFu, out, 4, &length), KELVRA_ERR_CAPACITY);
    EXPECT_EQ(kelvra_tlv_pack(1, bytes(abc), 0xFFFFFFFDu, out, 0xFFFFFFFFu, &length), KELVRA_ERR_CAPACITY);
}

TEST(Tlv, LengthIsBigEndian) {
    const uint32_t value_length = 0x01020304;
    std::vector<uint8_t> value(value_length, 0x5A), out(value_length + 5);
    uint32_t length = 0;
    ASSERT_EQ(kelvra_tlv_pack(9, value.data(), value_length, out.data(), value_length + 5, &length), KELVRA_OK);
    EXPECT_EQ(length, value_length + 5);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 5), (std::vector<uint8_t>{9, 1, 2, 3, 4}));
    EXPECT_EQ(out.back(), 0x5A);
}

// Trying every start position in order, as the results are defined.
uint32_t naive_first(const std::string &h, const std::string &n) {
    if (n.size() > h.size()) return KELVRA_NOT_FOUND;
    for (size_t s = 0; s + n.size() <= h.size(); ++s) {
        if (h.compare(s, n.size(), n) == 0) return static_cast<uint32_t>(s);
    }
    return KELVRA_NOT_FOUND;
}
uint32_t naive_last(const std::string &h, const std::string &n) {
    if (n.size() > h.size()) return KELVRA_NOT_FOUND;
    for (size_t s = h.size() - n.size() + 1; s-- > 0;) {
        if (h.compare(s, n.size(), n) == 0) return static_cast<uint32_t>(s);
    }
    return KELVRA_NOT_FOUND;
}

uint32_t first(const std::string &h, const std::string &n) {
    uint32_t at = 0x1234;
    EXPECT_EQ(kelvra_byte_search(bytes(h), size32(h), bytes(n), size32(n), &at), KELVRA_OK);
    return at;
}
uint32_t last(const std::string &h, const std::string &n) {
    uint32_t at = 0x1234;
    EXPECT_EQ(kelvra_byte_search_backward(bytes(h), size32(h), bytes(n), size32(n), &at), KELVRA_OK);
    return at;
}

TEST(ByteSearch, EdgeCases) {
    struct Case {
        std::string hay, needle;
        uint32_t first, last;
    };
    const uint32_t none = KELVRA_NOT_FOUND;
    const Case cases[] = {
        {"0123456789", "", 0, 10},
        {"", "", 0, 0},
        {"ab", "abc", none, none},
        {"", "a", none, none},
        {"aaa", "aa", 0, 1},
        {"abcabc", "abc", 0, 3},
        {"abcabc", "c", 2, 5},
        {"xyz", "xyz", 0, 0},
        {std::string(40, 'a') + "b" + std::string(40, 'a'), "ab", 39, 39},
        {std::string(100, 'a'), std::string(99, 'a'), 0, 1},
        {std::string("\0\xff\0\xff", 4), std::string("\xff\0", 2), 1, 1},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(first(c.hay, c.needle), c.first) << c.hay << " / " << c.needle;
        EXPECT_EQ(last(c.hay, c.needle), c.last) << c.hay << " / " << c.needle;
    }
}

TEST(ByteSearch, ArgumentChecks) {
    uint32_t at = 0;
    const uint8_t x[] = {'x'};
    for (auto search : {kelvra_byte_search, kelvra_byte_search_backward}) {
        EXPECT_EQ(search(x, 1, x, 1, nullptr), KELVRA_ERR_ARG);
        EXPECT_EQ(search(x, 1, nullptr, 1, &at), KELVRA_ERR_ARG);
        EXPECT_EQ(search(nullptr, 1, x, 1, &at), KELVRA_ERR_ARG);
        EXPECT_EQ(search(nullptr, 0, nullptr, 0, &at), KELVRA_OK);
        EXPECT_EQ(search(nullptr, 0, x, 1, &at), KELVRA_OK);
        EXPECT_EQ(at, KELVRA_NOT_FOUND);
    }
}

// Periodic texts with long near-matches are where a plain scan turns
// quadratic and where the handover to Two-Way happens.
TEST(ByteSearch, PeriodicNeedlesAndTexts) {
    const std::string a = std::string(200000, 'a');
    const std::pair<std::string, std::string> cases[] = {
        {a, std::string(1000, 'a') + "b"},
        {a + "b", std::string(1000, 'a') + "b"},
        {"b" + a, "b" + std::string(1000, 'a')},
        {a, std::string(500, 'a') + "b" + std::string(500, 'a')},
        {a + "b" + a, std::string(500, 'a') + "b" + std::string(500, 'a')},
    };
    for (const auto &[h, n] : cases) {
        EXPECT_EQ(first(h, n), naive_first(h, n)) << n.size();
        EXPECT_EQ(last(h, n), naive_last(h, n)) << n.size();
    }
    std::string abab;
    for (int i = 0; i < 50000; ++i) abab += (i % 7 == 6) ? "abc" : "ab";
    for (const std::string &n : {std::string("ababab"), std::string("abcabababababababc"),
                                 std::string("ababababababababababab"), std::string("bab")}) {
        EXPECT_EQ(first(abab, n), naive_first(abab, n)) << n;
        EXPECT_EQ(last(abab, n), naive_last(abab, n)) << n;
    }
}

// A modest random sweep over small alphabets, where overlaps and periodic
// needles are common; the fuzz target sweeps much further.
TEST(ByteSearch, RandomInputsAgainstTheNaiveScan) {
    std::mt19937 rng(2024);
    for (int round = 0; round < 3000; ++round) {
        const int alphabet = 1 + static_cast<int>(rng() % 3);
        std::string h(rng() % 300, 'a'), n(rng() % 12, 'a');
        for (char &c : h) c = static_cast<char>('a' + rng() % alphabet);
        for (char &c : n) c = static_cast<char>('a' + rng() % alphabet);
        if (round % 3 == 0 && !h.empty()) { // a needle cut from the haystack
            const size_t from = rng() % h.size();
            n = h.substr(from, rng() % 40);
        }
        ASSERT_EQ(first(h, n), naive_first(h, n)) << h << " / " << n;
        ASSERT_EQ(last(h, n), naive_last(h, n)) << h << " / " << n;
    }
}

// A table in the caller's form: patterns in priority order, with handlers.
struct Dispatch {
    std::string blob;
    std::vector<uint32_t> offsets, lengths, handlers;
    explicit Dispatch(const std::vector<std::pair<std::string, uint32_t>> &table) {
        for (const auto &[pattern, handler] : table) {
            offsets.push_back(size32(blob));
            lengths.push_back(size32(pattern));
            handlers.push_back(handler);
            blob += pattern;
        }
        blob += '#';
    }
    // The handler, or -1 when nothing matched.
    int64_t match(const std::string &text) const {
        uint8_t matched = 7;
        uint32_t handler = 7;
        EXPECT_EQ(kelvra_dispatch_match(bytes(text), size32(text), bytes(blob), offsets.data(), lengths.data(),
                                        handlers.data(), static_cast<uint32_t>(offsets.size()), &matched, &handler),
                  KELVRA_OK);
        if (matched == 0) {
            EXPECT_EQ(handler, 0u);
            return -1;
        }
        return handler;
    }
};

TEST(Dispatch, TableOrderDecides) {
    struct Case {
        std::vector<std::pair<std::string, uint32_t>> table;
        std::string text;
        int64_t handler;
    };
    const Case cases[] = {
        {{{"lo", 1}, {"hel", 2}}, "hello", 1},
        {{{"hel", 2}, {"lo", 1}}, "hello", 2},
        {{{"xyz", 1}, {"", 9}}, "hello", 9},
        {{{"", 9}, {"hello", 1}}, "hello", 9},
        {{{"", 4}}, "", 4},
        {{{"a", 1}}, "", -1},
        {{{"abc", 1}, {"hellos", 2}}, "hello", -1},
        {{}, "hello", -1},
    };
    for (const Case &c : cases) EXPECT_EQ(Dispatch(c.table).match(c.text), c.handler) << c.text;
}

TEST(Dispatch, ArgumentChecks) {
    uint8_t matched = 3;
    uint32_t handler = 3;
    const uint8_t text[] = {'h', 'i'};
    const uint32_t zero[] = {0}, two[] = {2}, id[] = {5};
    EXPECT_EQ(kelvra_dispatch_match(text, 2, nullptr, nullptr, nullptr, nullptr, 0, &matched, &handler), KELVRA_OK);
    EXPECT_EQ(matched, 0);
    EXPECT_EQ(handler, 0u);
    EXPECT_EQ(kelvra_dispatch_match(text, 2, text, zero, two, id, 1, nullptr, &handler), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_dispatch_match(text, 2, text, zero, two, id, 1, &matched, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_dispatch_match(text, 2, text, nullptr, two, id, 1, &matched, &handler), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_dispatch_match(text, 2, text, zero, nullptr, id, 1, &matched, &handler), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_dispatch_match(text, 2, text, zero, two, nullptr, 1, &matched, &handler), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_dispatch_match(nullptr, 2, text, zero, two, id, 1, &matched, &handler), KELVRA_ERR_ARG);
    // A missing pattern blob: a pattern with bytes is refused by the search,
    // an empty one still occurs.
    EXPECT_EQ(kelvra_dispatch_match(text, 2, nullptr, zero, two, id, 1, &matched, &handler), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_dispatch_match(text, 2, nullptr, zero, zero, id, 1, &matched, &handler), KELVRA_OK);
    EXPECT_EQ(matched, 1);
    EXPECT_EQ(handler, 5u);
}

TEST(Mirror, ReversesBytes) {
    uint8_t out[300] = {};
    const uint8_t in[] = {1, 2, 3};
    ASSERT_EQ(kelvra_mirror_pattern(in, 3, out), KELVRA_OK);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 3), (std::vector<uint8_t>{3, 2, 1}));
    std::vector<uint8_t> long_in(257);
    for (size_t i = 0; i < long_in.size(); ++i) long_in[i] = static_cast<uint8_t>(i * 31);
    ASSERT_EQ(kelvra_mirror_pattern(long_in.data(), 257, out), KELVRA_OK);
    for (size_t i = 0; i < 257; ++i) ASSERT_EQ(out[i], long_in[256 - i]);
    EXPECT_EQ(kelvra_mirror_pattern(nullptr, 0, nullptr), KELVRA_OK);
    EXPECT_EQ(kelvra_mirror_pattern(nullptr, 1, out), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_mirror_pattern(in, 1, nullptr), KELVRA_ERR_ARG);
}

} // namespace
