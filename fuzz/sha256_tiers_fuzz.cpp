// Every hashing tier on arbitrary groupings: the input's first byte picks a
// message count (1-40), the next bytes cut the rest into that many messages
// (lengths up to the rest of the input, some empty), and each message is
// copied into a buffer of exactly its length. The batch on tiers 0, 1 and 2,
// the SHA-extension call on tiers 0 and 1 and the text digest must all give
// the same bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "kelvra.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    const size_t count = 1 + data[0] % 40;
    size_t at = 1;
    std::vector<std::vector<uint8_t>> messages(count);
    for (size_t i = 0; i < count && at < size; ++i) {
        const size_t want = size_t{data[at++]} * 7 % (size - at + 1);
        messages[i].assign(data + at, data + at + want);
        at += want;
    }
    std::vector<const uint8_t *> pointers;
    std::vector<uint64_t> lengths;
    for (const auto &m : messages) {
        pointers.push_back(m.empty() ? nullptr : m.data());
        lengths.push_back(m.size());
    }
    std::vector<uint8_t> reference(32 * count), out(32 * count);
    setenv("KELVRA_SHANI_FORCE_TIER", "0", 1); // the reference: scalar core only
    for (size_t i = 0; i < count; ++i) {
        char text[65];
        if (kelvra_sha256_hex(pointers[i], lengths[i], text) != KELVRA_OK) std::abort();
        for (size_t b = 0; b < 32; ++b) {
            unsigned byte = 0;
            std::sscanf(text + 2 * b, "%2x", &byte);
            reference[32 * i + b] = static_cast<uint8_t>(byte);
        }
    }
    for (const char *tier : {"0", "1", "2"}) {
        setenv("KELVRA_SHA256_FORCE_TIER", tier, 1);
        setenv("KELVRA_SHANI_FORCE_TIER", tier, 1);
        if (kelvra_sha256_batch(pointers.data(), lengths.data(), count, out.data()) != KELVRA_OK) std::abort();
        if (out != reference) std::abort();
        for (size_t i = 0; i < count; ++i) {
            uint8_t digest[32];
            if (kelvra_sha256_shani(pointers[i], lengths[i], digest) != KELVRA_OK) std::abort();
            if (std::memcmp(digest, reference.data() + 32 * i, 32) != 0) std::abort();
        }
    }
    return 0;
}
