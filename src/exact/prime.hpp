// Primality of 64-bit integers and the small-prime table shared with the
// factoriser.
#pragma once

#include <array>
#include <cstdint>

#include "exact/modarith.hpp"

namespace kelvra::exact {

// An odd prime with the constants of a division-free divisibility test:
// n is a multiple of p exactly when n * inverse <= max_quotient (wrapping
// product), and then n * inverse is n / p.
struct TrialPrime {
    uint64_t p;
    uint64_t inverse;
    uint64_t max_quotient;

    constexpr bool divides(uint64_t n) const noexcept { return n * inverse <= max_quotient; }
    constexpr uint64_t exact_quotient(uint64_t n) const noexcept { return n * inverse; }
};

// Trial division covers the odd primes below this bound.
inline constexpr uint64_t kTrialDivisionBound = 1024;

constexpr bool is_prime_by_trial(uint64_t n) noexcept {
    if (n < 2) return false;
    for (uint64_t d = 2; d * d <= n; ++d) {
        if (n % d == 0) return false;
    }
    return true;
}

constexpr uint32_t count_odd_primes_below(uint64_t bound) noexcept {
    uint32_t count = 0;
    for (uint64_t n = 3; n < bound; n += 2) count += is_prime_by_trial(n) ? 1 : 0;
    return count;
}

inline constexpr uint32_t kTrialPrimeCount = count_odd_primes_below(kTrialDivisionBound);

constexpr std::array<TrialPrime, kTrialPrimeCount> make_trial_primes() noexcept {
    std::array<TrialPrime, kTrialPrimeCount> table{};
    uint32_t i = 0;
    for (uint64_t n = 3; n < kTrialDivisionBound; n += 2) {
        if (is_prime_by_trial(n)) table[i++] = TrialPrime{n, inverse_mod_2_64(n), UINT64_MAX / n};
    }
    return table;
}

// The odd primes 3, 5, 7, ... below kTrialDivisionBound.
inline constexpr std::array<TrialPrime, kTrialPrimeCount> kTrialPrimes = make_trial_primes();

// Deterministic for every n < 2^64.
bool is_prime_u64(uint64_t n) noexcept;

// The same answer for odd n > 61 that no prime in the first 16 table entries
// (3 .. 59) divides; skips the trial division.
bool is_prime_without_small_factors(uint64_t n) noexcept;

} // namespace kelvra::exact
