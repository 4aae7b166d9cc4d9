// The directory search over FindFirstFileW / FindNextFileW. The search
// handle is the find handle itself; FindFirstFileW's failure value
// (INVALID_HANDLE_VALUE, all-ones) is `invalid_search`, and a live find
// handle is never 0. "." and ".." come back as the file system reports them
// (the root of a drive has neither).
//
// The pattern comes in the runtime's code page, as fopen takes names, and may
// be up to 1023 bytes long; it is searched as a long path (long_path.hpp),
// and names come back in that same code page.
#include "platform/platform.hpp"

#include <cstring>
#include <cwchar>
#include <initializer_list>

#include "platform/win32/long_path.hpp"
#include "platform/win32/win.hpp"

namespace kelvra::os {

static_assert(sizeof(HANDLE) == sizeof(SearchHandle), "a find handle must fit a search handle");

namespace {

HANDLE as_find(SearchHandle search) noexcept { return reinterpret_cast<HANDLE>(search); }

// Only "<directory>/*" is searched, as on POSIX: a pattern with wildcards of
// its own would list something else than a directory.
bool is_directory_pattern(const char *pattern) noexcept {
    const std::size_t length = std::strlen(pattern);
    return length >= 2 && length < search_pattern_capacity && pattern[length - 1] == '*' && pattern[length - 2] == '/';
}

// The entry's name in the runtime's code page; a long name that does not fit
// there (multi-byte code pages) is given by its short form. False when
// neither fits: the entry is skipped.
bool copy_name(const WIN32_FIND_DATAW &found, EntryName *entry) noexcept {
    for (const wchar_t *name : {found.cFileName, found.cAlternateFileName}) {
        if (name[0] == L'\0') continue;
        if (WideCharToMultiByte(CP_ACP, 0, name, -1, entry->text, entry_name_capacity, nullptr, nullptr) != 0)
            return true;
    }
    return false;
}

} // namespace

bool find_first(const char *pattern, SearchHandle *search, EntryName *first) noexcept {
    if (!is_directory_pattern(pattern)) return false;
    wchar_t wide[long_path_capacity];
    if (long_path(pattern, wide) == 0) return false;
    WIN32_FIND_DATAW found;
    const HANDLE find = FindFirstFileW(wide, &found);
    if (find == INVALID_HANDLE_VALUE) return false;
    if (!copy_name(found, first) && !find_next(reinterpret_cast<SearchHandle>(find), first)) {
        FindClose(find);
        return false;
    }
    *search = reinterpret_cast<SearchHandle>(find);
    return true;
}

bool find_next(SearchHandle search, EntryName *next) noexcept {
    WIN32_FIND_DATAW found;
    do {
        if (!FindNextFileW(as_find(search), &found)) return false;
    } while (!copy_name(found, next));
    return true;
}

void find_close(SearchHandle search) noexcept { FindClose(as_find(search)); }

} // namespace kelvra::os
