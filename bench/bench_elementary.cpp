// The library's fixed-point exp, log, sin, cos, atan and atan2 beside glibc's
// libm and MPFR (53-bit precision, round to nearest).
//
// Names read BM_<latency|throughput>/<function>/<implementation>:
//   latency     a dependent chain: each call's argument waits for the
//               previous result (x = a[i] + (y - y)), so the time is the
//               call's latency plus the chain's add and subtract;
//   throughput  independent calls over the same arguments.
// Implementations: kelvra (the export), inline (the same routine from
// elementary.hpp, as the library's own kernels call it), glibc, mpfr.
//
// BM_series/<function> times the fixed-point series alone in a dependent
// chain: the floor set by the algorithm's own chain of dependent
// multiplications, which no implementation of these exact steps can beat.
// BM_mulhi_chain is one 64x64->128 multiplication per step, the unit of that
// chain. Before the benchmarks the program prints the maximum error in units
// in the last place against MPFR (for information; exactness is the
// library's contract, not accuracy) and the length of each series chain.
#include <benchmark/benchmark.h>
#include <mpfr.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "elementary/elementary.hpp"
#include "kelvra.h"

namespace {

namespace el = kelvra::elementary;

constexpr size_t kArguments = 4096; // a power of two

using Unary = double (*)(double);
using Binary = double (*)(double, double);

// ---- arguments -----------------------------------------------------------------

std::vector<double> uniform(double low, double high, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> d(low, high);
    std::vector<double> v(kArguments);
    for (double &x : v) x = d(rng);
    return v;
}

// |x| log-uniform in [2^low, 2^high], random sign when `signed_too`.
std::vector<double> log_uniform(int low, int high, bool signed_too, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> e(low, high);
    std::vector<double> v(kArguments);
    for (double &x : v) x = std::exp2(e(rng)) * (signed_too && (rng() & 1) ? -1 : 1);
    return v;
}

struct UnaryFunction {
    const char *name;
    std::vector<double> args;
    Unary kelvra, inline_version, glibc;
    int (*mpfr)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);
};

double kelvra_exp_value(double x) {
    double y;
    kelvra_exp(x, &y);
    return y;
}
double kelvra_log_value(double x) {
    double y;
    kelvra_log(x, &y);
    return y;
}
double kelvra_sin_value(double x) {
    double y;
    kelvra_sin(x, &y);
    return y;
}
double kelvra_cos_value(double x) {
    double y;
    kelvra_cos(x, &y);
    return y;
}
double kelvra_atan_value(double x) {
    double y;
    kelvra_atan(x, &y);
    return y;
}
double kelvra_atan2_value(double y, double x) {
    double a;
    kelvra_atan2(y, x, &a);
    return a;
}

const std::vector<UnaryFunction> &unary_functions() {
    static const std::vector<UnaryFunction> functions = {
        {"exp", uniform(-20, 20, 1), kelvra_exp_value, [](double x) { return el::fixed_exp(x); },
         [](double x) { return std::exp(x); }, mpfr_exp},
        {"log", log_uniform(-30, 30, false, 2), kelvra_log_value, [](double x) { return el::fixed_log(x); },
         [](double x) { return std::log(x); }, mpfr_log},
        {"sin", uniform(-100, 100, 3), kelvra_sin_value, [](double x) { return el::fixed_sin(x); },
         [](double x) { return std::sin(x); }, mpfr_sin},
        {"cos", uniform(-100, 100, 4), kelvra_cos_value, [](double x) { return el::fixed_cos(x); },
         [](double x) { return std::cos(x); }, mpfr_cos},
        {"atan", log_uniform(-10, 10, true, 5), kelvra_atan_value, [](double x) { return el::fixed_atan(x); },
         [](double x) { return std::atan(x); }, mpfr_atan},
    };
    return functions;
}

const std::vector<double> &atan2_ys() {
    static const std::vector<double> v = uniform(-1, 1, 6);
    return v;
}
const std::vector<double> &atan2_xs() {
    static const std::vector<double> v = uniform(-1, 1, 7);
    return v;
}

// ---- timing loops ----------------------------------------------------------------

