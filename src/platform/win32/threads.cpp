// Threads on Win32 threads. The record is the thread's parameter: the new
// thread reads the worker and its argument from it. The record's handle word
// holds the thread handle from start to join.
#include "platform/platform.hpp"

#include "platform/win32/win.hpp"

namespace kelvra::os {
namespace {

DWORD WINAPI run_worker(LPVOID parameter) noexcept {
    const auto *record = static_cast<const kelvra_plat_thread *>(parameter);
    record->worker(record->arg);
    return 0;
}

} // namespace

bool start_thread(kelvra_plat_thread *record) noexcept {
    const HANDLE thread = CreateThread(nullptr, 0, run_worker, record, 0, nullptr);
    if (thread == nullptr) return false;
    record->handle = reinterpret_cast<std::uintptr_t>(thread);
    return true;
}

void join_thread(kelvra_plat_thread *record) noexcept {
    const HANDLE thread = reinterpret_cast<HANDLE>(record->handle);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

} // namespace kelvra::os
