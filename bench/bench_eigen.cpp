// Jacobi eigensolvers beside tridiagonal ones, in one run:
//   BM_heev/<library>/n<N>   Hermitian eigenvalues and eigenvectors: kelvra's
//                            cyclic Jacobi, LAPACK's zheev (reference LAPACK
//                            on reference BLAS, and OpenBLAS), Eigen's
//                            SelfAdjointEigenSolver<MatrixXcd>
//   BM_syev/<library>/n<N>   real symmetric eigenvalues only: kelvra_jacobi_eigvals
//                            (to convergence, tolerance 1e-14) and dsyev
//   BM_scalar_peak           scalar double multiplies and adds, independent
//                            chains: the machine's scalar floating-point peak
// LAPACK is loaded at run time, each variant in its own link-map namespace
// (as in bench_dense), with OPENBLAS_NUM_THREADS=1: every contender runs on
// one core. The peers' timings include copying the input they overwrite.
//
// Jacobi costs more arithmetic than Householder tridiagonalisation by
// nature, so the kelvra rows also report the rate of the rotations
// themselves ("rot_GFLOP/s"): every rotation that is applied costs
//   complex: 10 flops per updated element (c x: 2, the complex product: 6,
//            the sum: 2) over rows p, q of H, columns p, q of H and of V = 60 n
//   real:    3 flops per updated element (2 products, 1 sum) over rows and
//            columns p, q = 12 n
// (the rotation's own parameters and the off-diagonal measure are left out).
// The rotations applied are counted once, outside the timing, by replaying
// the sweeps' stopping rule and skip rule on a plain copy.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <Eigen/Dense>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "kelvra.h"
#include "lapack_peer.hpp"

