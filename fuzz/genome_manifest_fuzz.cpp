// The genome store's readers on arbitrary manifests: "manifest.json" holds
// the fuzzed text beside a small valid body, and the catalogue, load, window,
// export and remove run over it. Nothing may crash or read out of bounds, and
// what succeeds must be true of the body on disk:
//   - a load that returns 0 returns exactly the stored body;
//   - a window that returns 0 returns bytes of the stored body, starting with
//     a cap record;
//   - a remove that returns 0 leaves a genome that loads.
// See genome_fuzz_common.hpp for how an input becomes a manifest (raw text,
// or edits of the body's valid manifest).
#include <cstdint>
#include <cstring>
#include <string>

#include "genome_fuzz_common.hpp"
#include "kelvra.h"

namespace {

using namespace genome_fuzz;

struct Setup {
    Setup() : root(make_scratch_dir()), dir(make_subdir(root, "genome")), body(sample_body()) {
        Arena arena(1 << 20, false);
        if (kelvra_genome_save(dir.c_str(), body.data(), body.size(), kLeafDim, kTheOne.data(), kTheOne.size(),
                               arena.base, arena.capacity) != KELVRA_OK)
            std::abort();
        valid_manifest = read_all(dir + "/manifest.json");
    }
    ~Setup() { remove_tree(root); }
    void restore() const { write_all(dir + "/turns.bin", body.data(), body.size()); }
    std::string root, dir;
    Bytes body, valid_manifest;
};

Setup &setup() {
    static Setup s;
    return s;
}

bool is_part_of_body(const Bytes &body, const uint8_t *bytes, uint64_t length) {
    if (length == 0 || length > body.size()) return false;
    for (size_t at = 0; at + length <= body.size(); at += kLeafDim)
        if (std::memcmp(body.data() + at, bytes, length) == 0) return true;
    return false;
}

void check_readers(const Setup &s, Arena &arena, const uint8_t *the_one, uint64_t the_one_len) {
    const kelvra_json_value *root = nullptr;
    kelvra_genome_catalog(s.dir.c_str(), the_one, the_one_len, arena.base, arena.capacity, &root);

    Bytes out(s.body.size() + 8);
    uint64_t length = 0;
    if (kelvra_genome_load(s.dir.c_str(), out.data(), out.size(), &length, the_one, the_one_len, arena.base,
                           arena.capacity) == KELVRA_OK) {
        if (length != s.body.size() || std::memcmp(out.data(), s.body.data(), length) != 0) std::abort();
    }
    for (const char *label : {"a", "b", "c", ""}) {
        length = 0;
        if (kelvra_genome_window(s.dir.c_str(), label, out.data(), out.size(), &length, the_one, the_one_len,
                                 arena.base, arena.capacity) == KELVRA_OK) {
            if (length > out.size() || !is_part_of_body(s.body, out.data(), length) || out[0] != 'C') std::abort();
        }
    }
    const std::string bundle = s.root + "/b.chr";
    kelvra_genome_export(s.dir.c_str(), "b", bundle.c_str(), the_one, the_one_len, arena.base, arena.capacity);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const Setup &s = setup();
    const Bytes manifest = document_from(data, size, s.valid_manifest);
    write_all(s.dir + "/manifest.json", manifest.data(), manifest.size());

    Arena arena(64 * 1024 + 4 * manifest.size(), size % 2 == 1);
    check_readers(s, arena, nullptr, 0);
    check_readers(s, arena, kTheOne.data(), kTheOne.size());

    if (kelvra_genome_remove(s.dir.c_str(), "b", kTheOne.data(), kTheOne.size(), arena.base, arena.capacity) ==
        KELVRA_OK) {
        Bytes out(s.body.size());
        uint64_t length = 0;
        if (kelvra_genome_load(s.dir.c_str(), out.data(), out.size(), &length, nullptr, 0, arena.base,
                               arena.capacity) != KELVRA_OK)
            std::abort();
        s.restore();
    }
    return 0;
}
