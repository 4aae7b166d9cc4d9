// Template rendering on arbitrary catalogs and templates, against a plain
// byte-by-byte renderer with a linear-scan lookup: same status, and on
// success the same bytes. The output buffer has exactly the capacity given,
// so the sanitizer sees any byte written past it.
//
// Input: byte 0 is the entry count (mod 16), byte 1 the output capacity
// (times 4); then per entry a key length and a value length (each mod 8) and
// their bytes; the rest is the template. Keys are sorted and made unique.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "kelvra.h"

namespace {

struct Reader {
    const uint8_t *data;
    size_t size, at = 0;
    uint8_t byte() { return at < size ? data[at++] : 0; }
    std::string take(size_t n) {
        n = std::min(n, size - at);
        std::string s(reinterpret_cast<const char *>(data + at), n);
        at += n;
        return s;
    }
};

// The renderer as defined: every byte in turn, placeholders looked up by scanning the whole catalog.
kelvra_status reference(const std::string &tmpl, const std::map<std::string, std::string> &catalog, size_t capacity,
                        std::string &out) {
    out.clear();
    for (size_t i = 0; i < tmpl.size(); ++i) {
        if (tmpl[i] != '{') {
            if (out.size() >= capacity) return KELVRA_ERR_CAPACITY;
            out += tmpl[i];
            continue;
        }
        const size_t close = tmpl.find('}', i + 1);
        if (close == std::string::npos) return KELVRA_ERR_DATA;
        const std::string name = tmpl.substr(i + 1, close - i - 1);
        const std::string *value = nullptr;
        for (const auto &[k, v] : catalog) {
            if (k == name) value = &v;
        }
        if (value == nullptr) return KELVRA_ERR_DATA;
        if (value->size() > capacity - out.size()) return KELVRA_ERR_CAPACITY;
        out += *value;
        i = close;
    }
    return KELVRA_OK;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Reader in{data, size};
    const size_t count = in.byte() % 16;
    const size_t capacity = size_t{in.byte()} * 4;
    std::map<std::string, std::string> catalog; // std::string orders bytes as unsigned, a prefix first
    for (size_t i = 0; i < count; ++i) {
        const size_t key_length = in.byte() % 8, value_length = in.byte() % 8;
        std::string key = in.take(key_length);
        catalog[key] = in.take(value_length);
    }
    const std::string tmpl = in.take(size);

    std::string key_blob, value_blob;
    std::vector<uint32_t> ko, kl, vo, vl;
    for (const auto &[k, v] : catalog) {
        ko.push_back(static_cast<uint32_t>(key_blob.size()));
        kl.push_back(static_cast<uint32_t>(k.size()));
        key_blob += k;
        vo.push_back(static_cast<uint32_t>(value_blob.size()));
        vl.push_back(static_cast<uint32_t>(v.size()));
        value_blob += v;
    }
    // Blobs and template in buffers of their exact sizes (never null).
    std::vector<uint8_t> keys(key_blob.begin(), key_blob.end()), values(value_blob.begin(), value_blob.end());
    std::vector<uint8_t> text(tmpl.begin(), tmpl.end());
    keys.reserve(1);
    values.reserve(1);
    text.reserve(1);
    std::vector<uint8_t> out(capacity);
    out.reserve(1);

    uint32_t length = 12345;
    const kelvra_status s = kelvra_template_render(
        text.data(), static_cast<uint32_t>(text.size()), keys.data(), ko.data(), kl.data(), values.data(), vo.data(),
        vl.data(), static_cast<uint32_t>(ko.size()), out.data(), static_cast<uint32_t>(capacity), &length);
    std::string expected;
    const kelvra_status want = reference(tmpl, catalog, capacity, expected);
    if (s != want) __builtin_trap();
    if (s != KELVRA_OK) {
        if (length != 0) __builtin_trap();
        return 0;
    }
    if (length != expected.size() || std::memcmp(out.data(), expected.data(), length) != 0) __builtin_trap();

    // Every key is found by the lookup, with its own value.
    for (size_t i = 0; i < ko.size(); ++i) {
        uint8_t found = 0;
        uint32_t offset = 0, value_length = 0;
        if (kelvra_catalog_lookup(keys.data() + ko[i], kl[i], keys.data(), ko.data(), kl.data(), vo.data(), vl.data(),
                                  static_cast<uint32_t>(ko.size()), &found, &offset, &value_length) != 0 ||
            found != 1 || offset != vo[i] || value_length != vl[i]) {
            __builtin_trap();
        }
    }
    return 0;
}
