// Replacing files in a directory on Windows.
//
// The directory is held through a lock file in it, ".kelvra-lock" (hidden,
// created on first use and left in place; the store lists only bundle names,
// so it never shows up as data). LockFileEx on that file serializes the
// writers of the directory, and the record's `directory` word is its handle.
// Every other name is resolved against the directory the lock file really
// stands in (GetFinalPathNameByHandleW), as a "\\?\" path, so a temporary
// name never runs into MAX_PATH and a directory renamed meanwhile is followed
// as the POSIX layer's descriptor follows it.
//
// Temporary files are created with CREATE_NEW, which refuses any existing
// entry, a link included. MoveFileExW with MOVEFILE_REPLACE_EXISTING swaps the
// directory entry in one step, and MOVEFILE_WRITE_THROUGH returns only once
// the rename is on disk, so there is no separate directory flush: that step
// remains (and is counted for fault injection) but has nothing to do. Before a
// file is renamed over, its old contents get a second name (a hard link), so
// that a later failure can put them back; a file system without hard links
// (FAT) replaces without the way back, as on POSIX.
//
// Names come in the runtime's code page, as fopen takes them, and are turned
// into UTF-16 with that same code page.
#include "platform/platform.hpp"
#include "platform/temp_names.hpp"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/fault.hpp"
#include "platform/win32/long_path.hpp"
#include "platform/win32/win.hpp"

