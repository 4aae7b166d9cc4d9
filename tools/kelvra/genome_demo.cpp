// The genome section of kelvra demo: a small genome built from embedded
// records is saved, listed, exploded into bundles, packed into a new genome
// and verified; then one byte of the body is changed and verification
// catches it. Everything happens in temporary directories removed at the end.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "cli.hpp"

namespace kelvra::cli {

namespace {

constexpr uint32_t kLeafDim = 16;

// Records of 16 bytes: "C" + label opens a chromosome; "G" records belong to
// it without counting as leaves; anything else is a leaf.
constexpr const char *kRecords[] = {
    "Cmitochondrion",   "ATGCGTACGTTAGCAT", "GGATTACA________", "TTAGGCATCGATCGAA",
    "Cchromosome-2",    "ACGGTTAAGGCCTTAA", "ATATATCGCGCGATAT", "Cchromosome-1",
    "TATTACAGATTACAGA", "TGCATGCATGCATGCA", "AAAACCCCGGGGTTTT", "ACGCGCGCATATATAT",
};

std::vector<uint8_t> demo_body() {
    std::vector<uint8_t> body;
    for (const char *r : kRecords) {
        uint8_t record[kLeafDim] = {};
        std::memcpy(record, r, std::strlen(r) < kLeafDim ? std::strlen(r) : kLeafDim);
        body.insert(body.end(), record, record + kLeafDim);
    }
    return body;
}

// The distinguished record that names this genome; bundles carry its digest.
const uint8_t kTheOne[kLeafDim] = {'k', 'e', 'l', 'v', 'r', 'a', '-', 'd', 'e', 'm', 'o', '-', 'o', 'n', 'e', '!'};

void heading(int number, const char *title) { std::printf("\n%d. %s\n", number, title); }

namespace fs = std::filesystem;

// A new temporary directory (kelvra-demo-XXXXXX in the system's temporary
// directory, for its owner only), removed with its contents at the end of
// the section.
struct Scratch {
    Scratch() {
        std::error_code error;
        const fs::path base = fs::temp_directory_path(error);
        if (error) return;
        std::random_device seed;
        std::mt19937_64 random((uint64_t{seed()} << 32) ^ seed());
        static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        for (int attempt = 0; attempt < 100 && root.empty(); ++attempt) {
            std::string name = "kelvra-demo-";
            for (int i = 0; i < 6; ++i) name += letters[random() % (sizeof letters - 1)];
            const fs::path candidate = base / name;
            if (!fs::create_directory(candidate, error)) continue; // taken, or not creatable
            fs::permissions(candidate, fs::perms::owner_all, error);
            root = candidate.string();
        }
    }
    ~Scratch() {
        std::error_code error;
        if (!root.empty()) fs::remove_all(root, error);
    }
    std::string make(const char *name) const {
        const std::string path = root + "/" + name;
        std::error_code error;
        fs::create_directory(path, error);
        return path;
    }
    std::string root;
};

// Arena for a genome of this size: the library's own sizing rule.
std::vector<uint8_t> arena_for(uint64_t body_bytes, uint32_t chromosomes, uint64_t extra) {
    return std::vector<uint8_t>(kelvra_genome_arena_bytes(body_bytes, chromosomes, extra));
}

const kelvra_json_value *get(const kelvra_json_value *v, std::initializer_list<const char *> path) {
    for (const char *key : path) v = kelvra_json_object_get(v, key);
    return v;
}

std::string text_of(const kelvra_json_value *v) {
    if (v == nullptr || v->kind != KELVRA_JSON_STRING) return "?";
    return std::string(reinterpret_cast<const char *>(v->as.string.bytes), v->as.string.length);
}

long long integer_of(const kelvra_json_value *v) {
    return v != nullptr && v->kind == KELVRA_JSON_INT ? static_cast<long long>(v->as.integer) : -1;
}

int list_genome(const std::string &dir, uint64_t body_bytes) {
    std::vector<uint8_t> arena = arena_for(body_bytes, 8, 0);
    const kelvra_json_value *manifest = nullptr;
    DEMO_CALL(kelvra_genome_catalog(dir.c_str(), nullptr, 0, arena.data(), arena.size(), &manifest));
    const kelvra_json_value *list = get(manifest, {"data", "chromosomes"});
    std::printf("   %lld records of %lld bytes; body sha256 %.16s...\n", integer_of(get(manifest, {"data", "n_turns"})),
                integer_of(get(manifest, {"data", "leaf_dim"})),
                text_of(get(manifest, {"data", "body_sha256"})).c_str());
    std::printf("   %-16s %8s %8s %8s\n", "chromosome", "offset", "bytes", "leaves");
    for (uint32_t i = 0; list != nullptr && i < list->as.array.count; ++i) {
        const kelvra_json_value *c = list->as.array.items[i];
        std::printf("   %-16s %8lld %8lld %8lld\n", text_of(get(c, {"label"})).c_str(),
                    integer_of(get(c, {"byte_offset"})), integer_of(get(c, {"byte_len"})),
                    integer_of(get(c, {"leaf_count"})));
    }
    return 0;
}

int list_bundles(const std::string &dir) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator entry(dir, error), end; !error && entry != end; entry.increment(error)) {
        std::string name = entry->path().filename().string();
        if (name[0] != '.') names.push_back(std::move(name));
    }
    if (error) {
        std::fprintf(stderr, "kelvra demo: cannot list directory %s: %s\n", dir.c_str(), error.message().c_str());
        return 1;
    }
    std::sort(names.begin(), names.end());
    for (const std::string &name : names) {
        const uintmax_t size = fs::file_size(dir + "/" + name, error);
        std::printf("   %-22s %6lld bytes of self-verifying JSON\n", name.c_str(),
                    error ? 0LL : static_cast<long long>(size));
    }
    return 0;
}

