// A hostile server against the bus client: a raw stream server reads one
// request frame (which must be exactly what the client sent), answers with
// the input's reply bytes verbatim (short headers, lengths beyond the
// client's capacity, truncated payloads, trailing junk) and hangs up. The
// client must report exactly what those bytes say, and touch nothing of its
// reply buffer beyond what it reports.
//
// Input: bytes 0-1 (little-endian, % 4097) are the client's reply capacity,
// byte 2 (% 17) the request length; the rest is the reply stream.
//   fewer than 4 bytes            -> 3
//   announced length > capacity   -> 4, *reply_len unchanged, buffer untouched
//   fewer payload bytes than that -> 3
//   otherwise                     -> 0 with that length and those bytes
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "bus_fuzz_common.hpp"
#include "kelvra.h"

namespace {

constexpr uint8_t canary = 0xA5;

struct Exchange {
    std::mutex lock;
    std::vector<uint8_t> request; // what the client is about to send
    std::vector<uint8_t> reply;   // what the server answers with
} exchange;

void serve(kelvra_plat_server *server) {
    for (;;) {
        kelvra_plat_conn conn{};
        if (kelvra_plat_stream_accept(server, &conn) != KELVRA_OK) {
            std::this_thread::yield();
            continue;
        }
        std::vector<uint8_t> request, reply;
        {
            const std::lock_guard<std::mutex> hold(exchange.lock);
            request = exchange.request;
            reply = exchange.reply;
        }
        uint8_t header[4];
        if (kelvra_plat_stream_read_exact(&conn, header, 4) != KELVRA_OK || bus_fuzz::be32(header) != request.size())
            std::abort();
        std::vector<uint8_t> got(request.size());
        if (kelvra_plat_stream_read_exact(&conn, got.data(), got.size()) != KELVRA_OK || got != request) std::abort();
        (void)kelvra_plat_stream_write_all(&conn, reply.data(), reply.size()); // the client may hang up early
        kelvra_plat_stream_conn_close(&conn);
    }
}

const std::string &server_name() {
    static const std::string name = [] {
        const std::string n = bus_fuzz::endpoint("client");
        static kelvra_plat_server server{};
        if (kelvra_plat_stream_listen(n.c_str(), &server) != KELVRA_OK) std::abort();
        std::thread(serve, &server).detach();
        bus_fuzz::withdraw_at_exit(n);
        return n;
    }();
    return name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string &name = server_name();
    auto byte = [&](size_t i) { return i < size ? data[i] : uint8_t{0}; };
    const uint64_t capacity = (byte(0) | byte(1) << 8) % 4097;
    const size_t request_len = byte(2) % 17;
    const uint8_t *stream = size > 3 ? data + 3 : data;
    const size_t n = size > 3 ? size - 3 : 0;

    std::vector<uint8_t> request(request_len);
    for (size_t i = 0; i < request_len; ++i) request[i] = static_cast<uint8_t>(i * 37 + byte(0));
    {
        const std::lock_guard<std::mutex> hold(exchange.lock);
        exchange.request = request;
        exchange.reply.assign(stream, stream + n);
    }

    kelvra_bus_client *client = nullptr;
    bus_fuzz::connect_retrying([&] { return kelvra_bus_connect(name.c_str(), &client); });
    const std::unique_ptr<uint8_t[]> reply(new uint8_t[capacity]); // exact size: the sanitizer sees overruns
    std::memset(reply.get(), canary, capacity);
    uint64_t reply_len = capacity;
    const uint8_t dummy = 0;
    const kelvra_status status =
        kelvra_bus_send_recv(client, request_len > 0 ? request.data() : &dummy, request_len, reply.get(), &reply_len);
    kelvra_bus_client_close(client);

    const uint64_t announced = n >= 4 ? bus_fuzz::be32(stream) : 0;
    uint64_t untouched_from = capacity; // reply bytes [untouched_from, capacity) must still hold the canary
    if (n < 4) {
        if (status != 3) std::abort();
    } else if (announced > capacity) {
        if (status != 4 || reply_len != capacity) std::abort();
        untouched_from = 0;
    } else if (n - 4 < announced) {
        if (status != 3) std::abort();
        untouched_from = announced;
    } else {
        if (status != KELVRA_OK || reply_len != announced || std::memcmp(reply.get(), stream + 4, announced) != 0)
            std::abort();
        untouched_from = announced;
    }
    for (uint64_t i = untouched_from; i < capacity; ++i)
        if (reply[i] != canary) std::abort();
    return 0;
}