namespace {

using Zheev = void (*)(const char *, const char *, int *, double *, int *, double *, double *, int *, double *, int *);
using Dsyev = void (*)(const char *, const char *, int *, double *, int *, double *, double *, int *, int *);

struct Peer {
    std::string name;
    Zheev zheev = nullptr;
    Dsyev dsyev = nullptr;
};

Peer load_peer(const char *name, const std::vector<std::string> &libraries) {
    Peer peer{name};
    void *handle = kelvra_bench::load_lapack(name, libraries);
    if (handle == nullptr) return peer;
    peer.zheev = reinterpret_cast<Zheev>(dlsym(handle, "zheev_"));
    peer.dsyev = reinterpret_cast<Dsyev>(dlsym(handle, "dsyev_"));
    return peer;
}

std::vector<double> random_hermitian(uint32_t n) {
    std::mt19937_64 rng(n);
    std::normal_distribution<double> normal;
    std::vector<double> h(2 * size_t{n} * n);
    for (size_t i = 0; i < n; ++i) {
        h[2 * (i * n + i)] = normal(rng);
        for (size_t j = i + 1; j < n; ++j) {
            const double re = normal(rng), im = normal(rng);
            h[2 * (i * n + j)] = re, h[2 * (i * n + j) + 1] = im;
            h[2 * (j * n + i)] = re, h[2 * (j * n + i) + 1] = -im;
        }
    }
    return h;
}

std::vector<double> random_symmetric(uint32_t n) {
    std::mt19937_64 rng(n + 7);
    std::normal_distribution<double> normal;
    std::vector<double> a(size_t{n} * n);
    for (size_t i = 0; i < n; ++i) {
        for (size_t j = i; j < n; ++j) a[i * n + j] = a[j * n + i] = normal(rng);
    }
    return a;
}

// ---- counting the rotations -----------------------------------------------

double root(double x) {
    double r = 0;
    kelvra_rational_sqrt(x, &r);
    return r;
}

void cs_for(double theta, double &c, double &s) {
    const double t = theta >= 0 ? 1 / (theta + root(theta * theta + 1)) : 1 / (theta - root(theta * theta + 1));
    c = 1 / root(t * t + 1);
    s = c * t;
}

// The Hermitian sweeps on std::complex (not bit-exact, which does not matter
// for counting): rotations applied until off <= 1e-24 off0.
double hermitian_rotations(uint32_t n, const std::vector<double> &in) {
    using C = std::complex<double>;
    std::vector<C> h(size_t{n} * n);
    for (size_t i = 0; i < h.size(); ++i) h[i] = {in[2 * i], in[2 * i + 1]};
    auto off = [&] {
        double sum = 0;
        for (size_t i = 0; i < n; ++i) {
            for (size_t j = i + 1; j < n; ++j) sum += 2 * std::norm(h[i * n + j]);
        }
        return sum;
    };
    const double limit = 1e-24 * off();
    double rotations = 0;
    for (int sweep = 0; sweep < 100; ++sweep) {
        const double o = off();
        if (o <= limit || o < 1e-300) break;
        for (size_t p = 0; p + 1 < n; ++p) {
            for (size_t q = p + 1; q < n; ++q) {
                const double m2 = std::norm(h[p * n + q]);
                if (m2 < 1e-300) continue;
                rotations += 1;
                const double r = root(m2);
                const C u = h[p * n + q] / r;
                double c, s;
                cs_for((h[q * n + q].real() - h[p * n + p].real()) / (2 * r), c, s);
                for (size_t k = 0; k < n; ++k) {
                    const C a = h[p * n + k], b = h[q * n + k];
                    h[p * n + k] = c * a - s * u * b;
                    h[q * n + k] = c * b + s * std::conj(u) * a;
                }
                for (size_t k = 0; k < n; ++k) {
                    const C a = h[k * n + p], b = h[k * n + q];
                    h[k * n + p] = c * a - s * std::conj(u) * b;
                    h[k * n + q] = c * b + s * u * a;
                }
            }
        }
    }
    return rotations;
}

// The real solver: the fewest sweeps whose result equals the full run's, times
// the pairs per sweep (a random matrix has no exactly zero entry to skip).
double real_rotations(uint32_t n, const std::vector<double> &in, double tolerance) {
    std::vector<double> full_a = in, full(n);
    kelvra_jacobi_eigvals(n, full_a.data(), 100, tolerance, full.data());
    for (int sweeps = 1; sweeps <= 100; ++sweeps) {
        std::vector<double> a = in, values(n);
        kelvra_jacobi_eigvals(n, a.data(), sweeps, tolerance, values.data());
        if (a == full_a) return sweeps * (double(n) * (n - 1) / 2);
    }
    return 100 * (double(n) * (n - 1) / 2);
}

void report_rotation_rate(benchmark::State &state, double flops) {
    state.counters["rot_GFLOP/s"] =
        benchmark::Counter(flops * double(state.iterations()) / 1e9, benchmark::Counter::kIsRate);
}

// ---- Hermitian ----------------------------------------------------------

void heev_kelvra(benchmark::State &state, uint32_t n) {
    const std::vector<double> h = random_hermitian(n);
    std::vector<double> values(n), vectors(2 * size_t{n} * n), workspace(2 * size_t{n} * n);
    for (auto _ : state) {
        const kelvra_status s = kelvra_hermitian_eigendecompose_ws(n, h.data(), values.data(), vectors.data(),
                                                                   workspace.data(), workspace.size());
        benchmark::DoNotOptimize(s);
        benchmark::ClobberMemory();
    }
    report_rotation_rate(state, hermitian_rotations(n, h) * 60.0 * n);
}

// zheev reads column-major: the row-major array is H^T = conj(H), which has
// the same eigenvalues and conjugated eigenvectors: the same work.
void heev_peer(benchmark::State &state, const Peer *peer, uint32_t n) {
    const std::vector<double> h = random_hermitian(n);
    std::vector<double> a(h.size()), w(n), rwork(3 * size_t{n}), work(2 * 64 * size_t{n});
    int nn = static_cast<int>(n), lwork = 64 * nn, info = 0;
    for (auto _ : state) {
        std::copy(h.begin(), h.end(), a.begin());
        peer->zheev("V", "U", &nn, a.data(), &nn, w.data(), work.data(), &lwork, rwork.data(), &info);
        benchmark::DoNotOptimize(info);
        benchmark::ClobberMemory();
    }
}

void heev_eigen(benchmark::State &state, uint32_t n) {
    const std::vector<double> h = random_hermitian(n);
    Eigen::MatrixXcd m(n, n);
    for (uint32_t i = 0; i < n; ++i) {
        for (uint32_t j = 0; j < n; ++j) m(i, j) = {h[2 * (i * n + j)], h[2 * (i * n + j) + 1]};
    }
    Eigen::SelfAdjointEigenSolver<Eigen::MatrixXcd> solver(n);
    for (auto _ : state) {
        solver.compute(m, Eigen::ComputeEigenvectors);
        benchmark::DoNotOptimize(solver.eigenvalues().data());
        benchmark::ClobberMemory();
    }
}

// ---- real symmetric -----------------------------------------------------

constexpr double kTolerance = 1e-14;

void syev_kelvra(benchmark::State &state, uint32_t n) {
    const std::vector<double> a0 = random_symmetric(n);
    std::vector<double> a(a0.size()), values(n);
    for (auto _ : state) {
        std::copy(a0.begin(), a0.end(), a.begin());
        const kelvra_status s = kelvra_jacobi_eigvals(n, a.data(), 100, kTolerance, values.data());
        benchmark::DoNotOptimize(s);
        benchmark::ClobberMemory();
    }
    report_rotation_rate(state, real_rotations(n, a0, kTolerance) * 12.0 * n);
}

void syev_peer(benchmark::State &state, const Peer *peer, uint32_t n) {
    const std::vector<double> a0 = random_symmetric(n);
    std::vector<double> a(a0.size()), w(n), work(64 * size_t{n});
    int nn = static_cast<int>(n), lwork = 64 * nn, info = 0;
    for (auto _ : state) {
        std::copy(a0.begin(), a0.end(), a.begin());
        peer->dsyev("N", "U", &nn, a.data(), &nn, w.data(), work.data(), &lwork, &info);
        benchmark::DoNotOptimize(info);
        benchmark::ClobberMemory();
    }
}

// ---- the scalar peak ------------------------------------------------------

// Twelve independent multiply chains and twelve independent add chains in
// scalar SSE2 instructions (mulsd, addsd), written in assembly so that the
// compiler can neither vectorise nor fuse them: 24 flops per iteration.
void scalar_peak(benchmark::State &state) {
    const double factor = 1.0000001, addend = 1e-9;
    double sink = 0;
    for (auto _ : state) {
        double m[12], a[12];
        for (int i = 0; i < 12; ++i) m[i] = 1.0 + i, a[i] = i;
        for (int k = 0; k < 4096; ++k) {
            asm volatile(
                "mulsd %[f], %[m0]\n\t addsd %[d], %[a0]\n\t mulsd %[f], %[m1]\n\t addsd %[d], %[a1]\n\t"
                "mulsd %[f], %[m2]\n\t addsd %[d], %[a2]\n\t mulsd %[f], %[m3]\n\t addsd %[d], %[a3]\n\t"
                "mulsd %[f], %[m4]\n\t addsd %[d], %[a4]\n\t mulsd %[f], %[m5]\n\t addsd %[d], %[a5]\n\t"
                : [m0] "+x"(m[0]), [m1] "+x"(m[1]), [m2] "+x"(m[2]), [m3] "+x"(m[3]), [m4] "+x"(m[4]), [m5] "+x"(m[5]),
                  [a0] "+x"(a[0]), [a1] "+x"(a[1]), [a2] "+x"(a[2]), [a3] "+x"(a[3]), [a4] "+x"(a[4]), [a5] "+x"(a[5])
                : [f] "x"(factor), [d] "x"(addend));
            asm volatile("mulsd %[f], %[m0]\n\t addsd %[d], %[a0]\n\t mulsd %[f], %[m1]\n\t addsd %[d], %[a1]\n\t"
                         "mulsd %[f], %[m2]\n\t addsd %[d], %[a2]\n\t mulsd %[f], %[m3]\n\t addsd %[d], %[a3]\n\t"
                         "mulsd %[f], %[m4]\n\t addsd %[d], %[a4]\n\t mulsd %[f], %[m5]\n\t addsd %[d], %[a5]\n\t"
                         : [m0] "+x"(m[6]), [m1] "+x"(m[7]), [m2] "+x"(m[8]), [m3] "+x"(m[9]), [m4] "+x"(m[10]),
                           [m5] "+x"(m[11]), [a0] "+x"(a[6]), [a1] "+x"(a[7]), [a2] "+x"(a[8]), [a3] "+x"(a[9]),
                           [a4] "+x"(a[10]), [a5] "+x"(a[11])
                         : [f] "x"(factor), [d] "x"(addend));
        }
        for (int i = 0; i < 12; ++i) sink += m[i] + a[i];
    }
    benchmark::DoNotOptimize(sink);
    state.counters["GFLOP/s"] =
        benchmark::Counter(24.0 * 4096 * double(state.iterations()) / 1e9, benchmark::Counter::kIsRate);
}

std::vector<Peer> &peers() {
    static std::vector<Peer> all;
    return all;
}

void register_all() {
    auto &all = peers();
    all.push_back(load_peer("lapack-ref", {"blas/libblas.so.3", "lapack/liblapack.so.3"}));
    all.push_back(load_peer("openblas", {"openblas-pthread/liblapack.so.3"}));
    benchmark::RegisterBenchmark("BM_scalar_peak", scalar_peak);
    for (uint32_t n : {16u, 64u, 256u}) {
        const std::string shape = "/n" + std::to_string(n);
        const auto unit = n >= 64 ? benchmark::kMillisecond : benchmark::kMicrosecond;
        benchmark::RegisterBenchmark(("BM_heev/kelvra" + shape).c_str(), heev_kelvra, n)->Unit(unit);
        for (const Peer &peer : all) {
            if (peer.zheev)
                benchmark::RegisterBenchmark(("BM_heev/" + peer.name + shape).c_str(), heev_peer, &peer, n)->Unit(unit);
        }
        benchmark::RegisterBenchmark(("BM_heev/eigen" + shape).c_str(), heev_eigen, n)->Unit(unit);
        benchmark::RegisterBenchmark(("BM_syev/kelvra" + shape).c_str(), syev_kelvra, n)->Unit(unit);
        for (const Peer &peer : all) {
            if (peer.dsyev)
                benchmark::RegisterBenchmark(("BM_syev/" + peer.name + shape).c_str(), syev_peer, &peer, n)->Unit(unit);
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