kelvra_status verify(const std::string &dir, uint64_t body_bytes) {
    std::vector<uint8_t> arena = arena_for(body_bytes, 8, 0), body(body_bytes);
    uint64_t length = 0;
    return kelvra_genome_load(dir.c_str(), body.data(), body.size(), &length, nullptr, 0, arena.data(), arena.size());
}

} // namespace

int demo_genome(int section_number);
int demo_genome(int section_number) {
    heading(section_number, "A verifiable genome store (fixed-width records, SHA-256 attested)");
    Scratch scratch;
    if (scratch.root.empty()) {
        std::printf("   (no temporary directory available; section skipped)\n");
        return 0;
    }
    const std::vector<uint8_t> body = demo_body();
    const std::string genome = scratch.make("genome"), bundles = scratch.make("bundles"),
                      packed = scratch.make("packed");

    std::vector<uint8_t> arena = arena_for(body.size(), 8, body.size());
    DEMO_CALL(kelvra_genome_save(genome.c_str(), body.data(), body.size(), kLeafDim, kTheOne, kLeafDim, arena.data(),
                                 arena.size()));
    std::printf("   saved %zu records as turns.bin + manifest.json\n", body.size() / kLeafDim);
    if (int rc = list_genome(genome, body.size())) return rc;

    DEMO_CALL(kelvra_genome_explode(genome.c_str(), bundles.c_str(), nullptr, 0, arena.data(), arena.size()));
    std::printf("   exploded into one bundle per chromosome:\n");
    if (int rc = list_bundles(bundles)) return rc;

    DEMO_CALL(kelvra_genome_pack(bundles.c_str(), packed.c_str(), nullptr, 0, arena.data(), arena.size()));
    std::printf("   packed the bundles into a new genome (chromosomes now in label order):\n");
    if (int rc = list_genome(packed, body.size())) return rc;
    DEMO_CALL(verify(packed, body.size()));
    std::printf("   verify: the body matches its manifest\n");

    // One byte of the stored body changes behind the store's back.
    const std::string turns = packed + "/turns.bin";
    if (std::FILE *f = std::fopen(turns.c_str(), "r+b")) {
        std::fseek(f, 40, SEEK_SET);
        std::fputc('X', f);
        std::fclose(f);
    }
    const kelvra_status tampered = verify(packed, body.size());
    std::printf("   after changing byte 40 of turns.bin, verify gives status %u (%s): %s\n", tampered,
                status_name(tampered), tampered == KELVRA_ERR_DATA ? "caught" : "NOT caught");
    return tampered == KELVRA_ERR_DATA ? 0 : 1;
}

#undef DEMO_CALL

} // namespace kelvra::cli
