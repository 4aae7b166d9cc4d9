// Threads on POSIX threads. The record is the thread's parameter: the new
// thread reads the worker and its argument from it.
#include "platform/platform.hpp"

#include <pthread.h>

namespace kelvra::os {
namespace {

void *run_worker(void *parameter) noexcept {
    const auto *record = static_cast<const kelvra_plat_thread *>(parameter);
    record->worker(record->arg);
    return nullptr;
}

} // namespace

bool start_thread(kelvra_plat_thread *record) noexcept {
    pthread_t thread;
    if (pthread_create(&thread, nullptr, run_worker, record) != 0) return false;
    record->handle = static_cast<std::uintptr_t>(thread);
    return true;
}

void join_thread(kelvra_plat_thread *record) noexcept { pthread_join(static_cast<pthread_t>(record->handle), nullptr); }

} // namespace kelvra::os
