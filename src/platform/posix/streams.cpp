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
// A Windows pipe instance exists only while its server waits for a client.
// The same shape here: each accept binds a fresh listening socket, takes one
// client and closes the listening socket again, leaving its file in place.
// A client that finds that file refusing connections knows the server is
// busy and retries until the wait runs out; a client that finds no file at
// all fails at once. Stopping a server removes the file; a file left by a
// crashed server is taken over by the next server (and until then costs a
// client the busy wait, then 3).
#include "platform/platform.hpp"

#include "hash/sha256_core.hpp"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

namespace kelvra::os {
namespace {

constexpr std::size_t runtime_dir_capacity = 96;
constexpr std::size_t max_runtime_base = 64;
constexpr const char endpoint_prefix[] = "/kelvra-";

// The pending word while `cancel_accept` is shutting the waiting instance
// down: the accepting thread must not close it until that is done.
constexpr std::uintptr_t closing_mark = ~std::uintptr_t{0} - 1;

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
    const hash::Sha256State state =
        hash::sha256_message(reinterpret_cast<const std::uint8_t *>(name), std::strlen(name));
    char hex[65];
    hash::sha256_write_hex(state, hex);
    hex[32] = '\0';
    std::snprintf(addr->sun_path, sizeof addr->sun_path, "%s/kelvra~%s", dir.text, hex);
    return true;
}

int new_socket() noexcept { return socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0); }

bool connect_once(const sockaddr_un &addr, int *fd_out, int *error) noexcept {
    const int fd = new_socket();
    if (fd < 0) {
        *error = errno;
        return false;
    }
    int r;
    do {
        r = connect(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof addr);
    } while (r != 0 && errno == EINTR);
    if (r == 0) {
        *fd_out = fd;
        return true;
    }
    *error = errno;
    close(fd);
    return false;
}

// A listening socket at `addr`. A file already there is taken over unless a
// server is accepting on it right now.
int bind_listener(const sockaddr_un &addr) noexcept {
    const int fd = new_socket();
    if (fd < 0) return -1;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (bind(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) == 0) {
            if (listen(fd, 1) == 0) return fd;
            break;
        }
        if (errno != EADDRINUSE || attempt == 1) break;
        int probe = -1;
        int error = 0;
        if (connect_once(addr, &probe, &error)) {
            close(probe); // another server is accepting on this name
            break;
        }
        if (error != ECONNREFUSED && error != ENOENT) break;
        unlink(addr.sun_path); // left by a crashed or busy server: take it over
    }
    close(fd);
    return -1;
}

bool busy(int error) noexcept { return error == ECONNREFUSED || error == EAGAIN; }

// Stores `value` in the pending word once no cancel is working on it.
void swap_when_settled(std::atomic_ref<std::uintptr_t> word, std::uintptr_t value) noexcept {
    std::uintptr_t seen = word.load();
    for (;;) {
        if (seen == closing_mark) {
            std::this_thread::yield();
            seen = word.load();
        } else if (word.compare_exchange_weak(seen, value)) {
            return;
        }
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
    const int listener = bind_listener(addr);
    if (listener < 0) return false;

    std::atomic_ref<std::uintptr_t> word(*pending);
    swap_when_settled(word, handle_of(listener));

    int conn;
    do {
        conn = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    } while (conn < 0 && errno == EINTR);

    // Take the instance back; the descriptor is closed only here, and only
    // after a cancel that is shutting it down has finished.
    swap_when_settled(word, invalid_stream);
    close(listener);
    if (conn < 0) return false;
    *out = handle_of(conn);
    return true;
}

void cancel_accept(const char *path, std::uintptr_t *pending) noexcept {
    std::atomic_ref<std::uintptr_t> word(*pending);
    std::uintptr_t seen = word.load();
    for (;;) {
        if (seen == invalid_stream || seen == no_stream) break;
        if (seen == closing_mark) {
            std::this_thread::yield();
            seen = word.load();
            continue;
        }
        if (word.compare_exchange_weak(seen, closing_mark)) {
            shutdown(fd_of(seen), SHUT_RDWR); // wakes the accepting thread
            word.store(invalid_stream);
            break;
        }
    }
    sockaddr_un addr;
    if (endpoint_address(path, false, &addr)) unlink(addr.sun_path);
}

bool connect_stream(const char *path, StreamHandle *out) noexcept {
    sockaddr_un addr;
    if (!endpoint_address(path, false, &addr)) return false;
    int fd = -1;
    int error = 0;
    if (connect_once(addr, &fd, &error)) {
        *out = handle_of(fd);
        return true;
    }
    if (!busy(error)) return false;

    // Busy: wait for the server to offer an instance again, then try once more.
    using clock = std::chrono::steady_clock;
    const clock::time_point deadline = clock::now() + std::chrono::milliseconds(busy_wait_ms);
    auto pause = std::chrono::microseconds(100);
    while (clock::now() < deadline) {
        std::this_thread::sleep_for(pause);
        if (pause < std::chrono::milliseconds(5)) pause *= 2;
        if (connect_once(addr, &fd, &error)) {
            *out = handle_of(fd);
            return true;
        }
        if (!busy(error)) break;
    }
    if (!connect_once(addr, &fd, &error)) return false;
    *out = handle_of(fd);
    return true;
}

bool read_stream(StreamHandle stream, void *buf, std::uint64_t length) noexcept {
    auto *at = static_cast<std::uint8_t *>(buf);
    while (length > 0) {
        const std::size_t ask = length < (std::uint64_t{1} << 30) ? static_cast<std::size_t>(length) : 1u << 30;
        const ssize_t got = recv(fd_of(stream), at, ask, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        at += got;
        length -= static_cast<std::uint64_t>(got);
    }
    return true;
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
