// Octonion batch binding (kelvra_loop_bind_hd_f64) at each processor tier,
// beside memcpy on the same machine as the bandwidth yardstick.
//
// Rows: BM_bind/<tier>/<blocks> with the tier forced through
// KELVRA_LOOP_HD_FORCE_TIER (0 scalar, 1 SSE2, 2 AVX; a tier the processor
// lacks runs as the widest it has), and BM_memcpy/<blocks> copying one array
// of the same size. Bytes: binding streams three arrays (a, b, out: 192 bytes
// per block), memcpy two (64 bytes read, 64 written).
//
// After the runs a table gives, per size, blocks/s and bytes/s of each tier,
// its speed-up over the scalar tier and memcpy's bandwidth over its own, all
// from median processor time (run with --benchmark_repetitions=N for medians).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>

#include "kelvra.h"

namespace {

constexpr int64_t kSizes[] = {64, 512, 4096, 1 << 20};
constexpr int kTiers = 3;
constexpr double kBlockBytes = 64.0;

// A 64-byte-aligned array of doubles that stays put for the whole run.
struct Doubles {
    explicit Doubles(size_t count) : data(static_cast<double *>(std::aligned_alloc(64, count * sizeof(double)))) {}
    ~Doubles() { std::free(data); }
    Doubles(const Doubles &) = delete;
    Doubles &operator=(const Doubles &) = delete;
    double *data;
};

struct Arrays {
    explicit Arrays(size_t blocks) : a(8 * blocks), b(8 * blocks), out(8 * blocks) {
        std::mt19937_64 rng(blocks);
        std::uniform_real_distribution<double> value(-1.0, 1.0);
        for (size_t i = 0; i < 8 * blocks; ++i) {
            a.data[i] = value(rng);
            b.data[i] = value(rng);
            out.data[i] = 0.0;
        }
    }
    Doubles a, b, out;
};

Arrays &arrays_for(int64_t blocks) {
    static std::map<int64_t, Arrays *> cache;
    Arrays *&entry = cache[blocks];
    if (entry == nullptr) entry = new Arrays(static_cast<size_t>(blocks));
    return *entry;
}

void bind(benchmark::State &state) {
    const int tier = static_cast<int>(state.range(0));
    const int64_t blocks = state.range(1);
    setenv("KELVRA_LOOP_HD_FORCE_TIER", std::to_string(tier).c_str(), 1);
    Arrays &arrays = arrays_for(blocks);
    for (auto _ : state) {
        kelvra_loop_bind_hd_f64(arrays.a.data, arrays.b.data, static_cast<uint64_t>(blocks), arrays.out.data);
        benchmark::ClobberMemory();
    }
    unsetenv("KELVRA_LOOP_HD_FORCE_TIER");
    state.SetItemsProcessed(state.iterations() * blocks);
    state.SetBytesProcessed(state.iterations() * blocks * static_cast<int64_t>(3 * kBlockBytes));
}

void copy(benchmark::State &state) {
    const int64_t blocks = state.range(0);
    Arrays &arrays = arrays_for(blocks);
    const size_t bytes = static_cast<size_t>(blocks) * 64;
    for (auto _ : state) {
        std::memcpy(arrays.out.data, arrays.a.data, bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * blocks * static_cast<int64_t>(2 * kBlockBytes));
}

// What every call spends choosing its tier: the processor query (CPUID, which
// a virtual machine may trap) and the environment lookup.
void tier_decision(benchmark::State &state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(kelvra_simd_has_avx());
        benchmark::DoNotOptimize(kelvra_simd_tier("KELVRA_LOOP_HD_FORCE_TIER", 2, 2));
    }
}

void register_benchmarks() {
    benchmark::RegisterBenchmark("BM_tier_decision", tier_decision);
    for (int64_t blocks : kSizes) {
        benchmark::RegisterBenchmark("BM_memcpy", copy)->Arg(blocks);
        for (int tier = 0; tier < kTiers; ++tier) benchmark::RegisterBenchmark("BM_bind", bind)->Args({tier, blocks});
    }
}

// Keeps the median processor time of every row for the closing table.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &reports) override {
        for (const Run &run : reports) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            std::string name = run.run_name.function_name;
            if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
            // Processor time per iteration: other work on a shared machine inflates wall time.
            seconds[name] = run.GetAdjustedCPUTime() * 1e-9; // rows report nanoseconds
        }
        ConsoleReporter::ReportRuns(reports);
    }
    std::map<std::string, double> seconds;
};

void print_summary(const std::map<std::string, double> &seconds) {
    const char *names[kTiers] = {"scalar", "SSE2", "AVX"};
    std::printf("\nOctonion batch binding (medians; bandwidth counts 3 arrays for bind, 2 for memcpy)\n");
    std::printf("%-9s %-7s %14s %12s %10s %14s\n", "blocks", "tier", "blocks/s", "GB/s", "x scalar", "memcpy/bind");
    for (int64_t blocks : kSizes) {
        const auto copy_row = seconds.find("BM_memcpy/" + std::to_string(blocks));
        const auto scalar_row = seconds.find("BM_bind/0/" + std::to_string(blocks));
        for (int tier = 0; tier < kTiers; ++tier) {
            const auto row = seconds.find("BM_bind/" + std::to_string(tier) + "/" + std::to_string(blocks));
            if (row == seconds.end() || scalar_row == seconds.end() || copy_row == seconds.end()) continue;
            const double bind_bw = 3 * kBlockBytes * blocks / row->second;
            const double copy_bw = 2 * kBlockBytes * blocks / copy_row->second;
            std::printf("%-9lld %-7s %14.4g %12.2f %10.2f %14.2f\n", static_cast<long long>(blocks), names[tier],
                        blocks / row->second, bind_bw * 1e-9, scalar_row->second / row->second, copy_bw / bind_bw);
        }
        if (copy_row != seconds.end()) {
            std::printf("%-9lld %-7s %14s %12.2f\n", static_cast<long long>(blocks), "memcpy", "",
                        2 * kBlockBytes * blocks / copy_row->second * 1e-9);
        }
    }
    const auto decision = seconds.find("BM_tier_decision");
    if (decision != seconds.end()) {
        std::printf("tier decision per call: %.0f ns (included in every bind row)\n", decision->second * 1e9);
    }
    std::printf("AVX processor support: %u\n", kelvra_simd_has_avx());
}

} // namespace

int main(int argc, char **argv) {
    register_benchmarks();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    print_summary(reporter.seconds);
    benchmark::Shutdown();
    return 0;
}
