#include "progress.hpp"

#include <chrono>
#include <cstdio>

#include "system.hpp"

namespace kelvra::cli {

namespace {

constexpr auto kFirstAfter = std::chrono::seconds(1);
constexpr auto kEvery = std::chrono::milliseconds(200);

} // namespace

Progress::Progress(std::string what, bool show) : what_(std::move(what)) {
    if (show && stderr_is_terminal()) ticker_ = std::thread([this] { run(); });
}

Progress::~Progress() {
    if (!ticker_.joinable()) return;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    ticker_.join();
}

void Progress::update(uint64_t done, uint64_t total, const char *unit) {
    unit_ = unit;
    total_ = total;
    done_ = done;
}

void Progress::run() {
    const auto start = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(mutex_);
    if (wake_.wait_until(lock, start + kFirstAfter, [this] { return stopping_; })) return;
    do {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const char *unit = unit_;
        if (unit != nullptr)
            std::fprintf(stderr, "\r\033[K%s: %.1f s, %llu of %llu %s", what_.c_str(), seconds,
                         static_cast<unsigned long long>(done_.load()), static_cast<unsigned long long>(total_.load()),
                         unit);
        else std::fprintf(stderr, "\r\033[K%s: %.1f s", what_.c_str(), seconds);
        std::fflush(stderr);
    } while (!wake_.wait_for(lock, kEvery, [this] { return stopping_; }));
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
}

} // namespace kelvra::cli
