// Replacing files in a directory on POSIX. All names are resolved relative to
// a descriptor of the directory (openat, linkat, renameat), so the temporary
// names never lengthen a path, and the directory can be flushed and locked
// through that same descriptor.
//
// rename(2) swaps a directory entry in one step, so a reader, or the file
// system after a crash, sees the old file or the new one and never a torn
// mixture. Before a file is renamed over, its old contents get a second name
// (a hard link), so that a later failure can put them back; the link is
// dropped once the directory has been flushed.
#include "platform/platform.hpp"
#include "platform/temp_names.hpp"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/fault.hpp"

namespace kelvra::os {
namespace {

// Every temporary name ends in this, so leftovers of a crash are easy to find.

// Names already taken (by a concurrent writer, or planted) are skipped; this
// many in a row means something is wrong.
constexpr int name_attempts = 100;

// The largest single write(2) request; Linux moves at most 0x7ffff000 bytes
// per call anyway.
constexpr std::uint64_t write_chunk = std::uint64_t{1} << 30;

int fd_of(const Replacement *r) noexcept { return static_cast<int>(r->directory); }

// A new, empty file under a fresh temporary name. O_EXCL with O_NOFOLLOW
// refuses any existing entry, a symbolic link included.
int create_temp(int dir, const char *name, char (&temp)[file_name_capacity]) noexcept {
    for (int attempt = 0; attempt < name_attempts; ++attempt) {
        fresh_temp_name(name, temp);
        if (fault::strike()) {
            errno = EIO;
            return -1;
        }
        const int fd = openat(dir, temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

bool write_all(int fd, const std::uint8_t *data, std::uint64_t length) noexcept {
    while (length > 0) {
        const std::size_t request = static_cast<std::size_t>(length < write_chunk ? length : write_chunk);
        if (fault::strike()) return false;
        const ssize_t wrote = write(fd, data, request);
        if (wrote < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (wrote == 0) return false;
        data += wrote;
        length -= static_cast<std::uint64_t>(wrote);
    }
    return true;
}

bool sync_fd(int fd) noexcept {
    if (fault::strike()) return false;
    while (fsync(fd) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

// File systems that cannot flush a directory (EINVAL) keep its entries as
// durable as they can; that is not a failure.
bool sync_directory(int dir) noexcept { return sync_fd(dir) || errno == EINVAL; }

bool rename_in(int dir, const char *from, const char *to) noexcept {
    if (fault::strike()) return false;
    return renameat(dir, from, dir, to) == 0;
}

// Gives the file under `f.name`, if any, a second name so that it can be put
// back. A file system without hard links cannot keep one; the replacement then
// goes ahead without the way back (had_old set, backed_up clear).
bool keep_old(int dir, ReplacedFile &f) noexcept {
    for (int attempt = 0; attempt < name_attempts; ++attempt) {
        fresh_temp_name(f.name, f.backup);
        if (fault::strike()) return false;
        if (linkat(dir, f.name, dir, f.backup, 0) == 0) {
            f.had_old = f.backed_up = true;
            return true;
        }
        switch (errno) {
        case EEXIST:
            continue;
        case ENOENT:
            f.had_old = false;
            return true;
        case EPERM:
        case EOPNOTSUPP:
        case EMLINK:
        case ENOSYS:
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
void put_back(int dir, ReplacedFile &f) noexcept {
    if (!f.renamed) return;
    if (f.backed_up) {
        if (renameat(dir, f.backup, dir, f.name) == 0) {
            f.backed_up = false;
            f.renamed = false;
        }
    } else if (!f.had_old) {
        if (unlinkat(dir, f.name, 0) == 0) f.renamed = false;
    }
}

void put_back_all(Replacement *r) noexcept {
    for (std::size_t i = r->count; i-- > 0;) put_back(fd_of(r), r->files[i]);
}

} // namespace

// The directory and the final name of a path: everything before its last
// slash ("/" for a file in the root, "." for a bare name) and the rest.
bool split_path(const char *path, char (&directory)[4096], const char **name) noexcept {
    const char *slash = std::strrchr(path, '/');
    if (slash == nullptr) {
        std::memcpy(directory, ".", 2);
        *name = path;
        return true;
    }
    const std::size_t length = slash == path ? 1 : static_cast<std::size_t>(slash - path);
    if (length >= sizeof directory) return false;
    std::memcpy(directory, path, length);
    directory[length] = '\0';
    *name = slash + 1;
    return true;
}

bool begin_replacement(const char *directory, Replacement *r) noexcept {
    r->directory = -1;
    r->count = 0;
    if (fault::strike()) return false;
    const int fd = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    r->directory = fd;
    // The lock is advisory: a file system that has none still gets its files
    // replaced, only without the serialization.
    while (flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) break;
    }
    return true;
}

bool stage_file(Replacement *r, const char *name, const void *data, std::uint64_t length) noexcept {
    const std::size_t name_length = std::strlen(name);
    if (r->directory < 0 || r->count == max_replaced_files || name_length == 0 || name_length >= file_name_capacity)
        return false;
    ReplacedFile &f = r->files[r->count];
    f = ReplacedFile{};
    std::memcpy(f.name, name, name_length + 1);
    const int fd = create_temp(fd_of(r), name, f.temp);
    if (fd < 0) return false;
    ++r->count;
    f.staged = true;
    const bool written = write_all(fd, static_cast<const std::uint8_t *>(data), length) && sync_fd(fd);
    const bool closed = close(fd) == 0;
    if (written && closed) return true;
    unlinkat(fd_of(r), f.temp, 0);
    f.staged = false;
    return false;
}

bool commit_replacement(Replacement *r) noexcept {
    const int dir = fd_of(r);
    for (std::size_t i = 0; i < r->count; ++i) {
        ReplacedFile &f = r->files[i];
        if (!f.staged || !keep_old(dir, f) || !rename_in(dir, f.temp, f.name)) {
            put_back_all(r);
            return false;
        }
        f.staged = false;
        f.renamed = true;
    }
    if (!sync_directory(dir)) {
        put_back_all(r);
        sync_directory(dir);
        return false;
    }
    for (std::size_t i = 0; i < r->count; ++i) r->files[i].renamed = false; // kept: no way back needed
    return true;
}

void end_replacement(Replacement *r) noexcept {
    if (r->directory < 0) return;
    const int dir = fd_of(r);
    for (std::size_t i = 0; i < r->count; ++i) {
        ReplacedFile &f = r->files[i];
        if (f.staged) unlinkat(dir, f.temp, 0);
        if (f.backed_up) unlinkat(dir, f.backup, 0);
        f.staged = f.backed_up = false;
    }
    close(dir); // releases the lock
    r->directory = -1;
}

// ---- Batches ------------------------------------------------------------------

namespace {

// Linux flushes a whole file system with one call; elsewhere each file is
// flushed as it is written.
#if defined(__linux__)
constexpr bool one_flush_for_all = true;
bool flush_file_system(int dir) noexcept { return syncfs(dir) == 0; }
#else
constexpr bool one_flush_for_all = false;
bool flush_file_system(int) noexcept { return true; }
#endif

int batch_fd(const FileBatch *b) noexcept { return static_cast<int>(b->directory); }

} // namespace

bool batch_write(FileBatch *b, const char *name, const void *data, std::uint64_t length) noexcept {
    if (b->directory < 0 || name[0] == '\0' || std::strlen(name) >= file_name_capacity) return false;
    char temp[file_name_capacity];
    batch_temp_name(b, name, temp);
    if (fault::strike()) return false;
    const int fd = openat(batch_fd(b), temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool written =
        write_all(fd, static_cast<const std::uint8_t *>(data), length) && (one_flush_for_all || sync_fd(fd));
    const bool closed = close(fd) == 0;
    if (written && closed) return true;
    unlinkat(batch_fd(b), temp, 0);
    return false;
}

bool batch_flush(FileBatch *b) noexcept {
    if (fault::strike()) return false;
    return flush_file_system(batch_fd(b));
}

bool batch_commit(FileBatch *b, const char *name) noexcept {
    char temp[file_name_capacity];
    batch_temp_name(b, name, temp);
    return rename_in(batch_fd(b), temp, name);
}

void batch_discard(FileBatch *b, const char *name) noexcept {
    char temp[file_name_capacity];
    batch_temp_name(b, name, temp);
    unlinkat(batch_fd(b), temp, 0);
}

bool end_batch(FileBatch *b) noexcept {
    if (b->directory < 0) return true;
    const bool synced = sync_directory(batch_fd(b));
    close(batch_fd(b));
    b->directory = -1;
    return synced;
}

} // namespace kelvra::os
