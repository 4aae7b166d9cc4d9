/* A program of a library user: built against an installed kelvra. */
#include <stdio.h>
#include <string.h>

#include <kelvra.h>

int main(void) {
    uint64_t primes[16];
    uint8_t exponents[16];
    uint32_t count = 0;
    if (kelvra_factor(360u, primes, exponents, 16, &count) != KELVRA_OK || count != 3) return 1;
    printf("kelvra %s: 360 = %llu^%u %llu^%u %llu^%u\n", kelvra_version(), (unsigned long long)primes[0], exponents[0],
           (unsigned long long)primes[1], exponents[1], (unsigned long long)primes[2], exponents[2]);
    /* the installed header and library must be the same release */
    char header_version[32];
    snprintf(header_version, sizeof header_version, "%d.%d.%d", KELVRA_VERSION_MAJOR, KELVRA_VERSION_MINOR,
             KELVRA_VERSION_PATCH);
    return strcmp(kelvra_version(), header_version) == 0 ? 0 : 2;
}
