// A progress line on standard error for work that lasts: shown only when
// standard error is a terminal (never on a pipe or in a file), from one second
// after the work began, redrawn five times a second with the time so far and,
// where the tool drives the work in steps, how far it has come. The line is
// cleared when the Progress ends, before the command prints its result.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace kelvra::cli {

class Progress {
public:
    // `what` names the work, e.g. "genome save g1". `show` false: nothing at all.
    explicit Progress(std::string what, bool show = true);
    ~Progress();
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    // Work done so far out of `total`, in `unit`s (a string literal).
    void update(uint64_t done, uint64_t total, const char *unit);

private:
    void run();

    std::string what_;
    std::atomic<uint64_t> done_{0}, total_{0};
    std::atomic<const char *> unit_{nullptr};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread ticker_;
};

} // namespace kelvra::cli
