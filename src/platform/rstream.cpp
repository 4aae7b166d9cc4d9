// The sequential read stream: a runtime stream held in the caller's record.
// The record's word is null whenever no stream is open, so closing twice, or
// after a failed open, closes nothing.
#include "kelvra.h"

#include "frame/status.hpp"
#include "platform/platform.hpp"

#include <cstdio>

using namespace kelvra;

namespace {

std::FILE *stream_of(const kelvra_plat_rstream *record) noexcept { return static_cast<std::FILE *>(record->stream); }

} // namespace

extern "C" KELVRA_API kelvra_status kelvra_plat_rstream_open(const char *path, kelvra_plat_rstream *stream) noexcept {
    stream->stream = os::open_file(path, "rb");
    return stream->stream != nullptr ? KELVRA_OK : KELVRA_ERR_IO;
}

extern "C" KELVRA_API kelvra_status kelvra_plat_rstream_read(kelvra_plat_rstream *stream, void *buf, uint64_t cap,
                                                             uint64_t *out_got) noexcept {
    *out_got = 0;
    if (cap == 0) return KELVRA_OK;
    std::FILE *file = stream_of(stream);
    if (file == nullptr) return KELVRA_ERR_IO;
    const std::size_t got = std::fread(buf, 1, cap, file);
    *out_got = got;
    if (got < cap && std::ferror(file) != 0) return KELVRA_ERR_IO;
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_plat_rstream_close(kelvra_plat_rstream *stream) noexcept {
    std::FILE *file = stream_of(stream);
    stream->stream = nullptr;
    if (file != nullptr) std::fclose(file);
    return KELVRA_OK;
}
