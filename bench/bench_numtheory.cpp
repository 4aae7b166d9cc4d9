// Primality and factorisation of 64-bit integers: kelvra beside FLINT
// (n_is_prime, n_factor) and GMP (mpz_probab_prime_p with 25 rounds).
//
// Names read BM_<operation>/<library>/<input set>, so the rows of one input
// set sit next to each other. Input sets (16 values each, cycled):
//   pB   random primes of B bits (B = 32, 48, 62, 64)
//   spB  products of two primes of B/2 bits each
//   rand64  uniformly random odd 64-bit integers (factor only)
#include <benchmark/benchmark.h>
#include <flint/ulong_extras.h>
#include <gmp.h>

#include <cstdint>
#include <random>
#include <string>
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

template <typename Fn>
void register_on(const std::string &operation, const std::string &library, Fn fn, const InputSet &set) {
    benchmark::RegisterBenchmark(("BM_" + operation + "/" + library + "/" + set.name).c_str(),
                                 [fn, &set](benchmark::State &state) { fn(state, set); });
}

} // namespace

int main(int argc, char **argv) {
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
