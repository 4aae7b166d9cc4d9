// The Windows-shaped directory search over opendir/readdir. Like
// FindFirstFileA, starting a search already fetches the first entry, and "."
// and ".." come back as readdir reports them.
#include "platform/platform.hpp"

#include <cstring>

#include <dirent.h>

namespace kelvra::os {

static_assert(sizeof(dirent::d_name) <= entry_name_capacity, "a readdir name must fit an EntryName");

namespace {

DIR *as_dir(SearchHandle search) noexcept { return reinterpret_cast<DIR *>(search); }

// Copies the directory part of "<directory>/*": everything but the asterisk.
// The trailing slash is kept, so a plain file is refused as Windows refuses it.
bool directory_of(const char *pattern, char (&directory)[search_pattern_capacity]) noexcept {
    const std::size_t length = std::strlen(pattern);
    if (length < 2 || length >= search_pattern_capacity || pattern[length - 1] != '*' || pattern[length - 2] != '/') {
        return false;
    }
    std::memcpy(directory, pattern, length - 1);
    directory[length - 1] = '\0';
    return true;
}

bool read_entry(DIR *dir, EntryName *entry) noexcept {
    const dirent *found = readdir(dir);
    if (found == nullptr) return false;
    std::memcpy(entry->text, found->d_name, std::strlen(found->d_name) + 1);
    return true;
}

} // namespace

bool find_first(const char *pattern, SearchHandle *search, EntryName *first) noexcept {
    char directory[search_pattern_capacity];
    if (!directory_of(pattern, directory)) return false;
    DIR *dir = opendir(directory);
    if (dir == nullptr) return false;
    // A search with no first entry is a failed search, as on Windows.
    if (!read_entry(dir, first)) {
        closedir(dir);
        return false;
    }
    *search = reinterpret_cast<SearchHandle>(dir);
    return true;
}

bool find_next(SearchHandle search, EntryName *next) noexcept { return read_entry(as_dir(search), next); }

void find_close(SearchHandle search) noexcept { closedir(as_dir(search)); }

} // namespace kelvra::os
