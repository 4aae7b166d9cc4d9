// Newline-delimited files, line by line, to a caller callback.
//
// The file comes through the read stream in 64 KiB chunks on the stack; each
// line is gathered in a 1 MiB buffer private to the calling thread and handed
// over in place. Line feeds are found with memchr and the bytes between them
// are copied with memcpy, so each byte is copied once, in runs.
#include "kelvra.h"

#include <cstring>

#include "frame/status.hpp"

namespace kelvra::text {
namespace {

constexpr uint64_t chunk_bytes = 65536;
constexpr uint64_t line_capacity = uint64_t{1} << 20;

// The line buffer of each thread. Its TLS model is stated so that no build
// flag can turn it into initial-exec: a 1 MiB block cannot come from the
// small static TLS reserve, and the library must load with dlopen into a
// process whose threads are already running. The dynamic model gives each
// thread its block on first use.
[[gnu::tls_model("global-dynamic")]] thread_local uint8_t line_buffer[line_capacity];

uint8_t *this_threads_line() noexcept { return line_buffer; }

// The state of one iteration: the line gathered so far and its number.
struct Lines {
    uint8_t *line;
    uint64_t pending;
    uint64_t number;
    kelvra_ndjson_line_fn callback;
    void *context;

    // Delivers the gathered line (one carriage return before its end
    // dropped) unless nothing remains; the callback's status or 0.
    kelvra_status deliver() noexcept {
        uint64_t length = pending;
        if (length > 0 && line[length - 1] == '\r') --length;
        return length > 0 ? callback(line, length, number, context) : KELVRA_OK;
    }

    // Appends a run of bytes that holds no line feed; 4 when the line would
    // exceed the buffer (the bytes that still fit are not needed any more).
    kelvra_status append(const uint8_t *bytes, uint64_t count) noexcept {
        if (count > line_capacity - pending) return KELVRA_ERR_CAPACITY;
        std::memcpy(line + pending, bytes, count);
        pending += count;
        return KELVRA_OK;
    }

    // Splits one chunk at its line feeds.
    kelvra_status feed(const uint8_t *chunk, uint64_t size) noexcept {
        const uint8_t *at = chunk;
        const uint8_t *const end = chunk + size;
        while (at < end) {
            const auto *feed_at = static_cast<const uint8_t *>(std::memchr(at, '\n', static_cast<size_t>(end - at)));
            if (feed_at == nullptr) return append(at, static_cast<uint64_t>(end - at));
            if (const kelvra_status s = append(at, static_cast<uint64_t>(feed_at - at))) return s;
            if (const kelvra_status s = deliver()) return s;
            pending = 0;
            ++number;
            at = feed_at + 1;
        }
        return KELVRA_OK;
    }
};

kelvra_status iterate(kelvra_plat_rstream &stream, Lines &lines) noexcept {
    uint8_t chunk[chunk_bytes];
    for (;;) {
        uint64_t got = 0;
        if (const kelvra_status s = kelvra_plat_rstream_read(&stream, chunk, chunk_bytes, &got)) return s;
        if (got == 0) break;
        if (const kelvra_status s = lines.feed(chunk, got)) return s;
        // A short chunk is the end of the data.
        if (got < chunk_bytes) break;
    }
    return lines.deliver();
}

} // namespace
} // namespace kelvra::text

using namespace kelvra;

extern "C" KELVRA_API kelvra_status kelvra_ndjson_iter(const char *path, kelvra_ndjson_line_fn callback,
                                                       void *context) noexcept {
    if (path == nullptr || callback == nullptr) return KELVRA_ERR_ARG;
    kelvra_plat_rstream stream{};
    if (const kelvra_status s = kelvra_plat_rstream_open(path, &stream)) return s;
    text::Lines lines{text::this_threads_line(), 0, 1, callback, context};
    const kelvra_status result = text::iterate(stream, lines);
    kelvra_plat_rstream_close(&stream);
    return result;
}