namespace kelvra::os {

static_assert(sizeof(HANDLE) == sizeof(std::intptr_t), "a handle must fit the directory word");

namespace {

constexpr wchar_t lock_name[] = L".kelvra-lock";

// Names already taken (by a concurrent writer, or planted) are skipped; this
// many in a row means something is wrong.
constexpr int name_attempts = 100;

// The largest single WriteFile request (it takes a 32-bit count).
constexpr std::uint64_t write_chunk = std::uint64_t{1} << 30;

// A file that another process has open without delete sharing (a reader
// between fopen and fclose) cannot be renamed over; the rename is tried again
// this many times, this far apart, before it counts as failed.
constexpr int busy_rename_attempts = 25;
constexpr DWORD busy_rename_pause_ms = 10;

// A directory's full path in UTF-16, "\\?\" prefix and trailing separator
// included (the POSIX layer takes directories of up to 4095 bytes), and room
// for one file name after it.
constexpr std::size_t directory_capacity = 4096 + 16;
constexpr std::size_t path_capacity = directory_capacity + file_name_capacity;

HANDLE lock_of(std::intptr_t directory) noexcept { return reinterpret_cast<HANDLE>(directory); }

// The directory of an open replacement: its path with the trailing
// separator, followed by one file name at a time.
struct DirectoryPath {
    wchar_t text[path_capacity];
    std::size_t length; // of the directory part
};

// The path of the lock file in `directory`: the directory made absolute and
// given the "\\?\" (or "\\?\UNC\") prefix, then the lock file's name.
bool lock_path_of(const char *directory, wchar_t (&out)[path_capacity]) noexcept {
    if (directory[0] == '\0') return false;
    wchar_t full[long_path_capacity];
    const std::size_t length = long_path(directory, full);
    if (length == 0) return false;
    const bool separator = full[length - 1] != L'\\';
    if (length + (separator ? 1 : 0) + std::wcslen(lock_name) >= path_capacity) return false;
    std::wmemcpy(out, full, length);
    std::size_t at = length;
    if (separator) out[at++] = L'\\';
    std::wmemcpy(out + at, lock_name, std::wcslen(lock_name) + 1);
    return true;
}

// The directory the lock file stands in now.
bool directory_path(std::intptr_t directory, DirectoryPath *d) noexcept {
    const DWORD length = GetFinalPathNameByHandleW(lock_of(directory), d->text, directory_capacity,
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= directory_capacity) return false;
    std::size_t cut = length;
    while (cut > 0 && d->text[cut - 1] != L'\\') --cut;
    if (cut == 0) return false;
    d->length = cut;
    return true;
}

// `name` within the directory of `d`, in `d`'s own buffer or in `out`.
bool path_in(const DirectoryPath &d, const char *name, wchar_t (&out)[path_capacity]) noexcept {
    std::wmemcpy(out, d.text, d.length);
    const int room = static_cast<int>(path_capacity - d.length);
    return MultiByteToWideChar(CP_ACP, 0, name, -1, out + d.length, room) != 0;
}

// A new, empty file at exactly `path`; CREATE_NEW refuses any existing entry.
HANDLE create_new(const wchar_t *path) noexcept {
    return CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool name_taken(DWORD error) noexcept { return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS; }

// A new, empty file under a fresh temporary name.
HANDLE create_temp(const DirectoryPath &d, const char *name, char (&temp)[file_name_capacity]) noexcept {
    for (int attempt = 0; attempt < name_attempts; ++attempt) {
        fresh_temp_name(name, temp);
        wchar_t path[path_capacity];
        if (!path_in(d, temp, path)) return INVALID_HANDLE_VALUE;
        if (fault::strike()) return INVALID_HANDLE_VALUE;
        const HANDLE file = create_new(path);
        if (file != INVALID_HANDLE_VALUE || !name_taken(GetLastError())) return file;
    }
    return INVALID_HANDLE_VALUE;
}

bool write_all(HANDLE file, const std::uint8_t *data, std::uint64_t length) noexcept {
    while (length > 0) {
        const DWORD request = static_cast<DWORD>(length < write_chunk ? length : write_chunk);
        if (fault::strike()) return false;
        DWORD wrote = 0;
        if (!WriteFile(file, data, request, &wrote, nullptr) || wrote == 0) return false;
        data += wrote;
        length -= wrote;
    }
    return true;
}

bool sync_file(HANDLE file) noexcept {
    if (fault::strike()) return false;
    return FlushFileBuffers(file) != 0;
}

// Every rename was written through; see the top of this file.
bool sync_directory() noexcept { return !fault::strike(); }

void remove_in(const DirectoryPath &d, const char *name) noexcept {
    wchar_t path[path_capacity];
    if (path_in(d, name, path)) DeleteFileW(path);
}

bool move_over(const DirectoryPath &d, const char *from, const char *to) noexcept {
    wchar_t from_path[path_capacity], to_path[path_capacity];
    if (!path_in(d, from, from_path) || !path_in(d, to, to_path)) return false;
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(from_path, to_path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
        const DWORD error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) || attempt + 1 == busy_rename_attempts)
            return false;
        Sleep(busy_rename_pause_ms);
    }
}

// Waits, as move_over does, until the file at `path` could be deleted or
// renamed over: another process may hold it open without delete sharing.
// Taking its backup only then keeps a held file from leaving a backup behind
// that could not be removed either. True when it can go (or is gone).
bool wait_replaceable(const wchar_t *path) noexcept {
    for (int attempt = 0;; ++attempt) {
        const HANDLE probe = CreateFileW(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (probe != INVALID_HANDLE_VALUE) {
            CloseHandle(probe);
            return true;
        }
        const DWORD error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) || attempt + 1 == busy_rename_attempts)
            return error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED;
        Sleep(busy_rename_pause_ms);
    }
}

// Removes a file, waiting a little for a process that holds it open.
void remove_waiting(const DirectoryPath &d, const char *name) noexcept {
    wchar_t path[path_capacity];
    if (!path_in(d, name, path)) return;
    for (int attempt = 0; attempt < busy_rename_attempts; ++attempt) {
        if (DeleteFileW(path)) return;
        const DWORD error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) return;
        Sleep(busy_rename_pause_ms);
    }
}

bool rename_in(const DirectoryPath &d, const char *from, const char *to) noexcept {
    if (fault::strike()) return false;
    return move_over(d, from, to);
}

