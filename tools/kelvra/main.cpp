// kelvra: the library's command-line tool.
#include <cstdio>
#include <cstring>

#include "cli.hpp"

namespace {

using kelvra::cli::Command;

const std::span<const Command> command_groups[] = {
    {&kelvra::cli::demo_command, 1},
    kelvra::cli::info_commands,
    kelvra::cli::exact_commands,
    kelvra::cli::hash_commands,
    kelvra::cli::json_commands,
    kelvra::cli::text_commands,
    kelvra::cli::config_commands,
    {&kelvra::cli::genome_command, 1},
    {&kelvra::cli::calc_command, 1},
    kelvra::cli::octonion_commands,
    kelvra::cli::hdc_commands,
    {&kelvra::cli::graph_command, 1},
    {&kelvra::cli::bus_command, 1},
};

void print_command(const Command &c) {
    char head[64];
    std::snprintf(head, sizeof head, "%s %s", c.name, c.usage);
    std::printf("  %-22s %s\n", head, c.summary);
}

void print_help() {
    std::printf("kelvra %s - exact kernels, canonical text and a verifiable genome store\n\n", kelvra_version());
    std::printf("usage: kelvra COMMAND [ARGS...]\n\ncommands:\n");
    for (const auto &group : command_groups) {
        for (const Command &c : group) print_command(c);
    }
    std::printf("\nErrors print the library status number and its name, and exit non-zero.\n");
}

const Command *find_command(const char *name) {
    for (const auto &group : command_groups) {
        for (const Command &c : group) {
            if (std::strcmp(name, c.name) == 0) return &c;
        }
    }
    return nullptr;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        print_help();
        return argc < 2 ? 2 : 0;
    }
    const Command *command = find_command(argv[1]);
    if (command == nullptr) {
        std::fprintf(stderr, "kelvra: unknown command '%s' (see kelvra --help)\n", argv[1]);
        return 2;
    }
    return command->run(kelvra::cli::Args(argv + 2, static_cast<size_t>(argc - 2)));
}
