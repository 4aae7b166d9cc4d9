// Catalog lookup by binary search and {name} template rendering.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "kelvra.h"

namespace {

// A catalog in the caller's parallel-array form, built from sorted pairs.
struct Table {
    std::string keys, values;
    std::vector<uint32_t> key_offsets, key_lengths, value_offsets, value_lengths;

    using Pairs = std::vector<std::pair<std::string, std::string>>;
    explicit Table(const Pairs &pairs) {
        for (const auto &[k, v] : pairs) {
            key_offsets.push_back(static_cast<uint32_t>(keys.size()));
            key_lengths.push_back(static_cast<uint32_t>(k.size()));
            keys += k;
            value_offsets.push_back(static_cast<uint32_t>(values.size()));
            value_lengths.push_back(static_cast<uint32_t>(v.size()));
            values += v;
        }
        keys += '#'; // never empty, so the blob pointer is never null
        values += '#';
    }
    uint32_t count() const { return static_cast<uint32_t>(key_offsets.size()); }
    const uint8_t *key_blob() const { return reinterpret_cast<const uint8_t *>(keys.data()); }
    const uint8_t *value_blob() const { return reinterpret_cast<const uint8_t *>(values.data()); }

    // The found value's text, or "<none>"; the status goes to `status`.
    std::string lookup(const std::string &key, kelvra_status &status) const {
        uint8_t found = 9;
        uint32_t offset = 9, length = 9;
        status = kelvra_catalog_lookup(reinterpret_cast<const uint8_t *>(key.data()), static_cast<uint32_t>(key.size()),
                                       key_blob(), key_offsets.data(), key_lengths.data(), value_offsets.data(),
                                       value_lengths.data(), count(), &found, &offset, &length);
        if (found == 0) {
            EXPECT_EQ(offset, 0u);
            EXPECT_EQ(length, 0u);
            return "<none>";
        }
        return values.substr(offset, length);
    }

