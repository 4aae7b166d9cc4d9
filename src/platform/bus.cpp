// The message bus: request/reply frames over a local byte stream. A frame is
// a 4-byte big-endian length and that many payload bytes, in both directions.
// A frame's length and payload go out in one write, and a frame that has
// arrived whole is taken in one read: each side reads into a buffer that
// holds the length and the payload together, and bytes that arrive beyond
// the current frame stay there for the next one. The bytes on the stream are
// the same as with one call per field.
//
// Stopping a server that another thread is using: the stop flag is set, a
// waiting accept is cancelled and the reading side of a connection being
// served is shut (a reply being prepared still goes out), and this is
// repeated until that thread has left accept_one; only then is the server
// freed. Live servers are kept in a registry, so that a call that comes late
// (a serving loop that calls accept_one again just after another thread's
// stop, or a second stop) finds its server gone and fails instead of touching
// freed memory.
#include "kelvra.h"

#include "frame/status.hpp"
#include "platform/platform.hpp"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

using namespace kelvra;

namespace {

constexpr std::uint64_t buffer_size = 1048576;
constexpr std::uint64_t max_frame = 0xFFFFFFFFu;
constexpr std::uint64_t header_size = 4;

// The server's frame buffer: a header and the largest request, placed so
// that the payload handed to the handler is 16-byte aligned.
constexpr std::uint64_t frame_offset = 12;
constexpr std::uint64_t request_area_size = frame_offset + header_size + buffer_size;

// The client's read-ahead: a reply up to this size arrives in one read.
constexpr std::uint64_t client_ahead_size = 16384;

void put_length(std::uint32_t length, std::uint8_t (&out)[4]) noexcept {
    out[0] = static_cast<std::uint8_t>(length >> 24);
    out[1] = static_cast<std::uint8_t>(length >> 16);
    out[2] = static_cast<std::uint8_t>(length >> 8);
    out[3] = static_cast<std::uint8_t>(length);
}

std::uint32_t get_length(const std::uint8_t *in) noexcept {
    return static_cast<std::uint32_t>(in[0]) << 24 | static_cast<std::uint32_t>(in[1]) << 16 |
           static_cast<std::uint32_t>(in[2]) << 8 | in[3];
}

// Reads into buf[*have, capacity) until at least `need` bytes are there.
bool fill(os::StreamHandle conn, std::uint8_t *buf, std::uint64_t capacity, std::uint64_t *have,
          std::uint64_t need) noexcept {
    while (*have < need) {
        std::uint64_t got = 0;
        if (!os::read_stream_some(conn, buf + *have, capacity - *have, &got)) return false;
        *have += got;
    }
    return true;
}

// Drops the first `used` of `*have` buffered bytes.
void consume(std::uint8_t *buf, std::uint64_t *have, std::uint64_t used) noexcept {
    *have -= used;
    if (*have > 0) std::memmove(buf, buf + used, *have);
}

} // namespace

struct kelvra_bus_server {
    kelvra_plat_server stream;
    std::atomic<std::uint32_t> stop;
    kelvra_bus_handler handler;
    void *user;
    std::uint8_t *request_area; // see request_area_size
    std::uint8_t *reply;
    std::uint64_t reply_capacity;
    // How many threads are inside accept_one, and the connection one of
    // them serves (guarded by `serving_lock`), so that a stop can reach them.
    std::atomic<std::uint32_t> inside;
    std::mutex serving_lock;
    os::StreamHandle serving;
    kelvra_bus_server *next_live; // the registry's link
};

struct kelvra_bus_client {
    kelvra_plat_conn conn;
    std::uint64_t have; // bytes of `ahead` not yet consumed
    std::uint8_t ahead[client_ahead_size];
};

namespace {

void free_server(kelvra_bus_server *server) noexcept {
    std::free(server->request_area);
    std::free(server->reply);
    std::destroy_at(server);
    std::free(server);
}

void set_serving(kelvra_bus_server *server, os::StreamHandle handle) noexcept {
    const std::lock_guard<std::mutex> hold(server->serving_lock);
    server->serving = handle;
}

bool stopped(const kelvra_bus_server *server) noexcept { return server->stop.load() != 0; }

// The registry of live servers. Only servers found in it are touched, so a
// pointer to a freed server is never followed.
std::mutex registry_lock;
kelvra_bus_server *live_servers = nullptr;

void register_server(kelvra_bus_server *server) noexcept {
    const std::lock_guard<std::mutex> hold(registry_lock);
    server->next_live = live_servers;
    live_servers = server;
}

// Counts the calling thread in, unless the server is stopped or not live.
bool enter(kelvra_bus_server *server) noexcept {
    const std::lock_guard<std::mutex> hold(registry_lock);
    for (kelvra_bus_server *live = live_servers; live != nullptr; live = live->next_live) {
        if (live != server) continue;
        if (stopped(live)) return false;
        live->inside.fetch_add(1);
        return true;
    }
    return false;
}

// Marks the server stopped and takes it out of the registry; false when it is
// not live (stopped already).
bool retire(kelvra_bus_server *server) noexcept {
    const std::lock_guard<std::mutex> hold(registry_lock);
    for (kelvra_bus_server **link = &live_servers; *link != nullptr; link = &(*link)->next_live) {
        if (*link != server) continue;
        server->stop.store(1);
        *link = server->next_live;
        return true;
    }
    return false;
}

// Serves request/reply exchanges until the client leaves, a frame is refused
// or the server is stopped.
void serve_connection(kelvra_bus_server *server, os::StreamHandle conn) noexcept {
    std::uint8_t *const frame = server->request_area + frame_offset;
    const std::uint64_t capacity = header_size + buffer_size;
    std::uint64_t have = 0;
    for (;;) {
        if (!fill(conn, frame, capacity, &have, header_size)) return;
        const std::uint32_t request_length = get_length(frame);
        if (request_length > buffer_size) return;
        if (!fill(conn, frame, capacity, &have, header_size + request_length)) return;
        std::uint64_t reply_length = server->reply_capacity;
        if (server->handler(frame + header_size, request_length, server->reply, &reply_length, server->user) != 0)
            return;
        // A handler that claims more than its buffer gets nothing sent:
        // bytes beyond the buffer are not its reply.
        if (reply_length > server->reply_capacity || reply_length > max_frame) return;
        std::uint8_t header[header_size];
        put_length(static_cast<std::uint32_t>(reply_length), header);
        if (!os::write_stream(conn, header, sizeof header, server->reply, reply_length)) return;
        if (stopped(server)) return;
        consume(frame, &have, header_size + request_length);
    }
}

} // namespace