// Gives the file under `f.name`, if any, a second name so that it can be put
// back. A file system without hard links cannot keep one; the replacement then
// goes ahead without the way back (had_old set, backed_up clear).
bool keep_old(const DirectoryPath &d, ReplacedFile &f) noexcept {
    wchar_t existing[path_capacity];
    if (!path_in(d, f.name, existing) || !wait_replaceable(existing)) return false;
    for (int attempt = 0; attempt < name_attempts; ++attempt) {
        fresh_temp_name(f.name, f.backup);
        wchar_t backup[path_capacity];
        if (!path_in(d, f.backup, backup)) return false;
        if (fault::strike()) return false;
        if (CreateHardLinkW(backup, existing, nullptr)) {
            f.had_old = f.backed_up = true;
            return true;
        }
        switch (GetLastError()) {
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            continue;
        case ERROR_FILE_NOT_FOUND:
            f.had_old = false;
            return true;
        case ERROR_INVALID_FUNCTION:
        case ERROR_NOT_SUPPORTED:
        case ERROR_TOO_MANY_LINKS:
        case ERROR_CALL_NOT_IMPLEMENTED:
            f.had_old = true;
            return true;
        default:
            return false;
        }
    }
    return false;
}

// Puts the old file back under the name of a renamed one (or removes the new
// file when there was none before).
void put_back(const DirectoryPath &d, ReplacedFile &f) noexcept {
    if (!f.renamed) return;
    if (f.backed_up) {
        if (move_over(d, f.backup, f.name)) {
            f.backed_up = false;
            f.renamed = false;
        }
    } else if (!f.had_old) {
        wchar_t path[path_capacity];
        if (path_in(d, f.name, path) && DeleteFileW(path)) f.renamed = false;
    }
}

void put_back_all(const DirectoryPath &d, Replacement *r) noexcept {
    for (std::size_t i = r->count; i-- > 0;) put_back(d, r->files[i]);
}

// Opens the lock file of `directory` and waits for its lock; -1 when the
// lock file cannot be opened (no such directory, or no right to create it).
std::intptr_t open_locked(const char *directory) noexcept {
    wchar_t path[path_capacity];
    if (!lock_path_of(directory, path)) return -1;
    const HANDLE lock = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (lock == INVALID_HANDLE_VALUE) return -1;
    // The lock is advisory: a file system that has none still gets its files
    // replaced, only without the serialization.
    OVERLAPPED whole{};
    LockFileEx(lock, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole);
    return reinterpret_cast<std::intptr_t>(lock);
}

void close_locked(std::intptr_t directory) noexcept {
    const HANDLE lock = lock_of(directory);
    OVERLAPPED whole{};
    UnlockFileEx(lock, 0, MAXDWORD, MAXDWORD, &whole);
    CloseHandle(lock);
}

} // namespace

// The directory and the final name of a path: everything before its last
// separator ("/" for a file in the root, "X:\" for one in a drive's root, the
// drive's current directory for "X:name", "." for a bare name) and the rest.
bool split_path(const char *path, char (&directory)[4096], const char **name) noexcept {
    const char *separator = nullptr;
    for (const char *p = path; *p != '\0'; ++p)
        if (*p == '/' || *p == '\\') separator = p;
    const bool drive = path[0] != '\0' && path[1] == ':';
    if (separator == nullptr) {
        const std::size_t length = drive ? 2 : 1;
        std::memcpy(directory, drive ? path : ".", length);
        directory[length] = '\0';
        *name = drive ? path + 2 : path;
        return true;
    }
    std::size_t length = static_cast<std::size_t>(separator - path);
    if (length == 0 || (drive && length == 2)) ++length; // keep the root's separator
    if (length >= sizeof directory) return false;
    std::memcpy(directory, path, length);
    directory[length] = '\0';
    *name = separator + 1;
    return true;
}

bool begin_replacement(const char *directory, Replacement *r) noexcept {
    r->directory = -1;
    r->count = 0;
    if (fault::strike()) return false;
    r->directory = open_locked(directory);
    return r->directory != -1;
}

