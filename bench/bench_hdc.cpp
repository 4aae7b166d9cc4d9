// Hypervector kernels at memory speed, beside memcpy measured in the same
// run, and Hamming coding throughput.
//
// Rows read BM_<operation>/<size>[/tier<t>]. Every row reports two rates:
//   bytes_per_second  vector bytes handled per second (one input's length);
//   traffic           bytes read plus bytes written per second: memcpy moves
//                     2 x size, bind 3 x size, similarity 2 x size.
// The memory-speed target compares `traffic` of bind and similarity with
// that of memcpy on the same size (64 MiB, far beyond the caches). 256 KiB
// shows the tiers in cache; below 128 KiB the baseline kernel runs without
// asking the processor (16 KiB).
// Tiers of the population count are forced with KELVRA_HDC_FORCE_TIER.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "kelvra.h"

namespace {

constexpr size_t kLarge = size_t{64} << 20;  // far beyond the caches
constexpr size_t kL2 = size_t{256} << 10;    // tiered, in the second-level cache
constexpr size_t kCached = size_t{16} << 10; // below the tier threshold: baseline kernel

// Three page-aligned buffers, filled (so every page is mapped) once.
struct Buffers {
    uint8_t *a, *b, *out;
    explicit Buffers(size_t n) {
        a = static_cast<uint8_t *>(std::aligned_alloc(4096, n));
        b = static_cast<uint8_t *>(std::aligned_alloc(4096, n));
        out = static_cast<uint8_t *>(std::aligned_alloc(4096, n));
        std::mt19937_64 rng(n);
        for (size_t i = 0; i < n; ++i) a[i] = static_cast<uint8_t>(rng()), b[i] = static_cast<uint8_t>(rng());
        std::memset(out, 1, n);
    }
};

Buffers &buffers(size_t n) {
    static Buffers large(kLarge), l2(kL2), cached(kCached);
    return n == kLarge ? large : n == kL2 ? l2 : cached;
}

void report(benchmark::State &state, size_t n, int streams) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
    state.counters["traffic"] = benchmark::Counter(static_cast<double>(state.iterations()) * double(n) * streams,
                                                   benchmark::Counter::kIsRate, benchmark::Counter::kIs1024);
}

void memcpy_bench(benchmark::State &state, size_t n) {
    Buffers &buf = buffers(n);
    for (auto _ : state) {
        std::memcpy(buf.out, buf.a, n);
        benchmark::ClobberMemory();
    }
    report(state, n, 2);
}

void bind_bench(benchmark::State &state, size_t n) {
    Buffers &buf = buffers(n);
    for (auto _ : state) {
        kelvra_hdc_bind(buf.a, buf.b, static_cast<uint32_t>(n), buf.out);
        benchmark::ClobberMemory();
    }
    report(state, n, 3);
}

void similarity_bench(benchmark::State &state, size_t n, const char *tier) {
    if (tier) setenv("KELVRA_HDC_FORCE_TIER", tier, 1);
    Buffers &buf = buffers(n);
    for (auto _ : state) {
        double s;
        kelvra_hdc_similarity(buf.a, buf.b, static_cast<uint32_t>(n), &s);
        benchmark::DoNotOptimize(s);
    }
    unsetenv("KELVRA_HDC_FORCE_TIER");
    report(state, n, 2);
}

// r = 16: 65519 data bits in 65535 code bits, one byte per bit.
constexpr int kR = 16;
constexpr uint64_t kCodeBits = (uint64_t{1} << kR) - 1, kDataBits = kCodeBits - kR;

struct HammingData {
    std::vector<uint8_t> data, code, decoded;
    HammingData() : data(kDataBits), code(kCodeBits), decoded(kDataBits) {
        std::mt19937_64 rng(16);
        for (auto &bit : data) bit = rng() & 1;
        kelvra_hamming_encode(data.data(), kDataBits, kR, code.data());
        code[12345] ^= 1;
    }
};

HammingData &hamming() {
    static HammingData h;
    return h;
}

void hamming_encode_bench(benchmark::State &state) {
    HammingData &h = hamming();
    std::vector<uint8_t> code(kCodeBits);
    for (auto _ : state) {
        kelvra_hamming_encode(h.data.data(), kDataBits, kR, code.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kDataBits));
    state.counters["codewords/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void hamming_decode_bench(benchmark::State &state) {
    HammingData &h = hamming();
    for (auto _ : state) {
        uint32_t syndrome;
        kelvra_hamming_decode_correct(h.code.data(), kCodeBits, h.decoded.data(), &syndrome);
        benchmark::DoNotOptimize(syndrome);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kCodeBits));
    state.counters["codewords/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void hamming_syndrome_bench(benchmark::State &state) {
    HammingData &h = hamming();
    for (auto _ : state) {
        uint32_t syndrome;
        kelvra_hamming_syndrome(h.code.data(), kCodeBits, &syndrome);
        benchmark::DoNotOptimize(syndrome);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kCodeBits));
}

const char *size_name(size_t n) { return n == kLarge ? "64MiB" : n == kL2 ? "256KiB" : "16KiB"; }

void register_all() {
    for (size_t n : {kLarge, kL2, kCached}) {
        const std::string size = size_name(n);
        const double min_time = n == kLarge ? 2.0 : 0.5;
        benchmark::RegisterBenchmark(("BM_memcpy/" + size).c_str(), memcpy_bench, n)->MinTime(min_time);
        benchmark::RegisterBenchmark(("BM_hdc_bind/" + size).c_str(), bind_bench, n)->MinTime(min_time);
        benchmark::RegisterBenchmark(("BM_hdc_similarity/" + size).c_str(), similarity_bench, n, nullptr)
            ->MinTime(min_time);
        for (const char *tier : {"0", "1", "2"}) {
            benchmark::RegisterBenchmark(("BM_hdc_similarity/" + size + "/tier" + tier).c_str(), similarity_bench, n,
                                         tier)
                ->MinTime(min_time);
        }
    }
    benchmark::RegisterBenchmark("BM_hamming_encode/r16", hamming_encode_bench);
    benchmark::RegisterBenchmark("BM_hamming_syndrome/r16", hamming_syndrome_bench);
    benchmark::RegisterBenchmark("BM_hamming_decode/r16", hamming_decode_bench);
}

} // namespace

int main(int argc, char **argv) {
    register_all();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
