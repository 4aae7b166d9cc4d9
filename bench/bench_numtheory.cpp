// Primality and factorisation of 64-bit integers: kelvra beside FLINT
// (n_is_prime, n_factor) and GMP (mpz_probab_prime_p with 25 rounds).
//
// Names read BM_<operation>/<library>/<input set>, so the rows of one input
// set sit next to each other. Input sets (16 values each, cycled):
//   pB   random primes of B bits (B = 32, 48, 62, 64)
//   spB  products of two primes of B/2 bits each
//   rand64  uniformly random odd 64-bit integers (factor only)
//
// Before those rows a table times factorisation one number at a time over
// larger sets, since the mean of a cycled set hides how the cost spreads:
// rho's cost varies widely from one number to the next, and a step meant for
// a few special numbers shows only in their own times. Each set's kelvra
// factors are checked against FLINT's first.
#include <benchmark/benchmark.h>
#include <flint/ulong_extras.h>
#include <gmp.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "kelvra.h"

namespace {

constexpr size_t kSetSize = 16;

struct InputSet {
    std::string name;
    std::vector<uint64_t> values;
};

uint64_t random_bits(std::mt19937_64 &rng, int bits) {
    const uint64_t top = uint64_t{1} << (bits - 1);
    const uint64_t mask = bits == 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1;
    return (rng() & mask) | top;
}

// A prime of exactly `bits` bits (the one after a random starting point).
uint64_t random_prime(std::mt19937_64 &rng, int bits) {
    for (;;) {
        const uint64_t start = random_bits(rng, bits);
        if (bits == 64 && start > ~uint64_t{0} - 1024) continue;
        const uint64_t p = n_nextprime(start, 1);
        if (bits == 64 || p < (uint64_t{1} << bits)) return p;
    }
}

InputSet primes_near(int bits) {
    std::mt19937_64 rng(1000 + bits);
    InputSet set{"p" + std::to_string(bits), {}};
    while (set.values.size() < kSetSize) set.values.push_back(random_prime(rng, bits));
    return set;
}

InputSet semiprimes_of(int bits) {
    std::mt19937_64 rng(2000 + bits);
    InputSet set{"sp" + std::to_string(bits), {}};
    while (set.values.size() < kSetSize) {
        const uint64_t p = random_prime(rng, bits / 2);
        const uint64_t q = random_prime(rng, bits / 2);
        if (p != q) set.values.push_back(p * q);
    }
    return set;
}

InputSet random_odd_64() {
    std::mt19937_64 rng(3000);
    InputSet set{"rand64", {}};
    while (set.values.size() < kSetSize) set.values.push_back(rng() | 1 | (uint64_t{1} << 63));
    return set;
}

void is_prime_kelvra(benchmark::State &state, const InputSet &set) {
    size_t i = 0;
    for (auto _ : state) {
        uint8_t prime;
        kelvra_is_prime(set.values[i], &prime);
        benchmark::DoNotOptimize(prime);
        i = (i + 1) % set.values.size();
    }
}

void is_prime_flint(benchmark::State &state, const InputSet &set) {
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(n_is_prime(set.values[i]));
        i = (i + 1) % set.values.size();
    }
}

void is_prime_gmp(benchmark::State &state, const InputSet &set) {
    std::vector<mpz_t> numbers(set.values.size());
    for (size_t k = 0; k < set.values.size(); ++k) mpz_init_set_ui(numbers[k], set.values[k]);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(mpz_probab_prime_p(numbers[i], 25));
        i = (i + 1) % set.values.size();
    }
    for (auto &number : numbers) mpz_clear(number);
}

void factor_kelvra(benchmark::State &state, const InputSet &set) {
    size_t i = 0;
    for (auto _ : state) {
        uint64_t primes[15];
        uint8_t exponents[15];
        uint32_t count;
        kelvra_factor(set.values[i], primes, exponents, 15, &count);
        benchmark::DoNotOptimize(primes[0]);
        i = (i + 1) % set.values.size();
    }
}

