// Shared pieces of the genome tests: records and bodies, arenas at odd
// addresses, whole-file reads and writes, and the sample genomes whose
// documents expected_documents.hpp spells out.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>

#include "kelvra.h"
#include "platform/temp_dir.hpp"
#include "text/json_record.hpp"

namespace kelvra_test::genome {

using Bytes = std::vector<uint8_t>;

inline Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }

// One record: `kind`, then `rest`, NUL-padded (or cut) to `leaf_dim` bytes.
inline Bytes record(uint32_t leaf_dim, char kind, std::string_view rest = {}) {
    Bytes r(leaf_dim, 0);
    r[0] = static_cast<uint8_t>(kind);
    for (size_t i = 0; i + 1 < leaf_dim && i < rest.size(); ++i) r[i + 1] = static_cast<uint8_t>(rest[i]);
    return r;
}

// A chromosome: a cap labelled `label` followed by `leaves` leaf records.
inline Bytes chromosome(uint32_t leaf_dim, std::string_view label, uint32_t leaves, char fill = 'L') {
    Bytes out = record(leaf_dim, 'C', label);
    for (uint32_t i = 0; i < leaves; ++i) {
        Bytes leaf = record(leaf_dim, fill, std::string(leaf_dim, static_cast<char>('0' + i % 10)));
        out.insert(out.end(), leaf.begin(), leaf.end());
    }
    return out;
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes &p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A caller arena placed one byte past an aligned address, as callers may.
class Arena {
public:
    explicit Arena(uint64_t capacity, size_t misalign = 1) : storage_(capacity + misalign + 16), capacity_(capacity) {
        base_ = storage_.data() + misalign;
    }
    uint8_t *base() { return base_; }
    uint64_t capacity() const { return capacity_; }

private:
    std::vector<uint8_t> storage_;
    uint8_t *base_;
    uint64_t capacity_;
};

// Generous for the small genomes of the tests.
inline constexpr uint64_t kRoomy = 1u << 20;

inline bool file_exists(const std::string &path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

inline std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_file(const std::string &path, std::string_view contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
}

inline std::string as_text(const Bytes &b) { return std::string(b.begin(), b.end()); }

// The two stored files, to show that a failed call changed nothing.
struct Snapshot {
    std::string body, manifest;
    bool operator==(const Snapshot &) const = default;
};

inline Snapshot snapshot(const std::string &dir) {
    return {read_file(dir + "/turns.bin"), read_file(dir + "/manifest.json")};
}

// ---- The sample genomes of expected_documents.hpp -------------------------------

// leaf_dim 4: the bytes C a b NUL, then x y z w.
inline Bytes two_record_body() { return bytes_of(std::string_view("Cab\0xyzw", 8)); }
inline Bytes two_record_one() { return {1, 2, 3, 4}; }

// leaf_dim 8: chromosome q"\<01><TAB>é (two leaves around a non-leaf), b (one
// leaf), and <7f>/x (a cap alone).
inline Bytes escapes_body() {
    return bytes_of(std::string_view("Cq\"\\\x01\t\xc3\xa9"
                                     "L1234567"
                                     "G......."
                                     "L7654321"
                                     "Cb\0\0\0\0\0\0"
                                     "Z0000000"
                                     "C\x7f/x\0zzz",
                                     56));
}
inline Bytes escapes_one() { return {0xf0, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7}; }

// ---- Calls with the test's own arena --------------------------------------------

inline kelvra_status save(const std::string &dir, const Bytes &body, const Bytes &the_one,
                          uint64_t arena_bytes = kRoomy) {
    Arena arena(arena_bytes);
    return kelvra_genome_save(dir.c_str(), body.data(), body.size(), static_cast<uint32_t>(the_one.size()),
                              the_one.data(), the_one.size(), arena.base(), arena.capacity());
}

// Loads the body; the status, and the bytes when it is 0.
inline kelvra_status load(const std::string &dir, Bytes *body, const Bytes *the_one = nullptr) {
    Arena arena(kRoomy);
    Bytes out(kRoomy);
    uint64_t length = 0;
    const kelvra_status s =
        kelvra_genome_load(dir.c_str(), out.data(), out.size(), &length, the_one ? the_one->data() : nullptr,
                           the_one ? the_one->size() : 0, arena.base(), arena.capacity());
    if (s == KELVRA_OK) body->assign(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(length));
    return s;
}

// The manifest (as the catalog gives it) rendered back to its canonical text.
inline std::string catalog_text(const std::string &dir, const Bytes *the_one, kelvra_status *status) {
    Arena arena(kRoomy);
    const kelvra_json_value *root = nullptr;
    *status = kelvra_genome_catalog(dir.c_str(), the_one ? the_one->data() : nullptr, the_one ? the_one->size() : 0,
                                    arena.base(), arena.capacity(), &root);
    if (*status != KELVRA_OK) return {};
    std::vector<uint8_t> text(kRoomy), scratch(1 << 16);
    uint64_t length = 0;
    EXPECT_EQ(kelvra_json_write_ws(root, text.data(), text.size(), &length, scratch.data(), scratch.size()),
              KELVRA_OK);
    return std::string(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length)) + "\n";
}

// ---- Reading a catalogued manifest ------------------------------------------------

namespace rec = kelvra::text::json_record;

inline const kelvra_json_value *at_path(const kelvra_json_value *v, std::initializer_list<const char *> keys) {
    for (const char *k : keys) v = kelvra_json_object_get(v, k);
    return v;
}

inline int64_t int_at(const kelvra_json_value *v) {
    EXPECT_TRUE(v != nullptr && rec::load_kind(v) == KELVRA_JSON_INT);
    return v != nullptr && rec::load_kind(v) == KELVRA_JSON_INT ? rec::load_int(v) : -1;
}

inline std::string string_at(const kelvra_json_value *v) {
    EXPECT_TRUE(v != nullptr && rec::load_kind(v) == KELVRA_JSON_STRING);
    if (v == nullptr || rec::load_kind(v) != KELVRA_JSON_STRING) return "<none>";
    const rec::StringField f = rec::load_string(v);
    return std::string(reinterpret_cast<const char *>(f.bytes), f.length);
}

struct Entry {
    std::string label;
    int64_t offset, length, leaves;
    bool operator==(const Entry &) const = default;
};

inline std::ostream &operator<<(std::ostream &os, const Entry &e) {
    return os << "{" << e.label << " @" << e.offset << " +" << e.length << " leaves " << e.leaves << "}";
}

// The chromosome table of a genome, as its catalog lists it.
inline std::vector<Entry> chromosomes(const std::string &dir, const Bytes *the_one = nullptr) {
    Arena arena(kRoomy);
    const kelvra_json_value *root = nullptr;
    EXPECT_EQ(kelvra_genome_catalog(dir.c_str(), the_one ? the_one->data() : nullptr, the_one ? the_one->size() : 0,
                                    arena.base(), arena.capacity(), &root),
              KELVRA_OK);
    std::vector<Entry> out;
    const kelvra_json_value *list = at_path(root, {"data", "chromosomes"});
    if (list == nullptr || rec::load_kind(list) != KELVRA_JSON_ARRAY) return out;
    const rec::ArrayField items = rec::load_array(list);
    for (uint32_t i = 0; i < items.count; ++i) {
        const kelvra_json_value *c = rec::load_value_at(items.items, i);
        out.push_back({string_at(at_path(c, {"label"})), int_at(at_path(c, {"byte_offset"})),
                       int_at(at_path(c, {"byte_len"})), int_at(at_path(c, {"leaf_count"}))});
    }
    return out;
}

} // namespace kelvra_test::genome