template <class F>
void latency(benchmark::State &state, const std::vector<double> &args, F f) {
    size_t i = 0;
    double y = 0;
    for (auto _ : state) {
        const double x = args[i++ & (kArguments - 1)] + (y - y); // y - y = 0, but only once y is known
        y = f(x);
    }
    benchmark::DoNotOptimize(y);
}

template <class F>
void throughput(benchmark::State &state, const std::vector<double> &args, F f) {
    size_t i = 0;
    for (auto _ : state) {
        double y = f(args[i++ & (kArguments - 1)]);
        benchmark::DoNotOptimize(y);
    }
}

// MPFR at 53 bits: set, evaluate, round back.
struct Mpfr53 {
    mpfr_t in, out;
    Mpfr53() {
        mpfr_init2(in, 53);
        mpfr_init2(out, 53);
    }
    ~Mpfr53() {
        mpfr_clear(in);
        mpfr_clear(out);
    }
};

void register_unary() {
    for (const UnaryFunction &f : unary_functions()) {
        for (const bool is_latency : {true, false}) {
            const std::string kind = is_latency ? "BM_latency/" : "BM_throughput/";
            const auto add = [&](const char *impl, Unary g) {
                benchmark::RegisterBenchmark((kind + f.name + "/" + impl).c_str(),
                                             [&f, g, is_latency](benchmark::State &state) {
                                                 if (is_latency) {
                                                     latency(state, f.args, g);
                                                 } else {
                                                     throughput(state, f.args, g);
                                                 }
                                             });
            };
            add("kelvra", f.kelvra);
            benchmark::RegisterBenchmark((kind + f.name + "/inline").c_str(),
                                         [&f, is_latency](benchmark::State &state) {
                                             const std::string n = f.name;
                                             // The routine inlined into the loop, as a kernel would have it.
                                             auto run = [&](auto g) {
                                                 if (is_latency) {
                                                     latency(state, f.args, g);
                                                 } else {
                                                     throughput(state, f.args, g);
                                                 }
                                             };
                                             if (n == "exp") run([](double x) { return el::fixed_exp(x); });
                                             if (n == "log") run([](double x) { return el::fixed_log(x); });
                                             if (n == "sin") run([](double x) { return el::fixed_sin(x); });
                                             if (n == "cos") run([](double x) { return el::fixed_cos(x); });
                                             if (n == "atan") run([](double x) { return el::fixed_atan(x); });
                                         });
            add("glibc", f.glibc);
            benchmark::RegisterBenchmark((kind + f.name + "/mpfr").c_str(), [&f, is_latency](benchmark::State &state) {
                Mpfr53 m;
                auto g = [&](double x) {
                    mpfr_set_d(m.in, x, MPFR_RNDN);
                    f.mpfr(m.out, m.in, MPFR_RNDN);
                    return mpfr_get_d(m.out, MPFR_RNDN);
                };
                if (is_latency) {
                    latency(state, f.args, g);
                } else {
                    throughput(state, f.args, g);
                }
            });
        }
    }
}

template <class F>
void latency2(benchmark::State &state, F f) {
    const std::vector<double> &ys = atan2_ys(), &xs = atan2_xs();
    size_t i = 0;
    double a = 0;
    for (auto _ : state) {
        const size_t k = i++ & (kArguments - 1);
        a = f(ys[k] + (a - a), xs[k]);
    }
    benchmark::DoNotOptimize(a);
}

template <class F>
void throughput2(benchmark::State &state, F f) {
    const std::vector<double> &ys = atan2_ys(), &xs = atan2_xs();
    size_t i = 0;
    for (auto _ : state) {
        const size_t k = i++ & (kArguments - 1);
        double a = f(ys[k], xs[k]);
        benchmark::DoNotOptimize(a);
    }
}

