// Directory listing over the platform's find-first / find-next search.
//
// The search reports its first entry as it starts, so an open listing always
// holds one entry not yet handed out (the pending name). Any entry whose name
// does not fit the caller's buffer goes back to the pending slot, so a retry
// with a larger buffer hands out the same entry instead of losing it.
#include "kelvra.h"

#include "frame/status.hpp"
#include "platform/platform.hpp"

#include <cstring>

namespace kelvra::platform {
namespace {

constexpr std::size_t pending_capacity = sizeof(kelvra_plat_dir::pending_name);

// The longest path whose pattern "<path>/*" still fits the pattern buffer.
constexpr std::size_t longest_listable_path = os::search_pattern_capacity - sizeof("/*");

// Builds the search pattern "<path>/*"; false when the path is too long.
bool build_pattern(const char *path, char (&pattern)[os::search_pattern_capacity]) noexcept {
    std::size_t length = 0;
    for (; path[length] != '\0'; ++length) {
        if (length == longest_listable_path) return false;
        pattern[length] = path[length];
    }
    std::memcpy(pattern + length, "/*", sizeof("/*"));
    return true;
}

bool search_is_open(const kelvra_plat_dir &dir) noexcept {
    return dir.handle != os::no_search && dir.handle != os::invalid_search;
}

// Copies a name with its NUL into the pending slot; false when it is too long.
bool keep_pending(kelvra_plat_dir *dir, const char *name, std::size_t length) noexcept {
    if (length + 1 > pending_capacity) return false;
    std::memcpy(dir->pending_name, name, length + 1);
    dir->pending = 1;
    return true;
}

// Hands out a name if it fits `cap`; otherwise keeps it pending and gives 4.
kelvra_status hand_out(kelvra_plat_dir *dir, const char *name, char *out, std::uint64_t cap,
                       std::uint32_t *out_has) noexcept {
    const std::size_t length = std::strlen(name);
    if (length + 1 > cap) {
        if (name != dir->pending_name) keep_pending(dir, name, length);
        return KELVRA_ERR_CAPACITY;
    }
    std::memmove(out, name, length + 1);
    dir->pending = 0;
    *out_has = 1;
    return KELVRA_OK;
}

} // namespace
} // namespace kelvra::platform

using namespace kelvra;

extern "C" KELVRA_API kelvra_status kelvra_plat_dir_open(const char *path, kelvra_plat_dir *dir) noexcept {
    dir->pending = 0;
    dir->handle = os::no_search;
    char pattern[os::search_pattern_capacity];
    if (!platform::build_pattern(path, pattern)) return KELVRA_ERR_CAPACITY;
    os::SearchHandle search = os::no_search;
    os::EntryName first;
    if (!os::find_first(pattern, &search, &first)) return KELVRA_ERR_IO;
    if (!platform::keep_pending(dir, first.text, std::strlen(first.text))) {
        os::find_close(search);
        return KELVRA_ERR_CAPACITY;
    }
    dir->handle = search;
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_plat_dir_next(kelvra_plat_dir *dir, char *name, uint64_t cap,
                                                         uint32_t *out_has) noexcept {
    if (dir->pending != 0) return platform::hand_out(dir, dir->pending_name, name, cap, out_has);
    os::EntryName next;
    if (!platform::search_is_open(*dir) || !os::find_next(dir->handle, &next)) {
        *out_has = 0;
        return KELVRA_OK;
    }
    return platform::hand_out(dir, next.text, name, cap, out_has);
}

extern "C" KELVRA_API void kelvra_plat_dir_close(kelvra_plat_dir *dir) noexcept {
    if (platform::search_is_open(*dir)) os::find_close(dir->handle);
    dir->handle = os::no_search;
    dir->pending = 0;
}
