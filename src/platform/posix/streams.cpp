// Local byte streams on Unix-domain stream sockets.
//
// Endpoints live in one directory private to the user:
//   "$XDG_RUNTIME_DIR/kelvra" when that variable holds an absolute path of at
//   most 64 bytes, else "/tmp/kelvra-<effective uid>".
// The directory is created with mode 0700 by the first server and must be a
// real directory owned by the user with no access for anyone else, on the
// server's side and the client's alike; otherwise nothing is served or
// connected. An endpoint's formatted path is "<directory>/kelvra-<name>". The
// socket is bound at that path when the name holds no "/" and the path fits
// a socket address; otherwise at "<directory>/kelvra~<32 hex digits>", the
// first half of the name's SHA-256, so a name can never reach outside the
// directory and no plain name collides with a mapped one.
//
// A server's listening socket lives from its first accept until the server is
// closed (one per endpoint in this process, shared by the records that name
// it), so a client that arrives while the server is busy waits in the
// socket's queue. The server greets each client it accepts with one byte,
// which connect consumes; a client still unwelcomed when the 2000 ms wait
// runs out gives up with 3, and a client whose greeting cannot be delivered
// (it gave up) is skipped by the accept. A socket file with nobody listening
// (a crashed server) makes a client fail at once, and is taken over by the
// next server; closing a server removes its file.
#include "platform/platform.hpp"

#include "platform/endpoint_names.hpp"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

