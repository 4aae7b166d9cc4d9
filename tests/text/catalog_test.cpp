// Catalog lookup by binary search and {name} template rendering.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "kelvra.h"

namespace {

const uint8_t *bytes(const std::string &s) { return reinterpret_cast<const uint8_t *>(s.data()); }
uint32_t size32(const std::string &s) { return static_cast<uint32_t>(s.size()); }

// A catalog in the caller's parallel-array form, from pairs in catalog order.
struct Table {
    std::string keys, values;
    std::vector<uint32_t> ko, kl, vo, vl; // key and value offsets and lengths
    explicit Table(const std::vector<std::pair<std::string, std::string>> &pairs) {
        for (const auto &[k, v] : pairs) {
            ko.push_back(size32(keys)), kl.push_back(size32(k)), vo.push_back(size32(values)), vl.push_back(size32(v));
            keys += k, values += v;
        }
        keys += '#', values += '#'; // no blob pointer is null
    }
    uint32_t count() const { return static_cast<uint32_t>(ko.size()); }
    std::string lookup(const std::string &key) const { // the value, or "<none>"
        uint8_t found = 9;
        uint32_t at = 9, length = 9;
        EXPECT_EQ(kelvra_catalog_lookup(bytes(key), size32(key), bytes(keys), ko.data(), kl.data(), vo.data(),
                                        vl.data(), count(), &found, &at, &length), KELVRA_OK);
        if (found != 0) return values.substr(at, length);
        EXPECT_EQ(at + length, 0u);
        return "<none>";
    }
    kelvra_status render(const std::string &tmpl, uint32_t capacity, std::string &out) const {
        std::vector<uint8_t> buffer(capacity + 1);
        uint32_t length = 77;
        const kelvra_status s = kelvra_template_render(bytes(tmpl), size32(tmpl), bytes(keys), ko.data(), kl.data(),
                                                       bytes(values), vo.data(), vl.data(), count(), buffer.data(),
                                                       capacity, &length);
        EXPECT_TRUE(s == KELVRA_OK || length == 0) << "a failed render leaves the length 0";
        out.assign(reinterpret_cast<const char *>(buffer.data()), length);
        return s;
    }
};

// Every key of up to 3 bytes over {0, 'a', 0xFF}, every other one in the
// catalog: bytes compare unsigned and a proper prefix sorts first, as in std::set.
TEST(Catalog, FindsKeysInCatalogOrder) {
    std::set<std::string> all{""};
    for (int round = 0; round < 3; ++round) {
        for (const std::string &k : std::set<std::string>(all)) {
            for (const char c : {'\0', 'a', '\xff'}) all.insert(k + c);
        }
    }
    std::vector<std::pair<std::string, std::string>> in;
    std::vector<std::string> out;
    for (const std::string &k : all) {
        if ((in.size() + out.size()) % 2 == 0) in.push_back({k, "v" + std::to_string(in.size())});
        else out.push_back(k);
    }
    const Table t(in);
    for (const auto &[k, v] : in) EXPECT_EQ(t.lookup(k), v) << k.size();
    for (const std::string &k : out) EXPECT_EQ(t.lookup(k), "<none>") << k.size();
}

// Count 0: nothing else is looked at. With entries, missing outputs, and a missing array, blob or key, are refused.
TEST(Catalog, ArgumentChecks) {
    const Table t({{"k", "v"}, {"l", "w"}});
    uint8_t found = 5;
    uint32_t at = 5, length = 5;
    const uint8_t key[] = {'k'};
    const auto lookup = [&](const uint8_t *k, uint32_t n, const uint8_t *blob, uint32_t count, uint8_t *out) {
        return kelvra_catalog_lookup(k, n, blob, count ? t.ko.data() : nullptr, t.kl.data(), t.vo.data(), t.vl.data(),
                                     count, out, &at, &length);
    };
    EXPECT_EQ(lookup(key, 1, nullptr, 0, &found), KELVRA_OK);
    EXPECT_EQ(found, 0);
    EXPECT_EQ(lookup(key, 1, bytes(t.keys), 1, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(lookup(key, 1, nullptr, 1, &found), KELVRA_ERR_ARG);
    EXPECT_EQ(lookup(nullptr, 1, bytes(t.keys), 1, &found), KELVRA_ERR_ARG);
    EXPECT_EQ(lookup(nullptr, 0, bytes(t.keys), 1, &found), KELVRA_OK) << "a null key of length 0 is the empty key";
    EXPECT_EQ(found, 0);
}

TEST(Template, RendersPlaceholdersWithinCapacity) {
    const Table t({{"", "E"}, {"a{b", "brace"}, {"name", "World"}, {"nothing", ""}, {"v", "12345"}});
    struct Case { std::string tmpl; uint32_t capacity; kelvra_status status; std::string out; };
    const Case cases[] = {
        {"Hello, {name}!", 64, 0, "Hello, World!"}, {"", 0, 0, ""}, {"no braces } here", 64, 0, "no braces } here"},
        {"{}", 64, 0, "E"}, {"[{a{b}]", 64, 0, "[brace]"}, {"x{nothing}y", 2, 0, "xy"},
        {"{name}{name}", 64, 0, "WorldWorld"}, {"ends with {", 64, 2, ""}, {"{name", 64, 2, ""},
        {"{unknown}", 64, 2, ""}, {"{Name}", 64, 2, ""},
        // The capacity exactly, and one byte less in text or in a value.
        {"ab{v}", 7, 0, "ab12345"}, {"ab{v}", 6, 4, ""}, {"abc{v}", 7, 4, ""}, {"abcdefgh", 7, 4, ""}, {"{v}x", 5, 4, ""},
    };
    for (const Case &c : cases) {
        std::string out;
        EXPECT_EQ(t.render(c.tmpl, c.capacity, out), c.status) << c.tmpl << " in " << c.capacity;
        EXPECT_EQ(out, c.out) << c.tmpl;
    }
}

// With entries, a missing blob or array is refused before the template is
// read or anything written; with none, nothing is needed.
TEST(Template, NullBlobRules) {
    const Table t({{"k", "v"}, {"l", "w"}});
    uint8_t out[8] = {};
    uint32_t length = 5;
    const uint8_t plain[] = {'x', 'y'}, braces[] = {'{', '}'}, *kb = bytes(t.keys), *vb = bytes(t.values);
    EXPECT_EQ(kelvra_template_render(plain, 2, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, out, 8, &length),
              KELVRA_OK);
    EXPECT_EQ(length, 2u);
    EXPECT_EQ(kelvra_template_render(braces, 2, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, out, 8, &length),
              KELVRA_ERR_DATA);
    for (int which = 0; which < 9; ++which) {
        const uint32_t *a[4] = {t.ko.data(), t.kl.data(), t.vo.data(), t.vl.data()};
        if (which >= 2 && which < 6) a[which - 2] = nullptr;
        out[0] = '-', length = 5;
        EXPECT_EQ(kelvra_template_render(which == 6 ? nullptr : plain, 2, which == 0 ? nullptr : kb, a[0], a[1],
                                         which == 1 ? nullptr : vb, a[2], a[3], 1, which == 7 ? nullptr : out, 8,
                                         which == 8 ? nullptr : &length), KELVRA_ERR_ARG) << which;
        EXPECT_EQ(out[0], '-') << which;
        EXPECT_EQ(length, which >= 7 ? 5u : 0u) << which; // no length without both outputs
    }
}

} // namespace
