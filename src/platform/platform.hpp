// The one internal interface to the operating system. Each function here is
// implemented once per platform, in posix/ and win32/; nothing else in the
// library includes an operating-system header.
//
// Files go through the C runtime's buffered streams everywhere; only what the
// runtimes disagree on is declared here: opening (a directory is never a file),
// and positions wider than a `long`. Directory listing is a search shaped like
// the Windows one (find first / find next / close), so the listing logic above
// it is written once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace kelvra::os {

// A short name of the platform layer in use ("posix" or "win32").
const char *layer_name() noexcept;

// ---- Files ------------------------------------------------------------------

// Opens a runtime stream with an fopen mode ("rb", "wb", "ab"). Null when the
// file cannot be opened; a directory is refused on every platform.
std::FILE *open_file(const char *path, const char *mode) noexcept;

// Moves the stream to an absolute byte offset (64-bit). False when the
// platform refuses the position.
bool seek_to(std::FILE *stream, std::uint64_t offset) noexcept;

// Moves the stream to its end. False when the platform refuses.
bool seek_to_end(std::FILE *stream) noexcept;

// The stream's position in bytes, or a negative value when it cannot be told.
std::int64_t position(std::FILE *stream) noexcept;

// ---- Directory search ---------------------------------------------------------

// A search handle as stored in `kelvra_plat_dir`: a live search is never
// `no_search` nor `invalid_search`.
using SearchHandle = std::uintptr_t;
inline constexpr SearchHandle no_search = 0;
inline constexpr SearchHandle invalid_search = ~SearchHandle{0};

// Room for a search pattern, with its NUL.
inline constexpr std::size_t search_pattern_capacity = 1024;

// One entry name as the platform's search reports it, NUL-terminated. The
// Windows find record holds 260 bytes; POSIX names are shorter.
inline constexpr std::size_t entry_name_capacity = 260;
struct EntryName {
    char text[entry_name_capacity];
};

// Starts a search of the pattern "<directory>/*" and reports its first entry.
// False when the directory cannot be searched (nothing is left open).
bool find_first(const char *pattern, SearchHandle *search, EntryName *first) noexcept;

// The next entry of a live search. False at the end of the listing or on any
// error; the two are not told apart.
bool find_next(SearchHandle search, EntryName *next) noexcept;

// Ends a live search.
void find_close(SearchHandle search) noexcept;

// ---- Atomic replacement ---------------------------------------------------------

// Room for a temporary path: the longest final path (4095 bytes) plus the
// temporary suffix and its NUL.
inline constexpr std::size_t staged_path_capacity = 4096 + 32;

// A file written in full beside its final path and flushed to disk, waiting to
// be renamed over that path. `path` is the caller's final path, which must stay
// valid until the file is committed or discarded.
struct StagedFile {
    const char *path;
    char temp_path[staged_path_capacity];
    bool pending;
};

// Writes `length` bytes to a temporary file in the directory of `path` and
// flushes it to disk. False on any failure; nothing is left behind then and
// `path` is untouched.
bool stage_file(const char *path, const void *data, std::uint64_t length, StagedFile *staged) noexcept;

// Renames a staged file over its final path, then flushes the directory so
// that the rename itself survives a crash. Readers see either the old file or
// the new one, never a mixture. False when the rename or the directory flush
// fails (the staged file is removed if it was not renamed).
bool commit_file(StagedFile *staged) noexcept;

// Removes a staged file that will not be committed; does nothing otherwise.
void discard_file(StagedFile *staged) noexcept;

// stage_file and commit_file in one step.
bool replace_file(const char *path, const void *data, std::uint64_t length) noexcept;

} // namespace kelvra::os
