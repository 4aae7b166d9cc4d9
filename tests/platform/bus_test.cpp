// The message bus: frames on the wire, limits, refusals, peers that leave,
// and stopping a server that another thread is using.
#include "kelvra.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include "platform/win32/win.hpp"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr uint64_t mib = 1048576;

// Echoes the request; first byte 'R' refuses, 'L' claims one byte more than
// the buffer holds.
kelvra_status echo(const uint8_t *request, uint32_t length, uint8_t *reply, uint64_t *reply_len, void *user) {
    if (user != nullptr) static_cast<std::atomic<int> *>(user)->fetch_add(1);
    if (length > 0 && request[0] == 'R') return 7;
    if (length > 0 && request[0] == 'L') {
        *reply_len += 1;
        return 0;
    }
    std::memcpy(reply, request, length);
    *reply_len = length;
    return 0;
}

// A bus server on its own thread, accepting clients until asked to quit; a
// client connecting wakes its last accept.
class Server {
public:
    explicit Server(const std::string &name, void *user = nullptr) : name_(name) {
        EXPECT_EQ(kelvra_bus_serve(name.c_str(), echo, user, &server_), KELVRA_OK);
        thread_ = std::thread([this] {
            while (!quit_.load()) kelvra_bus_server_accept_one(server_);
            done_.store(true);
        });
    }
    ~Server() {
        quit_.store(true);
        while (!done_.load()) {
            kelvra_bus_client *wake = nullptr;
            if (kelvra_bus_connect(name_.c_str(), &wake) == KELVRA_OK) kelvra_bus_client_close(wake);
            else std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        thread_.join();
        EXPECT_EQ(kelvra_bus_server_stop(server_), KELVRA_OK);
    }

private:
    std::string name_;
    kelvra_bus_server *server_ = nullptr;
    std::atomic<bool> quit_{false}, done_{false};
    std::thread thread_;
};

// Connects once the server is waiting for clients.
kelvra_bus_client *client_of(const std::string &name) {
    kelvra_bus_client *c = nullptr;
    for (int i = 0; i < 2000 && kelvra_bus_connect(name.c_str(), &c) == KELVRA_ERR_IO; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_NE(c, nullptr);
    return c;
}

kelvra_plat_conn raw_client_of(const std::string &name) {
    kelvra_plat_conn conn{};
    for (int i = 0; i < 2000 && kelvra_plat_stream_connect(name.c_str(), &conn) == KELVRA_ERR_IO; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return conn;
}

kelvra_status send(kelvra_bus_client *c, const std::vector<uint8_t> &request, std::vector<uint8_t> &reply) {
    uint64_t length = reply.size();
    const uint8_t empty = 0;
    const kelvra_status status =
        kelvra_bus_send_recv(c, request.empty() ? &empty : request.data(), request.size(), reply.data(), &length);
    if (status == KELVRA_OK) reply.resize(length);
    return status;
}

std::string name_of(const char *what) {
#ifdef _WIN32
    const unsigned long pid = GetCurrentProcessId();
#else
    const long pid = getpid();
#endif
    return std::string("bus-") + what + "-" + std::to_string(pid);
}

// Whether a server waits for clients at the formatted endpoint path: on POSIX
// the socket file exists, on Windows a pipe instance is free (the wait of at
// most 1 ms connects nothing).
bool endpoint_up(const char *path) {
#ifdef _WIN32
    return WaitNamedPipeA(path, 1) != 0;
#else
    struct stat st;
    return stat(path, &st) == 0;
#endif
}

} // namespace

TEST(Bus, ExchangesInOrderUpToTheLimit) {
    const std::string name = name_of("order");
    Server server(name);
    kelvra_bus_client *c = client_of(name);
    for (const uint64_t size : {uint64_t{0}, uint64_t{1}, uint64_t{4096}, mib}) {
        std::vector<uint8_t> request(size), reply(mib);
        for (uint64_t i = 0; i < size; ++i) request[i] = static_cast<uint8_t>(i * 31 + size);
        ASSERT_EQ(send(c, request, reply), KELVRA_OK);
        EXPECT_EQ(reply, request);
    }
    // A reply larger than the caller's room: 4, length untouched.
    const std::vector<uint8_t> ten(10, 'x');
    uint8_t small[4];
    uint64_t room = sizeof small;
    EXPECT_EQ(kelvra_bus_send_recv(c, ten.data(), ten.size(), small, &room), KELVRA_ERR_CAPACITY);
    EXPECT_EQ(room, 4u);
    EXPECT_EQ(kelvra_bus_send_recv(c, ten.data(), uint64_t{1} << 32, small, &room), KELVRA_ERR_CAPACITY);
    kelvra_bus_client_close(c);

    // One byte over the server's limit: the connection ends without a reply.
    c = client_of(name);
    std::vector<uint8_t> over(mib + 1), reply(16);
    EXPECT_EQ(send(c, over, reply), KELVRA_ERR_IO);
    kelvra_bus_client_close(c);
}

TEST(Bus, RefusalsAndOversizedRepliesEndTheConnection) {
    const std::string name = name_of("refuse");
    std::atomic<int> calls{0};
    Server server(name, &calls);
    for (const char first : {'R', 'L'}) {
        kelvra_bus_client *c = client_of(name);
        std::vector<uint8_t> ok{'o', 'k'}, bad{static_cast<uint8_t>(first)}, reply(mib);
        EXPECT_EQ(send(c, ok, reply), KELVRA_OK);
        EXPECT_EQ(send(c, bad, reply), KELVRA_ERR_IO);
        kelvra_bus_client_close(c);
    }
    EXPECT_EQ(calls.load(), 4);
}

TEST(Bus, WireFormatBothWays) {
    const std::string name = name_of("wire");
    Server server(name);
    // Raw frames against the bus server.
    kelvra_plat_conn raw = raw_client_of(name);
    const uint8_t frame[] = {0, 0, 0, 3, 'a', 'b', 'c'};
    ASSERT_EQ(kelvra_plat_stream_write_all(&raw, frame, sizeof frame), KELVRA_OK);
    uint8_t back[7];
    ASSERT_EQ(kelvra_plat_stream_read_exact(&raw, back, sizeof back), KELVRA_OK);
    EXPECT_EQ(std::memcmp(back, frame, sizeof frame), 0);
    // A client that vanishes mid-frame does not stop the server.
    const uint8_t partial[] = {0, 0, 0, 100, 'x'};
    ASSERT_EQ(kelvra_plat_stream_write_all(&raw, partial, sizeof partial), KELVRA_OK);
    kelvra_plat_stream_conn_close(&raw);
    for (int i = 0; i < 20; ++i) { // clients that leave at once, queued or served
        kelvra_plat_conn quick = raw_client_of(name);
        kelvra_plat_stream_conn_close(&quick);
    }
    kelvra_bus_client *c = client_of(name);
    std::vector<uint8_t> request{'z'}, reply(8);
    EXPECT_EQ(send(c, request, reply), KELVRA_OK);
    kelvra_bus_client_close(c);

    // A bus client against a raw server.
    const std::string raw_name = name_of("rawserver");
    kelvra_plat_server rs;
    ASSERT_EQ(kelvra_plat_stream_listen(raw_name.c_str(), &rs), KELVRA_OK);
    std::thread peer([&] {
        kelvra_plat_conn conn{};
        ASSERT_EQ(kelvra_plat_stream_accept(&rs, &conn), KELVRA_OK);
        uint8_t got[6];
        ASSERT_EQ(kelvra_plat_stream_read_exact(&conn, got, sizeof got), KELVRA_OK);
        EXPECT_EQ(std::memcmp(got, "\0\0\0\2hi", 6), 0);
        const uint8_t answer[] = {0, 0, 0, 1, '!', 0, 0, 0, 9, 'c', 'u', 't'};
        kelvra_plat_stream_write_all(&conn, answer, sizeof answer);
        kelvra_plat_stream_conn_close(&conn);
    });
    c = client_of(raw_name);
    std::vector<uint8_t> hi{'h', 'i'}, answer(16);
    EXPECT_EQ(send(c, hi, answer), KELVRA_OK);
    EXPECT_EQ(answer, std::vector<uint8_t>{'!'});
    answer.resize(16);
    EXPECT_EQ(send(c, hi, answer), KELVRA_ERR_IO); // the second reply is cut short
    peer.join();
    kelvra_bus_client_close(c);
    kelvra_plat_stream_server_close(&rs);
}

// Another thread stops the server while one call of accept_one waits for a
// client or serves an idle one: that call returns, and only then is the
// server freed. Calls that come after the stop find the server gone.
TEST(Bus, StopReachesAThreadInAcceptOrServing) {
    for (int round = 0; round < 20; ++round) {
        const std::string name = name_of("stop") + std::to_string(round);
        kelvra_plat_server endpoint;
        ASSERT_EQ(kelvra_plat_stream_listen(name.c_str(), &endpoint), KELVRA_OK);
        kelvra_bus_server *server = nullptr;
        ASSERT_EQ(kelvra_bus_serve(name.c_str(), echo, nullptr, &server), KELVRA_OK);
        std::atomic<kelvra_status> result{99};
        std::thread waiter([&] { result = kelvra_bus_server_accept_one(server); });
        kelvra_bus_client *idle = nullptr;
        if (round % 2) {
            // One exchange first: on Windows a client's connect can return
            // before the server's accept does, and a stop in between ends the
            // accept instead. The client then stays idle.
            idle = client_of(name);
            std::vector<uint8_t> ping{'p'}, reply(4);
            EXPECT_EQ(send(idle, ping, reply), KELVRA_OK);
        } else {
            while (!endpoint_up(endpoint.path)) std::this_thread::yield(); // the accept is under way
            std::this_thread::sleep_for(std::chrono::milliseconds(round % 3));
        }
        EXPECT_EQ(kelvra_bus_server_stop(server), KELVRA_OK);
        waiter.join();
        EXPECT_EQ(result.load(), round % 2 ? KELVRA_OK : KELVRA_ERR_IO);
        EXPECT_EQ(kelvra_bus_server_accept_one(server), KELVRA_ERR_IO); // a serving loop's next turn
        EXPECT_EQ(kelvra_bus_server_stop(server), KELVRA_ERR_ARG);
        if (idle != nullptr) kelvra_bus_client_close(idle);
    }
}

TEST(Bus, TwoServersAtOnceAndArguments) {
    Server a(name_of("a")), b(name_of("b"));
    for (const char *which : {"a", "b"}) {
        kelvra_bus_client *c = client_of(name_of(which));
        std::vector<uint8_t> request{uint8_t(which[0])}, reply(4);
        EXPECT_EQ(send(c, request, reply), KELVRA_OK);
        EXPECT_EQ(reply, request);
        kelvra_bus_client_close(c);
    }

    kelvra_bus_client *none = reinterpret_cast<kelvra_bus_client *>(&a);
    EXPECT_EQ(kelvra_bus_connect(name_of("nobody").c_str(), &none), KELVRA_ERR_IO);
    EXPECT_EQ(none, nullptr);
    kelvra_bus_server *s = nullptr;
    EXPECT_EQ(kelvra_bus_serve("x", nullptr, nullptr, &s), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_bus_serve(std::string(600, 'x').c_str(), echo, nullptr, &s), KELVRA_ERR_CAPACITY);
    EXPECT_EQ(s, nullptr);
}
