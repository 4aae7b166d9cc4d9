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

#include "kelvra.h"

namespace kelvra::os {

// A short name of the platform layer in use ("posix" or "win32").
const char *layer_name() noexcept;

// ---- Files ------------------------------------------------------------------

// Opens a runtime stream with an fopen mode ("rb", "wb", "ab"). Null when the
// file cannot be opened; a directory is refused on every platform.
std::FILE *open_file(const char *path, const char *mode) noexcept;

// Whether a file stands at `path`. A path that cannot be looked at for any
// other reason than its absence is `unknown`: callers that would treat an
// absent file as "start afresh" must not do so for a file they merely failed
// to read.
enum class Presence { present, absent, unknown };
Presence presence_of(const char *path) noexcept;

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

// ---- Replacing files in a directory ----------------------------------------------
//
// A writer replaces one or two files of one directory as a single change. Each
// new file is written in full under a fresh temporary name in that directory
// (created exclusively, so a planted link is never followed) and flushed to
// disk. Committing renames the files over their final names in the order they
// were staged and flushes the directory; if any step fails, the files already
// renamed are put back, so the directory holds what it held before. Everything
// is addressed relative to the open directory, so a temporary name never makes
// a legal path too long. Writers of one directory are serialized by an
// advisory lock held from the first write to the last rename.

inline constexpr std::size_t max_replaced_files = 2;

// A file name within a directory (not a path), with its NUL.
inline constexpr std::size_t file_name_capacity = 256;

struct ReplacedFile {
    char name[file_name_capacity];   // the final name
    char temp[file_name_capacity];   // the new contents until they are renamed
    char backup[file_name_capacity]; // a second name for the old file while it may be needed back
    bool staged;                     // `temp` exists
    bool renamed;                    // the new contents are in place under `name`
    bool backed_up;                  // `backup` exists
    bool had_old;                    // a file stood under `name` before
};

struct Replacement {
    std::intptr_t directory; // the open, locked directory; -1 when none
    std::size_t count;
    ReplacedFile files[max_replaced_files];
};

// Opens `directory` and waits for its writer lock. False when it cannot be
// opened; `end_replacement` is safe to call either way.
bool begin_replacement(const char *directory, Replacement *r) noexcept;

// Writes `length` bytes under a temporary name beside `name` and flushes
// them. False on any failure (nothing of it is left behind then).
bool stage_file(Replacement *r, const char *name, const void *data, std::uint64_t length) noexcept;

// Renames the staged files over their final names and flushes the directory.
// False when any step fails; the directory then holds what it held before.
bool commit_replacement(Replacement *r) noexcept;

// Removes whatever temporary files remain, releases the lock and closes the
// directory.
void end_replacement(Replacement *r) noexcept;

// One file replaced on its own: `path` split into its directory and name.
bool replace_file(const char *path, const void *data, std::uint64_t length) noexcept;

// The directory and the final name of a path as the platform reads paths
// (the directory "." for a bare name). False when the directory part does
// not fit.
bool split_path(const char *path, char (&directory)[4096], const char **name) noexcept;

// ---- Writing many files into one directory ------------------------------------------
//
// Many files replaced one by one, each atomically, but made durable together:
// every file is first written under a temporary name (its final name plus the
// batch's token), then one flush makes all of them durable, then each is
// renamed into place and the directory is flushed once. A directory of many
// small bundles costs a few flushes instead of two per file. The caller
// recomputes the final names for the second pass, so the batch keeps nothing
// per file.

struct FileBatch {
    std::intptr_t directory; // the open, locked directory; -1 when none
    char token[40];          // the part every temporary name of the batch shares
};

// Opens `directory` and waits for its writer lock.
bool begin_batch(const char *directory, FileBatch *b) noexcept;

// Writes a file under its temporary name (never through an existing entry).
// False on failure, with nothing of it left behind.
bool batch_write(FileBatch *b, const char *name, const void *data, std::uint64_t length) noexcept;

// Makes every file written so far durable.
bool batch_flush(FileBatch *b) noexcept;

// Renames a written and flushed file into place.
bool batch_commit(FileBatch *b, const char *name) noexcept;

// Removes a written file that will not be committed.
void batch_discard(FileBatch *b, const char *name) noexcept;

// Flushes the directory, releases the lock and closes it; false when the
// directory flush failed.
bool end_batch(FileBatch *b) noexcept;

// ---- Local byte streams ------------------------------------------------------------
//
// A connection-oriented byte stream between processes of one machine, to an
// endpoint named by a short caller-chosen text. A server offers one instance
// of its endpoint per accept and hands it over once a client has connected;
// a client that arrives while the server is busy with another connection
// waits up to `busy_wait_ms` for it to come back, then tries once more. A
// client of an endpoint that nobody serves fails at once.

// A connection as stored in `kelvra_plat_conn`: a live one is never
// `no_stream` nor `invalid_stream`.
using StreamHandle = std::uintptr_t;
inline constexpr StreamHandle no_stream = 0;
inline constexpr StreamHandle invalid_stream = ~StreamHandle{0};

// Room for an endpoint's formatted path, with its NUL.
inline constexpr std::size_t stream_path_capacity = 512;

inline constexpr unsigned busy_wait_ms = 2000;

// Formats the endpoint path of `name`. False when it needs 512 bytes or more.
bool format_stream_path(const char *name, char (&path)[stream_path_capacity]) noexcept;

// Offers one instance of the endpoint at `path` and waits for a client. While
// it waits, the instance is published in `*pending` (a server record's word,
// all-ones otherwise) so that `cancel_accept` from another thread can end the
// wait; this call alone releases the instance. False when no instance could
// be offered, or the wait failed or was cancelled.
bool accept_stream(const char *path, std::uintptr_t *pending, StreamHandle *out) noexcept;

// Ends a wait published in `*pending`, if any, and withdraws the endpoint at
// `path`, so that later clients find nobody serving it.
void cancel_accept(const char *path, std::uintptr_t *pending) noexcept;

// Connects to the endpoint at `path`. False when nobody serves it, or it
// stayed busy past the wait.
bool connect_stream(const char *path, StreamHandle *out) noexcept;

// Reads exactly `length` bytes. False on failure or when the peer has closed
// its end first.
bool read_stream(StreamHandle stream, void *buf, std::uint64_t length) noexcept;

// Reads what has arrived, at least one byte and at most `capacity`, waiting
// for the first. False on failure or when the peer has closed its end.
bool read_stream_some(StreamHandle stream, void *buf, std::uint64_t capacity, std::uint64_t *got) noexcept;

// Writes `head` and then `body` (either may be empty) in full, as one write
// where the platform allows. False on failure, or when the peer has closed
// its end; a closed peer never raises a signal.
bool write_stream(StreamHandle stream, const void *head, std::uint64_t head_length, const void *body,
                  std::uint64_t body_length) noexcept;

// Ends the reading side of a live connection from another thread: a read
// that waits, or any later one, fails at once; writes still go through.
void stop_reading(StreamHandle stream) noexcept;

// Closes a live connection.
void close_stream(StreamHandle stream) noexcept;

// ---- Threads ---------------------------------------------------------------------

// Starts a thread that calls record->worker(record->arg); the record must stay
// in place until `join_thread`. Stores the platform handle in the record.
// False when no thread could be created.
bool start_thread(kelvra_plat_thread *record) noexcept;

// Waits for a started thread to finish and releases it.
void join_thread(kelvra_plat_thread *record) noexcept;

#if defined(KELVRA_FAULT_INJECTION)
// The temporary name the (ahead + 1)-th next name drawn for `name` will be, so
// that a test can plant something there first.
void upcoming_temp_name(const char *name, std::uint64_t ahead, char (&out)[file_name_capacity]) noexcept;
#endif

} // namespace kelvra::os
