// Shared pieces of the kelvra command-line tool.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "kelvra.h"

namespace kelvra::cli {

using Args = std::span<char *const>;

// The tool's exit codes (listed by `kelvra --help`).
inline constexpr int exit_ok = 0;    // success
inline constexpr int exit_data = 1;  // bad data, a failed verification, a result that does not fit
inline constexpr int exit_usage = 2; // the command line is wrong
inline constexpr int exit_io = 3;    // a file, directory, endpoint or output could not be used

// One line of a usage table: `kelvra COMMAND NAME USAGE` and what it does.
struct Usage {
    const char *name;
    const char *usage;
    const char *summary;
};

// A command: `kelvra NAME ARGS...`; returns the process exit code. `help`
// prints the text of `kelvra NAME [ARGS...] --help` (null: the usage and
// summary); it receives the arguments before --help, so a command with
// subcommands can show just the one named.
struct Command {
    const char *name;
    const char *usage;
    const char *summary;
    int (*run)(Args args);
    void (*help)(const Command &self, Args before) = nullptr;
};

// "KELVRA_ERR_DATA" and so on; "unknown status" for anything else.
const char *status_name(kelvra_status status);

// The exit code for a library status: 3 for input/output, 1 for the rest.
int exit_code_for(kelvra_status status);

// Prints "kelvra: WHAT failed: status N (NAME)" to stderr; returns
// exit_code_for(status).
int fail(const char *what, kelvra_status status);

// Prints "kelvra NAME: PROBLEM" and the usage line to stderr; returns 2.
int usage_error(const Command &command, const char *problem);

// Prints "kelvra NAME: PROBLEM" (no usage line) to stderr; returns `code`.
int error(const char *name, int code, const char *format, ...)
#if defined(__MINGW32__)
    __attribute__((format(gnu_printf, 3, 4)))
#elif defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// The standard help of a command: usage, summary and, for a command with
// subcommands, one line per subcommand (or just the one `before[0]` names).
void print_usage_table(const Command &self, std::span<const Usage> table, Args before);

// Whether `text` is --help or -h.
bool is_help(const char *text);

// The arguments without the first "--" (for commands that take no options).
std::vector<char *> operands(Args args);

// Reads argument `text` as a number for `name`; on failure prints why
// ("kelvra factor: '-12' is not an unsigned 64-bit number (negative)") and
// returns empty.
std::optional<uint64_t> number_argument(const char *name, const char *text);

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
extern const Command golden_command;

// Evaluates a library call in a demo section; on failure reports it and
// leaves the section with its exit code.
#define DEMO_CALL(call)                                                                                                \
    do {                                                                                                               \
        if (const kelvra_status status_ = (call)) {                                                                    \
            return fail(#call, status_);                                                                               \
        }                                                                                                              \
    } while (0)

// The genome section of the demo, numbered `section_number`.
int demo_genome(int section_number);
int demo_loop(int section_number);
int demo_calc(int section_number);
int demo_hdc(int section_number);
int demo_graph(int section_number);
int demo_text(int section_number);
int demo_bus(int section_number);
extern const Command demo_command;

// The command that `name` names, or null.
const Command *find_command(const char *name);

// Prints the help of every command (kelvra --help).
void print_help(std::FILE *to);

} // namespace kelvra::cli
