// A second process for the tests that need one (a writer killed at a random
// moment, writers racing for a lock, a process stopped dead by fault
// injection): the running test program starts itself again, running only one
// hidden test (a DISABLED_ one, so no ordinary run picks it up), which reads
// its parameters from environment variables set for it alone. The same code
// runs on POSIX (posix_spawn, waitpid, SIGKILL) and on Windows (CreateProcess,
// WaitForSingleObject, TerminateProcess). The child's standard output is
// discarded; it reports through its exit status (0 when its test passed).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "support/emulator.hpp"

#if defined(_WIN32)
#include "platform/win32/win.hpp"
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char **environ;
#endif

namespace kelvra_test {

// The running test program's own path.
inline std::string this_program() {
#if defined(_WIN32)
    char path[32768];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    return length > 0 && length < sizeof path ? std::string(path, length) : std::string();
#else
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    return length > 0 && static_cast<size_t>(length) < sizeof path ? std::string(path, static_cast<size_t>(length))
                                                                     : std::string();
#endif
}

// A parameter the parent set for a child test; empty outside a child.
inline std::string child_parameter(const char *name) {
    const char *value = std::getenv(name);
    return value != nullptr ? value : "";
}

class ChildProcess {
public:
    using Parameters = std::vector<std::pair<std::string, std::string>>;

    // Starts this program again running only `test` ("Suite.DISABLED_Name"),
    // with `parameters` added to its environment.
    ChildProcess(const std::string &test, const Parameters &parameters) {
        const std::string program = this_program();
        const std::string filter = "--gtest_filter=" + test;
        const std::string disabled = "--gtest_also_run_disabled_tests";
#if defined(_WIN32)
        // The child inherits the parent's environment block, so the
        // parameters are set in it only while the child is created.
        std::vector<std::pair<std::string, std::string>> before;
        for (const auto &[name, value] : parameters) {
            char old[32767];
            const DWORD length = GetEnvironmentVariableA(name.c_str(), old, sizeof old);
            before.emplace_back(name, length > 0 && length < sizeof old ? std::string(old, length) : std::string());
            SetEnvironmentVariableA(name.c_str(), value.c_str());
        }
        std::string command = "\"" + program + "\" " + filter + " " + disabled;
        SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        const HANDLE null_device = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                               OPEN_EXISTING, 0, nullptr);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = null_device;
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        PROCESS_INFORMATION info{};
        if (CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                           &info)) {
            CloseHandle(info.hThread);
            process_ = info.hProcess;
        }
        if (null_device != INVALID_HANDLE_VALUE) CloseHandle(null_device);
        for (const auto &[name, value] : before)
            SetEnvironmentVariableA(name.c_str(), value.empty() ? nullptr : value.c_str());
#else
        std::vector<std::string> variables;
        for (const auto &[name, value] : parameters) variables.push_back(name + "=" + value);
        std::vector<char *> envp;
        for (std::string &v : variables) envp.push_back(v.data());
        for (char **e = environ; *e != nullptr; ++e) envp.push_back(*e); // the parameters come first and win
        envp.push_back(nullptr);
        std::vector<std::string> args = target_command(program);
        args.insert(args.end(), {filter, disabled});
        std::vector<char *> argv;
        for (std::string &a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
#endif
        EXPECT_TRUE(running()) << "could not start " << program << " for " << test;
    }

    ~ChildProcess() {
        if (running()) kill();
    }
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    bool running() const {
#if defined(_WIN32)
        return process_ != nullptr;
#else
        return pid_ > 0;
#endif
    }

    // Waits for the child to end: its exit status, or -1 when it was killed
    // by a signal or never started.
    int wait() {
        if (!running()) return -1;
#if defined(_WIN32)
        WaitForSingleObject(process_, INFINITE);
        DWORD code = 0;
        const bool known = GetExitCodeProcess(process_, &code) != 0;
        CloseHandle(process_);
        process_ = nullptr;
        return known ? static_cast<int>(code) : -1;
#else
        int status = 0;
        const pid_t ended = waitpid(pid_, &status, 0);
        pid_ = -1;
        return ended > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    }

    // Ends the child at once, wherever it is, and waits until it is gone
    // (its files closed, its locks released).
    void kill() {
        if (!running()) return;
#if defined(_WIN32)
        TerminateProcess(process_, 137);
#else
        ::kill(pid_, SIGKILL);
#endif
        wait();
    }

private:
#if defined(_WIN32)
    HANDLE process_ = nullptr;
#else
    pid_t pid_ = -1;
#endif
};

} // namespace kelvra_test
