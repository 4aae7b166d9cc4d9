// Per-operating-system pieces of the tool (see system.hpp): POSIX, with a
// simple Windows fallback.
#include "system.hpp"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <atomic>
#include <io.h>
#include <process.h>
#else
#include <pthread.h>
#include <unistd.h>
#endif

namespace kelvra::cli {

#ifdef _WIN32

void set_environment(const char *name, const char *value) { _putenv_s(name, value); }
void unset_environment(const char *name) { _putenv_s(name, ""); }
bool stderr_is_terminal() { return _isatty(_fileno(stderr)) != 0; }
long process_id() { return static_cast<long>(_getpid()); }

namespace {

// Raised by the signal handler; interrupt_wait polls it.
std::atomic<int> interrupts{0};
std::atomic<bool> cancelled{false};
int seen = 0;

extern "C" void on_interrupt(int signal) {
    interrupts.fetch_add(1);
    std::signal(signal, on_interrupt);
}

} // namespace

bool interrupts_capture(const char **) {
    std::signal(SIGINT, on_interrupt);
    std::signal(SIGTERM, on_interrupt);
    return true;
}

bool interrupt_wait(int timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        if (interrupts.load() > seen) {
            ++seen;
            return true;
        }
        if (cancelled.exchange(false)) return true;
        if (timeout_ms >= 0 && std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void interrupt_cancel(std::thread &) { cancelled.store(true); }

#else

void set_environment(const char *name, const char *value) { setenv(name, value, 1); }
void unset_environment(const char *name) { unsetenv(name); }
bool stderr_is_terminal() { return isatty(STDERR_FILENO) != 0; }
long process_id() { return static_cast<long>(getpid()); }

namespace {

sigset_t interrupt_signals;

} // namespace

// Blocked before any thread exists, so every thread inherits the mask and
// only the sigwait below ever sees these signals.
bool interrupts_capture(const char **problem) {
    sigemptyset(&interrupt_signals);
    sigaddset(&interrupt_signals, SIGINT);
    sigaddset(&interrupt_signals, SIGTERM);
    if (const int e = pthread_sigmask(SIG_BLOCK, &interrupt_signals, nullptr)) {
        *problem = std::strerror(e);
        return false;
    }
    return true;
}

bool interrupt_wait(int timeout_ms) {
    if (timeout_ms < 0) {
        int signal = 0;
        while (sigwait(&interrupt_signals, &signal) != 0) {
        }
        return true;
    }
    const timespec pause{timeout_ms / 1000, static_cast<long>(timeout_ms % 1000) * 1'000'000};
    return sigtimedwait(&interrupt_signals, nullptr, &pause) > 0;
}

// SIGTERM is blocked in every thread, so it stays pending for `waiter` and
// its sigwait returns.
void interrupt_cancel(std::thread &waiter) { pthread_kill(waiter.native_handle(), SIGTERM); }

#endif

} // namespace kelvra::cli
