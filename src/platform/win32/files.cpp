// Runtime streams on Windows. The runtime refuses to open a directory, but
// not always with the same error, so a directory is told apart before fopen
// and refused the way the POSIX layer refuses it. A `long` is 32 bits here:
// positions go through _fseeki64 and _ftelli64.
#include "platform/platform.hpp"
#include "platform/fault.hpp"

#include <cerrno>
#include <cstdint>
#include <limits>

#include "platform/win32/win.hpp"

namespace kelvra::os {

std::FILE *open_file(const char *path, const char *mode) noexcept {
    if (fault::strike()) {
        errno = EIO;
        return nullptr;
    }
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        errno = EISDIR;
        return nullptr;
    }
    return std::fopen(path, mode);
}

Presence presence_of(const char *path) noexcept {
    if (fault::strike()) return Presence::unknown;
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return Presence::present;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Presence::absent : Presence::unknown;
}

bool seek_to(std::FILE *stream, std::uint64_t offset) noexcept {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<__int64>::max())) return false;
    return _fseeki64(stream, static_cast<__int64>(offset), SEEK_SET) == 0;
}

bool seek_to_end(std::FILE *stream) noexcept { return _fseeki64(stream, 0, SEEK_END) == 0; }

std::int64_t position(std::FILE *stream) noexcept { return _ftelli64(stream); }

} // namespace kelvra::os
