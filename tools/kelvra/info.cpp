// kelvra version, kelvra info: what this library is and what it will run here.
#include <cstdio>

#include "cli.hpp"
#include "tiers.hpp"

namespace kelvra::cli {

extern const Command info_commands[2];

namespace {

int run_version(Args args) {
    if (!args.empty()) return usage_error(info_commands[0], "takes no arguments");
    std::printf("kelvra %s (ABI %u)\n", kelvra_version(), kelvra_abi_version());
    return 0;
}

const char *yes_no(uint32_t v) { return v ? "yes" : "no"; }

// One line per tiered kernel: the tier in force, and why.
void print_tier(const tiers::Kernel &rule) {
    const tiers::Decision d = tiers::decide(rule);
    std::printf("  %-28s tier %u (%s): ", rule.name, d.in_force, rule.names[d.in_force]);
    if (d.override == nullptr) {
        std::printf("the widest this processor supports; %s is unset\n", rule.variable);
    } else if (d.requested > d.detected) {
        std::printf("%s=\"%s\" asks for tier %u, lowered to tier %u, the widest this processor supports\n",
                    rule.variable, d.override, d.requested, d.detected);
    } else {
        std::printf("forced by %s=\"%s\" (the processor supports tier %u)\n", rule.variable, d.override, d.detected);
    }
}

int run_info(Args args) {
    if (!args.empty()) return usage_error(info_commands[1], "takes no arguments");
    char brand[49];
    tiers::processor_brand(brand);
    std::printf("kelvra %s, ABI %u\n\n", kelvra_version(), kelvra_abi_version());
    std::printf("processor: %s\n", brand[0] ? brand : "(no brand string)");
    std::printf("  SSE2 %s, AVX %s, AVX2 %s, SHA extensions %s\n\n", yes_no(kelvra_simd_has_sse2()),
                yes_no(kelvra_simd_has_avx()), yes_no(kelvra_simd_has_avx2()), yes_no(kelvra_simd_has_shani()));
    std::printf("tiered kernels:\n");
    for (const tiers::Kernel *kernel : tiers::all) print_tier(*kernel);
    std::printf("\nconfiguration: Hermitian node limit %u\n", kelvra_config_hermitian_max_nodes());
    return 0;
}

} // namespace

const Command info_commands[2] = {
    {"version", "", "print the library version and ABI number", run_version},
    {"info", "", "processor features and the tier each tiered kernel uses here", run_info},
};

} // namespace kelvra::cli
