// Dense solving and complex matrix products: kelvra beside LAPACK's dgesv
// and BLAS's zgemm, loaded at run time so that several implementations sit
// in one run. Each peer lives in its own link-map namespace (dlmopen), so
// one library's BLAS never answers another's calls:
//   lapack-ref     reference LAPACK on reference BLAS
//                  (lapack/liblapack.so.3 + blas/libblas.so.3)
//   lapack-sysblas reference LAPACK on the system's default BLAS, which on
//                  this Debian is OpenBLAS (the libblas.so.3 alternative)
//   openblas       OpenBLAS's own LAPACK (openblas-pthread/liblapack.so.3)
// OPENBLAS_NUM_THREADS is set to 1 before anything is loaded: every
// contender runs on one core.
//
// Rows read BM_solve/<library>/n<N>/m<M> and BM_zmatmul/<library>/n<N>.
// The peers' timings include copying A and B into the column-major arrays
// dgesv overwrites, as kelvra's include copying them into its workspace.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "kelvra.h"
#include "lapack_peer.hpp"

namespace {

using Dgesv = void (*)(int *, int *, double *, int *, int *, double *, int *, int *);
using Zgemm = void (*)(const char *, const char *, int *, int *, int *, double *, double *, int *, double *, int *,
                       double *, double *, int *);

struct Peer {
    std::string name;
    Dgesv dgesv = nullptr;
    Zgemm zgemm = nullptr;
};

Peer load_peer(const char *name, const std::vector<std::string> &libraries) {
    Peer peer{name};
    void *handle = kelvra_bench::load_lapack(name, libraries);
    if (handle == nullptr) return peer;
    peer.dgesv = reinterpret_cast<Dgesv>(dlsym(handle, "dgesv_"));
    peer.zgemm = reinterpret_cast<Zgemm>(dlsym(handle, "zgemm_"));
    return peer;
}

struct System {
    uint32_t n, m;
    std::vector<double> a, b, x;        // row-major, as kelvra takes them
    std::vector<double> a_cm, b_cm;     // column-major originals for dgesv
    std::vector<double> a_work, b_work; // what dgesv overwrites
    std::vector<int> pivots;
    std::vector<unsigned char> workspace;

    System(uint32_t n_, uint32_t m_) : n(n_), m(m_) {
        std::mt19937_64 rng(n * 1000 + m);
        std::normal_distribution<double> normal;
        a.resize(size_t{n} * n), b.resize(size_t{n} * m), x.resize(size_t{n} * m);
        for (auto &e : a) e = normal(rng);
        for (auto &e : b) e = normal(rng);
        a_cm.resize(a.size()), b_cm.resize(b.size());
        for (size_t i = 0; i < n; ++i) {
            for (size_t j = 0; j < n; ++j) a_cm[i + j * n] = a[i * n + j];
            for (size_t j = 0; j < m; ++j) b_cm[i + j * n] = b[i * m + j];
        }
        a_work = a_cm, b_work = b_cm, pivots.resize(n);
        workspace.resize(kelvra_dense_solve_arena_bytes(n, m));
    }
};

void solve_kelvra(benchmark::State &state, uint32_t n, uint32_t m) {
    System s(n, m);
    for (auto _ : state) {
        const kelvra_status status =
            kelvra_dense_solve_f64_ws(n, m, s.a.data(), s.b.data(), s.x.data(), s.workspace.data(), s.workspace.size());
        benchmark::DoNotOptimize(status);
        benchmark::ClobberMemory();
    }
}

void solve_peer(benchmark::State &state, const Peer *peer, uint32_t n, uint32_t m) {
    System s(n, m);
    int nn = static_cast<int>(n), mm = static_cast<int>(m), info = 0;
    for (auto _ : state) {
        std::copy(s.a_cm.begin(), s.a_cm.end(), s.a_work.begin());
        std::copy(s.b_cm.begin(), s.b_cm.end(), s.b_work.begin());
        peer->dgesv(&nn, &mm, s.a_work.data(), &nn, s.pivots.data(), s.b_work.data(), &nn, &info);
        benchmark::DoNotOptimize(info);
        benchmark::ClobberMemory();
    }
}

struct Product {
    int n;
    std::vector<double> a, b, c;
    explicit Product(int n_) : n(n_), a(2 * size_t(n_) * n_), b(a.size()), c(a.size()) {
        std::mt19937_64 rng(n);
        std::normal_distribution<double> normal;
        for (auto &e : a) e = normal(rng);
        for (auto &e : b) e = normal(rng);
    }
};

void report_flops(benchmark::State &state, int n) {
    // 8 real operations per complex multiply-add.
    state.counters["GFLOP/s"] =
        benchmark::Counter(8.0 * n * n * double(n) * double(state.iterations()) / 1e9, benchmark::Counter::kIsRate);
}

void zmatmul_kelvra(benchmark::State &state, int n) {
    Product p(n);
    const uint32_t un = static_cast<uint32_t>(n);
    for (auto _ : state) {
        kelvra_dense_matmul_complex(un, un, un, p.a.data(), p.b.data(), p.c.data());
        benchmark::ClobberMemory();
    }
    report_flops(state, n);
}

// Row-major C = A B is column-major C^T = B^T A^T: zgemm on (B, A) unchanged.
void zmatmul_peer(benchmark::State &state, const Peer *peer, int n) {
    Product p(n);
    double one[2] = {1, 0}, zero[2] = {0, 0};
    int nn = n;
    for (auto _ : state) {
        peer->zgemm("N", "N", &nn, &nn, &nn, one, p.b.data(), &nn, p.a.data(), &nn, zero, p.c.data(), &nn);
        benchmark::ClobberMemory();
    }
    report_flops(state, n);
}

std::vector<Peer> &peers() {
    static std::vector<Peer> all;
    return all;
}

void register_all() {
    auto &all = peers();
    all.push_back(load_peer("lapack-ref", {"blas/libblas.so.3", "lapack/liblapack.so.3"}));
    all.push_back(load_peer("lapack-sysblas", {"lapack/liblapack.so.3"}));
    all.push_back(load_peer("openblas", {"openblas-pthread/liblapack.so.3"}));
    for (uint32_t n : {8u, 32u, 128u, 512u}) {
        for (uint32_t m : {1u, n}) {
            const std::string shape = "/n" + std::to_string(n) + "/m" + std::to_string(m);
            benchmark::RegisterBenchmark(("BM_solve/kelvra" + shape).c_str(), solve_kelvra, n, m);
            for (const Peer &peer : all) {
                if (peer.dgesv) {
                    benchmark::RegisterBenchmark(("BM_solve/" + peer.name + shape).c_str(), solve_peer, &peer, n, m);
                }
            }
        }
    }
    for (int n : {64, 256}) {
        const std::string shape = "/n" + std::to_string(n);
        benchmark::RegisterBenchmark(("BM_zmatmul/kelvra" + shape).c_str(), zmatmul_kelvra, n);
        for (const Peer &peer : all) {
            if (peer.zgemm && peer.name != "lapack-sysblas") {
                const std::string blas = peer.name == "lapack-ref" ? "blas-ref" : peer.name;
                benchmark::RegisterBenchmark(("BM_zmatmul/" + blas + shape).c_str(), zmatmul_peer, &peer, n);
            }
        }
    }
}

} // namespace

int main(int argc, char **argv) {
    setenv("OPENBLAS_NUM_THREADS", "1", 1);
    register_all();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
