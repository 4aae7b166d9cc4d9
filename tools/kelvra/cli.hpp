// Shared pieces of the kelvra command-line tool.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string_view>

#include "kelvra.h"

namespace kelvra::cli {

using Args = std::span<char *const>;

// A command: `kelvra NAME ARGS...`; returns the process exit code.
struct Command {
    const char *name;
    const char *usage;
    const char *summary;
    int (*run)(Args args);
};

// "KELVRA_ERR_DATA" and so on; "unknown status" for anything else.
const char *status_name(kelvra_status status);

// Prints "kelvra: WHAT failed: status N (NAME)" to stderr; returns exit code 1.
int fail(const char *what, kelvra_status status);

// Prints a usage line for the command to stderr; returns exit code 2.
int usage_error(const Command &command, const char *problem);

// Parses an unsigned 64-bit number: decimal, 0x-prefixed hexadecimal, or a
// power with an optional offset such as 2^61-1. Empty on malformed or
// overflowing text.
std::optional<uint64_t> parse_u64(std::string_view text);

// The commands, grouped by family (defined in the file of their family).
extern const Command info_commands[2];
extern const Command exact_commands[2];
extern const Command hash_commands[1];
extern const Command json_commands[1];
extern const Command config_commands[1];
extern const Command genome_command;
extern const Command octonion_commands[2];
extern const Command calc_command;
extern const Command hdc_commands[2];
extern const Command graph_command;
extern const Command text_commands[2];
extern const Command bus_command;

// The genome section of the demo, numbered `section_number`.
int demo_genome(int section_number);
int demo_loop(int section_number);
int demo_calc(int section_number);
int demo_hdc(int section_number);
int demo_graph(int section_number);
int demo_text(int section_number);
int demo_bus(int section_number);
extern const Command demo_command;

} // namespace kelvra::cli
