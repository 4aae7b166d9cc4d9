// The exported byte streams: argument checks and statuses over the platform's
// local streams. A connection record holds the platform handle while it is
// live and 0 after it is closed, so a second close does nothing.
#include "kelvra.h"

#include "frame/status.hpp"
#include "platform/platform.hpp"

using namespace kelvra;

namespace {

bool live(const kelvra_plat_conn *conn) noexcept {
    return conn->handle != os::no_stream && conn->handle != os::invalid_stream;
}

} // namespace

extern "C" KELVRA_API uint32_t kelvra_plat_has_streams(void) noexcept { return 1; }

extern "C" KELVRA_API kelvra_status kelvra_plat_stream_listen(const char *name, kelvra_plat_server *server) noexcept {
    if (name == nullptr || server == nullptr) return KELVRA_ERR_ARG;
    *server = kelvra_plat_server{};
    if (!os::format_stream_path(name, server->path)) {
        *server = kelvra_plat_server{};
        return KELVRA_ERR_CAPACITY;
    }
    server->pending = os::invalid_stream;
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_plat_stream_accept(kelvra_plat_server *server,
                                                              kelvra_plat_conn *conn) noexcept {
    if (server == nullptr || conn == nullptr) return KELVRA_ERR_ARG;
    os::StreamHandle handle;
    if (!os::accept_stream(server->path, &server->pending, &handle)) return KELVRA_ERR_IO;
    conn->handle = handle;
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_plat_stream_connect(const char *name, kelvra_plat_conn *conn) noexcept {
    if (name == nullptr || conn == nullptr) return KELVRA_ERR_ARG;
    char path[os::stream_path_capacity];
    if (!os::format_stream_path(name, path)) return KELVRA_ERR_CAPACITY;
    os::StreamHandle handle;
    if (!os::connect_stream(path, &handle)) return KELVRA_ERR_IO;
    conn->handle = handle;
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_plat_stream_read_exact(kelvra_plat_conn *conn, uint8_t *buf,
                                                                  uint64_t len) noexcept {
    if (conn == nullptr) return KELVRA_ERR_ARG;
    if (len == 0) return KELVRA_OK;
    if (buf == nullptr) return KELVRA_ERR_ARG;
    if (!live(conn)) return KELVRA_ERR_IO;
    return os::read_stream(conn->handle, buf, len) ? KELVRA_OK : KELVRA_ERR_IO;
}

extern "C" KELVRA_API kelvra_status kelvra_plat_stream_write_all(kelvra_plat_conn *conn, const uint8_t *buf,
                                                                 uint64_t len) noexcept {
    if (conn == nullptr) return KELVRA_ERR_ARG;
    if (len == 0) return KELVRA_OK;
    if (buf == nullptr) return KELVRA_ERR_ARG;
    if (!live(conn)) return KELVRA_ERR_IO;
    return os::write_stream(conn->handle, nullptr, 0, buf, len) ? KELVRA_OK : KELVRA_ERR_IO;
}

extern "C" KELVRA_API kelvra_status kelvra_plat_stream_conn_close(kelvra_plat_conn *conn) noexcept {
    if (conn == nullptr) return KELVRA_ERR_ARG;
    if (live(conn)) os::close_stream(conn->handle);
    conn->handle = os::no_stream;
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_plat_stream_server_close(kelvra_plat_server *server) noexcept {
    if (server == nullptr) return KELVRA_ERR_ARG;
    os::cancel_accept(server->path, &server->pending);
    return KELVRA_OK;
}
