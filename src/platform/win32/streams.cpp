// Local byte streams on named pipes. An endpoint's path is
// "\\.\pipe\kelvra-<name>", and a plain name goes into the pipe's name as it
// is. Windows would not keep some names as they are: it reads "/" and "\" as
// separators and resolves "." and ".." components (so "x/../../y" would name
// "\\.\pipe\y", outside "kelvra-"), drops trailing dots and spaces, and
// refuses pipe names past 256 characters. Such a name is served, as on POSIX,
// under "\\.\pipe\kelvra~<32 hex digits>", the first half of its SHA-256, which
// no plain name collides with.
//
// Each accept creates one instance of the pipe (byte mode, blocking) and waits
// for a client on it; the connected instance is the server's end of the
// connection. The instance is made accessible to the creating user only and
// refuses clients from other machines, which keeps the POSIX layer's rule that
// only the same user gets in. No greeting is needed: a client's CreateFileA
// succeeds only on an instance a server offers, and a client that arrives
// while every instance is busy (the server serves another connection) waits
// in WaitNamedPipeA.
//
// Ending a wait from another thread: the instance is entered in a table of
// this process's waiting accepts; cancel_accept marks the entries of its path
// cancelled and then connects to the path as a client until they are gone.
// Each dummy connection completes a wait (or finds an instance not yet
// waited on, which ConnectNamedPipe then reports as connected at once); the
// accept sees the mark, closes its instance and fails. Closing the instance
// from the cancelling thread instead would race the wait and might close a
// handle value already reused.
//
// Ending a read from another thread: CancelIoEx cancels I/O issued on the
// handle by any thread of the process, synchronous reads included. Since a
// stop must also fail every later read, connections are entered in a table
// that records a stop and whether a read is under way; stop_reading cancels
// until that read has returned, so a read that was about to start is not
// missed.
#include "platform/platform.hpp"

#include "platform/endpoint_names.hpp"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/win32/win.hpp"

