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
#include <algorithm>
#include <cstdio>
#include <string>
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
    if (s == KELVRA_ERR_IO) return input_failed("sha256", path, s);
    return error("sha256", exit_code_for(s), "%s: status %u (%s)", path, s, status_name(s));
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
                else exit_code = std::max(exit_code, report(paths[i], s));
            }
        }
        for (size_t i = batched; i < paths.size(); ++i)
            exit_code = std::max(exit_code, hash_one(contents[i].data(), contents[i].size(), paths[i]));
        paths.clear();
        contents.clear();
        return exit_code;
    }
};

int run_sha256(Args all) {
    static char dash[] = "-";
    static char *const standard_input[] = {dash};
    Pending pending;
    uint64_t batch_below = kelvra_simd_has_avx2() != 0 || kelvra_simd_has_shani() == 0 ? kBatchBelow : 0;
    // Options come before the files; "--" ends them ("-" alone is standard input).
    const char *tier = nullptr;
    std::vector<char *> files;
    bool options = true;
    for (size_t i = 0; i < all.size(); ++i) {
        const std::string_view a = all[i];
        if (options && a == "--") {
            options = false;
        } else if (options && a == "--tier") {
            if (i + 1 == all.size()) return usage_error(hash_commands[0], "--tier takes 0, 1 or 2");
            tier = all[++i];
        } else if (options && a.size() > 1 && a[0] == '-') {
            const std::string problem = "unknown option '" + std::string(a) + "' (a file named so: put -- before it)";
            return usage_error(hash_commands[0], problem.c_str());
        } else {
            files.push_back(all[i]);
        }
    }
    if (tier != nullptr) {
        const std::string_view t(tier);
        if (t != "0" && t != "1" && t != "2") {
            const std::string problem = "--tier takes 0, 1 or 2, not '" + std::string(t) + "'";
            return usage_error(hash_commands[0], problem.c_str());
        }
        set_environment("KELVRA_SHA256_FORCE_TIER", tier);
        batch_below = UINT64_MAX;
        pending.whole_batch = true;
    }
    Args args(files.data(), files.size());
    if (args.empty()) args = Args(standard_input, 1);

    int exit_code = 0;
    std::vector<uint8_t> bytes;
    for (const char *path : args) {
        kelvra_status s = read_input(path, bytes);
        if (s != KELVRA_OK) {
            exit_code = std::max(exit_code, pending.flush());
            exit_code = std::max(exit_code, report(path, s));
            continue;
        }
        if (bytes.size() < batch_below) {
            pending.paths.push_back(path);
            pending.contents.push_back(std::move(bytes));
            bytes = {};
            if (pending.paths.size() == kBatchFiles) exit_code = std::max(exit_code, pending.flush());
            continue;
        }
        exit_code = std::max(exit_code, pending.flush());
        exit_code = std::max(exit_code, hash_one(bytes.data(), bytes.size(), path));
    }
    exit_code = std::max(exit_code, pending.flush());
    return exit_code;
}

void help_sha256(const Command &self, Args) {
    std::printf("usage: kelvra sha256 %s\n\n%s\n\n"
                "  --tier N  hash every file with the batch form on tier N (0 scalar, 1 SSE2, 2 AVX2);\n"
                "            sets KELVRA_SHA256_FORCE_TIER for this run\n"
                "  --        the rest are files, even when they start with -\n"
                "Exit status 3 when a file cannot be read (its digest line is left out), 1 on a\n"
                "library failure.\n",
                self.usage, self.summary);
}

} // namespace

const Command hash_commands[1] = {
    {"sha256", "[--tier N] [FILE...]",
     "SHA-256 digests in sha256sum's format ('-' or none: standard input)",
     run_sha256, help_sha256},
};

} // namespace kelvra::cli
