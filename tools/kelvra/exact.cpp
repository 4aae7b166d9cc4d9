// kelvra prime N, kelvra factor N: integer number theory from the shell.
#include <cinttypes>
#include <cstdio>
#include <vector>

#include "cli.hpp"

namespace kelvra::cli {

namespace {

int run_prime(Args args);
int run_factor(Args args);

} // namespace

const Command exact_commands[2] = {
    {"prime", "N...", "tell whether each N is prime (N may be written like 2^61-1)", run_prime},
    {"factor", "N...", "print the prime factorisation of each N", run_factor},
};

namespace {

int run_prime(Args all) {
    const std::vector<char *> args = operands(all);
    if (args.empty()) return usage_error(exact_commands[0], "no number given");
    for (const char *text : args) { // every argument is checked before the first result
        if (!number_argument("prime", text)) return exit_usage;
    }
    for (const char *text : args) {
        const auto n = parse_u64(text);
        uint8_t prime = 0;
        if (const kelvra_status s = kelvra_is_prime(*n, &prime)) return fail("kelvra_is_prime", s);
        std::printf("%" PRIu64 " is %s\n", *n, prime ? "prime" : "not prime");
    }
    return 0;
}

int run_factor(Args all) {
    const std::vector<char *> args = operands(all);
    if (args.empty()) return usage_error(exact_commands[1], "no number given");
    for (const char *text : args) { // every argument is checked before the first result
        if (!number_argument("factor", text)) return exit_usage;
    }
    for (const char *text : args) {
        const auto n = parse_u64(text);
        uint64_t primes[64];
        uint8_t exponents[64];
        uint32_t count = 0;
        if (const kelvra_status s = kelvra_factor(*n, primes, exponents, 64, &count)) return fail("kelvra_factor", s);
        std::printf("%" PRIu64 ":", *n);
        for (uint32_t i = 0; i < count; ++i) {
            std::printf(" %" PRIu64, primes[i]);
            if (exponents[i] > 1) std::printf("^%u", exponents[i]);
        }
        std::printf("\n");
    }
    return 0;
}

} // namespace

} // namespace kelvra::cli
