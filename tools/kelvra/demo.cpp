// kelvra demo: a tour of the library on embedded data, the first thing a
// newcomer runs. Each section shows one family end to end.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "cli.hpp"
#include "tiers.hpp"

namespace kelvra::cli {

namespace {

void heading(int number, const char *title) { std::printf("\n%d. %s\n", number, title); }

int show_frame() {
    heading(1, "The library and this processor");
    std::printf("   kelvra %s, ABI %u\n", kelvra_version(), kelvra_abi_version());
    for (const tiers::Kernel *kernel : tiers::all) {
        const uint32_t t = tiers::decide(*kernel).in_force;
        std::printf("   %-28s runs tier %u (%s)\n", kernel->name, t, kernel->names[t]);
    }
    return 0;
}

int show_factorisation(uint64_t n, const char *name) {
    uint64_t primes[64];
    uint8_t exponents[64];
    uint32_t count = 0;
    DEMO_CALL(kelvra_factor(n, primes, exponents, 64, &count));
    std::printf("   %-8s = %" PRIu64 " =", name, n);
    for (uint32_t i = 0; i < count; ++i) {
        std::printf("%s%" PRIu64, i ? " * " : " ", primes[i]);
        if (exponents[i] > 1) std::printf("^%u", exponents[i]);
    }
    std::printf("\n");
    return 0;
}

int show_number_theory() {
    heading(2, "Exact integer arithmetic (every 64-bit modulus, no overflow)");
    uint64_t g = 0, l = 0;
    DEMO_CALL(kelvra_gcd(1071, 462, &g));
    DEMO_CALL(kelvra_lcm(1071, 462, &l));
    std::printf("   gcd(1071, 462) = %" PRIu64 ", lcm = %" PRIu64 "\n", g, l);

    const uint64_t big = UINT64_MAX - 58; // the largest 64-bit prime
    uint64_t product = 0, power = 0, inverse = 0;
    DEMO_CALL(kelvra_mod_mul(UINT64_MAX - 1, UINT64_MAX - 1, UINT64_MAX, &product));
    DEMO_CALL(kelvra_mod_pow(3, big - 1, big, &power));
    DEMO_CALL(kelvra_mod_inv(3, 7, &inverse));
    std::printf("   (2^64-2)^2 mod (2^64-1) = %" PRIu64 "\n", product);
    std::printf("   3^(p-1) mod p = %" PRIu64 " for p = 2^64-59 (Fermat)\n", power);
    std::printf("   3 * %" PRIu64 " = 1 (mod 7)\n", inverse);

    uint64_t period = 0;
    DEMO_CALL(kelvra_cyclic_period(10, 7, 100, &period));
    std::printf("   1/7 = 0.(142857): the period of 10 mod 7 is %" PRIu64 "\n", period);

    if (int rc = show_factorisation(UINT64_MAX, "2^64-1")) return rc;
    if (int rc = show_factorisation(600851475143u, "Euler #3")) return rc;
    if (int rc = show_factorisation(4294967291ull * 4294967279ull, "p*q")) return rc;

    std::printf("   Mersenne primes 2^p-1 below 2^64: p =");
    for (uint32_t p = 2; p < 64; ++p) {
        uint8_t prime = 0;
        DEMO_CALL(kelvra_is_prime((uint64_t{1} << p) - 1, &prime));
        if (prime) std::printf(" %u", p);
    }
    std::printf("\n");
    return 0;
}

// Renders a tree canonically into `out` (NUL-terminated); the length or 0.
uint64_t render(const kelvra_json_value *root, char *out, uint64_t capacity, kelvra_status &status) {
    uint8_t workspace[4096];
    uint64_t length = 0;
    status = kelvra_json_write_ws(root, reinterpret_cast<uint8_t *>(out), capacity - 1, &length, workspace,
                                  sizeof workspace);
    if (status != KELVRA_OK) return 0;
    out[length] = '\0';
    return length;
}

int show_json_and_digests() {
    heading(3, "Canonical JSON and SHA-256 (the store's building blocks)");
    // Built in an arena, members in any order: the writer sorts them.
    uint8_t arena[4096];
    kelvra_json_builder b;
    DEMO_CALL(kelvra_json_builder_init(&b, arena, sizeof arena));
    static const uint8_t greeting[] = "tab\there \"quoted\"";
    kelvra_json_value *items[] = {kelvra_json_new_int(&b, -7), kelvra_json_new_double(&b, 0.1),
                                  kelvra_json_new_double(&b, 100.0), kelvra_json_new_bool(&b, 1)};
    const char *keys[] = {"zeta", "alpha", "text", "list"};
    kelvra_json_value *values[] = {kelvra_json_new_null(&b), kelvra_json_new_int(&b, 1),
                                   kelvra_json_new_string(&b, greeting, sizeof greeting - 1),
                                   kelvra_json_new_array(&b, items, 4)};
    const kelvra_json_value *built = kelvra_json_new_object(&b, keys, values, 4);
    if (b.failed) return fail("kelvra_json_new_object", KELVRA_ERR_CAPACITY);

    char canonical[512], again[512];
    kelvra_status status;
    const uint64_t length = render(built, canonical, sizeof canonical, status);
    if (status != KELVRA_OK) return fail("kelvra_json_write_ws", status);
    std::printf("   built:     %s\n", canonical);

    // The same document typed by a person parses back to the same bytes.
    static const char typed[] = "{ \"text\" : \"tab\\there \\\"quoted\\\"\",\n  \"list\": [-7, 1e-1, 1E2, true],"
                                "\n  \"alpha\": 1, \"zeta\": null }";
    uint8_t parse_arena[8192];
    kelvra_json_value *parsed = nullptr;
    DEMO_CALL(kelvra_json_parse(reinterpret_cast<const uint8_t *>(typed), sizeof typed - 1, parse_arena,
                                sizeof parse_arena, &parsed));
    render(parsed, again, sizeof again, status);
    if (status != KELVRA_OK) return fail("kelvra_json_write_ws", status);
    std::printf("   typed:     %s\n", typed);
    std::printf("   rendered:  %s (%s)\n", again, std::strcmp(again, canonical) == 0 ? "same bytes" : "DIFFERENT");

    char digest[65];
    DEMO_CALL(kelvra_sha256_hex(reinterpret_cast<const uint8_t *>(canonical), length, digest));
    std::printf("   sha256:    %s\n", digest);
    return 0;
}

int run(Args args) {
    if (!args.empty()) return usage_error(demo_command, "takes no arguments");
    std::printf("kelvra demo - exact, deterministic kernels behind a flat C interface\n");
    if (int rc = show_frame()) return rc;
    if (int rc = show_number_theory()) return rc;
    if (int rc = show_json_and_digests()) return rc;
    if (int rc = demo_genome(4)) return rc;
    if (int rc = demo_calc(5)) return rc;
    if (int rc = demo_loop(6)) return rc;
    if (int rc = demo_hdc(7)) return rc;
    if (int rc = demo_graph(8)) return rc;
    if (int rc = demo_text(9)) return rc;
    if (int rc = demo_bus(10)) return rc;
    std::printf("\nDone. Run 'kelvra --help' for the individual commands.\n");
    return 0;
}

#undef DEMO_CALL

} // namespace

const Command demo_command = {"demo", "", "a tour of the library's main features", run};

} // namespace kelvra::cli
