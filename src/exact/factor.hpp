// Complete factorisation of 64-bit integers.
#pragma once

#include <cstdint>

namespace kelvra::exact {

// The product of the first 15 primes is below 2^64; of the first 16, above.
inline constexpr uint32_t kMaxDistinctPrimes = 15;

// Distinct primes in increasing order with their multiplicities.
struct Factorisation {
    uint64_t primes[kMaxDistinctPrimes];
    uint8_t exponents[kMaxDistinctPrimes];
    uint32_t count;
};

// Factorises n; n < 2 gives an empty factorisation.
void factorise(uint64_t n, Factorisation &out) noexcept;

} // namespace kelvra::exact
