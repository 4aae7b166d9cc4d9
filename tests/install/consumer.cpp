// A C++ program of a library user: built against an installed kelvra.
#include <cstdio>
#include <string>

#include <kelvra.h>

int main() {
    uint64_t primes[16];
    uint8_t exponents[16];
    uint32_t count = 0;
    if (kelvra_factor(360u, primes, exponents, 16, &count) != KELVRA_OK || count != 3) return 1;
    std::printf("kelvra %s: 360 = %llu^%u %llu^%u %llu^%u\n", kelvra_version(), (unsigned long long)primes[0],
                exponents[0], (unsigned long long)primes[1], exponents[1], (unsigned long long)primes[2], exponents[2]);
    // the installed header and library must be the same release
    const std::string header_version = std::to_string(KELVRA_VERSION_MAJOR) + "." +
                                       std::to_string(KELVRA_VERSION_MINOR) + "." + std::to_string(KELVRA_VERSION_PATCH);
    return kelvra_version() == header_version ? 0 : 2;
}
