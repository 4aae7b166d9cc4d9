// Fault injection for tests. A build with KELVRA_FAULT_INJECTION defined can
// make the n-th operating-system call of the platform layer fail the way a
// failing disk would, to show that every caller reports the failure and
// leaves no trace of the attempt. The calls counted are the ones that touch
// files: opening, reading, writing, flushing to disk, renaming or linking, and
// flushing a directory. In every other build each check is a constant false.
#pragma once

#include <cstdint>

namespace kelvra::os::fault {

#if defined(KELVRA_FAULT_INJECTION)
// Counts one call; true when this is the call that must fail.
bool strike() noexcept;

// Starts counting afresh; the `nth` call from now on fails (0: none does).
void arm(std::uint64_t nth) noexcept;

// Starts counting afresh; at the `nth` call from now on the process ends at
// once, as if the machine had stopped there (for tests in a child process).
void crash_at(std::uint64_t nth) noexcept;

// The calls counted since the last `arm`.
std::uint64_t calls() noexcept;

// Threads withheld: the platform reports none, so callers take their serial
// path. Threads refused: every thread creation fails.
void withhold_threads(bool withheld) noexcept;
void refuse_threads(bool refused) noexcept;
bool threads_withheld() noexcept;
bool threads_refused() noexcept;
#else
constexpr bool strike() noexcept { return false; }
constexpr bool threads_withheld() noexcept { return false; }
constexpr bool threads_refused() noexcept { return false; }
#endif

} // namespace kelvra::os::fault
