// Reading exactly so many bytes from a stream, the same on every platform:
// the platform's partial reads until the count is complete.
#include <cstdint>

#include "platform/platform.hpp"

namespace kelvra::os {

bool read_stream(StreamHandle stream, void *buf, std::uint64_t length) noexcept {
    auto *at = static_cast<std::uint8_t *>(buf);
    while (length > 0) {
        std::uint64_t got = 0;
        if (!read_stream_some(stream, at, length, &got)) return false;
        at += got;
        length -= got;
    }
    return true;
}

} // namespace kelvra::os
