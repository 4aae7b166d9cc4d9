// kelvra_sha256_hex beside OpenSSL's SHA-256, on 64 B, 256 B, 4 KiB and 1 MiB
// (256 B: a short message of several blocks, where per-call costs still show);
// kelvra_sha256_shani beside OpenSSL on 64 B, 4 KiB and 1 MiB; and
// kelvra_sha256_batch on each tier (and kelvra_sha256_shani called once per
// message) over batches of 8 to 1024 messages of 64 B and 4 KiB, beside
// OpenSSL hashing the same messages one by one.
//
// OpenSSL chooses its SHA-256 code (SHA extensions, AVX2, AVX, SSSE3 or plain
// integer) from a capability mask it reads once, from the environment variable
// OPENSSL_ia32cap, when libcrypto is loaded. So the comparison with its scalar
// path needs a process started with the variable set: when the variable is
// absent, this program first runs itself again with kScalarMask (that pass is
// the "OpenSSL scalar" table), then with kAvx2Mask (the "OpenSSL AVX2" table:
// its best path without the SHA extensions) and then runs its own pass with
// OpenSSL's default choice (the "OpenSSL accelerated" table, the SHA
// extensions where the processor has them). Started with
// OPENSSL_ia32cap already set, it runs one pass under that mask; use that
// form when writing results to a file (--benchmark_out), which both passes
// would otherwise share.
//
// Every OpenSSL row carries the throughput ratio kelvra / OpenSSL for its size,
// measured in the same process by alternating the two (see interleaved_ratio).
//
// Two OpenSSL rows per size: SHA256() is the one-shot call (in OpenSSL 3 it
// looks the algorithm up on every call, which dominates small inputs), and
// SHA256_Init/Update/Final is the direct block code without that lookup.
#define OPENSSL_SUPPRESS_DEPRECATED // SHA256_Init/Update/Final: the lookup-free path
#include <benchmark/benchmark.h>
#include <openssl/sha.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "kelvra.h"

namespace {

// First word (CPUID.1 EDX | ECX << 32): clear SSSE3 (bit 41), OpenSSL's XOP
// flag (bit 43) and AVX (bit 60). Second word (CPUID.7 EBX): clear AVX2
// (bit 5) and SHA (bit 29). What remains selects the plain integer code; it
// times the same as OPENSSL_ia32cap="" (every capability cleared), while
// clearing only SHA, or SHA and AVX2, or everything but SSSE3 is measurably
// faster.
constexpr const char *kScalarMask = "~0x10000A0000000000:~0x20000020";

// Clears only the SHA bit (CPUID.7 EBX bit 29): OpenSSL then runs its AVX2
// code, the widest it has for one message without the SHA extensions.
constexpr const char *kAvx2Mask = "~0x0:~0x20000000";

constexpr size_t kSizes[] = {64, 256, 4096, size_t{1} << 20};
constexpr int kSizeCount = sizeof kSizes / sizeof kSizes[0];

const char *openssl_path_name() {
    const char *mask = std::getenv("OPENSSL_ia32cap");
    if (mask == nullptr) return "OpenSSL accelerated (default path)";
    if (std::strcmp(mask, kScalarMask) == 0) return "OpenSSL scalar (integer path)";
    if (std::strcmp(mask, kAvx2Mask) == 0) return "OpenSSL AVX2 (SHA extensions masked)";
    return "OpenSSL under a caller-chosen OPENSSL_ia32cap";
}

std::vector<uint8_t> message(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 131 + 7);
    return bytes;
}

// CPU time of this thread: the machine may be shared with other work.
double thread_cpu_seconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

template <class Hash>
double seconds_for(int calls, Hash hash) {
    const double start = thread_cpu_seconds();
    for (int i = 0; i < calls; ++i) hash();
    return thread_cpu_seconds() - start;
}

