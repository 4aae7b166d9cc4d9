// The JSON writer's truncation on arbitrary trees: a document that parses is
// written in full, then into a buffer of every capacity the input picks. The
// status is 4 exactly when the capacity is short, the length is always the
// full one, and the buffer holds a prefix of the full text that ends less than
// one piece (the longest is a 24-byte number) before the capacity, with
// nothing written after it.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "kelvra.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<uint8_t> arena(64 * size + 8192);
    kelvra_json_value *root = nullptr;
    if (kelvra_json_parse(data, size, arena.data(), arena.size(), &root) != 0) return 0;
    std::vector<uint8_t> workspace(kelvra_json_write_arena_bytes(root));
    uint64_t length = 0;
    if (kelvra_json_write_ws(root, nullptr, 0, &length, workspace.data(), workspace.size()) != 0) __builtin_trap();
    std::vector<uint8_t> text(length);
    uint64_t written = 0;
    if (kelvra_json_write_ws(root, text.data(), length, &written, workspace.data(), workspace.size()) != 0 ||
        written != length) {
        __builtin_trap();
    }
    constexpr uint64_t longest_piece = 24;
    constexpr uint8_t mark = 0xA7;
    // Capacities from the input's bytes, spread over the whole text, and the
    // ends.
    std::vector<uint64_t> capacities = {0, length == 0 ? 0 : length - 1, length};
    for (size_t i = 0; i + 1 < size && i < 64; i += 2)
        capacities.push_back(length == 0 ? 0 : (uint64_t{data[i]} << 8 | data[i + 1]) % (length + 1));
    for (const uint64_t capacity : capacities) {
        std::vector<uint8_t> out(length + 8, mark);
        uint64_t got = 0;
        const kelvra_status status =
            kelvra_json_write_ws(root, out.data(), capacity, &got, workspace.data(), workspace.size());
        if (status != (capacity < length ? 4u : 0u) || got != length) __builtin_trap();
        // The written prefix: as far as the buffer agrees with the text (a
        // text byte equal to the mark can only lengthen it by unwritten bytes).
        uint64_t prefix = 0;
        while (prefix < capacity && prefix < length && out[prefix] == text[prefix]) ++prefix;
        if (capacity >= length ? prefix != length : capacity - prefix >= longest_piece) __builtin_trap();
        for (uint64_t i = prefix; i < out.size(); ++i)
            if (out[i] != mark) __builtin_trap(); // nothing is written past the prefix
    }
    return 0;
}
