// Runtime streams on POSIX: glibc's fopen happily opens a directory for
// reading (every read then fails), where Windows refuses it at once; refusing
// here keeps the statuses the same on both. Positions are 64-bit off_t.
#include "platform/platform.hpp"
#include "platform/fault.hpp"

#include <cerrno>
#include <limits>

#include <sys/stat.h>
#include <sys/types.h>

namespace kelvra::os {

static_assert(sizeof(off_t) == sizeof(std::int64_t), "file positions must be 64-bit");

namespace {

bool is_directory(std::FILE *stream) noexcept {
    struct stat info {};
    return fstat(fileno(stream), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

std::FILE *open_file(const char *path, const char *mode) noexcept {
    if (fault::strike()) {
        errno = EIO;
        return nullptr;
    }
    std::FILE *stream = std::fopen(path, mode);
    if (stream != nullptr && is_directory(stream)) {
        std::fclose(stream);
        errno = EISDIR;
        return nullptr;
    }
    return stream;
}

Presence presence_of(const char *path) noexcept {
    if (fault::strike()) return Presence::unknown;
    struct stat info {};
    if (stat(path, &info) == 0) return Presence::present;
    return errno == ENOENT || errno == ENOTDIR ? Presence::absent : Presence::unknown;
}

bool seek_to(std::FILE *stream, std::uint64_t offset) noexcept {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return false;
    return fseeko(stream, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool seek_to_end(std::FILE *stream) noexcept { return fseeko(stream, 0, SEEK_END) == 0; }

std::int64_t position(std::FILE *stream) noexcept { return ftello(stream); }

} // namespace kelvra::os