void register_atan2() {
    const auto both = [](const char *impl, auto f) {
        benchmark::RegisterBenchmark((std::string("BM_latency/atan2/") + impl).c_str(),
                                     [f](benchmark::State &s) { latency2(s, f); });
        benchmark::RegisterBenchmark((std::string("BM_throughput/atan2/") + impl).c_str(),
                                     [f](benchmark::State &s) { throughput2(s, f); });
    };
    both("kelvra", kelvra_atan2_value);
    both("inline", [](double y, double x) { return el::fixed_atan2(y, x); });
    both("glibc", [](double y, double x) { return std::atan2(y, x); });
    const auto mpfr_atan2_53 = [](double y, double x) {
        static Mpfr53 a, b;
        mpfr_set_d(a.in, y, MPFR_RNDN);
        mpfr_set_d(b.in, x, MPFR_RNDN);
        mpfr_atan2(a.out, a.in, b.in, MPFR_RNDN);
        return mpfr_get_d(a.out, MPFR_RNDN);
    };
    both("mpfr", mpfr_atan2_53);
}

// ---- the chains of the series alone ---------------------------------------------------

volatile uint64_t g_zero = 0;

// A dependent chain through one series: the next argument is the next input
// plus (result & zero), a data dependency that the compiler cannot remove.
template <class Series>
void series_chain(benchmark::State &state, uint64_t max_argument, Series series) {
    std::vector<uint64_t> inputs(kArguments);
    std::mt19937_64 rng(8);
    for (uint64_t &u : inputs) u = rng() % max_argument;
    const uint64_t zero = g_zero;
    uint64_t carry = 0;
    size_t i = 0;
    for (auto _ : state) carry = series(inputs[i++ & (kArguments - 1)] + (carry & zero));
    benchmark::DoNotOptimize(carry);
}

// The series chains, each taking a Q61 argument and giving a word that depends on the result.
uint64_t exp_series_word(uint64_t u) { return static_cast<uint64_t>(el::detail::exp_series(u, u & 1)); }
uint64_t log_series_word(uint64_t u) {
    return el::detail::log_series_magnitude(u, std::make_index_sequence<el::detail::kLogSteps>{});
}
uint64_t sin_cos_series_word(uint64_t u) {
    const el::SineCosine sc = el::q61_sin_cos_series({0, u, false});
    return static_cast<uint64_t>(sc.sine ^ sc.cosine);
}
uint64_t atan_series_word(uint64_t u) { return el::detail::q61_atan_series(u); }

void register_series() {
    using namespace el::detail;
    benchmark::RegisterBenchmark("BM_series/exp",
                                 [](benchmark::State &s) { series_chain(s, kExpReducedMax, exp_series_word); });
    benchmark::RegisterBenchmark("BM_series/log",
                                 [](benchmark::State &s) { series_chain(s, kLogReducedMax, log_series_word); });
    benchmark::RegisterBenchmark("BM_series/sin+cos",
                                 [](benchmark::State &s) { series_chain(s, kTrigReducedMax, sin_cos_series_word); });
    benchmark::RegisterBenchmark("BM_series/atan",
                                 [](benchmark::State &s) { series_chain(s, kAtanReducedMax, atan_series_word); });
    benchmark::RegisterBenchmark("BM_mulhi_chain", [](benchmark::State &s) {
        uint64_t x = 0x123456789ABCDEF;
        const uint64_t m = 0x9E3779B97F4A7C15 | g_zero;
        for (auto _ : s) {
            x = static_cast<uint64_t>((static_cast<el::u128>(x | 1) * m) >> 64);
            benchmark::DoNotOptimize(x);
        }
    });
}

// ---- accuracy against MPFR -------------------------------------------------------------

// |got - exact| in units in the last place of the exact value as a double.
double ulp_error(double got, mpfr_srcptr exact) {
    if (mpfr_zero_p(exact)) return got == 0 ? 0 : INFINITY;
    mpfr_t difference;
    mpfr_init2(difference, 256);
    mpfr_sub_d(difference, exact, got, MPFR_RNDN);
    const long e = mpfr_get_exp(exact); // exact in [2^(e-1), 2^e)
    const long ulp_exponent = e - 53 < -1074 ? -1074 : e - 53;
    mpfr_mul_2si(difference, difference, -ulp_exponent, MPFR_RNDN);
    const double ulps = std::fabs(mpfr_get_d(difference, MPFR_RNDN));
    mpfr_clear(difference);
    return ulps;
}

