// The directory search over FindFirstFileW / FindNextFileW. The search
// handle is the find handle itself; FindFirstFileW's failure value
// (INVALID_HANDLE_VALUE, all-ones) is `invalid_search`, and a live find
// handle is never 0. "." and ".." come back as the file system reports them
// (the root of a drive has neither).
//
// The pattern comes in the runtime's code page, as fopen takes names, and may
// be up to 1023 bytes long. The ANSI find functions refuse anything past
// MAX_PATH, so the pattern is made absolute (which also folds repeated and
// forward slashes) and searched in UTF-16 under the "\\?\" prefix; names
// come back in that same code page.
#include "platform/platform.hpp"

#include <cstring>
#include <cwchar>
#include <initializer_list>

#include "platform/win32/win.hpp"

namespace kelvra::os {

static_assert(sizeof(HANDLE) == sizeof(SearchHandle), "a find handle must fit a search handle");

namespace {

HANDLE as_find(SearchHandle search) noexcept { return reinterpret_cast<HANDLE>(search); }

// A pattern made absolute, with its prefix; room for any pattern the caller
// may pass once the current directory is put in front of a relative one.
constexpr std::size_t wide_pattern_capacity = 4096 + 16;

// Only "<directory>/*" is searched, as on POSIX: a pattern with wildcards of
// its own would list something else than a directory.
bool is_directory_pattern(const char *pattern) noexcept {
    const std::size_t length = std::strlen(pattern);
    return length >= 2 && length < search_pattern_capacity && pattern[length - 1] == '*' && pattern[length - 2] == '/';
}

bool starts_with(const wchar_t *text, const wchar_t *prefix) noexcept {
    for (; *prefix != L'\0'; ++text, ++prefix)
        if (*text != *prefix) return false;
    return true;
}

// "<directory>/*" as an absolute "\\?\" (or "\\?\UNC\") path in UTF-16.
bool wide_pattern(const char *pattern, wchar_t (&out)[wide_pattern_capacity]) noexcept {
    wchar_t wide[search_pattern_capacity];
    if (MultiByteToWideChar(CP_ACP, 0, pattern, -1, wide, search_pattern_capacity) == 0) return false;
    wchar_t full[wide_pattern_capacity];
    const DWORD full_length = GetFullPathNameW(wide, wide_pattern_capacity, full, nullptr);
    if (full_length == 0 || full_length >= wide_pattern_capacity) return false;
    const wchar_t *rest = full;
    const wchar_t *prefix = L"\\\\?\\";
    if (starts_with(full, L"\\\\?\\") || starts_with(full, L"\\\\.\\")) {
        prefix = L"";
    } else if (starts_with(full, L"\\\\")) {
        prefix = L"\\\\?\\UNC\\";
        rest = full + 2;
    }
    const std::size_t prefix_length = std::wcslen(prefix), rest_length = std::wcslen(rest);
    if (prefix_length + rest_length >= wide_pattern_capacity) return false;
    std::wmemcpy(out, prefix, prefix_length);
    std::wmemcpy(out + prefix_length, rest, rest_length + 1);
    return true;
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
    wchar_t wide[wide_pattern_capacity];
    if (!wide_pattern(pattern, wide)) return false;
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
