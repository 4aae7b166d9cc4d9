// The little the tool needs from the operating system beyond the C and C++
// standard libraries and kelvra.h: environment changes, whether standard
// error is a terminal, the process number, waiting for an interrupt
// (SIGINT/SIGTERM, or Ctrl-C), and read-only file mappings. All of it lives in system.cpp, the one file
// with code per operating system.
#pragma once

#include <cstdint>
#include <thread>

namespace kelvra::cli {

// Makes standard input (unless a console), output and error carry bytes as
// they are: on Windows they start in text mode, which turns "\n" into "\r\n"
// on the way out and drops "\r" and stops at a Ctrl-Z byte on the way in.
// Nothing to do elsewhere.
void binary_standard_streams();

// Sets (replacing) or removes an environment variable of this process.
void set_environment(const char *name, const char *value);
void unset_environment(const char *name);

// Whether standard error (standard output) goes to a terminal; progress
// lines are shown only on one.
bool stderr_is_terminal();
bool stdout_is_terminal();

// This process's number, to name things uniquely.
long process_id();

// Interrupts go to interrupt_wait from now on instead of ending the process.
// Call it before starting any thread. False (with a reason) when it cannot.
bool interrupts_capture(const char **problem);

// Waits for an interrupt: for ever when timeout_ms < 0, else at most
// timeout_ms milliseconds. True when one came (or interrupt_cancel ended the
// wait of `waiter`).
bool interrupt_wait(int timeout_ms);

// Ends an interrupt_wait in progress in thread `waiter`.
void interrupt_cancel(std::thread &waiter);

// A regular file mapped read-only, so that a large input is read without a
// copy of it in the process's own memory: the system pages it in as it is
// read and can drop those pages again. data() is null when the file cannot be
// mapped (not a regular file, empty, or refused); callers then read it.
class MappedFile {
public:
    explicit MappedFile(const char *path);
    ~MappedFile();
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    const uint8_t *data() const { return data_; }
    uint64_t size() const { return size_; }

private:
    const uint8_t *data_ = nullptr;
    uint64_t size_ = 0;
};

} // namespace kelvra::cli