double absolute_error(double got, mpfr_srcptr exact) {
    mpfr_t difference;
    mpfr_init2(difference, 256);
    mpfr_sub_d(difference, exact, got, MPFR_RNDN);
    const double error = std::fabs(mpfr_get_d(difference, MPFR_RNDN));
    mpfr_clear(difference);
    return error;
}

struct AccuracyRow {
    const char *name;
    const char *range;
    std::vector<double> args;
    Unary kelvra, glibc;
    int (*mpfr)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);
};

void print_accuracy() {
    constexpr size_t kSamples = 200000;
    auto sample = [](auto make) {
        std::vector<double> v;
        std::mt19937_64 rng(99);
        for (size_t i = 0; i < kSamples; ++i) v.push_back(make(rng));
        return v;
    };
    auto in = [](double lo, double hi) {
        return [lo, hi](std::mt19937_64 &rng) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    };
    auto positive_any = [](std::mt19937_64 &rng) {
        const uint64_t b = (rng() % 2046 + 1) << 52 | (rng() >> 12);
        double x;
        std::memcpy(&x, &b, sizeof x);
        return x;
    };
    auto log_wide = [](std::mt19937_64 &rng) {
        return std::exp2(std::uniform_real_distribution<double>(-30, 30)(rng)) * (rng() & 1 ? -1 : 1);
    };
    const AccuracyRow rows[] = {
        {"exp", "[-20, 20]", sample(in(-20, 20)), kelvra_exp_value, [](double x) { return std::exp(x); }, mpfr_exp},
        {"exp", "[-745, 709]", sample(in(-745, 709)), kelvra_exp_value, [](double x) { return std::exp(x); }, mpfr_exp},
        {"log", "all positive", sample(positive_any), kelvra_log_value, [](double x) { return std::log(x); }, mpfr_log},
        {"log", "[0.5, 2]", sample(in(0.5, 2)), kelvra_log_value, [](double x) { return std::log(x); }, mpfr_log},
        {"sin", "[-pi/4, pi/4]", sample(in(-0.785, 0.785)), kelvra_sin_value, [](double x) { return std::sin(x); },
         mpfr_sin},
        {"sin", "[-100, 100]", sample(in(-100, 100)), kelvra_sin_value, [](double x) { return std::sin(x); }, mpfr_sin},
        {"cos", "[-100, 100]", sample(in(-100, 100)), kelvra_cos_value, [](double x) { return std::cos(x); }, mpfr_cos},
        {"atan", "+-[2^-30, 2^30]", sample(log_wide), kelvra_atan_value, [](double x) { return std::atan(x); },
         mpfr_atan},
    };
    std::printf("Accuracy against MPFR over %zu arguments (information only): the largest error in units\n"
                "in the last place, and the largest absolute error (the Q61 series resolve 2^-61 = 4.3e-19,\n"
                "so results near zero lose relative accuracy)\n",
                kSamples);
    std::printf("  %-6s %-16s %12s %12s %12s %12s\n", "", "range", "kelvra ulps", "glibc ulps", "kelvra abs",
                "glibc abs");
    mpfr_t x, exact;
    mpfr_init2(x, 53);
    mpfr_init2(exact, 256);
    for (const AccuracyRow &row : rows) {
        double worst_kelvra = 0, worst_glibc = 0, abs_kelvra = 0, abs_glibc = 0;
        for (double a : row.args) {
            mpfr_set_d(x, a, MPFR_RNDN);
            row.mpfr(exact, x, MPFR_RNDN);
            const double k = row.kelvra(a), g = row.glibc(a);
            worst_kelvra = std::fmax(worst_kelvra, ulp_error(k, exact));
            worst_glibc = std::fmax(worst_glibc, ulp_error(g, exact));
            abs_kelvra = std::fmax(abs_kelvra, absolute_error(k, exact));
            abs_glibc = std::fmax(abs_glibc, absolute_error(g, exact));
        }
        std::printf("  %-6s %-16s %12.3f %12.3f %12.2e %12.2e\n", row.name, row.range, worst_kelvra, worst_glibc,
                    abs_kelvra, abs_glibc);
    }
    // atan2 over the unit square.
    double worst_kelvra = 0, worst_glibc = 0, abs_kelvra = 0, abs_glibc = 0;
    mpfr_t y;
    mpfr_init2(y, 53);
    std::mt19937_64 rng(100);
    std::uniform_real_distribution<double> unit(-1, 1);
    for (size_t i = 0; i < kSamples; ++i) {
        const double b = unit(rng), a = unit(rng);
        mpfr_set_d(y, b, MPFR_RNDN);
        mpfr_set_d(x, a, MPFR_RNDN);
        mpfr_atan2(exact, y, x, MPFR_RNDN);
        const double k = kelvra_atan2_value(b, a), g = std::atan2(b, a);
        worst_kelvra = std::fmax(worst_kelvra, ulp_error(k, exact));
        worst_glibc = std::fmax(worst_glibc, ulp_error(g, exact));
        abs_kelvra = std::fmax(abs_kelvra, absolute_error(k, exact));
        abs_glibc = std::fmax(abs_glibc, absolute_error(g, exact));
    }
    std::printf("  %-6s %-16s %12.3f %12.3f %12.2e %12.2e\n", "atan2", "[-1, 1]^2", worst_kelvra, worst_glibc,
                abs_kelvra, abs_glibc);
    mpfr_clears(x, y, exact, nullptr);
}