void factor_flint(benchmark::State &state, const InputSet &set) {
    size_t i = 0;
    for (auto _ : state) {
        n_factor_t factors;
        n_factor_init(&factors);
        n_factor(&factors, set.values[i], 1);
        benchmark::DoNotOptimize(factors.p[0]);
        i = (i + 1) % set.values.size();
    }
}

// ---- per-number factorisation times ---------------------------------------------------

constexpr size_t kTimedSetSize = 1000;
constexpr int kTimingRepeats = 5;
// Calls this long are measured fewer times: the clock's noise is small beside them.
constexpr double kLongCallNs = 50000.0;
constexpr int kLongCallRepeats = 3;
// Calls of one measurement are repeated until it lasts this long, so the
// clock's own cost stays small beside sub-microsecond factorisations.
constexpr double kMinMeasurementNs = 2000.0;

using FactorList = std::vector<std::pair<uint64_t, unsigned>>;

FactorList kelvra_factors(uint64_t n) {
    uint64_t primes[15];
    uint8_t exponents[15];
    uint32_t count = 0;
    if (kelvra_factor(n, primes, exponents, 15, &count) != KELVRA_OK) return {{0, 0}};
    FactorList out;
    for (uint32_t i = 0; i < count; ++i) out.emplace_back(primes[i], exponents[i]);
    return out;
}

FactorList flint_factors(uint64_t n) {
    n_factor_t factors;
    n_factor_init(&factors);
    if (n >= 2) n_factor(&factors, n, 1);
    FactorList out;
    for (int i = 0; i < factors.num; ++i) out.emplace_back(factors.p[i], factors.exp[i]);
    std::sort(out.begin(), out.end());
    return out;
}

void call_kelvra(uint64_t n) {
    uint64_t primes[15];
    uint8_t exponents[15];
    uint32_t count;
    kelvra_factor(n, primes, exponents, 15, &count);
    benchmark::DoNotOptimize(primes[0]);
    benchmark::DoNotOptimize(count);
}

void call_flint(uint64_t n) {
    n_factor_t factors;
    n_factor_init(&factors);
    n_factor(&factors, n, 1);
    benchmark::DoNotOptimize(factors.p[0]);
}

// Nanoseconds of one call on n: the fastest of a few measurements.
template <typename Call>
double time_one(Call call, uint64_t n) {
    using Clock = std::chrono::steady_clock;
    auto elapsed_ns = [](Clock::time_point a, Clock::time_point b) {
        return std::chrono::duration<double, std::nano>(b - a).count();
    };
    Clock::time_point start = Clock::now();
    call(n);
    const double first = elapsed_ns(start, Clock::now());
    const int calls = first >= kMinMeasurementNs ? 1 : static_cast<int>(kMinMeasurementNs / (first + 1.0)) + 1;
    const int repeats = first >= kLongCallNs ? kLongCallRepeats : kTimingRepeats;
    double best = first;
    for (int r = 0; r < repeats; ++r) {
        start = Clock::now();
        for (int c = 0; c < calls; ++c) call(n);
        best = std::min(best, elapsed_ns(start, Clock::now()) / calls);
    }
    return best;
}

double quantile(std::vector<double> times, double q) {
    std::sort(times.begin(), times.end());
    return times[static_cast<size_t>(q * static_cast<double>(times.size() - 1) + 0.5)];
}

// Two distinct random primes in [2^(bits-1), 2^bits) multiplied.
std::vector<uint64_t> timed_semiprimes(int bits) {
    std::mt19937_64 rng(4000 + bits);
    std::vector<uint64_t> values;
    while (values.size() < kTimedSetSize) {
        const uint64_t p = random_prime(rng, bits);
        const uint64_t q = random_prime(rng, bits);
        if (p != q) values.push_back(p * q);
    }
    return values;
}

