// Whole-file read and write, region reads and sizes over the runtime's
// buffered streams. Each call opens and closes its file; positions are 64-bit
// on every platform, so files past 2 GiB are sized and read like small ones.
#include "kelvra.h"

#include "frame/status.hpp"
#include "platform/fault.hpp"
#include "platform/platform.hpp"

#include <cstdio>

namespace kelvra::platform {
namespace {

// One fread; an injected fault reads nothing and sets no flag, so callers
// also check `fault_seen`.
thread_local bool fault_seen = false;

std::size_t read_some(void *buf, std::size_t size, std::FILE *stream) noexcept {
    if (os::fault::strike()) {
        fault_seen = true;
        return 0;
    }
    return std::fread(buf, 1, size, stream);
}

// True when the stream failed, or a fault was injected since `fault_seen` was cleared.
bool read_failed(std::FILE *stream) noexcept { return std::ferror(stream) != 0 || fault_seen; }

// Reads until `cap` bytes are in or the stream runs dry; the running total.
std::uint64_t read_up_to(std::FILE *stream, std::uint8_t *buf, std::uint64_t cap) noexcept {
    std::uint64_t total = 0;
    while (total < cap) {
        const std::size_t got = read_some(buf + total, cap - total, stream);
        if (got == 0) break;
        total += got;
    }
    return total;
}

// True when one more byte can be read: the file goes on past what was read.
bool has_more(std::FILE *stream) noexcept {
    unsigned char scratch;
    return read_some(&scratch, 1, stream) == 1;
}

// Flushes and closes a stream opened for writing; false when any byte may not
// have reached the file (a full disk shows here, not in fwrite).
bool finish_write(std::FILE *stream) noexcept {
    const bool flushed = !os::fault::strike() && std::fflush(stream) == 0 && std::ferror(stream) == 0;
    const bool closed = std::fclose(stream) == 0;
    return flushed && closed;
}

} // namespace
} // namespace kelvra::platform

using namespace kelvra;

extern "C" KELVRA_API kelvra_status kelvra_plat_file_read(const char *path, uint8_t *buf, uint64_t cap,
                                                          uint64_t *out_len) noexcept {
    std::FILE *stream = os::open_file(path, "rb");
    if (stream == nullptr) return KELVRA_ERR_IO;
    platform::fault_seen = false;
    const std::uint64_t total = platform::read_up_to(stream, buf, cap);
    const bool larger = total == cap && platform::has_more(stream);
    const bool failed = platform::read_failed(stream);
    std::fclose(stream);
    if (failed) return KELVRA_ERR_IO;
    if (larger) return KELVRA_ERR_CAPACITY;
    *out_len = total;
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_plat_file_read_region(const char *path, uint64_t offset, void *buf,
                                                                 uint64_t len) noexcept {
    std::FILE *stream = os::open_file(path, "rb");
    if (stream == nullptr) return KELVRA_ERR_IO;
    if (!os::seek_to(stream, offset)) {
        std::fclose(stream);
        return KELVRA_ERR_IO;
    }
    const std::uint64_t got = len == 0 ? 0 : platform::read_some(buf, len, stream);
    std::fclose(stream);
    return got == len ? KELVRA_OK : KELVRA_ERR_IO;
}

extern "C" KELVRA_API kelvra_status kelvra_plat_file_size(const char *path, uint64_t *out_size) noexcept {
    std::FILE *stream = os::open_file(path, "rb");
    if (stream == nullptr) return KELVRA_ERR_IO;
    if (!os::seek_to_end(stream)) {
        std::fclose(stream);
        return KELVRA_ERR_IO;
    }
    const std::int64_t size = os::position(stream);
    std::fclose(stream);
    if (size < 0) return KELVRA_ERR_IO;
    *out_size = static_cast<std::uint64_t>(size);
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_plat_file_write(const char *path, int32_t append, const void *buf,
                                                           uint64_t len) noexcept {
    std::FILE *stream = os::open_file(path, append != 0 ? "ab" : "wb");
    if (stream == nullptr) return KELVRA_ERR_IO;
    const std::uint64_t written = len == 0 ? 0 : std::fwrite(buf, 1, len, stream);
    const bool finished = platform::finish_write(stream);
    return written == len && finished ? KELVRA_OK : KELVRA_ERR_IO;
}

extern "C" KELVRA_API uint32_t kelvra_plat_has_filesystem(void) noexcept { return 1; }

extern "C" KELVRA_API uint32_t kelvra_plat_has_dirlist(void) noexcept { return 1; }