// ---- the length of each series chain ----------------------------------------------------

// Dependent 64x64->128 multiplications and shifts on the critical path of
// each series, counted from the divisors the library compiles.
template <uint64_t d, uint64_t bound>
constexpr int shifts_after_division() {
    using D = el::ConstantDivisor<d, bound>;
    if constexpr (D::power_of_two_divisor) {
        return 1;
    } else {
        return D::reciprocal.shift > 0 ? 1 : 0;
    }
}

template <uint64_t d>
constexpr int multiplies_in_division() {
    return (d & (d - 1)) == 0 ? 0 : 1;
}

template <size_t... I>
constexpr std::pair<int, int> exp_chain(std::index_sequence<I...>) {
    using namespace el::detail;
    const int multiplies = ((1 + multiplies_in_division<I + 2>()) + ...);
    const int shifts = (shifts_after_division<I + 2, kExpBounds.dividend[I + 1]>() + ...);
    return {multiplies, shifts};
}

template <const auto &divisors, const auto &bounds, size_t... I>
constexpr std::pair<int, int> alternating_chain(std::index_sequence<I...>) {
    const int multiplies = ((1 + multiplies_in_division<divisors[I]>()) + ...);
    const int shifts = (shifts_after_division<divisors[I], bounds.dividend[I]>() + ...);
    return {multiplies, shifts};
}

void print_chains() {
    using namespace el::detail;
    const auto e = exp_chain(std::make_index_sequence<kExpSteps - 1>{});
    const auto c = alternating_chain<kCosDivisors, kCosBounds>(std::make_index_sequence<kCosSteps>{});
    std::printf("\nDependent steps of each series (after its Q61 argument is formed):\n");
    std::printf("  exp   %2d multiplies + %d shifts (13 terms: product, then reciprocal)\n", e.first, e.second);
    std::printf("  log   %2d multiplies + 1 shift    (s^2, 11 powers, the last division)\n", 1 + int(kLogSteps) + 1);
    std::printf("  atan  %2d multiplies + 1 shift    (t^2, 23 powers, the last division)\n", 1 + int(kAtanSteps) + 1);
    std::printf("  sin/cos %d multiplies + %d shifts (r = F pi/2, r^2, then the cosine's 9 terms)\n", 2 + c.first,
                c.second);
    std::printf("  (the cosine is the longer of the two chains that run side by side)\n\n");
}

// ---- the dependent-step bound ------------------------------------------------------------
//
// A function's bound is the latency of the chain of dependent steps its
// algorithm prescribes: the series' own chain, timed as BM_series times it
// (less its loop's two integer operations), plus each step before and after
// the series charged the latency of the one instruction that performs it on
// this machine, timed as a chain of 64 copies. Exact scalings by powers of
// two are not charged (they fold into neighbouring constants); a choice by
// the data is charged a comparison and two logical operations per level. The
// two additions by which the timing loop makes each argument wait for the
// previous result are charged as well, since the measured latency contains
// them. Every figure is the fastest of several runs, all in this process.

