// Shared by the genome fuzz targets: a scratch directory (in memory when the
// system has /dev/shm, so the store's flushes stay cheap), whole-file helpers,
// a sample genome, and the three ways an input becomes a document:
//
//   first byte % 3 == 0: the input itself is the document ('{' is 123, so a
//                        plain JSON object seeds this mode);
//   first byte % 3 == 1: a splice into a valid document: two bytes of offset,
//                        one byte of length to delete, the rest inserted;
//   first byte % 3 == 2: byte edits of a valid document: (two bytes of offset,
//                        new byte) triples.
//
// The two edit modes start every run from a valid manifest or bundle, so the
// fuzzer reaches the checks behind the parser from its first inputs without a
// seed corpus.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kelvra.h"

namespace genome_fuzz {

using Bytes = std::vector<uint8_t>;

inline std::string make_scratch_dir() {
    struct stat info {};
    std::string pattern = stat("/dev/shm", &info) == 0 ? "/dev/shm/kelvra-fuzz-XXXXXX" : "/tmp/kelvra-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
}

inline int remove_entry(const char *path, const struct stat *, int, struct FTW *) { return remove(path); }

// Removes a scratch directory with everything in it (when the fuzzer exits).
inline void remove_tree(const std::string &root) { nftw(root.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS); }

inline std::string make_subdir(const std::string &root, const char *name) {
    const std::string path = root + "/" + name;
    mkdir(path.c_str(), 0755);
    return path;
}

inline Bytes read_all(const std::string &path) {
    Bytes out;
    if (std::FILE *f = std::fopen(path.c_str(), "rb")) {
        uint8_t chunk[4096];
        size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) out.insert(out.end(), chunk, chunk + got);
        std::fclose(f);
    }
    return out;
}

inline void write_all(const std::string &path, const uint8_t *data, size_t size) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
}

inline bool exists(const std::string &path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

// leaf_dim 8: chromosomes "a" (two leaves around a non-leaf), "b" (one leaf), "c".
inline constexpr uint32_t kLeafDim = 8;
inline const Bytes kTheOne = {0xf0, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7};
inline Bytes sample_body() {
    const char text[] = "Ca\0\0\0\0\0\0L1234567G.......L7654321Cb\0\0\0\0\0\0Z0000000Cc\0\0\0\0\0\0";
    return Bytes(text, text + 56);
}

// The document an input stands for, given a valid template.
inline Bytes document_from(const uint8_t *data, size_t size, const Bytes &valid) {
    if (size == 0) return valid;
    const unsigned mode = data[0] % 3;
    if (mode == 0) return Bytes(data, data + size);
    Bytes doc = valid;
    if (mode == 1) {
        if (size < 4) return doc;
        const size_t at = (size_t{data[1]} << 8 | data[2]) % (doc.size() + 1);
        const size_t cut = std::min<size_t>(data[3], doc.size() - at);
        doc.erase(doc.begin() + static_cast<std::ptrdiff_t>(at), doc.begin() + static_cast<std::ptrdiff_t>(at + cut));
        doc.insert(doc.begin() + static_cast<std::ptrdiff_t>(at), data + 4, data + size);
        return doc;
    }
    for (size_t i = 1; i + 3 <= size && !doc.empty(); i += 3)
        doc[(size_t{data[i]} << 8 | data[i + 1]) % doc.size()] = data[i + 2];
    return doc;
}

// A caller arena, at an odd address when asked.
struct Arena {
    Arena(uint64_t capacity, bool odd)
            : storage(capacity + 16), base(storage.data() + (odd ? 1 : 0)), capacity(capacity) {}
    Bytes storage;
    uint8_t *base;
    uint64_t capacity;
};

} // namespace genome_fuzz
