// Local byte streams and threads: statuses, blocking behaviour and, on POSIX,
// the privacy of the endpoint directory.
#include "kelvra.h"
#include "platform/temp_dir.hpp"
#include "support/scoped_env.hpp"

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
#include <dirent.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace {

using clock_type = std::chrono::steady_clock;

std::string unique_name(const char *what) {
#ifdef _WIN32
    const unsigned long pid = GetCurrentProcessId();
#else
    const long pid = getpid();
#endif
    return std::string("t-") + what + "-" + std::to_string(pid);
}

double seconds_since(clock_type::time_point start) {
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

// Descriptors, or handles on Windows, the process holds. (Wine counts no
// handles at all, so there a leak goes unseen.)
int open_descriptors() {
#ifdef _WIN32
    DWORD count = 0;
    EXPECT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &count));
    return static_cast<int>(count);
#else
    int count = 0;
    DIR *d = opendir("/proc/self/fd");
    while (readdir(d) != nullptr) ++count;
    closedir(d);
    return count;
#endif
}

// The formatted path of endpoint "x" without the "x".
std::string endpoint_prefix() {
    kelvra_plat_server s;
    EXPECT_EQ(kelvra_plat_stream_listen("x", &s), KELVRA_OK);
    std::string path = s.path;
    return path.substr(0, path.size() - 1);
}

#ifndef _WIN32
// The directory part of an endpoint's formatted path.
std::string endpoint_dir() {
    const std::string prefix = endpoint_prefix();
    return prefix.substr(0, prefix.size() - std::strlen("/kelvra-"));
}
#endif

// Returns once an accept on `server` waits for a client.
void wait_until_waiting(kelvra_plat_server &server) {
    while (std::atomic_ref<uintptr_t>(server.pending).load() == ~uintptr_t{0}) std::this_thread::yield();
}

// A server thread that accepts one client and hands back the connection.
struct OneAccept {
    kelvra_plat_server server{};
    kelvra_plat_conn conn{};
    kelvra_status status = 99;
    std::thread thread;
    explicit OneAccept(const std::string &name) {
        EXPECT_EQ(kelvra_plat_stream_listen(name.c_str(), &server), KELVRA_OK);
        thread = std::thread([this] { status = kelvra_plat_stream_accept(&server, &conn); });
        wait_until_waiting(server);
    }
    void wait() {
        if (thread.joinable()) thread.join();
    }
    ~OneAccept() {
        wait();
        kelvra_plat_stream_conn_close(&conn);
        kelvra_plat_stream_server_close(&server);
    }
};

kelvra_plat_conn connect_to(const std::string &name) {
    kelvra_plat_conn c{};
    EXPECT_EQ(kelvra_plat_stream_connect(name.c_str(), &c), KELVRA_OK);
    return c;
}

} // namespace

TEST(Streams, PathLimitNullsAndNobodyServing) {
    kelvra_plat_server s;
    kelvra_plat_conn c{};
    EXPECT_EQ(kelvra_plat_stream_listen(nullptr, &s), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_plat_stream_accept(nullptr, &c), KELVRA_ERR_ARG);

    // Nobody serves this name: 3 at once, without the busy wait.
    const auto start = clock_type::now();
    EXPECT_EQ(kelvra_plat_stream_connect(unique_name("nobody").c_str(), &c), KELVRA_ERR_IO);
    EXPECT_LT(seconds_since(start), 0.5);

    const std::size_t prefix = endpoint_prefix().size();
    const std::string fits(511 - prefix, 'n'), over(512 - prefix, 'n');
    ASSERT_EQ(kelvra_plat_stream_listen(fits.c_str(), &s), KELVRA_OK);
    EXPECT_EQ(std::strlen(s.path), 511u);
    EXPECT_EQ(s.pending, ~uintptr_t{0});
    EXPECT_EQ(kelvra_plat_stream_listen(over.c_str(), &s), KELVRA_ERR_CAPACITY);
    EXPECT_EQ(s.path[0], '\0');
    EXPECT_EQ(kelvra_plat_stream_connect(over.c_str(), &c), KELVRA_ERR_CAPACITY);
}