#if defined(__x86_64__)

enum Step { kAdd, kMul, kDiv, kLogic, kCompare, kConvert, kMove, kIntOp, kMulHigh, kStepKinds };

constexpr const char *kStepNames[kStepKinds] = {"add", "mul", "div", "logic", "cmp", "cvt", "movq", "int", "mulhi"};

// Nanoseconds per call of `body`, fastest of five runs of `calls` calls.
template <class Body>
double fastest_ns(size_t calls, Body body) {
    double best = 1e300;
    for (int run = 0; run < 5; ++run) {
        const auto start = std::chrono::steady_clock::now();
        body(calls);
        const std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
        best = std::min(best, spent.count() / static_cast<double>(calls));
    }
    return best;
}

#define KELVRA_CHAIN_OF_64(instructions, ...)                                                                     \
    fastest_ns(200000, [&](size_t calls) {                                                                      \
        for (size_t i = 0; i < calls; ++i) __asm__ volatile(".rept 64\n" instructions "\n.endr" : __VA_ARGS__); \
    }) / 64

// One instruction's latency for each kind of step. A conversion or a move
// between register files is charged half of a round trip.
std::array<double, kStepKinds> step_latencies() {
    double x = 1.0000001;
    const double one = 1.0;
    uint64_t k = 3;
    const uint64_t m = 0x9E3779B97F4A7C15 | g_zero;
    std::array<double, kStepKinds> ns{};
    ns[kAdd] = KELVRA_CHAIN_OF_64("addsd %1, %0", "+x"(x) : "x"(one));
    ns[kMul] = KELVRA_CHAIN_OF_64("mulsd %1, %0", "+x"(x) : "x"(one));
    ns[kDiv] = KELVRA_CHAIN_OF_64("divsd %1, %0", "+x"(x) : "x"(one));
    ns[kLogic] = KELVRA_CHAIN_OF_64("andpd %1, %0", "+x"(x) : "x"(one));
    ns[kCompare] = KELVRA_CHAIN_OF_64("cmplesd %1, %0", "+x"(x) : "x"(one));
    ns[kConvert] = KELVRA_CHAIN_OF_64("cvttsd2si %0, %1\n cvtsi2sd %1, %0", "+x"(x), "+r"(k)) / 2;
    ns[kMove] = KELVRA_CHAIN_OF_64("movq %0, %1\n movq %1, %0", "+x"(x), "+r"(k)) / 2;
    ns[kIntOp] = KELVRA_CHAIN_OF_64("add %1, %0", "+r"(k) : "r"(m));
    uint64_t high = 0;
    ns[kMulHigh] = KELVRA_CHAIN_OF_64("mulq %2\n mov %%rdx, %%rax", "+a"(k), "+d"(high) : "r"(m) : "cc");
    return ns;
}

#undef KELVRA_CHAIN_OF_64

struct BoundRow {
    const char *name;
    uint64_t (*series)(uint64_t);
    uint64_t series_argument_bound;
    std::array<int, kStepKinds> steps; // around the series, harness included
    double (*function)(double);
};

// The dependent chain of one series with the loop of series_chain().
double series_ns(uint64_t (*series)(uint64_t), uint64_t max_argument) {
    std::vector<uint64_t> inputs(kArguments);
    std::mt19937_64 rng(8);
    for (uint64_t &u : inputs) u = rng() % max_argument;
    const uint64_t zero = g_zero;
    return fastest_ns(1000000, [&](size_t calls) {
        uint64_t carry = 0;
        for (size_t i = 0; i < calls; ++i) carry = series(inputs[i & (kArguments - 1)] + (carry & zero));
        benchmark::DoNotOptimize(carry);
    });
}

template <class F>
double function_ns(const std::vector<double> &args, F f) {
    return fastest_ns(1000000, [&](size_t calls) {
        double y = 0;
        for (size_t i = 0; i < calls; ++i) y = f(args[i & (kArguments - 1)] + (y - y));
        benchmark::DoNotOptimize(y);
    });
}

