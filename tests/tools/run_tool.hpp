// Runs the kelvra command-line tool as a user runs it, for the CLI tests.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace kelvra_test {

struct ToolRun {
    int exit_code;
    std::string out; // standard output and standard error, interleaved
};

// Runs `kelvra ARGS` through the shell, optionally under extra environment
// assignments (arguments to env(1)).
inline ToolRun kelvra(const std::string &args, const std::string &environment = "") {
    const std::string command = "env " + environment + " '" + KELVRA_TEST_TOOL + "' " + args + " 2>&1";
    FILE *pipe = popen(command.c_str(), "r");
    ToolRun run{-1, {}};
    if (pipe == nullptr) return run;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, got);
    const int status = pclose(pipe);
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

inline bool contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

} // namespace kelvra_test