namespace kelvra::os {

static_assert(sizeof(HANDLE) == sizeof(StreamHandle), "a pipe handle must fit a stream handle");

namespace {

constexpr DWORD pipe_buffer_size = 65536;

// The largest single ReadFile or WriteFile request (they take 32-bit counts).
constexpr std::uint64_t io_chunk = std::uint64_t{1} << 30;

// A frame header and a small payload are copied together into one write.
constexpr std::uint64_t gather_limit = 4096;

// How long cancel_accept keeps offering dummy connections before it gives
// up on a wait that never ends (some other process serving the same name and
// taking every connection).
constexpr ULONGLONG cancel_patience_ms = 5000;

HANDLE as_handle(StreamHandle stream) noexcept { return reinterpret_cast<HANDLE>(stream); }
StreamHandle as_stream(HANDLE handle) noexcept { return reinterpret_cast<StreamHandle>(handle); }

SRWLOCK table_lock = SRWLOCK_INIT;

// ---- Waiting accepts ----------------------------------------------------------------

struct Waiter {
    char path[stream_path_capacity];
    bool in_use;
    bool cancelled;
};
constexpr std::size_t max_waiters = 64;
Waiter waiters[max_waiters];

Waiter *enter_waiter(const char *path) noexcept {
    AcquireSRWLockExclusive(&table_lock);
    Waiter *slot = nullptr;
    for (Waiter &w : waiters)
        if (!w.in_use) {
            slot = &w;
            std::memcpy(w.path, path, std::strlen(path) + 1);
            w.in_use = true;
            w.cancelled = false;
            break;
        }
    ReleaseSRWLockExclusive(&table_lock);
    return slot;
}

bool is_cancelled(const Waiter *w) noexcept {
    AcquireSRWLockShared(&table_lock);
    const bool cancelled = w->cancelled;
    ReleaseSRWLockShared(&table_lock);
    return cancelled;
}

// Leaves the table; true when the wait was cancelled.
bool leave_waiter(Waiter *w) noexcept {
    AcquireSRWLockExclusive(&table_lock);
    const bool cancelled = w->cancelled;
    w->in_use = false;
    ReleaseSRWLockExclusive(&table_lock);
    return cancelled;
}

// Marks the waits on `path` cancelled (all of them when `mark`); whether any
// is left.
bool cancel_waiters(const char *path, bool mark) noexcept {
    AcquireSRWLockExclusive(&table_lock);
    bool any = false;
    for (Waiter &w : waiters)
        if (w.in_use && std::strcmp(w.path, path) == 0) {
            if (mark) w.cancelled = true;
            any = any || w.cancelled;
        }
    ReleaseSRWLockExclusive(&table_lock);
    return any;
}

// ---- Live connections -------------------------------------------------------------

struct Connection {
    HANDLE handle;
    bool in_use;
    bool stopped; // stop_reading was called: every read fails
    bool reading; // a read is between its check and the end of its ReadFile
};
constexpr std::size_t max_connections = 256;
Connection connections[max_connections];

Connection *find_connection(HANDLE handle) noexcept {
    for (Connection &c : connections)
        if (c.in_use && c.handle == handle) return &c;
    return nullptr;
}

// A connection outside the table (the table was full) still works; only a
// stop of it reaches nothing but a read already waiting.
void enter_connection(HANDLE handle) noexcept {
    AcquireSRWLockExclusive(&table_lock);
    for (Connection &c : connections)
        if (!c.in_use) {
            c = Connection{handle, true, false, false};
            break;
        }
    ReleaseSRWLockExclusive(&table_lock);
}

void leave_connection(HANDLE handle) noexcept {
    AcquireSRWLockExclusive(&table_lock);
    if (Connection *c = find_connection(handle)) c->in_use = false;
    ReleaseSRWLockExclusive(&table_lock);
}

// Marks a read under way; false when the reading side was stopped.
bool begin_read(HANDLE handle) noexcept {
    AcquireSRWLockExclusive(&table_lock);
    Connection *c = find_connection(handle);
    const bool allowed = c == nullptr || !c->stopped;
    if (c != nullptr && allowed) c->reading = true;
    ReleaseSRWLockExclusive(&table_lock);
    return allowed;
}

void end_read(HANDLE handle) noexcept {
    AcquireSRWLockExclusive(&table_lock);
    if (Connection *c = find_connection(handle)) c->reading = false;
    ReleaseSRWLockExclusive(&table_lock);
}

// ---- Access ------------------------------------------------------------------------

// A security descriptor that lets only the current user reach the pipe, in
// caller-provided storage. False when the user cannot be told.
struct OwnerOnly {
    alignas(8) unsigned char user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    alignas(8) unsigned char acl[sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE];
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes;
};

bool owner_only(OwnerOnly *o) noexcept {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    DWORD size = 0;
    const bool known = GetTokenInformation(token, TokenUser, o->user, sizeof o->user, &size) != 0;
    CloseHandle(token);
    if (!known) return false;
    PSID user = reinterpret_cast<TOKEN_USER *>(o->user)->User.Sid;
    auto *acl = reinterpret_cast<ACL *>(o->acl);
    if (!InitializeAcl(acl, sizeof o->acl, ACL_REVISION) ||
        !AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, user) ||
        !InitializeSecurityDescriptor(&o->descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&o->descriptor, TRUE, acl, FALSE))
        return false;
    o->attributes = SECURITY_ATTRIBUTES{sizeof(SECURITY_ATTRIBUTES), &o->descriptor, FALSE};
    return true;
}

// ---- Pipe names --------------------------------------------------------------------

constexpr char endpoint_prefix[] = "\\\\.\\pipe\\kelvra-";
// The longest pipe name Windows takes, "\\.\pipe\" included.
constexpr std::size_t pipe_name_limit = 256;

struct PipeName {
    char text[stream_path_capacity];
};

// Whether `name` makes a pipe name of its own; `path_length` is its formatted path's.
bool kept_as_is(const char *name, std::size_t path_length) noexcept {
    if (path_length > pipe_name_limit) return false;
    const std::size_t length = std::strlen(name);
    if (length > 0 && (name[length - 1] == '.' || name[length - 1] == ' ')) return false;
    return std::strpbrk(name, "/\\") == nullptr;
}

// The pipe that serves the endpoint at the formatted `path`.
PipeName pipe_of(const char *path) noexcept {
    PipeName pipe;
    const std::size_t length = std::strlen(path);
    const std::size_t prefix_length = sizeof endpoint_prefix - 1;
    if (std::strncmp(path, endpoint_prefix, prefix_length) != 0 || kept_as_is(path + prefix_length, length)) {
        std::memcpy(pipe.text, path, length + 1);
        return pipe;
    }
    const char *name = path + prefix_length;
    char mapped[40];
    mapped_endpoint_name(name, mapped);
    std::snprintf(pipe.text, sizeof pipe.text, "\\\\.\\pipe\\%s", mapped);
    return pipe;
}

// One attempt to open the pipe as a client. The server may identify the
// client but not act as it.
HANDLE open_client(const char *path) noexcept {
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
}

// Drops a server instance that is not handed out.
void drop_instance(HANDLE instance) noexcept {
    DisconnectNamedPipe(instance);
    CloseHandle(instance);
}

} // namespace