// Throughput of `kelvra` over that of `openssl`, from short alternating bursts
// (64 KiB each, a fraction of a millisecond) keeping each side's best: both see
// the same processor clock and the same neighbours, so the ratio holds up on a
// busy machine better than two figures measured seconds apart.
template <class Kelvra, class OpenSsl>
double interleaved_ratio(size_t size, Kelvra kelvra, OpenSsl openssl) {
    const int calls = static_cast<int>(std::max<size_t>(1, (size_t{1} << 16) / size));
    double best_kelvra = 1e30, best_openssl = 1e30;
    for (int burst = 0; burst < 101; ++burst) {
        best_kelvra = std::min(best_kelvra, seconds_for(calls, kelvra));
        best_openssl = std::min(best_openssl, seconds_for(calls, openssl));
    }
    return best_kelvra > 0 ? best_openssl / best_kelvra : 0;
}

template <class Hash>
void measure(benchmark::State &state, size_t size, Hash hash) {
    for (auto _ : state) hash();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void BM_kelvra_sha256_hex(benchmark::State &state, int index) {
    const std::vector<uint8_t> bytes = message(kSizes[index]);
    char out[65];
    measure(state, bytes.size(), [&] {
        kelvra_sha256_hex(bytes.data(), bytes.size(), out);
        benchmark::DoNotOptimize(out);
    });
}

// An OpenSSL row: its own throughput, plus the kelvra / OpenSSL ratio
// measured outside the timed loop.
template <class Hash>
void measure_openssl(benchmark::State &state, const std::vector<uint8_t> &bytes, Hash hash) {
    measure(state, bytes.size(), hash);
    char out[65];
    const auto kelvra = [&] {
        kelvra_sha256_hex(bytes.data(), bytes.size(), out);
        benchmark::DoNotOptimize(out);
    };
    state.counters["kelvra/openssl"] = interleaved_ratio(bytes.size(), kelvra, hash);
    state.SetLabel(openssl_path_name());
}

void BM_openssl_SHA256(benchmark::State &state, int index) {
    const std::vector<uint8_t> bytes = message(kSizes[index]);
    uint8_t digest[SHA256_DIGEST_LENGTH];
    measure_openssl(state, bytes, [&] {
        SHA256(bytes.data(), bytes.size(), digest);
        benchmark::DoNotOptimize(digest);
    });
}

void BM_openssl_SHA256_ctx(benchmark::State &state, int index) {
    const std::vector<uint8_t> bytes = message(kSizes[index]);
    uint8_t digest[SHA256_DIGEST_LENGTH];
    measure_openssl(state, bytes, [&] {
        SHA256_CTX ctx;
        SHA256_Init(&ctx);
        SHA256_Update(&ctx, bytes.data(), bytes.size());
        SHA256_Final(digest, &ctx);
        benchmark::DoNotOptimize(digest);
    });
}

void openssl_one(const uint8_t *data, size_t size, uint8_t *digest) {
    SHA256_CTX ctx;
    SHA256_Init(&ctx);
    SHA256_Update(&ctx, data, size);
    SHA256_Final(digest, &ctx);
}

// kelvra_sha256_shani on one message, with the ratio to OpenSSL's direct block
// code on the same message.
void BM_kelvra_sha256_shani(benchmark::State &state, size_t size) {
    const std::vector<uint8_t> bytes = message(size);
    uint8_t out[32], peer[32];
    const auto kelvra = [&] {
        kelvra_sha256_shani(bytes.data(), bytes.size(), out);
        benchmark::DoNotOptimize(out);
    };
    const auto openssl = [&] {
        openssl_one(bytes.data(), bytes.size(), peer);
        benchmark::DoNotOptimize(peer);
    };
    measure(state, size, kelvra);
    state.counters["kelvra/openssl"] = interleaved_ratio(size, kelvra, openssl);
    state.SetLabel(openssl_path_name());
}

// `count` messages of `size` bytes each, each with its own content.
struct Batch {
    std::vector<uint8_t> bytes;
    std::vector<const uint8_t *> pointers;
    std::vector<uint64_t> lengths;
    std::vector<uint8_t> out;
    Batch(size_t size, size_t count) : bytes(message(size * count)), out(32 * count) {
        for (size_t i = 0; i < count; ++i) {
            pointers.push_back(bytes.data() + size * i);
            lengths.push_back(size);
        }
    }
};

// How kelvra hashes a batch: kelvra_sha256_batch on a forced tier, or
// kelvra_sha256_shani once per message (tier -1).
void hash_batch(Batch &b, int tier) {
    if (tier >= 0) {
        kelvra_sha256_batch(b.pointers.data(), b.lengths.data(), b.pointers.size(), b.out.data());
    } else {
        for (size_t i = 0; i < b.pointers.size(); ++i)
            kelvra_sha256_shani(b.pointers[i], b.lengths[i], b.out.data() + 32 * i);
    }
    benchmark::DoNotOptimize(b.out.data());
}

// Aggregate throughput of one batch, with the ratio to OpenSSL hashing the
// same messages one by one on the path of this pass.
void BM_kelvra_batch(benchmark::State &state, int tier, size_t size, size_t count) {
    const char *tier_text[] = {"0", "1", "2"};
    if (tier >= 0) setenv("KELVRA_SHA256_FORCE_TIER", tier_text[tier], 1);
    Batch b(size, count);
    uint8_t peer[32];
    const auto kelvra = [&] { hash_batch(b, tier); };
    const auto openssl = [&] {
        for (size_t i = 0; i < count; ++i) openssl_one(b.pointers[i], size, peer);
        benchmark::DoNotOptimize(peer);
    };
    measure(state, size * count, kelvra);
    state.counters["kelvra/openssl"] = interleaved_ratio(size * count, kelvra, openssl);
    state.SetLabel(openssl_path_name());
    unsetenv("KELVRA_SHA256_FORCE_TIER");
}

// Size by size, kelvra's row first.
void register_benchmarks() {
    for (size_t size : {size_t{64}, size_t{4096}, size_t{1} << 20})
        benchmark::RegisterBenchmark(("kelvra_sha256_shani/" + std::to_string(size)).c_str(), BM_kelvra_sha256_shani,
                                     size);
    const char *tier_names[] = {"shani_each", "batch_tier0", "batch_tier1", "batch_tier2"};
    for (size_t size : {size_t{64}, size_t{4096}}) {
        for (size_t count : {size_t{8}, size_t{32}, size_t{128}, size_t{1024}}) {
            for (int tier = -1; tier <= 2; ++tier) {
                const std::string name = std::string("kelvra_") + tier_names[tier + 1] + "/" + std::to_string(size) +
                                         "B_x" + std::to_string(count);
                benchmark::RegisterBenchmark(name.c_str(), BM_kelvra_batch, tier, size, count);
            }
        }
    }
    for (int index = 0; index < kSizeCount; ++index) {
        const auto name_size = std::to_string(kSizes[index]);
        benchmark::RegisterBenchmark(("kelvra_sha256_hex/" + name_size).c_str(), BM_kelvra_sha256_hex, index);
        benchmark::RegisterBenchmark(("openssl_SHA256/" + name_size).c_str(), BM_openssl_SHA256, index);
        benchmark::RegisterBenchmark(("openssl_SHA256_ctx/" + name_size).c_str(), BM_openssl_SHA256_ctx, index);
    }
}

// Runs this program again under an OpenSSL capability mask and waits for it.
// Returns false if the second process could not be started or failed.
bool run_masked_pass(char **argv, const char *mask) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        setenv("OPENSSL_ia32cap", mask, 1);
        execv("/proc/self/exe", argv);
        _exit(127);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

int main(int argc, char **argv) {
    if (std::getenv("OPENSSL_ia32cap") == nullptr) {
        if (!run_masked_pass(argv, kScalarMask))
            std::fprintf(stderr, "the pass with OpenSSL's scalar path did not run\n");
        if (!run_masked_pass(argv, kAvx2Mask)) std::fprintf(stderr, "the pass with OpenSSL's AVX2 path did not run\n");
    }
    std::printf("\n=== %s ===\n", openssl_path_name());
    std::fflush(stdout);
    register_benchmarks();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
