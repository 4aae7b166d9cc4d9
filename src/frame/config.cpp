// The library's one configurable value: the Hermitian node limit. It is a
// plain process-wide word; callers set it before starting work that reads it.
// Relaxed atomic access keeps concurrent readers and writers well defined
// without imposing any ordering (there is nothing to order against).
#include <atomic>

#include "frame/config.hpp"

namespace kelvra::config {

namespace {
std::atomic<uint32_t> hermitian_max_nodes{default_hermitian_max_nodes};
}

uint32_t hermitian_limit() noexcept { return hermitian_max_nodes.load(std::memory_order_relaxed); }

void set_hermitian_limit(uint32_t nodes) noexcept {
    hermitian_max_nodes.store(nodes, std::memory_order_relaxed);
}

} // namespace kelvra::config

extern "C" KELVRA_API uint32_t kelvra_config_hermitian_max_nodes(void) noexcept {
    return kelvra::config::hermitian_limit();
}

extern "C" KELVRA_API void kelvra_config_reset_defaults(void) noexcept {
    kelvra::config::set_hermitian_limit(kelvra::config::default_hermitian_max_nodes);
}