bool format_stream_path(const char *name, char (&path)[stream_path_capacity]) noexcept {
    const int n = std::snprintf(path, sizeof path, "\\\\.\\pipe\\kelvra-%s", name);
    return n >= 0 && static_cast<std::size_t>(n) < sizeof path;
}

bool accept_stream(const char *path, std::uintptr_t *pending, StreamHandle *out) noexcept {
    OwnerOnly access;
    if (!owner_only(&access)) return false;
    const PipeName pipe = pipe_of(path);
    const HANDLE instance = CreateNamedPipeA(
        pipe.text, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
        PIPE_UNLIMITED_INSTANCES, pipe_buffer_size, pipe_buffer_size, 0, &access.attributes);
    if (instance == INVALID_HANDLE_VALUE) return false;
    Waiter *waiter = enter_waiter(path);
    if (waiter == nullptr) {
        CloseHandle(instance);
        return false;
    }

    std::atomic_ref<std::uintptr_t> word(*pending);
    word.store(as_stream(instance));
    bool connected = false;
    for (;;) {
        connected = ConnectNamedPipe(instance, nullptr) != 0 || GetLastError() == ERROR_PIPE_CONNECTED;
        // A client that connected and left before the wait began is skipped;
        // the instance waits again.
        if (connected || GetLastError() != ERROR_NO_DATA || is_cancelled(waiter)) break;
        DisconnectNamedPipe(instance);
    }
    const bool cancelled = leave_waiter(waiter);
    word.store(invalid_stream);
    if (!connected || cancelled) {
        drop_instance(instance);
        return false;
    }
    enter_connection(instance);
    *out = as_stream(instance);
    return true;
}

void cancel_accept(const char *path, std::uintptr_t *) noexcept {
    if (!cancel_waiters(path, true)) return;
    const PipeName pipe = pipe_of(path);
    const ULONGLONG deadline = GetTickCount64() + cancel_patience_ms;
    while (cancel_waiters(path, false) && GetTickCount64() < deadline) {
        const HANDLE dummy = open_client(pipe.text);
        if (dummy != INVALID_HANDLE_VALUE) {
            CloseHandle(dummy);
            Sleep(0);
        } else if (GetLastError() == ERROR_PIPE_BUSY) {
            WaitNamedPipeA(pipe.text, 10);
        } else {
            Sleep(1);
        }
    }
}

