// Per-operating-system pieces of the tool (see system.hpp): POSIX, with a
// simple Windows fallback.
#include "system.hpp"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <atomic>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kelvra::cli {

#ifdef _WIN32

void binary_standard_streams() {
    // Typed at a console, lines still end in "\n" alone, as they do elsewhere.
    if (!_isatty(_fileno(stdin))) _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

void set_environment(const char *name, const char *value) { _putenv_s(name, value); }
void unset_environment(const char *name) { _putenv_s(name, ""); }
bool stderr_is_terminal() { return _isatty(_fileno(stderr)) != 0; }
bool stdout_is_terminal() { return _isatty(_fileno(stdout)) != 0; }
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

MappedFile::MappedFile(const char *path) {
    const HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    LARGE_INTEGER size{};
    if (GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size) && size.QuadPart > 0) {
        const HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (mapping != nullptr) {
            // The view keeps the mapping alive after its handle is closed.
            data_ = static_cast<const uint8_t *>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
            if (data_ != nullptr) size_ = static_cast<uint64_t>(size.QuadPart);
            CloseHandle(mapping);
        }
    }
    CloseHandle(file);
}

MappedFile::~MappedFile() {
    if (data_ != nullptr) UnmapViewOfFile(data_);
}

#else

void binary_standard_streams() {}

void set_environment(const char *name, const char *value) { setenv(name, value, 1); }
void unset_environment(const char *name) { unsetenv(name); }
bool stderr_is_terminal() { return isatty(STDERR_FILENO) != 0; }
bool stdout_is_terminal() { return isatty(STDOUT_FILENO) != 0; }
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
        while (sigwait(&interrupt_signals, &signal) != 0) {}
        return true;
    }
    const timespec pause{timeout_ms / 1000, static_cast<long>(timeout_ms % 1000) * 1'000'000};
    return sigtimedwait(&interrupt_signals, nullptr, &pause) > 0;
}

// SIGTERM is blocked in every thread, so it stays pending for `waiter` and
// its sigwait returns.
void interrupt_cancel(std::thread &waiter) { pthread_kill(waiter.native_handle(), SIGTERM); }

namespace {

// A large file is mapped through two windows that move with the reader:
// the whole range is reserved without access, and the first touch of a page
// outside the windows (a SIGSEGV) maps that page's window and gives back the
// oldest one. The reader sees one contiguous file; the process holds at most
// two windows of it. One such file at a time; others are mapped whole.
constexpr uint64_t kWindowBytes = uint64_t{8} << 20;
constexpr uint64_t kWindowedFrom = uint64_t{64} << 20;

struct Windows {
    uint8_t *base = nullptr; // null: no windowed file
    uint64_t size = 0;
    int fd = -1;
    uint64_t mapped[2] = {UINT64_MAX, UINT64_MAX}; // window numbers, oldest first
    struct sigaction previous {};
} windows;

bool map_window(uint64_t window) {
    const uint64_t offset = window * kWindowBytes;
    const size_t length = static_cast<size_t>(std::min(kWindowBytes, windows.size - offset));
    void *at = mmap(windows.base + offset, length, PROT_READ, MAP_PRIVATE | MAP_FIXED | MAP_POPULATE, windows.fd,
                    static_cast<off_t>(offset));
    return at != MAP_FAILED;
}

void release_window(uint64_t window) {
    const uint64_t offset = window * kWindowBytes;
    const size_t length = static_cast<size_t>(std::min(kWindowBytes, windows.size - offset));
    mmap(windows.base + offset, length, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED | MAP_NORESERVE, -1, 0);
}

extern "C" void on_window_fault(int signal, siginfo_t *info, void *) {
    auto *at = static_cast<uint8_t *>(info->si_addr);
    if (windows.base != nullptr && at >= windows.base && at < windows.base + windows.size) {
        const auto window = static_cast<uint64_t>(at - windows.base) / kWindowBytes;
        if (window != windows.mapped[0] && window != windows.mapped[1] && map_window(window)) {
            if (windows.mapped[0] != UINT64_MAX) release_window(windows.mapped[0]);
            windows.mapped[0] = windows.mapped[1];
            windows.mapped[1] = window;
            return; // the access is made again, now inside a window
        }
    }
    // Not ours: the fault is made again under the action there was before.
    sigaction(signal, &windows.previous, nullptr);
}

bool map_windowed(int fd, uint64_t size, const uint8_t *&data) {
    if (windows.base != nullptr) return false;
    void *reserved =
        mmap(nullptr, static_cast<size_t>(size), PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (reserved == MAP_FAILED) return false;
    struct sigaction action {};
    action.sa_sigaction = on_window_fault;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    windows.base = static_cast<uint8_t *>(reserved);
    windows.size = size;
    windows.fd = dup(fd);
    windows.mapped[0] = windows.mapped[1] = UINT64_MAX;
    if (windows.fd < 0 || sigaction(SIGSEGV, &action, &windows.previous) != 0) {
        if (windows.fd >= 0) close(windows.fd);
        munmap(reserved, static_cast<size_t>(size));
        windows.base = nullptr;
        return false;
    }
    data = windows.base;
    return true;
}

} // namespace

MappedFile::MappedFile(const char *path) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        const auto size = static_cast<uint64_t>(info.st_size);
        if (size >= kWindowedFrom && map_windowed(fd, size, data_)) {
            size_ = size;
        } else {
            void *at = mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_PRIVATE, fd, 0);
            if (at != MAP_FAILED) {
                madvise(at, static_cast<size_t>(size), MADV_SEQUENTIAL);
                data_ = static_cast<const uint8_t *>(at);
                size_ = size;
            }
        }
    }
    close(fd);
}

MappedFile::~MappedFile() {
    if (data_ == nullptr) return;
    munmap(const_cast<uint8_t *>(data_), static_cast<size_t>(size_));
    if (data_ == windows.base) {
        sigaction(SIGSEGV, &windows.previous, nullptr);
        close(windows.fd);
        windows.base = nullptr;
    }
}

#endif

} // namespace kelvra::cli
