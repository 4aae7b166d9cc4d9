// Shared pieces of the genome tests: records and bodies, arenas at odd
// addresses, whole-file reads and writes, and the sample genomes whose
// documents expected_documents.hpp spells out.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>

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
struct Arena {
    explicit Arena(uint64_t capacity) : storage(capacity + 17), size(capacity) {}
    uint8_t *base() { return storage.data() + 1; }
    uint64_t capacity() const { return size; }
    std::vector<uint8_t> storage;
    uint64_t size;
};

// Generous for the small genomes of the tests.
inline constexpr uint64_t kRoomy = 1u << 20;

inline bool file_exists(const std::string &path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

// A new directory; false when it could not be made (or already stood there).
inline bool make_directory(const std::string &path) {
    std::error_code error;
    return std::filesystem::create_directory(path, error);
}

inline std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_file(const std::string &path, std::string_view contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
}

// Changes one byte of a file behind the store's back; returns the new contents.
inline std::string flip_byte(const std::string &path, size_t at, uint8_t mask = 0x01) {
    std::string text = read_file(path);
    text[at] = static_cast<char>(text[at] ^ mask);
    write_file(path, text);
    return text;
}

// Writes `text` to `path` with its first `from` replaced by `to`.
inline void write_edited(const std::string &path, std::string text, const std::string &from, const std::string &to) {
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    write_file(path, text.replace(at, from.size(), to));
}

inline std::string as_text(const Bytes &b) { return std::string(b.begin(), b.end()); }

// Every file of a directory, by name, to show that a failed call changed
// nothing (no file changed, none added or left behind). On Windows a writer's lock is a hidden
// file, ".kelvra-lock", made on first use and left in place: it is the
// platform's, not the genome's, so it is not listed.
using DirState = std::map<std::string, std::string>;

inline DirState state_of(const std::string &dir) {
    DirState state;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(dir, error)) {
        const std::string name = entry.path().filename().string();
#if defined(_WIN32)
        if (name == ".kelvra-lock") continue;
#endif
        state[name] = read_file(dir + "/" + name);
    }
    return state;
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

// Loads the body into `room` bytes; the status, and the bytes when it is 0.
inline kelvra_status load(const std::string &dir, Bytes *body, const Bytes *the_one = nullptr, uint64_t room = kRoomy) {
    Arena arena(kRoomy);
    Bytes out(room);
    uint64_t length = 0;
    const kelvra_status s =
        kelvra_genome_load(dir.c_str(), out.data(), out.size(), &length, the_one ? the_one->data() : nullptr,
                           the_one ? the_one->size() : 0, arena.base(), arena.capacity());
    if (s == KELVRA_OK) body->assign(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(length));
    return s;
}

// The catalog of a genome, its tree kept in `arena`; null unless the call worked.
inline const kelvra_json_value *catalog(const std::string &dir, const Bytes *the_one, Arena &arena,
                                        kelvra_status *status) {
    const kelvra_json_value *root = nullptr;
    *status = kelvra_genome_catalog(dir.c_str(), the_one ? the_one->data() : nullptr, the_one ? the_one->size() : 0,
                                    arena.base(), arena.capacity(), &root);
    return *status == KELVRA_OK ? root : nullptr;
}

// The manifest (as the catalog gives it) rendered back to its canonical text.
inline std::string catalog_text(const std::string &dir, const Bytes *the_one, kelvra_status *status) {
    Arena arena(kRoomy);
    const kelvra_json_value *root = catalog(dir, the_one, arena, status);
    if (root == nullptr) return {};
    std::vector<uint8_t> text(kRoomy), scratch(1 << 16);
    uint64_t length = 0;
    EXPECT_EQ(kelvra_json_write_ws(root, text.data(), text.size(), &length, scratch.data(), scratch.size()),
              KELVRA_OK);
    return std::string(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length)) + "\n";
}

// The operations on one genome directory, each with an arena of its own.
// Edits pass `one` (leaf_dim is its size); the rest give no the_one.
struct Genome {
    std::string dir;
    Bytes one{};

