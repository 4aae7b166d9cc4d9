// Atomic file replacement on POSIX: the new contents go to a temporary file in
// the same directory (so the rename never crosses a file system), are flushed
// to disk, and the temporary file is renamed over the final path. rename(2)
// swaps the directory entry in one step, so a reader, or the file system after
// a crash, sees the old file or the new one and never a torn mixture. The
// directory is flushed after the rename so that the new entry itself is
// durable once the call returns.
#include "platform/platform.hpp"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvra::os {
namespace {

// Appended to the final path to name the temporary file beside it.
constexpr char temp_suffix[] = ".kelvra-tmp";

// The largest single write(2) request; Linux moves at most 0x7ffff000 bytes
// per call anyway.
constexpr std::uint64_t write_chunk = std::uint64_t{1} << 30;

bool build_temp_path(const char *path, char (&temp)[staged_path_capacity]) noexcept {
    const std::size_t length = std::strlen(path);
    if (length == 0 || length + sizeof temp_suffix > staged_path_capacity) return false;
    std::memcpy(temp, path, length);
    std::memcpy(temp + length, temp_suffix, sizeof temp_suffix);
    return true;
}

// The directory part of `path`: everything before its last slash, "/" for a
// file in the root, "." for a bare name.
bool directory_of(const char *path, char (&directory)[staged_path_capacity]) noexcept {
    const char *slash = std::strrchr(path, '/');
    if (slash == nullptr) {
        std::memcpy(directory, ".", 2);
        return true;
    }
    const std::size_t length = slash == path ? 1 : static_cast<std::size_t>(slash - path);
    if (length >= staged_path_capacity) return false;
    std::memcpy(directory, path, length);
    directory[length] = '\0';
    return true;
}

bool write_all(int fd, const std::uint8_t *data, std::uint64_t length) noexcept {
    while (length > 0) {
        const std::size_t request = static_cast<std::size_t>(length < write_chunk ? length : write_chunk);
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
    while (fsync(fd) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

// Flushes a directory's entries. File systems that cannot flush a directory
// (EINVAL) keep their entries as durable as they can; that is not a failure.
bool sync_directory(const char *directory) noexcept {
    const int fd = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = sync_fd(fd) || errno == EINVAL;
    close(fd);
    return synced;
}

} // namespace

bool stage_file(const char *path, const void *data, std::uint64_t length, StagedFile *staged) noexcept {
    staged->path = path;
    staged->pending = false;
    if (!build_temp_path(path, staged->temp_path)) return false;
    const int fd = open(staged->temp_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const bool written = write_all(fd, static_cast<const std::uint8_t *>(data), length) && sync_fd(fd);
    const bool closed = close(fd) == 0;
    if (!written || !closed) {
        unlink(staged->temp_path);
        return false;
    }
    staged->pending = true;
    return true;
}

bool commit_file(StagedFile *staged) noexcept {
    if (!staged->pending) return false;
    staged->pending = false;
    if (rename(staged->temp_path, staged->path) != 0) {
        unlink(staged->temp_path);
        return false;
    }
    char directory[staged_path_capacity];
    return directory_of(staged->path, directory) && sync_directory(directory);
}

void discard_file(StagedFile *staged) noexcept {
    if (!staged->pending) return;
    staged->pending = false;
    unlink(staged->temp_path);
}

bool replace_file(const char *path, const void *data, std::uint64_t length) noexcept {
    StagedFile staged;
    return stage_file(path, data, length, &staged) && commit_file(&staged);
}

} // namespace kelvra::os