    kelvra_status render(const std::string &tmpl, uint32_t capacity, std::string &out) const {
        std::vector<uint8_t> buffer(capacity + 1);
        uint32_t length = 77;
        const kelvra_status s = kelvra_template_render(
            reinterpret_cast<const uint8_t *>(tmpl.data()), static_cast<uint32_t>(tmpl.size()), key_blob(),
            key_offsets.data(), key_lengths.data(), value_blob(), value_offsets.data(), value_lengths.data(),
            count(), buffer.data(), capacity, &length);
        if (s != KELVRA_OK) {
            EXPECT_EQ(length, 0u) << "a failed render leaves the length 0";
        }
        out.assign(reinterpret_cast<const char *>(buffer.data()), length);
        return s;
    }
};

TEST(Catalog, FindsKeysInCatalogOrder) {
    const Table t(Table::Pairs{{"", "empty"}, {"ab", "1"}, {"abc", "2"}, {"b", "3"}, {"\x7f", "del"}, {"\xff", "high"}});
    const std::pair<std::string, std::string> cases[] = {
        {"abc", "2"}, {"ab", "1"}, {"b", "3"}, {"", "empty"}, {"\xff", "high"}, {"\x7f", "del"},
        {"a", "<none>"}, {"abcd", "<none>"}, {"c", "<none>"}, {"\x80", "<none>"}, {"B", "<none>"},
    };
    for (const auto &[key, value] : cases) {
        kelvra_status s = 9;
        EXPECT_EQ(t.lookup(key, s), value) << key;
        EXPECT_EQ(s, KELVRA_OK);
    }
}

TEST(Catalog, ArgumentChecks) {
    const Table t(Table::Pairs{{"k", "v"}});
    uint8_t found = 5;
    uint32_t offset = 5, length = 5;
    const uint8_t key[] = {'k'};
    // Count 0: the arrays are not looked at.
    EXPECT_EQ(kelvra_catalog_lookup(key, 1, nullptr, nullptr, nullptr, nullptr, nullptr, 0, &found, &offset, &length),
              KELVRA_OK);
    EXPECT_EQ(found, 0);
    EXPECT_EQ(kelvra_catalog_lookup(key, 1, t.key_blob(), t.key_offsets.data(), t.key_lengths.data(),
                                    t.value_offsets.data(), t.value_lengths.data(), 1, nullptr, &offset, &length),
              KELVRA_ERR_ARG);
    const uint8_t *blobs[] = {t.key_blob(), nullptr};
    const uint32_t *arrays[] = {t.key_offsets.data(), nullptr};
    for (int which = 0; which < 6; ++which) {
        const uint32_t *a[4] = {arrays[0], t.key_lengths.data(), t.value_offsets.data(), t.value_lengths.data()};
        const uint8_t *blob = blobs[which == 4 ? 1 : 0];
        const uint8_t *k = which == 5 ? nullptr : key;
        if (which < 4) a[which] = nullptr;
        EXPECT_EQ(kelvra_catalog_lookup(k, 1, blob, a[0], a[1], a[2], a[3], 1, &found, &offset, &length),
                  KELVRA_ERR_ARG)
            << which;
    }
    // A null key of length 0 is the empty key.
    EXPECT_EQ(kelvra_catalog_lookup(nullptr, 0, t.key_blob(), t.key_offsets.data(), t.key_lengths.data(),
                                    t.value_offsets.data(), t.value_lengths.data(), 1, &found, &offset, &length),
              KELVRA_OK);
    EXPECT_EQ(found, 0);
}

// Every key of a random sorted catalog is found, and keys between them are not.
TEST(Catalog, RandomCatalogsAgainstAMap) {
    std::mt19937 rng(7);
    for (int round = 0; round < 50; ++round) {
        std::map<std::string, std::string> pairs;
        const int n = static_cast<int>(rng() % 200);
        for (int i = 0; i < n; ++i) {
            std::string k(rng() % 5, '\0');
            for (char &c : k) c = static_cast<char>("ab\x00\xff"[rng() % 4]);
            pairs[k] = std::to_string(i);
        }
        const Table t(Table::Pairs(pairs.begin(), pairs.end()));
        for (int probe = 0; probe < 100; ++probe) {
            std::string k(rng() % 6, '\0');
            for (char &c : k) c = static_cast<char>("ab\x00\xff"[rng() % 4]);
            const auto it = pairs.find(k);
            kelvra_status s = 9;
            EXPECT_EQ(t.lookup(k, s), it == pairs.end() ? "<none>" : it->second);
            EXPECT_EQ(s, KELVRA_OK);
        }
    }
}

TEST(Template, RendersPlaceholders) {
    const Table t(Table::Pairs{{"", "E"}, {"a{b", "brace"}, {"name", "World"}, {"nothing", ""}});
    struct Case {
        std::string tmpl;
        kelvra_status status;
        std::string out;
    };
    const Case cases[] = {
        {"Hello, {name}!", 0, "Hello, World!"},
        {"", 0, ""},
        {"no braces } here", 0, "no braces } here"},
        {"{}", 0, "E"},
        {"[{a{b}]", 0, "[brace]"},
        {"x{nothing}y", 0, "xy"},
        {"{name}{name}", 0, "WorldWorld"},
        {"ends with {", 2, ""},
        {"{name", 2, ""},
        {"{unknown}", 2, ""},
        {"}", 0, "}"},
    };
    for (const Case &c : cases) {
        std::string out;
        EXPECT_EQ(t.render(c.tmpl, 64, out), c.status) << c.tmpl;
        if (c.status == 0) {
            EXPECT_EQ(out, c.out) << c.tmpl;
        }
    }
}

TEST(Template, OutputCapacityIsExact) {
    const Table t(Table::Pairs{{"v", "12345"}});
    std::string out;
    EXPECT_EQ(t.render("ab{v}", 7, out), KELVRA_OK);
    EXPECT_EQ(out, "ab12345");
    EXPECT_EQ(t.render("ab{v}", 6, out), KELVRA_ERR_CAPACITY);
    EXPECT_EQ(t.render("abc{v}", 7, out), KELVRA_ERR_CAPACITY);
    EXPECT_EQ(t.render("abcdefgh", 7, out), KELVRA_ERR_CAPACITY);
    EXPECT_EQ(t.render("{v}x", 5, out), KELVRA_ERR_CAPACITY);
    EXPECT_EQ(t.render("", 0, out), KELVRA_OK);
}

TEST(Template, ArgumentChecksComeFirst) {
    const Table t(Table::Pairs{{"k", "v"}});
    uint8_t out[8] = {};
    uint32_t length = 5;
    const uint8_t plain[] = {'x', 'y'};
    // An empty catalog: plain text is copied, a placeholder is unknown.
    EXPECT_EQ(kelvra_template_render(plain, 2, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, out, 8, &length),
              KELVRA_OK);
    EXPECT_EQ(length, 2u);
    const uint8_t braces[] = {'{', '}'};
    EXPECT_EQ(kelvra_template_render(braces, 2, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, out, 8, &length),
              KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_template_render(plain, 2, t.key_blob(), t.key_offsets.data(), t.key_lengths.data(),
                                     t.value_blob(), t.value_offsets.data(), t.value_lengths.data(), 1, nullptr, 8,
                                     &length),
              KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_template_render(nullptr, 1, t.key_blob(), t.key_offsets.data(), t.key_lengths.data(),
                                     t.value_blob(), t.value_offsets.data(), t.value_lengths.data(), 1, out, 8,
                                     &length),
              KELVRA_ERR_ARG);
    // A catalog with entries but a missing blob or array is refused before
    // the template is read or anything is written.
    for (int which = 0; which < 6; ++which) {
        const uint8_t *kb = which == 0 ? nullptr : t.key_blob();
        const uint8_t *vb = which == 1 ? nullptr : t.value_blob();
        const uint32_t *a[4] = {t.key_offsets.data(), t.key_lengths.data(), t.value_offsets.data(),
                                t.value_lengths.data()};
        if (which >= 2) a[which - 2] = nullptr;
        out[0] = '-';
        EXPECT_EQ(kelvra_template_render(plain, 2, kb, a[0], a[1], vb, a[2], a[3], 1, out, 8, &length), KELVRA_ERR_ARG)
            << which;
        EXPECT_EQ(out[0], '-') << which;
        EXPECT_EQ(length, 0u);
    }
}

} // namespace
