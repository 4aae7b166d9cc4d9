// The directory search over FindFirstFileA / FindNextFileA. The search
// handle is the find handle itself; FindFirstFileA's failure value
// (INVALID_HANDLE_VALUE, all-ones) is `invalid_search`, and a live find
// handle is never 0. "." and ".." come back as the file system reports them
// (the root of a drive has neither).
#include "platform/platform.hpp"

#include <cstring>

#include "platform/win32/win.hpp"

namespace kelvra::os {

static_assert(sizeof(WIN32_FIND_DATAA::cFileName) <= entry_name_capacity, "a find name must fit an EntryName");
static_assert(sizeof(HANDLE) == sizeof(SearchHandle), "a find handle must fit a search handle");

namespace {

HANDLE as_find(SearchHandle search) noexcept { return reinterpret_cast<HANDLE>(search); }

// Only "<directory>/*" is searched, as on POSIX: a pattern with wildcards of
// its own would list something else than a directory.
bool is_directory_pattern(const char *pattern) noexcept {
    const std::size_t length = std::strlen(pattern);
    return length >= 2 && length < search_pattern_capacity && pattern[length - 1] == '*' && pattern[length - 2] == '/';
}

void copy_name(const WIN32_FIND_DATAA &found, EntryName *entry) noexcept {
    const std::size_t length = strnlen(found.cFileName, sizeof found.cFileName - 1);
    std::memcpy(entry->text, found.cFileName, length);
    entry->text[length] = '\0';
}

} // namespace

bool find_first(const char *pattern, SearchHandle *search, EntryName *first) noexcept {
    if (!is_directory_pattern(pattern)) return false;
    WIN32_FIND_DATAA found;
    const HANDLE find = FindFirstFileA(pattern, &found);
    if (find == INVALID_HANDLE_VALUE) return false;
    copy_name(found, first);
    *search = reinterpret_cast<SearchHandle>(find);
    return true;
}

bool find_next(SearchHandle search, EntryName *next) noexcept {
    WIN32_FIND_DATAA found;
    if (!FindNextFileA(as_find(search), &found)) return false;
    copy_name(found, next);
    return true;
}

void find_close(SearchHandle search) noexcept { FindClose(as_find(search)); }

} // namespace kelvra::os
