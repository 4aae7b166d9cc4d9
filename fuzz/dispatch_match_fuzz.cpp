// Dispatch matching and both byte searches against the plain scans that
// define them: the first table entry occurring anywhere wins, and each search
// reports the first or last start position at which the needle matches.
//
// Input: byte 0 is the entry count (mod 8) and byte 1 a repeat count; then
// per entry a pattern length (mod 64) and its bytes; the rest is the text,
// repeated (1 + repeat) times so that long periodic texts, where the search
// changes strategy, come up. Every buffer has its exact size, so the
// sanitizer sees any read past it.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "kelvra.h"

namespace {

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

std::vector<uint8_t> exact(const std::string &s) { return std::vector<uint8_t>(s.begin(), s.end()); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    size_t at = 0;
    auto byte = [&] { return at < size ? data[at++] : uint8_t{0}; };
    const size_t count = byte() % 8;
    const size_t repeat = byte() % 64;
    std::vector<std::string> patterns;
    for (size_t i = 0; i < count; ++i) {
        const size_t length = std::min<size_t>(byte() % 64, size - at);
        patterns.emplace_back(reinterpret_cast<const char *>(data + at), length);
        at += length;
    }
    const std::string unit(reinterpret_cast<const char *>(data + at), size - at);
    std::string text;
    for (size_t r = 0; r <= repeat; ++r) text += unit;

    std::string blob;
    std::vector<uint32_t> offsets, lengths, handlers;
    for (size_t i = 0; i < patterns.size(); ++i) {
        offsets.push_back(static_cast<uint32_t>(blob.size()));
        lengths.push_back(static_cast<uint32_t>(patterns[i].size()));
        handlers.push_back(static_cast<uint32_t>(100 + i));
        blob += patterns[i];
    }
    const std::vector<uint8_t> text_bytes = exact(text), blob_bytes = exact(blob);

    uint8_t matched = 9;
    uint32_t handler = 9;
    if (kelvra_dispatch_match(text_bytes.data(), static_cast<uint32_t>(text_bytes.size()), blob_bytes.data(),
                              offsets.data(), lengths.data(), handlers.data(), static_cast<uint32_t>(count), &matched,
                              &handler) != 0) {
        __builtin_trap();
    }
    uint32_t want = 0;
    for (size_t i = 0; i < patterns.size() && want == 0; ++i) {
        if (naive_first(text, patterns[i]) != KELVRA_NOT_FOUND) want = handlers[i];
    }
    if (matched != (want != 0) || handler != want) __builtin_trap();

    for (const std::string &p : patterns) {
        const std::vector<uint8_t> needle = exact(p);
        uint32_t first = 0, last = 0;
        if (kelvra_byte_search(text_bytes.data(), static_cast<uint32_t>(text_bytes.size()), needle.data(),
                               static_cast<uint32_t>(needle.size()), &first) != 0 ||
            kelvra_byte_search_backward(text_bytes.data(), static_cast<uint32_t>(text_bytes.size()), needle.data(),
                                        static_cast<uint32_t>(needle.size()), &last) != 0) {
            __builtin_trap();
        }
        const uint32_t want_last = p.empty() ? static_cast<uint32_t>(text.size()) : naive_last(text, p);
        if (first != naive_first(text, p) || last != want_last) __builtin_trap();
    }
    return 0;
}