TEST(Streams, ExchangeAndClosedPeer) {
    const std::string name = unique_name("exchange");
    OneAccept server(name);
    kelvra_plat_conn client = connect_to(name);
    server.wait();
    ASSERT_EQ(server.status, KELVRA_OK);

    std::vector<uint8_t> big(3 << 20), got(big.size());
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
    std::thread writer([&] { EXPECT_EQ(kelvra_plat_stream_write_all(&client, big.data(), big.size()), KELVRA_OK); });
    EXPECT_EQ(kelvra_plat_stream_read_exact(&server.conn, got.data(), got.size()), KELVRA_OK);
    writer.join();
    EXPECT_EQ(got, big);

    // The peer leaves mid-message: reads and writes give 3, and no SIGPIPE
    // ends this process.
    EXPECT_EQ(kelvra_plat_stream_write_all(&client, big.data(), 10), KELVRA_OK);
    EXPECT_EQ(kelvra_plat_stream_conn_close(&client), KELVRA_OK);
    EXPECT_EQ(kelvra_plat_stream_conn_close(&client), KELVRA_OK); // closing twice does nothing
    EXPECT_EQ(kelvra_plat_stream_read_exact(&server.conn, got.data(), 11), KELVRA_ERR_IO);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(kelvra_plat_stream_write_all(&server.conn, big.data(), big.size()), KELVRA_ERR_IO);
    EXPECT_EQ(kelvra_plat_stream_read_exact(&client, got.data(), 1), KELVRA_ERR_IO);
}

TEST(Streams, BusyServerMakesClientsWaitThenTryOnce) {
    const std::string name = unique_name("busy");
    OneAccept server(name);
    kelvra_plat_conn first = connect_to(name);
    server.wait();

    // Nobody comes back to accept: the wait runs out.
    kelvra_plat_conn second{};
    auto start = clock_type::now();
    EXPECT_EQ(kelvra_plat_stream_connect(name.c_str(), &second), KELVRA_ERR_IO);
    EXPECT_GE(seconds_since(start), 1.9);

    // The server comes back within the wait: the client gets in.
    kelvra_plat_conn again{};
    std::thread later([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(kelvra_plat_stream_accept(&server.server, &again), KELVRA_OK);
    });
    start = clock_type::now();
    kelvra_plat_conn third = connect_to(name);
    EXPECT_GE(seconds_since(start), 0.25);
    later.join();
    kelvra_plat_stream_conn_close(&first);
    kelvra_plat_stream_conn_close(&third);
    kelvra_plat_stream_conn_close(&again);
}

TEST(Streams, ServerCloseEndsAWaitingAccept) {
    const int before = open_descriptors();
    for (int round = 0; round < 50; ++round) {
        kelvra_plat_server server;
        ASSERT_EQ(kelvra_plat_stream_listen(unique_name("cancel").c_str(), &server), KELVRA_OK);
        kelvra_plat_conn conn{};
        kelvra_status status = 99;
        std::thread waiter([&] {
            const kelvra_status r = kelvra_plat_stream_accept(&server, &conn);
            std::atomic_ref<kelvra_status>(status).store(r);
        });
        if (round % 2) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        while (std::atomic_ref<kelvra_status>(status).load() == 99) {
            kelvra_plat_stream_server_close(&server);
            std::this_thread::yield();
        }
        waiter.join();
        EXPECT_EQ(status, KELVRA_ERR_IO);
        EXPECT_EQ(server.pending, ~uintptr_t{0});
    }
    EXPECT_EQ(open_descriptors(), before);
}

