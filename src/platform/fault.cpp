// The call counter and thread switches behind fault.hpp; empty unless fault injection is built in.
#include "platform/fault.hpp"

#if defined(KELVRA_FAULT_INJECTION)
#include <atomic>
#include <cstdlib>

namespace kelvra::os::fault {
namespace {

std::atomic<std::uint64_t> counted{0};
std::atomic<std::uint64_t> failing{0};
std::atomic<std::uint64_t> crashing{0};
std::atomic<bool> withheld{false};
std::atomic<bool> refused{false};

} // namespace

bool strike() noexcept {
    const std::uint64_t n = counted.fetch_add(1, std::memory_order_relaxed) + 1;
    if (n == crashing.load(std::memory_order_relaxed)) std::_Exit(0);
    return n == failing.load(std::memory_order_relaxed);
}

void arm(std::uint64_t nth) noexcept {
    counted.store(0, std::memory_order_relaxed);
    failing.store(nth, std::memory_order_relaxed);
}

void crash_at(std::uint64_t nth) noexcept {
    counted.store(0, std::memory_order_relaxed);
    crashing.store(nth, std::memory_order_relaxed);
}

std::uint64_t calls() noexcept { return counted.load(std::memory_order_relaxed); }

void withhold_threads(bool on) noexcept { withheld.store(on); }
void refuse_threads(bool on) noexcept { refused.store(on); }
bool threads_withheld() noexcept { return withheld.load(); }
bool threads_refused() noexcept { return refused.load(); }

} // namespace kelvra::os::fault
#endif
