// The sparse Fiedler vector on a random graph of 1M vertices and 8M weighted
// edges, per power iteration, beside what one iteration cannot do without:
//   BM_fiedler/kelvra_memory    one iteration of kelvra_laplacian_fiedler_sparse
//   BM_fiedler/plain_matvec     z = A t over the same edge list, written the
//                               obvious way (same access pattern)
//   BM_fiedler/eigen_csr        z = A t with Eigen's row-major sparse matrix
//                               (both triangles stored), for information
//   BM_fiedler/kelvra_file      one iteration of kelvra_laplacian_fiedler_sparse_file
//   BM_fiedler/fread_file       fread of the whole edge file in 1 MiB blocks
// kelvra's rows time a call with K iterations and a call with none and report
// the difference over K, so the setup (degree pass, trivial vector) is left
// out. Every row reports the thread's processor time. Targets: kelvra_memory / plain_matvec and
// kelvra_file / (fread_file + kelvra_memory) within 1.2.
#include <benchmark/benchmark.h>

#include <Eigen/SparseCore>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <time.h>
#include <unistd.h>

#include "kelvra.h"

namespace {

constexpr uint32_t kVertices = 1u << 20;
constexpr uint32_t kEdges = 8u << 20;
constexpr uint32_t kTimedIterations = 4; // fewer than 25, so the early stop never cuts a timed run

struct Edges {
    std::vector<uint32_t> src, dst;
    std::vector<double> weights;
    std::string path;

    Edges() : src(kEdges), dst(kEdges), weights(kEdges) {
        std::mt19937_64 rng(2024);
        std::uniform_real_distribution<double> weight(0.5, 1.5);
        for (uint32_t e = 0; e < kEdges; ++e) {
            src[e] = static_cast<uint32_t>(rng() % kVertices);
            dst[e] = static_cast<uint32_t>(rng() % kVertices);
            weights[e] = weight(rng);
        }
        char name[] = "/tmp/kelvra-bench-edges-XXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0) std::abort();
        close(fd);
        path = name;
        std::vector<unsigned char> bytes(size_t{kEdges} * 16);
        for (size_t e = 0; e < kEdges; ++e) {
            std::memcpy(&bytes[16 * e], &src[e], 4);
            std::memcpy(&bytes[16 * e + 4], &dst[e], 4);
            std::memcpy(&bytes[16 * e + 8], &weights[e], 8);
        }
        if (kelvra_plat_file_write(path.c_str(), 0, bytes.data(), bytes.size()) != KELVRA_OK) std::abort();
    }
    ~Edges() { std::remove(path.c_str()); }
};

Edges &edges() {
    static Edges all;
    return all;
}

// The calling thread's processor time: the machine may be shared, and every
// contender runs on one thread (kelvra's reads are counted with their system
// time).
double thread_seconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + 1e-9 * double(now.tv_nsec);
}

template <class Body>
void timed(benchmark::State &state, Body body) {
    for (auto _ : state) {
        const double start = thread_seconds();
        body();
        state.SetIterationTime(thread_seconds() - start);
        benchmark::ClobberMemory();
    }
}

template <class Call>
void per_iteration(benchmark::State &state, Call call) {
    std::vector<double> out(kVertices), workspace(8 * size_t{kVertices});
    for (auto _ : state) {
        double start = thread_seconds();
        if (call(kTimedIterations, out.data(), workspace.data()) != KELVRA_OK) state.SkipWithError("status");
        const double timed = thread_seconds() - start;
        start = thread_seconds();
        if (call(0, out.data(), workspace.data()) != KELVRA_OK) state.SkipWithError("status");
        const double setup = thread_seconds() - start;
        state.SetIterationTime((timed - setup) / kTimedIterations);
        benchmark::ClobberMemory();
    }
}

void kelvra_memory(benchmark::State &state) {
    const Edges &g = edges();
    per_iteration(state, [&](uint32_t iterations, double *out, double *workspace) {
        return kelvra_laplacian_fiedler_sparse(kVertices, kEdges, g.src.data(), g.dst.data(), g.weights.data(),
                                               iterations, out, workspace, 8 * uint64_t{kVertices});
    });
}

void kelvra_file(benchmark::State &state) {
    const Edges &g = edges();
    per_iteration(state, [&](uint32_t iterations, double *out, double *workspace) {
        return kelvra_laplacian_fiedler_sparse_file(kVertices, g.path.c_str(), iterations, out, workspace,
                                                    8 * uint64_t{kVertices});
    });
}

void plain_matvec(benchmark::State &state) {
    const Edges &g = edges();
    std::vector<double> t(kVertices, 0.5), z(kVertices);
    timed(state, [&] {
        std::fill(z.begin(), z.end(), 0.0);
        for (uint32_t e = 0; e < kEdges; ++e) {
            z[g.src[e]] += g.weights[e] * t[g.dst[e]];
            z[g.dst[e]] += g.weights[e] * t[g.src[e]];
        }
        benchmark::DoNotOptimize(z.data());
    });
}

void eigen_csr(benchmark::State &state) {
    const Edges &g = edges();
    Eigen::SparseMatrix<double, Eigen::RowMajor, int> a(kVertices, kVertices);
    {
        std::vector<Eigen::Triplet<double, int>> entries;
        entries.reserve(2 * size_t{kEdges});
        for (uint32_t e = 0; e < kEdges; ++e) {
            entries.emplace_back(g.src[e], g.dst[e], g.weights[e]);
            entries.emplace_back(g.dst[e], g.src[e], g.weights[e]);
        }
        a.setFromTriplets(entries.begin(), entries.end());
    }
    Eigen::VectorXd t = Eigen::VectorXd::Constant(kVertices, 0.5), z(kVertices);
    timed(state, [&] {
        z.noalias() = a * t;
        benchmark::DoNotOptimize(z.data());
    });
}

void fread_file(benchmark::State &state) {
    const Edges &g = edges();
    std::vector<unsigned char> block(1 << 20);
    timed(state, [&] {
        std::FILE *file = std::fopen(g.path.c_str(), "rb");
        if (file == nullptr) std::abort();
        size_t total = 0, got = 0;
        while ((got = std::fread(block.data(), 1, block.size(), file)) > 0) total += got;
        std::fclose(file);
        benchmark::DoNotOptimize(total);
    });
}

constexpr benchmark::TimeUnit kMs = benchmark::kMillisecond;

} // namespace

BENCHMARK(kelvra_memory)->Name("BM_fiedler/kelvra_memory")->UseManualTime()->Iterations(5)->Unit(kMs);
BENCHMARK(plain_matvec)->Name("BM_fiedler/plain_matvec")->UseManualTime()->Iterations(20)->Unit(kMs);
BENCHMARK(eigen_csr)->Name("BM_fiedler/eigen_csr")->UseManualTime()->Iterations(20)->Unit(kMs);
BENCHMARK(kelvra_file)->Name("BM_fiedler/kelvra_file")->UseManualTime()->Iterations(5)->Unit(kMs);
BENCHMARK(fread_file)->Name("BM_fiedler/fread_file")->UseManualTime()->Iterations(20)->Unit(kMs);

BENCHMARK_MAIN();