bool connect_stream(const char *path, StreamHandle *out) noexcept {
    const PipeName name = pipe_of(path);
    HANDLE pipe = open_client(name.text);
    if (pipe == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PIPE_BUSY) {
        // Served, but every instance is taken: wait for one to be offered.
        // Between two accepts a server may briefly have no instance at all;
        // the name is known to be served, so that is waited out too.
        const ULONGLONG deadline = GetTickCount64() + busy_wait_ms;
        for (;;) {
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline) {
                pipe = open_client(name.text); // the one more try
                break;
            }
            if (!WaitNamedPipeA(name.text, static_cast<DWORD>(deadline - now))) {
                // Timed out, or the instances went away while it waited
                // (Windows and Wine report that differently): either way
                // the deadline decides.
                Sleep(1);
                continue;
            }
            pipe = open_client(name.text);
            if (pipe != INVALID_HANDLE_VALUE) break;
            const DWORD error = GetLastError();
            if (error != ERROR_PIPE_BUSY && error != ERROR_FILE_NOT_FOUND) break; // taken by another client
        }
    }
    if (pipe == INVALID_HANDLE_VALUE) return false;
    enter_connection(pipe);
    *out = as_stream(pipe);
    return true;
}

bool read_stream_some(StreamHandle stream, void *buf, std::uint64_t capacity, std::uint64_t *got) noexcept {
    const HANDLE pipe = as_handle(stream);
    const DWORD ask = static_cast<DWORD>(capacity < io_chunk ? capacity : io_chunk);
    for (;;) {
        if (!begin_read(pipe)) return false;
        DWORD n = 0;
        const BOOL read = ReadFile(pipe, buf, ask, &n, nullptr);
        end_read(pipe);
        if (!read) return false; // ERROR_BROKEN_PIPE: the peer closed its end
        // A zero-byte write on the other end arrives as an empty read.
        if (n == 0 && ask > 0) continue;
        *got = n;
        return true;
    }
}

namespace {

bool write_all(HANDLE pipe, const std::uint8_t *data, std::uint64_t length) noexcept {
    while (length > 0) {
        const DWORD request = static_cast<DWORD>(length < io_chunk ? length : io_chunk);
        DWORD wrote = 0;
        if (!WriteFile(pipe, data, request, &wrote, nullptr) || wrote == 0) return false;
        data += wrote;
        length -= wrote;
    }
    return true;
}

} // namespace

// Pipes have no gathered write: a short frame is copied into one buffer so it
// goes out in one write; a long one takes two, the header first.
bool write_stream(StreamHandle stream, const void *head, std::uint64_t head_length, const void *body,
                  std::uint64_t body_length) noexcept {
    const HANDLE pipe = as_handle(stream);
    if (head_length > 0 && body_length > 0 && head_length + body_length <= gather_limit) {
        std::uint8_t joined[gather_limit];
        std::memcpy(joined, head, head_length);
        std::memcpy(joined + head_length, body, body_length);
        return write_all(pipe, joined, head_length + body_length);
    }
    return write_all(pipe, static_cast<const std::uint8_t *>(head), head_length) &&
           write_all(pipe, static_cast<const std::uint8_t *>(body), body_length);
}

void stop_reading(StreamHandle stream) noexcept {
    const HANDLE pipe = as_handle(stream);
    AcquireSRWLockExclusive(&table_lock);
    Connection *c = find_connection(pipe);
    if (c != nullptr) c->stopped = true;
    ReleaseSRWLockExclusive(&table_lock);
    for (;;) {
        CancelIoEx(pipe, nullptr);
        if (c == nullptr) return;
        AcquireSRWLockShared(&table_lock);
        const bool reading = c->in_use && c->handle == pipe && c->reading;
        ReleaseSRWLockShared(&table_lock);
        if (!reading) return;
        Sleep(1);
    }
}

// The handle is closed without DisconnectNamedPipe: disconnecting would
// discard what the peer has not read yet, where closing lets it read the
// rest before it sees the end.
void close_stream(StreamHandle stream) noexcept {
    const HANDLE pipe = as_handle(stream);
    leave_connection(pipe);
    CloseHandle(pipe);
}

} // namespace kelvra::os
