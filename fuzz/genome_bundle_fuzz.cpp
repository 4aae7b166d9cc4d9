// Chromosome bundle import on arbitrary bundles, into an empty directory and
// into a small existing genome. Nothing may crash, and:
//   - an import into the empty directory that returns 0 leaves a genome that
//     loads (the store never writes a genome it cannot verify);
//   - an import into the existing genome that returns 0 leaves a genome that
//     loads and whose body begins with the old body;
//   - an import that fails leaves the existing genome byte for byte as it was.
// See genome_fuzz_common.hpp for how an input becomes a bundle (raw text, or
// edits of a valid bundle of a chromosome "d" from the same genome).
#include <cstdint>
#include <cstring>
#include <string>

#include <unistd.h>

#include "genome_fuzz_common.hpp"
#include "kelvra.h"

namespace {

using namespace genome_fuzz;

struct Setup {
    Setup() : root(make_scratch_dir()), empty(make_subdir(root, "empty")), existing(make_subdir(root, "existing")) {
        Arena arena(1 << 20, false);
        // The bundle template: chromosome "d" of a genome with the same the_one.
        const std::string source = make_subdir(root, "source");
        Bytes with_d = sample_body();
        const char d[] = "Cd\0\0\0\0\0\0L0000000G1111111";
        with_d.insert(with_d.end(), d, d + 24);
        if (kelvra_genome_save(source.c_str(), with_d.data(), with_d.size(), kLeafDim, kTheOne.data(), kTheOne.size(),
                               arena.base, arena.capacity) != KELVRA_OK ||
            kelvra_genome_export(source.c_str(), "d", (root + "/d.chr").c_str(), nullptr, 0, arena.base,
                                 arena.capacity) != KELVRA_OK)
            std::abort();
        valid_bundle = read_all(root + "/d.chr");
        const Bytes body = sample_body();
        if (kelvra_genome_save(existing.c_str(), body.data(), body.size(), kLeafDim, kTheOne.data(), kTheOne.size(),
                               arena.base, arena.capacity) != KELVRA_OK)
            std::abort();
        existing_body = read_all(existing + "/turns.bin");
        existing_manifest = read_all(existing + "/manifest.json");
    }
    ~Setup() { remove_tree(root); }
    std::string root, empty, existing;
    Bytes valid_bundle, existing_body, existing_manifest;
};

Setup &setup() {
    static Setup s;
    return s;
}

bool loads(const std::string &dir, Arena &arena, Bytes *body) {
    body->assign(1 << 16, 0);
    uint64_t length = 0;
    if (kelvra_genome_load(dir.c_str(), body->data(), body->size(), &length, nullptr, 0, arena.base, arena.capacity) !=
        KELVRA_OK)
        return false;
    body->resize(length);
    return true;
}

void import_into_empty(const Setup &s, const std::string &bundle, Arena &arena) {
    const kelvra_status status =
        kelvra_genome_import(bundle.c_str(), s.empty.c_str(), nullptr, 0, arena.base, arena.capacity);
    Bytes body;
    if (status == KELVRA_OK && !loads(s.empty, arena, &body)) std::abort();
    if (status != KELVRA_OK && exists(s.empty + "/turns.bin")) std::abort();
    unlink((s.empty + "/turns.bin").c_str());
    unlink((s.empty + "/manifest.json").c_str());
}

void import_into_existing(const Setup &s, const std::string &bundle, Arena &arena) {
    const kelvra_status status =
        kelvra_genome_import(bundle.c_str(), s.existing.c_str(), nullptr, 0, arena.base, arena.capacity);
    if (status == KELVRA_OK) {
        Bytes body;
        if (!loads(s.existing, arena, &body) || body.size() < s.existing_body.size() ||
            std::memcmp(body.data(), s.existing_body.data(), s.existing_body.size()) != 0)
            std::abort();
        write_all(s.existing + "/turns.bin", s.existing_body.data(), s.existing_body.size());
        write_all(s.existing + "/manifest.json", s.existing_manifest.data(), s.existing_manifest.size());
        return;
    }
    if (read_all(s.existing + "/turns.bin") != s.existing_body ||
        read_all(s.existing + "/manifest.json") != s.existing_manifest)
        std::abort(); // a failed import changed the genome
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const Setup &s = setup();
    const Bytes text = document_from(data, size, s.valid_bundle);
    const std::string bundle = s.root + "/input.chr";
    write_all(bundle, text.data(), text.size());
    Arena arena(kelvra_genome_arena_bytes(256, 8, text.size()), size % 2 == 1);
    import_into_empty(s, bundle, arena);
    import_into_existing(s, bundle, arena);
    return 0;
}