namespace kelvra::os {
namespace {

constexpr std::size_t runtime_dir_capacity = 96;
constexpr std::uint8_t greeting = 0x4b;
constexpr int queue_length = 64;
constexpr std::size_t max_runtime_base = 64;
constexpr const char endpoint_prefix[] = "/kelvra-";

// A descriptor in a handle word: never 0 nor all-ones, since descriptor 0 is
// a real one here.
constexpr StreamHandle handle_of(int fd) noexcept { return static_cast<StreamHandle>(fd) + 1; }
constexpr int fd_of(StreamHandle handle) noexcept { return static_cast<int>(handle - 1); }

struct RuntimeDir {
    char text[runtime_dir_capacity];
};

RuntimeDir runtime_dir() noexcept {
    RuntimeDir dir{};
    const char *base = std::getenv("XDG_RUNTIME_DIR");
    if (base != nullptr && base[0] == '/' && std::strlen(base) <= max_runtime_base) {
        std::snprintf(dir.text, sizeof dir.text, "%s/kelvra", base);
    } else {
        std::snprintf(dir.text, sizeof dir.text, "/tmp/kelvra-%lu", static_cast<unsigned long>(geteuid()));
    }
    return dir;
}

// The directory exists (created when `create`), is no link, belongs to the
// user and lets nobody else in.
bool private_dir_ready(const char *dir, bool create) noexcept {
    if (create && mkdir(dir, 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (lstat(dir, &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

// The socket address of the endpoint at `path`, with its directory checked.
bool endpoint_address(const char *path, bool create_dir, sockaddr_un *addr) noexcept {
    const RuntimeDir dir = runtime_dir();
    const std::size_t dir_length = std::strlen(dir.text);
    const std::size_t prefix_length = dir_length + sizeof endpoint_prefix - 1;
    if (std::strncmp(path, dir.text, dir_length) != 0 ||
        std::strncmp(path + dir_length, endpoint_prefix, sizeof endpoint_prefix - 1) != 0)
        return false;
    if (!private_dir_ready(dir.text, create_dir)) return false;

    const char *name = path + prefix_length;
    std::memset(addr, 0, sizeof *addr);
    addr->sun_family = AF_UNIX;
    if (std::strchr(name, '/') == nullptr && std::strlen(path) < sizeof addr->sun_path) {
        std::memcpy(addr->sun_path, path, std::strlen(path) + 1);
        return true;
    }
    char mapped[40];
    mapped_endpoint_name(name, mapped);
    std::snprintf(addr->sun_path, sizeof addr->sun_path, "%s/%s", dir.text, mapped);
    return true;
}

int new_socket() noexcept { return socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0); }

// One connection attempt that never blocks: a server whose queue is full
// gives EAGAIN. The connected socket is made blocking again.
bool connect_once(const sockaddr_un &addr, int *fd_out, int *error) noexcept {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *error = errno;
        return false;
    }
    int r;
    do {
        r = connect(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof addr);
    } while (r != 0 && errno == EINTR);
    if (r == 0 && fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0) {
        *fd_out = fd;
        return true;
    }
    *error = errno;
    close(fd);
    return false;
}

// A listening socket at `addr`. A file already there is taken over unless a
// server listens on it.
int bind_listener(const sockaddr_un &addr) noexcept {
    const int fd = new_socket();
    if (fd < 0) return -1;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (bind(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) == 0) {
            if (listen(fd, queue_length) == 0) return fd;
            break;
        }
        if (errno != EADDRINUSE || attempt == 1) break;
        int probe = -1;
        int error = 0;
        if (connect_once(addr, &probe, &error)) {
            close(probe); // another server listens on this name
            break;
        }
        if (error != ECONNREFUSED && error != ENOENT) break;
        unlink(addr.sun_path); // left by a crashed server: take it over
    }
    close(fd);
    return -1;
}

// The listening sockets of this process, by socket path.
struct Listener {
    char path[sizeof(sockaddr_un::sun_path)];
    int fd;
    unsigned users; // accepts waiting on it right now
    bool in_use;
    bool closed; // shut down; released when its last user leaves
};
constexpr std::size_t max_listeners = 64;
Listener listeners[max_listeners];
std::mutex listeners_lock;

Listener *open_listener_for(const sockaddr_un &addr) noexcept {
    for (Listener &l : listeners)
        if (l.in_use && !l.closed && std::strcmp(l.path, addr.sun_path) == 0) return &l;
    return nullptr;
}

void release_if_done(Listener &l) noexcept {
    if (l.closed && l.users == 0) {
        close(l.fd);
        l.in_use = false;
    }
}

// The listener of `addr`, bound now unless this process has it already.
Listener *join_listener(const sockaddr_un &addr) noexcept {
    const std::lock_guard<std::mutex> hold(listeners_lock);
    Listener *l = open_listener_for(addr);
    if (l == nullptr) {
        for (Listener &free_slot : listeners)
            if (!free_slot.in_use) {
                l = &free_slot;
                break;
            }
        if (l == nullptr) return nullptr;
        const int fd = bind_listener(addr);
        if (fd < 0) return nullptr;
        *l = Listener{};
        std::memcpy(l->path, addr.sun_path, sizeof l->path);
        l->fd = fd;
        l->in_use = true;
    }
    ++l->users;
    return l;
}

void leave_listener(Listener *l) noexcept {
    const std::lock_guard<std::mutex> hold(listeners_lock);
    --l->users;
    release_if_done(*l);
}

// The directory keeps other users out; the peer's credentials are checked
// too, in case its permissions change while a server runs.
bool same_user(int conn) noexcept {
    ucred peer{};
    socklen_t size = sizeof peer;
    return getsockopt(conn, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == geteuid();
}

enum class Welcome { received, refused, late };

// Waits until `deadline` for the server's greeting on a fresh connection.
Welcome await_greeting(int fd, std::chrono::steady_clock::time_point deadline) noexcept {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) return Welcome::late;
        std::uint8_t byte = 0;
        const ssize_t got = recv(fd, &byte, 1, MSG_DONTWAIT);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        return got == 1 && byte == greeting ? Welcome::received : Welcome::refused;
    }
}

} // namespace

bool format_stream_path(const char *name, char (&path)[stream_path_capacity]) noexcept {
    const RuntimeDir dir = runtime_dir();
    const int n = std::snprintf(path, sizeof path, "%s%s%s", dir.text, endpoint_prefix, name);
    return n >= 0 && static_cast<std::size_t>(n) < sizeof path;
}

bool accept_stream(const char *path, std::uintptr_t *pending, StreamHandle *out) noexcept {
    sockaddr_un addr;
    if (!endpoint_address(path, true, &addr)) return false;
    Listener *listener = join_listener(addr);
    if (listener == nullptr) return false;

    std::atomic_ref<std::uintptr_t> word(*pending);
    word.store(handle_of(listener->fd));
    int conn;
    for (;;) {
        conn = accept4(listener->fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (conn < 0 && errno == EINTR) continue;
        if (conn < 0) break;
        if (same_user(conn) && send(conn, &greeting, 1, MSG_NOSIGNAL | MSG_DONTWAIT) == 1) break;
        close(conn); // another user, or the client stopped waiting
    }
    word.store(invalid_stream);
    leave_listener(listener);
    if (conn < 0) return false;
    *out = handle_of(conn);
    return true;
}

void cancel_accept(const char *path, std::uintptr_t *) noexcept {
    sockaddr_un addr;
    if (!endpoint_address(path, false, &addr)) return;
    const std::lock_guard<std::mutex> hold(listeners_lock);
    Listener *l = open_listener_for(addr);
    if (l == nullptr) return;
    l->closed = true;
    shutdown(l->fd, SHUT_RDWR); // ends every accept waiting on it
    unlink(addr.sun_path);
    release_if_done(*l);
}

bool connect_stream(const char *path, StreamHandle *out) noexcept {
    sockaddr_un addr;
    if (!endpoint_address(path, false, &addr)) return false;
    using clock = std::chrono::steady_clock;
    const clock::time_point deadline = clock::now() + std::chrono::milliseconds(busy_wait_ms);
    for (;;) {
        int fd = -1;
        int error = 0;
        if (!connect_once(addr, &fd, &error)) {
            // A full queue is a busy server too; no file, or nobody
            // listening, is nobody serving.
            if (error != EAGAIN || clock::now() >= deadline) return false;
        } else {
            const Welcome welcome = await_greeting(fd, deadline);
            if (welcome == Welcome::received) {
                *out = handle_of(fd);
                return true;
            }
            close(fd);
            if (welcome == Welcome::late || clock::now() >= deadline) return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool read_stream_some(StreamHandle stream, void *buf, std::uint64_t capacity, std::uint64_t *got) noexcept {
    const std::size_t ask = capacity < (std::uint64_t{1} << 30) ? static_cast<std::size_t>(capacity) : 1u << 30;
    for (;;) {
        const ssize_t n = recv(fd_of(stream), buf, ask, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        *got = static_cast<std::uint64_t>(n);
        return true;
    }
}

bool write_stream(StreamHandle stream, const void *head, std::uint64_t head_length, const void *body,
                  std::uint64_t body_length) noexcept {
    constexpr std::uint64_t most = std::uint64_t{1} << 30;
    iovec parts[2] = {{const_cast<void *>(head), 0}, {const_cast<void *>(body), 0}};
    std::uint64_t left[2] = {head_length, body_length};
    while (left[0] + left[1] > 0) {
        parts[0].iov_len = static_cast<std::size_t>(left[0] < most ? left[0] : most);
        parts[1].iov_len = static_cast<std::size_t>(left[1] < most ? left[1] : most);
        msghdr message{};
        message.msg_iov = left[0] > 0 ? parts : parts + 1;
        message.msg_iovlen = left[0] > 0 ? 2 : 1;
        const ssize_t sent = sendmsg(fd_of(stream), &message, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        std::uint64_t moved = static_cast<std::uint64_t>(sent);
        for (int i = 0; i < 2 && moved > 0; ++i) {
            const std::uint64_t step = moved < left[i] ? moved : left[i];
            parts[i].iov_base = static_cast<std::uint8_t *>(parts[i].iov_base) + step;
            left[i] -= step;
            moved -= step;
        }
    }
    return true;
}

void stop_reading(StreamHandle stream) noexcept { shutdown(fd_of(stream), SHUT_RD); }

void close_stream(StreamHandle stream) noexcept { close(fd_of(stream)); }

} // namespace kelvra::os
