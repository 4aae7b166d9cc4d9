// Message bus round trips beside a raw Unix-domain socket and ZeroMQ.
//
// BM_RoundTrip_*/N: one request of N bytes and its echoed reply, client on the
// benchmark thread, echo server on a thread of its own, connection made before
// the timed loop. Bus: kelvra_bus_send_recv against kelvra_bus_server_accept_one
// with a handler that copies the request into the reply. Raw: a Unix-domain
// stream socket in a private temporary directory with the same framing (4-byte
// big-endian length, then the payload; header and payload leave in one sendmsg,
// the header is read, then the payload). Zmq: libzmq REQ/REP over ipc:// in
// such a directory. Times are wall-clock per round trip; bytes/s counts the
// request and the reply (2 x N per round trip).
#include <benchmark/benchmark.h>
#include <zmq.h>

#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "kelvra.h"

namespace {

int next_endpoint = 0;

std::string endpoint_name(const char *kind) {
    return "bench-" + std::string(kind) + "-" + std::to_string(getpid()) + "-" + std::to_string(next_endpoint++);
}

// A private directory for socket files, removed with everything in it.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/kelvra-bench-bus-XXXXXX";
        if (mkdtemp(pattern) == nullptr) std::abort();
        path_ = pattern;
    }
    ~TempDir() {
        std::remove((path_ + "/raw").c_str());
        std::remove((path_ + "/zmq").c_str());
        rmdir(path_.c_str());
    }
    std::string file(const char *name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void set_round_trips(benchmark::State &state, size_t size) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 2 * size));
}

// ---- kelvra message bus ----

kelvra_status echo(const uint8_t *request, uint32_t request_len, uint8_t *reply, uint64_t *reply_len, void *) {
    if (request_len > *reply_len) return KELVRA_ERR_CAPACITY;
    std::memcpy(reply, request, request_len);
    *reply_len = request_len;
    return KELVRA_OK;
}