void print_bounds() {
    using namespace el::detail;
    const std::array<double, kStepKinds> ns = step_latencies();
    std::printf("Latency against the dependent-step bound (ns, fastest of 5 runs; see the comment above\n"
                "print_bounds for what the bound counts). One instruction:");
    for (int k = 0; k < kStepKinds; ++k) std::printf(" %s %.2f", kStepNames[k], ns[k]);
    std::printf("\n");
    //                add mul div logic cmp cvt movq int mulhi
    const BoundRow rows[] = {
        // loop 2 add; x log2e; round by the shifter (2 add); k ln2_high; two subtractions; |r|; + 0.5;
        // to integer; [series]; to double; times 2^(k - 61)
        {"exp", exp_series_word, kExpReducedMax, {7, 3, 0, 1, 0, 2, 0, 0, 0}, [](double x) { return el::fixed_exp(x); }},
        // loop 2 add; the significand (and, or); f >= sqrt 2 and the choice of c; f + c; the division;
        // |s|; + 0.5; to integer; [series]; to double; the scale; two additions
        {"log", log_series_word, kLogReducedMax, {6, 1, 1, 5, 1, 2, 0, 0, 0}, [](double x) { return el::fixed_log(x); }},
        // loop 2 add; bits to the integer registers; significand times 2/pi; the 128-bit shift (2 int);
        // rounding the fraction (3 int); F pi/2; [r^2 and the series]; the quadrant's choice and sign
        // (2 int); to double; times 2^-61
        {"sin", sin_cos_series_word, kTrigReducedMax, {2, 1, 0, 0, 0, 1, 1, 7, 2},
         [](double x) { return el::fixed_sin(x); }},
        {"cos", sin_cos_series_word, kTrigReducedMax, {2, 1, 0, 0, 0, 1, 1, 7, 2},
         [](double x) { return el::fixed_cos(x); }},
        // loop 2 add; |x|; the two comparisons and two levels of choice; the division; |t|; + 0.5;
        // to integer; [series]; to double; the signed scale; + the base
        {"atan", atan_series_word, kAtanReducedMax, {4, 1, 1, 6, 1, 2, 0, 0, 0},
         [](double x) { return el::fixed_atan(x); }},
    };
    std::printf("  %-6s %9s %9s %9s %9s %7s\n", "", "measured", "series", "steps", "bound", "ratio");
    const auto print_row = [&](const char *name, double measured, double series, const std::array<int, kStepKinds> &steps) {
        double around = 0;
        for (int k = 0; k < kStepKinds; ++k) around += steps[k] * ns[k];
        const double chain = series - 2 * ns[kIntOp];
        std::printf("  %-6s %9.2f %9.2f %9.2f %9.2f %7.2f\n", name, measured, chain, around, chain + around,
                    measured / (chain + around));
    };
    for (const BoundRow &row : rows) {
        const auto &functions = unary_functions();
        const auto it = std::find_if(functions.begin(), functions.end(),
                                     [&](const UnaryFunction &f) { return std::strcmp(f.name, row.name) == 0; });
        print_row(row.name, function_ns(it->args, row.function), series_ns(row.series, row.series_argument_bound),
                  row.steps);
    }
    // atan2: atan's steps after |q|, plus the quotient y / x before and v + pi after.
    const std::vector<double> &ys = atan2_ys(), &xs = atan2_xs();
    const double atan2_measured = fastest_ns(1000000, [&](size_t calls) {
        double a = 0;
        for (size_t i = 0; i < calls; ++i) {
            const size_t k = i & (kArguments - 1);
            a = el::fixed_atan2(ys[k] + (a - a), xs[k]);
        }
        benchmark::DoNotOptimize(a);
    });
    print_row("atan2", atan2_measured, series_ns(atan_series_word, kAtanReducedMax), {5, 1, 2, 6, 1, 2, 0, 0, 0});
    std::printf("\n");
}

#else

void print_bounds() {}

#endif

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    print_accuracy();
    print_chains();
    print_bounds();
    register_unary();
    register_atan2();
    register_series();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