    kelvra_status append(const char *label, const Bytes &records, Arena &&a = Arena(kRoomy)) const {
        return kelvra_genome_append(dir.c_str(), label, records.data(), records.size(),
                                    static_cast<uint32_t>(one.size()), one.data(), one.size(), a.base(), a.capacity());
    }
    kelvra_status replace(const char *label, const Bytes &records, Arena &&a = Arena(kRoomy)) const {
        return kelvra_genome_replace(dir.c_str(), label, records.data(), records.size(),
                                     static_cast<uint32_t>(one.size()), one.data(), one.size(), a.base(), a.capacity());
    }
    kelvra_status remove(const char *label, Arena &&a = Arena(kRoomy)) const {
        return kelvra_genome_remove(dir.c_str(), label, one.data(), one.size(), a.base(), a.capacity());
    }
    kelvra_status export_to(const char *label, const std::string &out, Arena &&a = Arena(kRoomy)) const {
        return kelvra_genome_export(dir.c_str(), label, out.c_str(), nullptr, 0, a.base(), a.capacity());
    }
    kelvra_status import_from(const std::string &bundle, Arena &&a = Arena(kRoomy)) const {
        return kelvra_genome_import(bundle.c_str(), dir.c_str(), nullptr, 0, a.base(), a.capacity());
    }
    kelvra_status explode_to(const std::string &out, Arena &&a = Arena(kRoomy)) const {
        return kelvra_genome_explode(dir.c_str(), out.c_str(), nullptr, 0, a.base(), a.capacity());
    }
    kelvra_status pack_from(const std::string &in, Arena &&a = Arena(kRoomy)) const {
        return kelvra_genome_pack(in.c_str(), dir.c_str(), nullptr, 0, a.base(), a.capacity());
    }
    // The region of `label` into a buffer of `out_cap` bytes; empty unless it worked.
    kelvra_status window(const char *label, Bytes *out, uint64_t out_cap = 1024, Arena &&a = Arena(kRoomy)) const {
        out->assign(out_cap, 0);
        uint64_t length = 0;
        const kelvra_status s = kelvra_genome_window(dir.c_str(), label, out->data(), out_cap, &length, nullptr, 0,
                                                     a.base(), a.capacity());
        out->resize(s == KELVRA_OK ? length : 0);
        return s;
    }
};

// ---- Reading a catalogued manifest ------------------------------------------------

namespace rec = kelvra::text::json_record;

inline const kelvra_json_value *at_path(const kelvra_json_value *v, std::initializer_list<const char *> keys) {
    for (const char *k : keys) v = kelvra_json_object_get(v, k);
    return v;
}

// A figure of the catalog; -1 or "<none>" when it is missing or of another kind.
inline bool is_kind(const kelvra_json_value *v, uint32_t kind) { return v != nullptr && rec::load_kind(v) == kind; }
inline int64_t int_at(const kelvra_json_value *v) { return is_kind(v, KELVRA_JSON_INT) ? rec::load_int(v) : -1; }
inline std::string string_at(const kelvra_json_value *v) {
    if (!is_kind(v, KELVRA_JSON_STRING)) return "<none>";
    const rec::StringField f = rec::load_string(v);
    return std::string(reinterpret_cast<const char *>(f.bytes), f.length);
}

struct Entry {
    std::string label;
    int64_t offset, length, leaves;
    bool operator==(const Entry &) const = default;
};

// The chromosome table of a genome, as its catalog lists it.
inline std::vector<Entry> chromosomes(const std::string &dir) {
    Arena arena(kRoomy);
    kelvra_status status;
    const kelvra_json_value *root = catalog(dir, nullptr, arena, &status);
    EXPECT_EQ(status, KELVRA_OK);
    std::vector<Entry> out;
    const kelvra_json_value *list = at_path(root, {"data", "chromosomes"});
    if (!is_kind(list, KELVRA_JSON_ARRAY)) return out;
    const rec::ArrayField items = rec::load_array(list);
    for (uint32_t i = 0; i < items.count; ++i) {
        const kelvra_json_value *c = rec::load_value_at(items.items, i);
        out.push_back({string_at(at_path(c, {"label"})), int_at(at_path(c, {"byte_offset"})),
                       int_at(at_path(c, {"byte_len"})), int_at(at_path(c, {"leaf_count"}))});
    }
    return out;
}

} // namespace kelvra_test::genome