void BM_RoundTrip_Bus(benchmark::State &state) {
    const size_t size = static_cast<size_t>(state.range(0));
    const std::string name = endpoint_name("bus");
    kelvra_bus_server *server = nullptr;
    if (kelvra_bus_serve(name.c_str(), echo, nullptr, &server) != KELVRA_OK) {
        state.SkipWithError("kelvra_bus_serve failed");
        return;
    }
    std::thread serving([server] { kelvra_bus_server_accept_one(server); });
    // Connecting fails at once until the server waits inside accept_one.
    kelvra_bus_client *client = nullptr;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (kelvra_bus_connect(name.c_str(), &client) != KELVRA_OK && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (client == nullptr) {
        std::fprintf(stderr, "kelvra_bus_connect to %s failed\n", name.c_str());
        std::abort();
    }
    std::vector<uint8_t> request(size, 0x5a), reply(size);
    for (auto _ : state) {
        uint64_t got = reply.size();
        if (kelvra_bus_send_recv(client, request.data(), size, reply.data(), &got) != KELVRA_OK || got != size) {
            state.SkipWithError("round trip failed");
            break;
        }
        benchmark::DoNotOptimize(reply.data());
    }
    kelvra_bus_client_close(client); // accept_one returns once the client has left
    serving.join();
    kelvra_bus_server_stop(server);
    set_round_trips(state, size);
}

// ---- raw Unix-domain socket, same framing ----

bool read_all(int fd, uint8_t *at, size_t length) {
    while (length > 0) {
        const ssize_t got = recv(fd, at, length, 0);
        if (got <= 0) return false;
        at += got;
        length -= static_cast<size_t>(got);
    }
    return true;
}

bool write_frame(int fd, const uint8_t *payload, uint32_t length) {
    uint8_t header[4] = {static_cast<uint8_t>(length >> 24), static_cast<uint8_t>(length >> 16),
                         static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
    iovec parts[2] = {{header, 4}, {const_cast<uint8_t *>(payload), length}};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = 2;
    size_t left = 4 + size_t{length};
    while (left > 0) {
        const ssize_t sent = sendmsg(fd, &message, MSG_NOSIGNAL);
        if (sent <= 0) return false;
        left -= static_cast<size_t>(sent);
        for (size_t moved = static_cast<size_t>(sent); moved > 0 && message.msg_iovlen > 0;) {
            const size_t step = moved < message.msg_iov->iov_len ? moved : message.msg_iov->iov_len;
            message.msg_iov->iov_base = static_cast<uint8_t *>(message.msg_iov->iov_base) + step;
            message.msg_iov->iov_len -= step;
            moved -= step;
            if (message.msg_iov->iov_len == 0) ++message.msg_iov, --message.msg_iovlen;
        }
    }
    return true;
}

// Reads a frame into `buf` (its length in *length). False on close or failure.
bool read_frame(int fd, std::vector<uint8_t> &buf, uint32_t *length) {
    uint8_t header[4];
    if (!read_all(fd, header, 4)) return false;
    *length = uint32_t{header[0]} << 24 | uint32_t{header[1]} << 16 | uint32_t{header[2]} << 8 | header[3];
    return *length <= buf.size() && read_all(fd, buf.data(), *length);
}

void BM_RoundTrip_Raw(benchmark::State &state) {
    const size_t size = static_cast<size_t>(state.range(0));
    const TempDir dir;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", dir.file("raw").c_str());
    const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (bind(listener, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) != 0 || listen(listener, 1) != 0)
        std::abort();
    std::thread serving([listener, size] {
        const int conn = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        std::vector<uint8_t> buf(size);
        uint32_t length = 0;
        while (conn >= 0 && read_frame(conn, buf, &length) && write_frame(conn, buf.data(), length)) {}
        if (conn >= 0) close(conn);
    });
    const int client = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (connect(client, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) != 0) std::abort();
    std::vector<uint8_t> request(size, 0x5a), reply(size);
    for (auto _ : state) {
        uint32_t got = 0;
        if (!write_frame(client, request.data(), static_cast<uint32_t>(size)) || !read_frame(client, reply, &got) ||
            got != size) {
            state.SkipWithError("round trip failed");
            break;
        }
        benchmark::DoNotOptimize(reply.data());
    }
    close(client); // the server sees the end of the stream and leaves
    serving.join();
    close(listener);
    set_round_trips(state, size);
}

// ---- ZeroMQ REQ/REP over ipc:// ----

void BM_RoundTrip_Zmq(benchmark::State &state) {
    const size_t size = static_cast<size_t>(state.range(0));
    const TempDir dir;
    const std::string endpoint = "ipc://" + dir.file("zmq");
    void *context = zmq_ctx_new();
    void *rep = zmq_socket(context, ZMQ_REP);
    const int linger = 0;
    zmq_setsockopt(rep, ZMQ_LINGER, &linger, sizeof linger);
    if (zmq_bind(rep, endpoint.c_str()) != 0) std::abort();
    std::thread serving([rep] {
        zmq_msg_t message;
        zmq_msg_init(&message);
        // Echoes each request as it came; ends when the context shuts down.
        while (zmq_msg_recv(&message, rep, 0) >= 0 && zmq_msg_send(&message, rep, 0) >= 0) {}
        zmq_msg_close(&message);
        zmq_close(rep);
    });
    void *req = zmq_socket(context, ZMQ_REQ);
    zmq_setsockopt(req, ZMQ_LINGER, &linger, sizeof linger);
    if (zmq_connect(req, endpoint.c_str()) != 0) std::abort();
    std::vector<uint8_t> request(size, 0x5a), reply(size);
    for (auto _ : state) {
        if (zmq_send(req, request.data(), size, 0) != static_cast<int>(size) ||
            zmq_recv(req, reply.data(), reply.size(), 0) != static_cast<int>(size)) {
            state.SkipWithError("round trip failed");
            break;
        }
        benchmark::DoNotOptimize(reply.data());
    }
    zmq_close(req);
    zmq_ctx_shutdown(context); // the REP thread's receive returns ETERM
    serving.join();
    zmq_ctx_term(context);
    set_round_trips(state, size);
}

} // namespace

#define KELVRA_ROUND_TRIP_BENCH(fn)                                                                                    \
    BENCHMARK(fn)->Arg(64)->Arg(4096)->Arg(1 << 20)->UseRealTime()->Unit(benchmark::kMicrosecond)
KELVRA_ROUND_TRIP_BENCH(BM_RoundTrip_Bus);
KELVRA_ROUND_TRIP_BENCH(BM_RoundTrip_Raw);
KELVRA_ROUND_TRIP_BENCH(BM_RoundTrip_Zmq);

BENCHMARK_MAIN();
