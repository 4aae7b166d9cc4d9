// A hostile client against the bus server: the input's bytes go down a raw
// stream as they are (truncated headers, zero and huge lengths, half frames),
// then the client hangs up in one of four ways; afterwards a fresh bus client
// must still get its request echoed. Byte 0 picks the hang-up (% 4) and how
// many bytes mode 2 reads (/ 4); the rest (at most 64 KiB, so a write never
// waits on the server) is written verbatim.
//   0: close at once, without reading;
//   1: shut the writing side, then read every reply up to the end of the
//      stream: exactly the echoes of the complete frames before the first
//      one the server refuses, and nothing after them;
//   2: shut the writing side, read a few bytes, close;
//   3: read exactly the expected echoes, then close while the server may be
//      waiting in the middle of a frame.
// The handler echoes, but refuses a request starting 0xEE and claims a reply
// longer than its buffer for one starting 0xEF; the server answers neither.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include <sys/socket.h>

#include "bus_fuzz_common.hpp"
#include "kelvra.h"

namespace {

constexpr uint32_t largest_request = 1048576; // the server's frame limit
constexpr size_t largest_input = 65536;

kelvra_status handler(const uint8_t *request, uint32_t request_len, uint8_t *reply, uint64_t *reply_len, void *) {
    if (request_len > 0 && request[0] == 0xEE) return 2;
    if (request_len > 0 && request[0] == 0xEF) {
        *reply_len += 1;
        return KELVRA_OK;
    }
    if (request_len > *reply_len) return 4;
    std::memcpy(reply, request, request_len);
    *reply_len = request_len;
    return KELVRA_OK;
}

const std::string &server_name() {
    static const std::string name = [] {
        const std::string n = bus_fuzz::endpoint("server");
        kelvra_bus_server *server = nullptr;
        if (kelvra_bus_serve(n.c_str(), handler, nullptr, &server) != KELVRA_OK) std::abort();
        std::thread([server] {
            for (;;)
                if (kelvra_bus_server_accept_one(server) != KELVRA_OK) std::this_thread::yield();
        }).detach();
        bus_fuzz::withdraw_at_exit(n);
        return n;
    }();
    return name;
}

// What the server sends back for `stream`: the echo of every complete frame
// up to the first it refuses or cannot finish reading.
std::vector<uint8_t> expected_replies(const uint8_t *stream, size_t n) {
    std::vector<uint8_t> out;
    size_t at = 0;
    while (n - at >= 4) {
        const uint32_t length = bus_fuzz::be32(stream + at);
        if (length > largest_request || n - at - 4 < length) break;
        if (length > 0 && (stream[at + 4] == 0xEE || stream[at + 4] == 0xEF)) break;
        out.insert(out.end(), stream + at, stream + at + 4 + length);
        at += 4 + length;
    }
    return out;
}

void read_expected(kelvra_plat_conn *conn, const std::vector<uint8_t> &expected) {
    std::vector<uint8_t> got(expected.size());
    if (kelvra_plat_stream_read_exact(conn, got.data(), got.size()) != KELVRA_OK || got != expected) std::abort();
}

// The POSIX stream layer keeps descriptor + 1 in a connection's handle.
void shut_writing(const kelvra_plat_conn &conn) { shutdown(static_cast<int>(conn.handle - 1), SHUT_WR); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string &name = server_name();
    const uint8_t control = size > 0 ? data[0] : 0;
    const uint8_t *stream = size > 0 ? data + 1 : data;
    const size_t n = std::min(size > 0 ? size - 1 : 0, largest_input);
    const std::vector<uint8_t> expected = expected_replies(stream, n);

    kelvra_plat_conn conn{};
    bus_fuzz::connect_retrying([&] { return kelvra_plat_stream_connect(name.c_str(), &conn); });
    const kelvra_status wrote = kelvra_plat_stream_write_all(&conn, stream, n);
    if (wrote != KELVRA_OK && wrote != 3) std::abort();
    uint8_t scratch[16];
    switch (control % 4) {
    case 1:
        shut_writing(conn);
        read_expected(&conn, expected);
        if (kelvra_plat_stream_read_exact(&conn, scratch, 1) != 3) std::abort(); // nothing after them
        break;
    case 2:
        shut_writing(conn);
        (void)kelvra_plat_stream_read_exact(&conn, scratch, control / 4 % sizeof scratch);
        break;
    case 3:
        read_expected(&conn, expected);
        break;
    default:
        break;
    }
    kelvra_plat_stream_conn_close(&conn);

    // The server still serves.
    kelvra_bus_client *client = nullptr;
    bus_fuzz::connect_retrying([&] { return kelvra_bus_connect(name.c_str(), &client); });
    const uint8_t request[6] = {'p', 'i', 'n', 'g', control, static_cast<uint8_t>(n)};
    uint8_t reply[16] = {};
    uint64_t reply_len = sizeof reply;
    if (kelvra_bus_send_recv(client, request, sizeof request, reply, &reply_len) != KELVRA_OK ||
        reply_len != sizeof request || std::memcmp(reply, request, sizeof request) != 0)
        std::abort();
    kelvra_bus_client_close(client);
    return 0;
}
