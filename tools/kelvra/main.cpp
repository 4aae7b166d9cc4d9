// kelvra: the library's command-line tool.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli.hpp"
#include "io.hpp"
#include "system.hpp"
#include "tiers.hpp"

namespace kelvra::cli {

namespace {

const std::span<const Command> command_groups[] = {
    {&demo_command, 1}, info_commands,       exact_commands,       hash_commands,      json_commands,
    text_commands,      config_commands,     {&genome_command, 1}, {&calc_command, 1}, octonion_commands,
    hdc_commands,       {&graph_command, 1}, {&bus_command, 1},    {&golden_command, 1},
};

// Command heads longer than this put their summary on the next line.
constexpr size_t kHeadWidth = 34;

void print_command(std::FILE *to, const Command &c) {
    const std::string head = std::string(c.name) + (c.usage[0] ? " " : "") + c.usage;
    if (head.size() > kHeadWidth)
        std::fprintf(to, "  %s\n  %-*s  %s\n", head.c_str(), static_cast<int>(kHeadWidth), "", c.summary);
    else std::fprintf(to, "  %-*s  %s\n", static_cast<int>(kHeadWidth), head.c_str(), c.summary);
}

void print_version() { std::printf("kelvra %s (ABI %u)\n", kelvra_version(), kelvra_abi_version()); }

// `kelvra NAME ... --help`: the command's own help.
void print_command_help(const Command &c, Args before) {
    if (c.help != nullptr) c.help(c, before);
    else print_usage_table(c, {}, before);
}

} // namespace

const Command *find_command(const char *name) {
    for (const auto &group : command_groups) {
        for (const Command &c : group) {
            if (std::strcmp(name, c.name) == 0) return &c;
        }
    }
    return nullptr;
}

void print_help(std::FILE *to) {
    std::fprintf(to, "kelvra %s - exact kernels, canonical text and a verifiable genome store\n\n", kelvra_version());
    std::fprintf(to, "usage: kelvra COMMAND [ARGS...]\n"
                     "       kelvra COMMAND --help      the command's usage (and its subcommands)\n"
                     "       kelvra --help | --version\n\ncommands:\n");
    for (const auto &group : command_groups) {
        for (const Command &c : group) print_command(to, c);
    }
    std::fprintf(to, "\noptions:\n"
                     "  -h, --help     this text; after a command, that command's usage (nothing is run)\n"
                     "  -V, --version  the library version and ABI number\n"
                     "  --             ends the options: what follows is an operand even when it starts with -\n"
                     "\nenvironment (force the tier of a vector kernel; `kelvra info` shows the choice):\n");
    for (const tiers::Kernel *k : tiers::all)
        std::fprintf(to, "  %-26s %s, tiers 0-%d\n", k->variable, k->name, k->max_tier);
    std::fprintf(to, "\nexit status:\n"
                     "  0  success\n"
                     "  1  bad data or a failed verification (malformed input, digest mismatch, no such label)\n"
                     "  2  usage error (unknown command or option, a malformed or missing argument)\n"
                     "  3  input/output failure (a file, directory or endpoint cannot be used, or the output\n"
                     "     cannot be written)\n"
                     "Errors name the argument or file at fault and the library status number and name.\n");
}

} // namespace kelvra::cli

int main(int argc, char **argv) {
    using namespace kelvra::cli;
    binary_standard_streams(); // the same bytes on every system: canonical JSON, digests, bus replies
    if (argc < 2) {
        print_help(stderr);
        return exit_usage;
    }
    const char *first = argv[1];
    if (is_help(first) || std::strcmp(first, "help") == 0) {
        const Command *topic = argc > 2 && std::strcmp(first, "help") == 0 ? find_command(argv[2]) : nullptr;
        if (topic != nullptr) print_command_help(*topic, Args(argv + 3, static_cast<size_t>(argc - 3)));
        else print_help(stdout);
        return finish_output(exit_ok);
    }
    if (std::strcmp(first, "--version") == 0 || std::strcmp(first, "-V") == 0) {
        print_version();
        return finish_output(exit_ok);
    }
    const Command *command = find_command(first);
    if (command == nullptr) {
        std::fprintf(stderr, "kelvra: unknown %s '%s' (see kelvra --help)\n", first[0] == '-' ? "option" : "command",
                     first);
        return exit_usage;
    }
    const Args args(argv + 2, static_cast<size_t>(argc - 2));
    // --help or -h before any "--" shows the command's help and runs nothing.
    const auto end = std::find_if(args.begin(), args.end(), [](const char *a) { return std::strcmp(a, "--") == 0; });
    const auto help = std::find_if(args.begin(), end, [](const char *a) { return is_help(a); });
    if (help != end) {
        print_command_help(*command, args.first(static_cast<size_t>(help - args.begin())));
        return finish_output(exit_ok);
    }
    return finish_output(command->run(args));
}