extern "C" KELVRA_API kelvra_status kelvra_bus_serve(const char *name, kelvra_bus_handler handler, void *user,
                                                     kelvra_bus_server **out_server) noexcept {
    if (name == nullptr || handler == nullptr || out_server == nullptr) return KELVRA_ERR_ARG;
    *out_server = nullptr;
    if (kelvra_plat_has_streams() == 0) return KELVRA_ERR_DATA;
    void *memory = std::calloc(1, sizeof(kelvra_bus_server));
    if (memory == nullptr) return KELVRA_ERR_RESOURCE;
    auto *server = new (memory) kelvra_bus_server{};
    server->handler = handler;
    server->user = user;
    server->request_area = static_cast<std::uint8_t *>(std::malloc(request_area_size));
    server->reply = static_cast<std::uint8_t *>(std::malloc(buffer_size));
    server->reply_capacity = buffer_size;
    server->serving = os::no_stream;
    if (server->request_area == nullptr || server->reply == nullptr) {
        free_server(server);
        return KELVRA_ERR_RESOURCE;
    }
    if (const kelvra_status status = kelvra_plat_stream_listen(name, &server->stream)) {
        free_server(server);
        return status;
    }
    register_server(server);
    *out_server = server;
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_bus_server_accept_one(kelvra_bus_server *server) noexcept {
    if (server == nullptr) return KELVRA_ERR_ARG;
    if (!enter(server)) return KELVRA_ERR_IO;
    kelvra_plat_conn conn{};
    kelvra_status status = KELVRA_ERR_IO;
    if (!stopped(server)) status = kelvra_plat_stream_accept(&server->stream, &conn);
    if (status == KELVRA_OK) {
        set_serving(server, conn.handle);
        if (!stopped(server)) serve_connection(server, conn.handle);
        set_serving(server, os::no_stream);
        kelvra_plat_stream_conn_close(&conn);
    }
    server->inside.fetch_sub(1); // a stop may free the server from here on
    return status;
}

extern "C" KELVRA_API kelvra_status kelvra_bus_server_stop(kelvra_bus_server *server) noexcept {
    if (server == nullptr || !retire(server)) return KELVRA_ERR_ARG;
    for (;;) {
        {
            const std::lock_guard<std::mutex> hold(server->serving_lock);
            if (server->serving != os::no_stream) os::stop_reading(server->serving);
        }
        kelvra_plat_stream_server_close(&server->stream);
        if (server->inside.load() == 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    free_server(server);
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_bus_connect(const char *name, kelvra_bus_client **out_client) noexcept {
    if (name == nullptr || out_client == nullptr) return KELVRA_ERR_ARG;
    *out_client = nullptr;
    if (kelvra_plat_has_streams() == 0) return KELVRA_ERR_DATA;
    auto *client = static_cast<kelvra_bus_client *>(std::calloc(1, sizeof(kelvra_bus_client)));
    if (client == nullptr) return KELVRA_ERR_RESOURCE;
    if (const kelvra_status status = kelvra_plat_stream_connect(name, &client->conn)) {
        std::free(client);
        return status;
    }
    *out_client = client;
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_bus_send_recv(kelvra_bus_client *client, const uint8_t *request,
                                                         uint64_t request_len, uint8_t *reply,
                                                         uint64_t *reply_len) noexcept {
    if (client == nullptr || request == nullptr || reply == nullptr || reply_len == nullptr) return KELVRA_ERR_ARG;
    if (request_len > max_frame) return KELVRA_ERR_CAPACITY;
    const os::StreamHandle conn = client->conn.handle;
    if (conn == os::no_stream || conn == os::invalid_stream) return KELVRA_ERR_IO;
    std::uint8_t header[header_size];
    put_length(static_cast<std::uint32_t>(request_len), header);
    if (!os::write_stream(conn, header, sizeof header, request, request_len)) return KELVRA_ERR_IO;

    // The reply's first bytes come through the read-ahead, the rest of a
    // long one straight into the caller's buffer.
    std::uint8_t *const ahead = client->ahead;
    if (!fill(conn, ahead, sizeof client->ahead, &client->have, header_size)) return KELVRA_ERR_IO;
    const std::uint32_t length = get_length(ahead);
    if (length > *reply_len) return KELVRA_ERR_CAPACITY;
    const std::uint64_t buffered = client->have - header_size;
    const std::uint64_t here = buffered < length ? buffered : length;
    std::memcpy(reply, ahead + header_size, here);
    consume(ahead, &client->have, header_size + here);
    if (here < length && !os::read_stream(conn, reply + here, length - here)) return KELVRA_ERR_IO;
    *reply_len = length;
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_bus_client_close(kelvra_bus_client *client) noexcept {
    if (client == nullptr) return KELVRA_ERR_ARG;
    kelvra_plat_stream_conn_close(&client->conn);
    std::free(client);
    return KELVRA_OK;
}
