// The binary edge file of the sparse Fiedler solver: no header, a sequence of
// 16-byte little-endian records, each a source vertex (u32, bytes 0-3), a
// destination vertex (u32, bytes 4-7) and a weight (f64, bytes 8-15).
//
// The file is pulled through the library's read stream a block at a time into
// a buffer on the caller's stack, so the edges are never held in memory. Each
// request asks for a whole buffer, and the stream hands back less only at the
// end of the data (or with an error), so every block but the last is full and
// the last one is as long as the file modulo the buffer size. Since every
// buffer size is a multiple of 16, a block that does not hold whole records
// exists exactly when the file's length is not a multiple of 16, whatever the
// buffer: it is refused with 2 before any of its records is handed on.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frame/status.hpp"
#include "kelvra.h"

namespace kelvra::linalg::edge_file {

inline constexpr std::size_t record_bytes = 16;

// Bytes asked for per read: a multiple of the record size. Every read is a
// call into the operating system, so larger blocks make a pass cheaper; a
// caller reads into a buffer of its stack (`small_block_bytes`, modest for
// the stacks of the threads a host may call from) or, where it has that much
// scratch memory to spare, into up to `large_block_bytes` of it.
inline constexpr std::size_t small_block_bytes = 16384;
inline constexpr std::size_t large_block_bytes = 1048576;
static_assert(small_block_bytes % record_bytes == 0 && large_block_bytes % record_bytes == 0);

struct Record {
    uint32_t u;
    uint32_t v;
    double w;
};

inline Record decode(const unsigned char *p) noexcept {
    uint32_t u, v;
    uint64_t w;
    std::memcpy(&u, p, 4);
    std::memcpy(&v, p + 4, 4);
    std::memcpy(&w, p + 8, 8);
    if constexpr (std::endian::native == std::endian::big) {
        u = __builtin_bswap32(u), v = __builtin_bswap32(v), w = __builtin_bswap64(w);
    }
    return {u, v, std::bit_cast<double>(w)};
}

// One pass over the file at `path`, read through `block` (`block_size` bytes,
// a multiple of 16): `apply(records, count)` receives each
// block of whole records in file order and returns a status; a non-zero one
// ends the pass and is returned unchanged, as are the statuses of opening
// (nothing to close then) and reading. Once opened, the stream is closed on
// every path.
template <class Apply>
kelvra_status stream(const char *path, unsigned char *block, std::size_t block_size, Apply &&apply) noexcept {
    kelvra_plat_rstream stream{nullptr};
    kelvra_status status = kelvra_plat_rstream_open(path, &stream);
    if (status != KELVRA_OK) return status;
    for (;;) {
        uint64_t got = 0;
        status = kelvra_plat_rstream_read(&stream, block, block_size, &got);
        if (status != KELVRA_OK || got == 0) break;
        if (got % record_bytes != 0) {
            status = KELVRA_ERR_DATA;
            break;
        }
        status = apply(static_cast<const unsigned char *>(block), static_cast<std::size_t>(got / record_bytes));
        if (status != KELVRA_OK || got < block_size) break;
    }
    kelvra_plat_rstream_close(&stream);
    return status;
}

} // namespace kelvra::linalg::edge_file
