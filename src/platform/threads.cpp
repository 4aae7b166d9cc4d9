// The exported threads: a worker and its argument kept in the caller's
// record, which the new thread reads them from.
#include "kelvra.h"

#include "frame/status.hpp"
#include "platform/fault.hpp"
#include "platform/platform.hpp"

using namespace kelvra;

extern "C" KELVRA_API uint32_t kelvra_plat_has_threads(void) noexcept { return os::fault::threads_withheld() ? 0 : 1; }

extern "C" KELVRA_API kelvra_status kelvra_plat_thread_spawn(kelvra_plat_thread_fn worker, void *arg,
                                                             kelvra_plat_thread *thread) noexcept {
    if (worker == nullptr || thread == nullptr) return KELVRA_ERR_ARG;
    thread->worker = worker;
    thread->arg = arg;
    if (os::fault::threads_refused() || !os::start_thread(thread)) return KELVRA_ERR_RESOURCE;
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_plat_thread_join(kelvra_plat_thread *thread) noexcept {
    if (thread == nullptr) return KELVRA_ERR_ARG;
    os::join_thread(thread);
    return KELVRA_OK;
}