bool stage_file(Replacement *r, const char *name, const void *data, std::uint64_t length) noexcept {
    const std::size_t name_length = std::strlen(name);
    if (r->directory == -1 || r->count == max_replaced_files || name_length == 0 || name_length >= file_name_capacity)
        return false;
    ReplacedFile &f = r->files[r->count];
    f = ReplacedFile{};
    std::memcpy(f.name, name, name_length + 1);
    DirectoryPath d;
    if (!directory_path(r->directory, &d)) return false;
    const HANDLE file = create_temp(d, name, f.temp);
    if (file == INVALID_HANDLE_VALUE) return false;
    ++r->count;
    f.staged = true;
    const bool written = write_all(file, static_cast<const std::uint8_t *>(data), length) && sync_file(file);
    const bool closed = CloseHandle(file) != 0;
    if (written && closed) return true;
    remove_in(d, f.temp);
    f.staged = false;
    return false;
}

bool commit_replacement(Replacement *r) noexcept {
    if (r->directory == -1) return false;
    DirectoryPath d;
    if (!directory_path(r->directory, &d)) return false;
    for (std::size_t i = 0; i < r->count; ++i) {
        ReplacedFile &f = r->files[i];
        if (!f.staged || !keep_old(d, f) || !rename_in(d, f.temp, f.name)) {
            put_back_all(d, r);
            return false;
        }
        f.staged = false;
        f.renamed = true;
    }
    if (!sync_directory()) {
        put_back_all(d, r);
        return false;
    }
    for (std::size_t i = 0; i < r->count; ++i) r->files[i].renamed = false; // kept: no way back needed
    return true;
}

void end_replacement(Replacement *r) noexcept {
    if (r->directory == -1) return;
    DirectoryPath d;
    if (directory_path(r->directory, &d)) {
        for (std::size_t i = 0; i < r->count; ++i) {
            ReplacedFile &f = r->files[i];
            if (f.staged) remove_in(d, f.temp);
            if (f.backed_up) remove_waiting(d, f.backup);
            f.staged = f.backed_up = false;
        }
    }
    close_locked(r->directory);
    r->directory = -1;
}

// ---- Batches ------------------------------------------------------------------

// Windows has no flush of a whole file system for an ordinary user, so each
// file is flushed as it is written (as the POSIX layer does off Linux), and
// batch_flush has nothing left to do.
bool batch_write(FileBatch *b, const char *name, const void *data, std::uint64_t length) noexcept {
    if (b->directory == -1 || name[0] == '\0' || std::strlen(name) >= file_name_capacity) return false;
    DirectoryPath d;
    if (!directory_path(b->directory, &d)) return false;
    char temp[file_name_capacity];
    batch_temp_name(b, name, temp);
    wchar_t path[path_capacity];
    if (!path_in(d, temp, path)) return false;
    if (fault::strike()) return false;
    const HANDLE file = create_new(path);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool written = write_all(file, static_cast<const std::uint8_t *>(data), length) && sync_file(file);
    const bool closed = CloseHandle(file) != 0;
    if (written && closed) return true;
    DeleteFileW(path);
    return false;
}

bool batch_flush(FileBatch *b) noexcept {
    if (fault::strike()) return false;
    return b->directory != -1;
}

bool batch_commit(FileBatch *b, const char *name) noexcept {
    if (b->directory == -1) return false;
    DirectoryPath d;
    if (!directory_path(b->directory, &d)) return false;
    char temp[file_name_capacity];
    batch_temp_name(b, name, temp);
    return rename_in(d, temp, name);
}

void batch_discard(FileBatch *b, const char *name) noexcept {
    if (b->directory == -1) return;
    DirectoryPath d;
    if (!directory_path(b->directory, &d)) return;
    char temp[file_name_capacity];
    batch_temp_name(b, name, temp);
    remove_in(d, temp);
}

bool end_batch(FileBatch *b) noexcept {
    if (b->directory == -1) return true;
    const bool synced = sync_directory();
    close_locked(b->directory);
    b->directory = -1;
    return synced;
}

} // namespace kelvra::os