// p a random prime in [2^32 - 2^24, 2^32), q another prime within 2^20 of p
// and below 2^32 (so pq < 2^64).
std::vector<uint64_t> timed_close_products() {
    constexpr uint64_t kTop = uint64_t{1} << 32;
    constexpr uint64_t kSpread = uint64_t{1} << 20;
    std::mt19937_64 rng(5000);
    std::vector<uint64_t> values;
    while (values.size() < kTimedSetSize) {
        const uint64_t p = n_nextprime(kTop - (uint64_t{1} << 24) + rng() % ((uint64_t{1} << 24) - 1024), 1);
        const uint64_t q = n_nextprime(p - kSpread + rng() % (2 * kSpread), 1);
        const uint64_t gap = p > q ? p - q : q - p;
        if (p < kTop && q < kTop && q != p && gap < kSpread) values.push_back(p * q);
    }
    return values;
}

std::vector<uint64_t> timed_random_64() {
    std::mt19937_64 rng(6000);
    std::vector<uint64_t> values;
    while (values.size() < kTimedSetSize) values.push_back(rng());
    return values;
}

void print_per_number_table() {
    const std::pair<const char *, std::vector<uint64_t>> sets[] = {
        {"p*q, p,q in [2^31,2^32)", timed_semiprimes(32)},
        {"p*q, p,q in [2^30,2^31)", timed_semiprimes(31)},
        {"p*q, |p-q| < 2^20 ~ 2^32", timed_close_products()},
        {"random 64-bit", timed_random_64()},
    };
    std::printf("Factorisation time per number, ns (the fastest of %d measurements, %d above %.0f us, of each\n"
                "of %zu numbers per set; kelvra's factors equal FLINT n_factor's on every number):\n",
                kTimingRepeats + 1, kLongCallRepeats + 1, kLongCallNs / 1000.0, kTimedSetSize);
    std::printf("  %-26s %10s %10s %10s %10s %10s %10s\n", "set", "kelvra med", "flint med", "ratio", "kelvra p99",
                "flint p99", "ratio");
    for (const auto &[name, values] : sets) {
        std::vector<double> kelvra_ns, flint_ns;
        for (uint64_t n : values) {
            if (kelvra_factors(n) != flint_factors(n)) {
                std::fprintf(stderr, "kelvra_factor and n_factor disagree on %llu\n",
                             static_cast<unsigned long long>(n));
                std::abort();
            }
            kelvra_ns.push_back(time_one(call_kelvra, n));
            flint_ns.push_back(time_one(call_flint, n));
        }
        const double km = quantile(kelvra_ns, 0.5), fm = quantile(flint_ns, 0.5);
        const double kp = quantile(kelvra_ns, 0.99), fp = quantile(flint_ns, 0.99);
        std::printf("  %-26s %10.0f %10.0f %10.3f %10.0f %10.0f %10.3f\n", name, km, fm, km / fm, kp, fp, kp / fp);
    }
    std::printf("\n");
}

template <typename Fn>
void register_on(const std::string &operation, const std::string &library, Fn fn, const InputSet &set) {
    benchmark::RegisterBenchmark(("BM_" + operation + "/" + library + "/" + set.name).c_str(),
                                 [fn, &set](benchmark::State &state) { fn(state, set); });
}

} // namespace

int main(int argc, char **argv) {
    print_per_number_table();
    static const std::vector<InputSet> primality_sets = {
        primes_near(32),   primes_near(48),   primes_near(62),   primes_near(64),
        semiprimes_of(32), semiprimes_of(48), semiprimes_of(62), semiprimes_of(64),
    };
    static const std::vector<InputSet> factor_sets = {
        primes_near(64), semiprimes_of(32), semiprimes_of(48), semiprimes_of(62), semiprimes_of(64), random_odd_64(),
    };
    for (const InputSet &set : primality_sets) {
        register_on("is_prime", "kelvra", is_prime_kelvra, set);
        register_on("is_prime", "flint", is_prime_flint, set);
        register_on("is_prime", "gmp", is_prime_gmp, set);
    }
    for (const InputSet &set : factor_sets) {
        register_on("factor", "kelvra", factor_kelvra, set);
        register_on("factor", "flint", factor_flint, set);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
