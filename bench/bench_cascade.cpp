// One Kuramoto step (kelvra_cascade_kuramoto_step_f64) for n = 256 and 2048
// oscillators, measured in units of one kelvra_sin call: a step evaluates n²
// sines, so n² units is what the sines alone would cost through the exported
// function. Beside it the same step written with the C library's sin, the
// peer a user would otherwise reach for (not bit-reproducible across
// platforms, which is why the library has its own).
//
// Rows: BM_sin/kelvra and BM_sin/libm (1024 phase differences per iteration),
// BM_kuramoto/kelvra/<n> and BM_kuramoto/libm/<n>. The closing table divides
// each step's time by n² sine calls.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "kelvra.h"

namespace {

constexpr int64_t kSizes[] = {256, 2048};
constexpr size_t kSineBatch = 1024;

std::vector<double> phases(size_t n, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> angle(-3.14159, 3.14159);
    std::vector<double> v(n);
    for (double &x : v) x = angle(rng);
    return v;
}

// Differences of two phases, the arguments a step passes to the sine.
const std::vector<double> &sine_arguments() {
    static const std::vector<double> args = [] {
        const std::vector<double> a = phases(kSineBatch, 1), b = phases(kSineBatch, 2);
        std::vector<double> d(kSineBatch);
        for (size_t i = 0; i < kSineBatch; ++i) d[i] = a[i] - b[i];
        return d;
    }();
    return args;
}

void sin_kelvra(benchmark::State &state) {
    const std::vector<double> &args = sine_arguments();
    for (auto _ : state) {
        for (double x : args) {
            double y;
            kelvra_sin(x, &y);
            benchmark::DoNotOptimize(y);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kSineBatch));
}

void sin_libm(benchmark::State &state) {
    const std::vector<double> &args = sine_arguments();
    for (auto _ : state) {
        for (double x : args) benchmark::DoNotOptimize(std::sin(x));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kSineBatch));
}

// The same step as the library's, with the C library's sine.
void libm_step(const double *theta, const double *omega, size_t n, double coupling, double dt, double *out) {
    const double c = coupling / static_cast<double>(n);
    for (size_t i = 0; i < n; ++i) {
        double s = 0;
        for (size_t j = 0; j < n; ++j) s = s + std::sin(theta[j] - theta[i]);
        out[i] = ((s * c) + omega[i]) * dt + theta[i];
    }
}

void kuramoto(benchmark::State &state, bool library) {
    const size_t n = static_cast<size_t>(state.range(0));
    const std::vector<double> theta = phases(n, 3), omega = phases(n, 4);
    std::vector<double> out(n);
    for (auto _ : state) {
        if (library) kelvra_cascade_kuramoto_step_f64(theta.data(), omega.data(), n, 1.5, 0.01, out.data());
        else libm_step(theta.data(), omega.data(), n, 1.5, 0.01, out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n * n)); // sines per second
}

void register_benchmarks() {
    benchmark::RegisterBenchmark("BM_sin/kelvra", sin_kelvra);
    benchmark::RegisterBenchmark("BM_sin/libm", sin_libm);
    for (int64_t n : kSizes) {
        benchmark::RegisterBenchmark("BM_kuramoto/kelvra", kuramoto, true)->Arg(n)->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark("BM_kuramoto/libm", kuramoto, false)->Arg(n)->Unit(benchmark::kMicrosecond);
    }
}

// Keeps the median processor time per iteration of every row, in seconds.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &reports) override {
        for (const Run &run : reports) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            std::string name = run.run_name.function_name;
            if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
            const double unit = run.time_unit == benchmark::kMicrosecond ? 1e-6 : 1e-9;
            seconds[name] = run.GetAdjustedCPUTime() * unit;
        }
        ConsoleReporter::ReportRuns(reports);
    }
    std::map<std::string, double> seconds;
};

void print_summary(const std::map<std::string, double> &seconds) {
    const auto kelvra_sin_row = seconds.find("BM_sin/kelvra"), libm_sin_row = seconds.find("BM_sin/libm");
    if (kelvra_sin_row == seconds.end() || libm_sin_row == seconds.end()) return;
    const double unit = kelvra_sin_row->second / kSineBatch;
    std::printf("\nKuramoto step (medians of processor time)\n");
    std::printf("one kelvra_sin call: %.2f ns; one libm sin call: %.2f ns (%.2f units)\n", unit * 1e9,
                libm_sin_row->second / kSineBatch * 1e9, libm_sin_row->second / kSineBatch / unit);
    std::printf("%-6s %14s %16s %16s %16s\n", "n", "kelvra step", "kelvra units/n²", "libm step", "libm units/n²");
    for (int64_t n : kSizes) {
        const auto k = seconds.find("BM_kuramoto/kelvra/" + std::to_string(n));
        const auto l = seconds.find("BM_kuramoto/libm/" + std::to_string(n));
        if (k == seconds.end() || l == seconds.end()) continue;
        const double pairs = static_cast<double>(n) * static_cast<double>(n);
        std::printf("%-6lld %11.1f us %16.3f %13.1f us %16.3f\n", static_cast<long long>(n), k->second * 1e6,
                    k->second / pairs / unit, l->second * 1e6, l->second / pairs / unit);
    }
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
