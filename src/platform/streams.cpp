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
    if (name == nullptr || server == nullptr) return to_c(Status::arg);
    *server = kelvra_plat_server{};
    if (!os::format_stream_path(name, server->path)) {
        *server = kelvra_plat_server{};
        return to_c(Status::capacity);
    }
    server->pending = os::invalid_stream;
    return to_c(Status::ok);
}

extern "C" KELVRA_API kelvra_status kelvra_plat_stream_accept(kelvra_plat_server *server,
                                                              kelvra_plat_conn *conn) noexcept {
    if (server == nullptr || conn == nullptr) return to_c(Status::arg);
    os::StreamHandle handle;
    if (!os::accept_stream(server->path, &server->pending, &handle)) return to_c(Status::io);
    conn->handle = handle;
    return to_c(Status::ok);
}

extern "C" KELVRA_API kelvra_status kelvra_plat_stream_connect(const char *name, kelvra_plat_conn *conn) noexcept {
    if (name == nullptr || conn == nullptr) return to_c(Status::arg);
    char path[os::stream_path_capacity];
    if (!os::format_stream_path(name, path)) return to_c(Status::capacity);
    os::StreamHandle handle;
    if (!os::connect_stream(path, &handle)) return to_c(Status::io);
    conn->handle = handle;
    return to_c(Status::ok);
}

extern "C" KELVRA_API kelvra_status kelvra_plat_stream_read_exact(kelvra_plat_conn *conn, uint8_t *buf,
                                                                  uint64_t len) noexcept {
    if (conn == nullptr) return to_c(Status::arg);
    if (len == 0) return to_c(Status::ok);
    if (buf == nullptr) return to_c(Status::arg);
    if (!live(conn)) return to_c(Status::io);
    return os::read_stream(conn->handle, buf, len) ? to_c(Status::ok) : to_c(Status::io);
}

extern "C" KELVRA_API kelvra_status kelvra_plat_stream_write_all(kelvra_plat_conn *conn, const uint8_t *buf,
                                                                 uint64_t len) noexcept {
    if (conn == nullptr) return to_c(Status::arg);
    if (len == 0) return to_c(Status::ok);
    if (buf == nullptr) return to_c(Status::arg);
    if (!live(conn)) return to_c(Status::io);
    return os::write_stream(conn->handle, nullptr, 0, buf, len) ? to_c(Status::ok) : to_c(Status::io);
}

extern "C" KELVRA_API kelvra_status kelvra_plat_stream_conn_close(kelvra_plat_conn *conn) noexcept {
    if (conn == nullptr) return to_c(Status::arg);
    if (live(conn)) os::close_stream(conn->handle);
    conn->handle = os::no_stream;
    return to_c(Status::ok);
}

extern "C" KELVRA_API kelvra_status kelvra_plat_stream_server_close(kelvra_plat_server *server) noexcept {
    if (server == nullptr) return to_c(Status::arg);
    os::cancel_accept(server->path, &server->pending);
    return to_c(Status::ok);
}
