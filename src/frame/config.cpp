// The library's one configurable value: the Hermitian node limit. It is a
// plain process-wide word; callers set it before starting work that reads it.
// Relaxed atomic access keeps concurrent readers and writers well defined
// without imposing any ordering (there is nothing to order against).
//
// The value is set from the integer at table "hermitian", key "max_nodes" of
// a TOML text or file. Only a parse failure or a file failure is an error; a
// missing table or key, another kind, or a number outside 1..2^31-1 leaves the
// value as it was and succeeds.
#include <atomic>
#include <cstring>

#include "frame/config.hpp"

namespace kelvra::config {

namespace {
std::atomic<uint32_t> hermitian_max_nodes{default_hermitian_max_nodes};
}

uint32_t hermitian_limit() noexcept { return hermitian_max_nodes.load(std::memory_order_relaxed); }

void set_hermitian_limit(uint32_t nodes) noexcept { hermitian_max_nodes.store(nodes, std::memory_order_relaxed); }

namespace {

// Applies hermitian.max_nodes from a parsed tree when it is an integer in range.
void apply(const kelvra_toml_value *root) noexcept {
    const kelvra_toml_value *table = kelvra_toml_table_get(root, "hermitian");
    const kelvra_toml_value *nodes = kelvra_toml_table_get(table, "max_nodes"); // null unless a table
    if (nodes == nullptr) return;
    kelvra_toml_value record;
    std::memcpy(&record, nodes, sizeof record); // records in the arena may sit at any address
    if (record.kind != KELVRA_TOML_INTEGER) return;
    const int64_t v = record.as.integer;
    if (v >= 1 && v <= int64_t{max_hermitian_max_nodes}) set_hermitian_limit(static_cast<uint32_t>(v));
}

} // namespace

} // namespace kelvra::config

extern "C" KELVRA_API uint32_t kelvra_config_hermitian_max_nodes(void) noexcept {
    return kelvra::config::hermitian_limit();
}

extern "C" KELVRA_API void kelvra_config_reset_defaults(void) noexcept {
    kelvra::config::set_hermitian_limit(kelvra::config::default_hermitian_max_nodes);
}

extern "C" KELVRA_API kelvra_status kelvra_config_load_toml(const uint8_t *text, uint64_t text_len, uint8_t *arena,
                                                            uint64_t arena_cap) noexcept {
    kelvra_toml_value *root = nullptr;
    if (const kelvra_status s = kelvra_toml_parse(text, text_len, arena, arena_cap, &root)) return s;
    kelvra::config::apply(root);
    return KELVRA_OK;
}

// The buffer's first half (rounded down) holds the file, the rest is the
// parser's arena. The split is fixed by buf_cap alone, so a half too small for
// its part gives 4 from the read or from the parser.
extern "C" KELVRA_API kelvra_status kelvra_config_load_file(const char *path, uint8_t *buf, uint64_t buf_cap) noexcept {
    if (path == nullptr || buf == nullptr) return KELVRA_ERR_ARG;
    const uint64_t half = buf_cap / 2;
    uint64_t length = 0;
    if (const kelvra_status s = kelvra_plat_file_read(path, buf, half, &length)) return s;
    return kelvra_config_load_toml(buf, length, buf + half, buf_cap - half);
}
