// kelvra sha256 [--tier N] FILE...: digests in sha256sum's format.
//
// Which form hashes a file (measured with bench/bench_sha256 and thread CPU
// time on a 2-core AMD EPYC VM with AVX2 and the SHA extensions):
// - kelvra_sha256_shani asks the processor for the extensions on every call,
//   and that CPUID costs about 1.4 us here (a hypervisor traps it), about as
//   long as hashing 2 KiB with the extensions. kelvra_sha256_batch asks once
//   per call for the whole batch, and its 8-lane AVX2 form hashes 1.05-1.23
//   GB/s summed over the lanes on 4 KiB messages (0.4-0.55 GB/s on 64-byte
//   ones), against 0.85-1.0 GB/s (0.035 GB/s) for the extensions one by one
//   with the query included.
// - On long files the extensions win: about 1.55 GB/s on one core, and the
//   query vanishes against the work. The two meet near 6 KiB.
// So, where the processor has AVX2 (or lacks the extensions), files shorter
// than kBatchBelow are collected, up to kBatchFiles at a time, and hashed
// eight to a group with one batch call; longer files, and the fewer than
// eight left over at a flush (the batch would hash those with the scalar
// core), go one by one through kelvra_sha256_shani. The digests are the same
// bytes either way; the output keeps the order of the arguments.
//
// --tier N hashes every file through the batch form on batch tier N (it sets
// KELVRA_SHA256_FORCE_TIER for this process; a tier the processor lacks is
// lowered as everywhere else).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "cli.hpp"
#include "io.hpp"
#include "system.hpp"

namespace kelvra::cli {

namespace {

constexpr uint64_t kBatchBelow = 8 * 1024;
constexpr size_t kBatchFiles = 64;

void print_digest(const uint8_t *digest, const char *path) {
    char text[65];
    for (int i = 0; i < 32; ++i) std::snprintf(text + 2 * i, 3, "%02x", digest[i]);
    std::printf("%s  %s\n", text, path);
}

int report(const char *path, kelvra_status s) {
    std::fflush(stdout);
    std::fprintf(stderr, "kelvra sha256: %s: status %u (%s)\n", path, s, status_name(s));
    return 1;
}

int hash_one(const uint8_t *data, uint64_t length, const char *path) {
    uint8_t digest[32];
    const kelvra_status s = kelvra_sha256_shani(data, length, digest);
    if (s != KELVRA_OK) return report(path, s);
    print_digest(digest, path);
    return 0;
}

// Files read but not yet hashed, in argument order.
struct Pending {
    std::vector<const char *> paths;
    std::vector<std::vector<uint8_t>> contents;
    bool whole_batch = false; // --tier: the leftovers go through the batch too

    int flush() {
        const size_t batched = whole_batch ? paths.size() : paths.size() / 8 * 8;
        int exit_code = 0;
        if (batched != 0) {
            std::vector<const uint8_t *> pointers;
            std::vector<uint64_t> lengths;
            for (size_t i = 0; i < batched; ++i) {
                pointers.push_back(contents[i].data());
                lengths.push_back(contents[i].size());
            }
            std::vector<uint8_t> digests(32 * batched);
            const kelvra_status s = kelvra_sha256_batch(pointers.data(), lengths.data(), batched, digests.data());
            for (size_t i = 0; i < batched; ++i) {
                if (s == KELVRA_OK) print_digest(digests.data() + 32 * i, paths[i]);
                else exit_code = report(paths[i], s);
            }
        }
        for (size_t i = batched; i < paths.size(); ++i)
            exit_code |= hash_one(contents[i].data(), contents[i].size(), paths[i]);
        paths.clear();
        contents.clear();
        return exit_code;
    }
};

int run_sha256(Args args) {
    static char dash[] = "-";
    static char *const standard_input[] = {dash};
    Pending pending;
    uint64_t batch_below = kelvra_simd_has_avx2() != 0 || kelvra_simd_has_shani() == 0 ? kBatchBelow : 0;
    if (args.size() >= 2 && std::string_view(args[0]) == "--tier") {
        const std::string_view tier(args[1]);
        if (tier != "0" && tier != "1" && tier != "2") return usage_error(hash_commands[0], "--tier takes 0, 1 or 2");
        set_environment("KELVRA_SHA256_FORCE_TIER", args[1]);
        batch_below = UINT64_MAX;
        pending.whole_batch = true;
        args = args.subspan(2);
    } else if (!args.empty() && std::string_view(args[0]) == "--tier") {
        return usage_error(hash_commands[0], "--tier takes 0, 1 or 2");
    }
    if (args.empty()) args = Args(standard_input, 1);

    int exit_code = 0;
    std::vector<uint8_t> bytes;
    for (const char *path : args) {
        kelvra_status s = read_input(path, bytes);
        if (s != KELVRA_OK) {
            exit_code |= pending.flush();
            exit_code = report(path, s);
            continue;
        }
        if (bytes.size() < batch_below) {
            pending.paths.push_back(path);
            pending.contents.push_back(std::move(bytes));
            bytes = {};
            if (pending.paths.size() == kBatchFiles) exit_code |= pending.flush();
            continue;
        }
        exit_code |= pending.flush();
        exit_code |= hash_one(bytes.data(), bytes.size(), path);
    }
    exit_code |= pending.flush();
    return exit_code;
}

} // namespace

const Command hash_commands[1] = {
    {"sha256", "[--tier N] [FILE...]",
     "SHA-256 digests in sha256sum's format ('-' or nothing: standard input; --tier: batch tier 0, 1 or 2)",
     run_sha256},
};

} // namespace kelvra::cli
