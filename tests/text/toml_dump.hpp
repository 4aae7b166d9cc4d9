// A compact dump of a parsed TOML tree, for the parser's unit and corpus
// tests: {k=v,...}, [v,...], integers, booleans, floats as "%.*g" with an 'f'
// suffix, strings quoted with bytes outside 0x20-0x7E and '\' as \xHH. Fields
// are read through memcpy: records may sit at any address.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "text/toml_record.hpp"

namespace kelvra_test {

inline std::string toml_quote(const uint8_t *bytes, size_t length) {
    std::string out = "\"";
    char hex[8];
    for (size_t i = 0; i < length; ++i) {
        const bool plain = bytes[i] >= 0x20 && bytes[i] < 0x7F && bytes[i] != '\\';
        std::snprintf(hex, sizeof hex, plain ? "%c" : "\\x%02X", bytes[i]);
        out += hex;
    }
    return out + "\"";
}

inline std::string toml_float(double v, int digits) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.*gf", digits, v);
    return buf;
}

// Parts between brackets; `sorted` orders them, for members given in another order.
inline std::string toml_join(std::vector<std::string> parts, const char *brackets, bool sorted) {
    if (sorted) std::sort(parts.begin(), parts.end());
    std::string out(1, brackets[0]);
    for (size_t i = 0; i < parts.size(); ++i) out += (i ? "," : "") + parts[i];
    return out + brackets[1];
}

inline std::string toml_dump(const kelvra_toml_value *v, bool sorted = false, int digits = 17) {
    namespace rec = kelvra::text::toml_record;
    const uint32_t kind = rec::load_kind(v);
    const auto *word0 = rec::get<const uint8_t *>(v, rec::word0_at);
    const bool table = kind == KELVRA_TOML_TABLE;
    const uint32_t count = rec::get<uint32_t>(v, table ? rec::word2_at : rec::word1_at); // or a string's length
    switch (kind) {
    case KELVRA_TOML_STRING:
        EXPECT_EQ(word0[count], 0) << "strings are NUL-terminated";
        return toml_quote(word0, count);
    case KELVRA_TOML_INTEGER: return std::to_string(rec::get<int64_t>(v, rec::word0_at));
    case KELVRA_TOML_FLOAT: return toml_float(rec::get<double>(v, rec::word0_at), digits);
    case KELVRA_TOML_BOOLEAN: return rec::get<uint32_t>(v, rec::word0_at) ? "true" : "false";
    case KELVRA_TOML_ARRAY: case KELVRA_TOML_TABLE: break;
    default: return "<bad kind>";
    }
    const void *items = table ? rec::get<const void *>(v, rec::word1_at) : word0;
    EXPECT_TRUE(count != 0 || (word0 == nullptr && items == nullptr)) << "an empty one has no arrays";
    std::vector<std::string> parts;
    for (uint32_t i = 0; i < count; ++i) {
        parts.push_back((table ? std::string(rec::load_slot<const char *>(word0, i)) + "=" : "") +
                        toml_dump(rec::load_slot<const kelvra_toml_value *>(items, i), sorted, digits));
    }
    return toml_join(parts, table ? "{}" : "[]", sorted && table);
}

} // namespace kelvra_test
