// kelvra config check FILE: loads a configuration file with the library and
// prints the Hermitian node limit it sets.
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli.hpp"
#include "io.hpp"

namespace kelvra::cli {

namespace {

// The file and the parse share one buffer, half each. Every string in the
// text reserves the rest of the input, so the parse half grows with the
// square of the file for string-heavy files; a first size that suits ordinary
// configuration files is doubled while the parser reports 4, up to a bound.
kelvra_status load_growing(const char *path) {
    uint64_t size = 0;
    if (const kelvra_status s = kelvra_plat_file_size(path, &size)) return s;
    const uint64_t limit = 2 * (size * size + 64 * size) + (uint64_t{1} << 20);
    uint64_t cap = 2 * (64 * size + 4096);
    std::vector<uint8_t> buf;
    for (;;) {
        buf.resize(cap);
        const kelvra_status s = kelvra_config_load_file(path, buf.data(), buf.size());
        if (s != KELVRA_ERR_CAPACITY || cap >= limit) return s;
        cap = cap * 4 > limit ? limit : cap * 4;
    }
}

int run_config(Args args);

const Usage config_actions[] = {
    {"check", "FILE", "load a TOML configuration file with the library and print the Hermitian node limit it sets"},
};
void help_config(const Command &self, Args before) { print_usage_table(self, config_actions, before); }

} // namespace

const Command config_commands[1] = {
    {"config", "check FILE", "load a TOML configuration file and print the node limit it sets", run_config,
     help_config},
};

namespace {

int run_config(Args all) {
    const std::vector<char *> args = operands(all);
    if (args.empty() || std::strcmp(args[0], "check") != 0)
        return usage_error(config_commands[0], args.empty() ? "no action given (check)" : "unknown action (check)");
    if (args.size() != 2) return usage_error(config_commands[0], args.size() < 2 ? "no file given" : "one file only");
    kelvra_config_reset_defaults();
    if (const kelvra_status s = load_growing(args[1])) {
        if (s == KELVRA_ERR_IO) return input_failed("config check", args[1], s);
        std::fprintf(stderr, "kelvra config: %s: status %u (%s)%s\n", args[1], s, status_name(s),
                     s == KELVRA_ERR_DATA ? ": not valid TOML of the supported subset" : "");
        return exit_code_for(s);
    }
    std::printf("hermitian.max_nodes = %u\n", kelvra_config_hermitian_max_nodes());
    return 0;
}

} // namespace

} // namespace kelvra::cli