// Names a path would rewrite (on Windows "/" and "\" become separators and
// ".." is resolved, trailing dots go, pipe names past 256 characters are
// refused) reach their own server, and never the server of the name they
// would be rewritten to.
TEST(Streams, OddNamesMeetOnlyTheirOwnServer) {
    const std::string plain = unique_name("plain");
    const struct {
        std::string odd, rewritten;
    } cases[] = {{unique_name("odd") + "/../kelvra-" + plain, plain},
                 {unique_name("odd") + "\\..\\kelvra-" + plain, plain},
                 {plain + ".", plain},
                 {unique_name("odd") + std::string(300, 'l'), ""}};
    for (const auto &c : cases) {
        OneAccept server(c.odd);
        kelvra_plat_conn wrong{};
        if (!c.rewritten.empty()) {
            EXPECT_EQ(kelvra_plat_stream_connect(c.rewritten.c_str(), &wrong), KELVRA_ERR_IO) << c.odd;
        }
        kelvra_plat_conn right = connect_to(c.odd);
        server.wait();
        EXPECT_EQ(server.status, KELVRA_OK) << c.odd;
        kelvra_plat_stream_conn_close(&wrong);
        kelvra_plat_stream_conn_close(&right);
    }
}

// Windows names pipes in one namespace for the machine, with no directory.
#ifndef _WIN32
TEST(Streams, EndpointDirectoryIsPrivateAndNamesStayInside) {
    const std::string dir = endpoint_dir();
    for (const std::string &name : {std::string("../../escape"), std::string("a/b"), std::string(300, 'l')}) {
        OneAccept server(unique_name("odd") + name);
        kelvra_plat_conn c = connect_to(unique_name("odd") + name);
        server.wait();
        EXPECT_EQ(server.status, KELVRA_OK);
        kelvra_plat_stream_conn_close(&c);
    }
    struct stat st {};
    ASSERT_EQ(lstat(dir.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, geteuid());
    EXPECT_NE(lstat((dir + "/../escape").c_str(), &st), 0);

    // A directory others may enter is refused on both sides.
    kelvra_test::TempDir runtime;
    ASSERT_EQ(mkdir(runtime.path("kelvra").c_str(), 0755), 0);
    ASSERT_EQ(chmod(runtime.path("kelvra").c_str(), 0755), 0);
    kelvra_test::ScopedEnv xdg("XDG_RUNTIME_DIR", runtime.path().c_str());
    kelvra_plat_server s;
    kelvra_plat_conn c{};
    ASSERT_EQ(kelvra_plat_stream_listen("open", &s), KELVRA_OK);
    EXPECT_EQ(kelvra_plat_stream_accept(&s, &c), KELVRA_ERR_IO);
    EXPECT_EQ(kelvra_plat_stream_connect("open", &c), KELVRA_ERR_IO);
}

TEST(Streams, StaleEndpointDoesNotBlockANewServer) {
    const std::string name = unique_name("stale");
    kelvra_plat_server s;
    ASSERT_EQ(kelvra_plat_stream_listen(name.c_str(), &s), KELVRA_OK);
    // What a crashed server leaves: a bound socket file nobody listens on.
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, s.path);
    mkdir(endpoint_dir().c_str(), 0700);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    close(fd);

    OneAccept server(name);
    kelvra_plat_conn c = connect_to(name);
    server.wait();
    EXPECT_EQ(server.status, KELVRA_OK);
    kelvra_plat_stream_conn_close(&c);
}
#endif

TEST(Threads, SpawnJoinAndNulls) {
    std::atomic<int> runs{0};
    kelvra_plat_thread t[2];
    auto worker = [](void *arg) { static_cast<std::atomic<int> *>(arg)->fetch_add(1); };
    ASSERT_EQ(kelvra_plat_thread_spawn(worker, &runs, &t[0]), KELVRA_OK);
    ASSERT_EQ(kelvra_plat_thread_spawn([](void *arg) { EXPECT_EQ(arg, nullptr); }, nullptr, &t[1]), KELVRA_OK);
    for (auto &thread : t) EXPECT_EQ(kelvra_plat_thread_join(&thread), KELVRA_OK);
    EXPECT_EQ(runs.load(), 1);
    EXPECT_EQ(kelvra_plat_thread_spawn(nullptr, nullptr, &t[0]), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_plat_thread_join(nullptr), KELVRA_ERR_ARG);
}
