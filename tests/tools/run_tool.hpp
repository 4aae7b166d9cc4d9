// Runs the kelvra command-line tool as a user runs it, for the CLI tests:
// without a shell, with its arguments as given, standard input from a file
// (the null device unless told), extra environment variables, and standard
// output and standard error captured together unless sent to a file.
#pragma once

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/emulator.hpp"

#ifdef _WIN32
#include "platform/win32/win.hpp"

#include <algorithm>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;
#endif

namespace kelvra_test {

#ifdef _WIN32
inline constexpr const char *null_device = "NUL";
#else
inline constexpr const char *null_device = "/dev/null";
#endif

struct ToolRun {
    int exit_code;
    std::string out; // standard output and standard error, interleaved (those not sent to a file)
};

struct ToolOptions {
    std::vector<std::string> environment = {}; // "NAME=VALUE" sets NAME, a bare "NAME" removes it
    std::string input = {};                    // the file read as standard input; "" the null device
    std::string output = {};                   // the file standard output goes to; "" captured
    std::string error = {};                    // the file standard error goes to; "" captured
};

// "calc sin 1" as its words; '...' quotes a word with spaces (or an empty one).
inline std::vector<std::string> split_words(const std::string &line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> std::quoted(word, '\'', '\0');) words.push_back(word); // no escape character
    return words;
}

#ifdef _WIN32

namespace detail {

// One argument quoted so that the C runtime's parsing gives it back as it is:
// backslashes are literal except before a quote, where they are doubled.
inline std::string quote_argument(const std::string &arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}

inline std::string upper(std::string text) {
    for (char &c : text) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return text;
}

// The current environment with `changes` made, as CreateProcess takes it:
// "NAME=VALUE\0" entries sorted by name regardless of case, then a "\0".
inline std::string environment_block(const std::vector<std::string> &changes) {
    std::vector<std::string> entries;
    if (char *block = GetEnvironmentStringsA()) {
        for (const char *entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) entries.push_back(entry);
        FreeEnvironmentStringsA(block);
    }
    const auto name_of = [](const std::string &entry) {
        return upper(entry.substr(0, entry.find('=', 1))); // "=C:=C:\..." names begin with '='
    };
    for (const std::string &change : changes) {
        const std::string name = name_of(change);
        std::erase_if(entries, [&](const std::string &e) { return name_of(e) == name; });
        if (change.find('=') != std::string::npos) entries.push_back(change);
    }
    std::sort(entries.begin(), entries.end(),
              [&](const std::string &a, const std::string &b) { return name_of(a) < name_of(b); });
    std::string block;
    for (const std::string &e : entries) block.append(e).push_back('\0');
    block.push_back('\0');
    return block;
}

inline HANDLE open_inheritable(const std::string &path, bool write) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileA(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Starts the tool; `capture` (when not null) receives the read end of a pipe
// carrying what is not sent to a file. Returns the process handle, or null.
inline HANDLE start(const std::vector<std::string> &args, const ToolOptions &options, HANDLE *capture) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    if (capture != nullptr) {
        if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return nullptr;
        SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    }
    const HANDLE in = open_inheritable(options.input.empty() ? null_device : options.input, false);
    const auto direct = [&](const std::string &path) {
        return path.empty() && write_end != nullptr ? write_end
                                                    : open_inheritable(path.empty() ? null_device : path, true);
    };
    const HANDLE out = direct(options.output), err = direct(options.error);
    std::string command_line = quote_argument(KELVRA_TEST_TOOL);
    for (const std::string &arg : args) command_line.append(1, ' ').append(quote_argument(arg));
    std::string environment = environment_block(options.environment);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    const bool started = in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE &&
                         CreateProcessA(KELVRA_TEST_TOOL, command_line.data(), nullptr, nullptr, TRUE, 0,
                                        environment.data(), nullptr, &startup, &process);
    for (const HANDLE h : {in, out, err})
        if (h != INVALID_HANDLE_VALUE && h != write_end) CloseHandle(h);
    if (write_end != nullptr) CloseHandle(write_end); // the child holds its own copy
    if (!started) {
        if (read_end != nullptr) CloseHandle(read_end);
        return nullptr;
    }
    CloseHandle(process.hThread);
    if (capture != nullptr) *capture = read_end;
    return process.hProcess;
}

} // namespace detail

inline ToolRun kelvra(const std::vector<std::string> &args, const ToolOptions &options = {}) {
    ToolRun run{-1, {}};
    HANDLE pipe = nullptr;
    const HANDLE process = detail::start(args, options, &pipe);
    if (process == nullptr) return run;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) run.out.append(buffer, got);
    CloseHandle(pipe);
    WaitForSingleObject(process, INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(process, &code)) run.exit_code = static_cast<int>(code);
    CloseHandle(process);
    return run;
}

// The tool running in the background, its output sent to files (or the
// null device); ended by force when still running at destruction.
class BackgroundTool {
public:
    BackgroundTool(const std::vector<std::string> &args, const ToolOptions &options)
        : process_(detail::start(args, options, nullptr)) {}
    ~BackgroundTool() { kill(); }
    BackgroundTool(const BackgroundTool &) = delete;
    BackgroundTool &operator=(const BackgroundTool &) = delete;

    bool started() const { return process_ != nullptr; }

    // Ends the process at once.
    void kill() {
        if (process_ == nullptr) return;
        TerminateProcess(process_, 255);
        WaitForSingleObject(process_, INFINITE);
        CloseHandle(process_);
        process_ = nullptr;
    }

private:
    HANDLE process_;
};

#else

namespace detail {

// The current environment with `changes` made.
inline std::vector<std::string> environment_with(const std::vector<std::string> &changes) {
    std::vector<std::string> entries;
    for (char **entry = environ; *entry != nullptr; ++entry) entries.push_back(*entry);
    for (const std::string &change : changes) {
        const std::string name = change.substr(0, change.find('='));
        std::erase_if(entries, [&](const std::string &e) { return e.compare(0, name.size() + 1, name + "=") == 0; });
        if (change.find('=') != std::string::npos) entries.push_back(change);
    }
    return entries;
}

// Starts the tool; `capture` (when not null) receives the read end of a pipe
// carrying what is not sent to a file. Returns the process id, or -1.
inline pid_t start(const std::vector<std::string> &args, const ToolOptions &options, int *capture) {
    int pipe_ends[2] = {-1, -1};
    if (capture != nullptr && pipe2(pipe_ends, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, options.input.empty() ? null_device : options.input.c_str(),
                                     O_RDONLY, 0);
    const auto direct = [&](int fd, const std::string &path) {
        if (path.empty() && capture != nullptr) posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], fd);
        else posix_spawn_file_actions_addopen(&actions, fd, path.empty() ? null_device : path.c_str(),
                                              O_WRONLY | O_CREAT | O_TRUNC, 0600);
    };
    direct(STDOUT_FILENO, options.output);
    direct(STDERR_FILENO, options.error);
    std::vector<std::string> words = target_command(KELVRA_TEST_TOOL);
    words.insert(words.end(), args.begin(), args.end());
    std::vector<std::string> environment = environment_with(options.environment);
    std::vector<char *> argv, envp;
    for (std::string &w : words) argv.push_back(w.data());
    for (std::string &e : environment) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (capture != nullptr) {
        close(pipe_ends[1]);
        if (pid == -1) close(pipe_ends[0]);
        else *capture = pipe_ends[0];
    }
    return pid;
}

inline int exit_code(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

} // namespace detail

inline ToolRun kelvra(const std::vector<std::string> &args, const ToolOptions &options = {}) {
    ToolRun run{-1, {}};
    int pipe = -1;
    const pid_t pid = detail::start(args, options, &pipe);
    if (pid == -1) return run;
    char buffer[4096];
    ssize_t got;
    while ((got = read(pipe, buffer, sizeof buffer)) != 0) {
        if (got > 0) run.out.append(buffer, static_cast<size_t>(got));
        else if (errno != EINTR) break;
    }
    close(pipe);
    int status = 0;
    while (waitpid(pid, &status, 0) == -1 && errno == EINTR) {}
    run.exit_code = detail::exit_code(status);
    return run;
}

// The tool running in the background, its output sent to files (or the
// null device); killed when still running at destruction.
class BackgroundTool {
public:
    BackgroundTool(const std::vector<std::string> &args, const ToolOptions &options)
        : pid_(detail::start(args, options, nullptr)) {}
    ~BackgroundTool() { kill(); }
    BackgroundTool(const BackgroundTool &) = delete;
    BackgroundTool &operator=(const BackgroundTool &) = delete;

    bool started() const { return pid_ != -1; }

    // Sends SIGINT and waits up to 5 s for the exit code; -1 when the
    // process had to be killed instead.
    int interrupt() {
        if (pid_ == -1) return -1;
        ::kill(pid_, SIGINT);
        int status = 0;
        for (int i = 0; i < 250; ++i) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return detail::exit_code(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        kill();
        return -1;
    }

    // Ends the process at once.
    void kill() {
        if (pid_ == -1) return;
        ::kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_;
};

#endif

inline ToolRun kelvra(const std::string &command_line, const ToolOptions &options = {}) {
    return kelvra(split_words(command_line), options);
}

inline bool contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

} // namespace kelvra_test
