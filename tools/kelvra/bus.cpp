// kelvra bus serve|send|bench: the message bus from the shell, and the bus
// section of kelvra demo.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "cli.hpp"
#include "io.hpp"
#include "system.hpp"

namespace kelvra::cli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint64_t kReplyCapacity = uint64_t{1} << 20;

enum class Reply { echo, upper, sha256 };

// A connection's traffic, counted by the handler through its user pointer.
struct Served {
    Reply reply = Reply::echo;
    uint64_t requests = 0, bytes_in = 0, bytes_out = 0;
};

kelvra_status answer(const uint8_t *request, uint32_t length, uint8_t *reply, uint64_t *reply_len, void *user) {
    auto *served = static_cast<Served *>(user);
    uint64_t out = length;
    if (served->reply == Reply::sha256) {
        char hex[65];
        if (const kelvra_status s = kelvra_sha256_hex(request, length, hex)) return s;
        out = 64;
        if (out > *reply_len) return KELVRA_ERR_CAPACITY;
        std::memcpy(reply, hex, 64);
    } else {
        if (out > *reply_len) return KELVRA_ERR_CAPACITY;
        for (uint32_t i = 0; i < length; ++i) {
            const uint8_t c = request[i];
            reply[i] = served->reply == Reply::upper && c >= 'a' && c <= 'z' ? static_cast<uint8_t>(c - 32) : c;
        }
    }
    *reply_len = out;
    ++served->requests;
    served->bytes_in += length;
    served->bytes_out += out;
    return KELVRA_OK;
}

// An in-process server that answers one client on its own thread. The
// endpoint only takes connections once that thread has begun its accept, so
// `connect` retries for a while.
class ThreadServer {
public:
    ~ThreadServer() { finish(); }

    kelvra_status start(const char *name, Reply reply) {
        served_.reply = reply;
        name_ = name;
        if (const kelvra_status s = kelvra_bus_serve(name, answer, &served_, &server_)) return s;
        thread_ = std::thread([this, server = server_] {
            status_.store(kelvra_bus_server_accept_one(server));
            left_.store(true);
        });
        return KELVRA_OK;
    }

    // Connects, retrying while the thread is still getting ready (up to 2 s).
    kelvra_status connect(const char *name, kelvra_bus_client **client) {
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(2);
        for (;;) {
            const kelvra_status s = kelvra_bus_connect(name, client);
            connected_ = s == KELVRA_OK;
            if (s != KELVRA_ERR_IO) return s;
            if (left_.load()) return status_.load() != KELVRA_OK ? status_.load() : s;
            if (Clock::now() >= deadline) return s;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    // After the client has closed, the thread leaves accept_one; it is
    // joined, then the server stopped. When no client ever came, a client
    // connecting and leaving at once ends the waiting accept first.
    void finish() {
        if (server_ == nullptr) return;
        if (thread_.joinable()) {
            while (!connected_ && !left_.load()) {
                kelvra_bus_client *wake = nullptr;
                if (kelvra_bus_connect(name_, &wake) == KELVRA_OK) kelvra_bus_client_close(wake);
                else std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            thread_.join();
        }
        kelvra_bus_server_stop(server_);
        server_ = nullptr;
    }

private:
    Served served_;
    kelvra_bus_server *server_ = nullptr;
    const char *name_ = nullptr;
    std::thread thread_;
    bool connected_ = false;
    std::atomic<bool> left_{false};
    std::atomic<kelvra_status> status_{KELVRA_OK};
};

// ---- serve ----------------------------------------------------------------

// Waits for an interrupt (SIGINT or SIGTERM, captured before any thread
// starts), raises `quit` and wakes the main thread's accept by connecting,
// until the main thread says it is done.
struct Interrupt {
    const char *name;
    std::atomic<bool> quit{false}, done{false};

    void watch() {
        interrupt_wait(-1);
        quit.store(true);
        // A connected client keeps the main thread serving until it leaves;
        // a second interrupt ends the process at once.
        while (!done.load()) {
            kelvra_bus_client *client = nullptr;
            if (kelvra_bus_connect(name, &client) == KELVRA_OK) kelvra_bus_client_close(client);
            if (!done.load() && interrupt_wait(10)) {
                std::fprintf(stderr, "kelvra bus: stopped while a client was still connected\n");
                std::_Exit(130);
            }
        }
    }
};

int run_serve(const Command &self, Args all) {
    Served served;
    const char *name = nullptr;
    bool options = true;
    for (size_t i = 0; i < all.size(); ++i) {
        const std::string_view flag = all[i];
        if (options && flag == "--") options = false;
        else if (options && flag == "--echo") served.reply = Reply::echo;
        else if (options && flag == "--upper") served.reply = Reply::upper;
        else if (options && flag == "--sha256") served.reply = Reply::sha256;
        else if (options && flag.size() > 1 && flag[0] == '-') {
            const std::string problem = "unknown option '" + std::string(flag) + "'";
            return usage_error(self, problem.c_str());
        } else if (name == nullptr) name = all[i];
        else return usage_error(self, "one endpoint name only");
    }
    if (name == nullptr) return usage_error(self, "no endpoint name given");
    char *const name_arg[] = {const_cast<char *>(name)};
    const Args args(name_arg, 1);
    static const char *const reply_names[] = {"echo", "upper", "sha256"};

    Interrupt interrupt;
    interrupt.name = args[0];
    if (const char *problem = nullptr; !interrupts_capture(&problem)) {
        std::fprintf(stderr, "kelvra bus serve: cannot capture interrupts: %s\n", problem);
        return 1;
    }
    kelvra_bus_server *server = nullptr;
    if (const kelvra_status s = kelvra_bus_serve(args[0], answer, &served, &server)) {
        error("bus serve", exit_code_for(s), "cannot serve endpoint '%s' (is another server using it?)", args[0]);
        return fail("kelvra_bus_serve", s);
    }
    std::thread watcher([&interrupt] { interrupt.watch(); });
    std::fprintf(stderr, "kelvra bus: serving '%s' (%s); interrupt to stop\n", args[0],
                 reply_names[static_cast<int>(served.reply)]);

    kelvra_status failed = KELVRA_OK;
    for (uint64_t number = 1; !interrupt.quit.load(); ++number) {
        served.requests = served.bytes_in = served.bytes_out = 0;
        const kelvra_status s = kelvra_bus_server_accept_one(server);
        if (interrupt.quit.load() && served.requests == 0) break; // the wake-up
        if (s != KELVRA_OK) {
            failed = s;
            break;
        }
        std::printf("connection %llu: %llu request%s, %llu bytes in, %llu bytes out\n",
                    static_cast<unsigned long long>(number), static_cast<unsigned long long>(served.requests),
                    served.requests == 1 ? "" : "s", static_cast<unsigned long long>(served.bytes_in),
                    static_cast<unsigned long long>(served.bytes_out));
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) break; // the log cannot be written: stop serving
    }
    interrupt.done.store(true);
    if (!interrupt.quit.load()) interrupt_cancel(watcher); // end its wait
    watcher.join();
    kelvra_bus_server_stop(server);
    return failed != KELVRA_OK ? fail("kelvra_bus_server_accept_one", failed) : 0;
}

// ---- send -----------------------------------------------------------------

int run_send(const Command &self, Args all) {
    const std::vector<char *> operand_list = operands(all);
    const Args args(operand_list.data(), operand_list.size());
    if (args.empty() || args.size() > 2)
        return usage_error(self, args.empty() ? "no endpoint name given" : "an endpoint name and at most one request");
    std::vector<uint8_t> request;
    if (args.size() == 1 || std::strcmp(args[1], "-") == 0) {
        if (const kelvra_status s = read_input("-", request)) return fail("reading standard input", s);
    } else {
        request.assign(args[1], args[1] + std::strlen(args[1]));
    }
    kelvra_bus_client *client = nullptr;
    if (const kelvra_status s = kelvra_bus_connect(args[0], &client)) {
        if (s == KELVRA_ERR_IO) error("bus send", exit_io, "nobody serves endpoint '%s'", args[0]);
        return fail("kelvra_bus_connect", s);
    }
    std::unique_ptr<uint8_t[]> reply(new uint8_t[kReplyCapacity]);
    uint64_t length = kReplyCapacity;
    static const uint8_t nothing = 0;
    const kelvra_status s =
        kelvra_bus_send_recv(client, request.empty() ? &nothing : request.data(), request.size(), reply.get(), &length);
    kelvra_bus_client_close(client);
    if (s != KELVRA_OK) return fail("kelvra_bus_send_recv", s);
    write_out(reply.get(), length);
    return 0;
}

// ---- bench ----------------------------------------------------------------

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

kelvra_status round_trips(kelvra_bus_client *client, const std::vector<uint8_t> &payload, uint8_t *reply,
                          uint64_t count) {
    for (uint64_t i = 0; i < count; ++i) {
        uint64_t length = kReplyCapacity;
        if (const kelvra_status s = kelvra_bus_send_recv(client, payload.data(), payload.size(), reply, &length))
            return s;
    }
    return KELVRA_OK;
}

int run_bench(const Command &self, Args all) {
    const std::vector<char *> operand_list = operands(all);
    const Args args(operand_list.data(), operand_list.size());
    if (args.size() != 1) return usage_error(self, args.empty() ? "no endpoint name given" : "one endpoint name only");
    const char *name = args[0];
    ThreadServer own;
    kelvra_bus_client *client = nullptr;
    kelvra_status s = kelvra_bus_connect(name, &client);
    if (s == KELVRA_ERR_IO) {
        if ((s = own.start(name, Reply::echo)) != KELVRA_OK) return fail("kelvra_bus_serve", s);
        s = own.connect(name, &client);
        std::printf("server: an echo server on a thread of this process\n");
    } else if (s == KELVRA_OK) {
        std::printf("server: the one serving '%s'\n", name);
    }
    if (s != KELVRA_OK) return fail("kelvra_bus_connect", s);

    std::unique_ptr<uint8_t[]> reply(new uint8_t[kReplyCapacity]);
    std::printf("%10s %12s %17s %10s\n", "bytes", "round trips", "µs/round trip", "MB/s");
    for (const uint64_t size : {uint64_t{64}, uint64_t{4096}, uint64_t{1} << 20}) {
        std::vector<uint8_t> payload(size);
        for (uint64_t i = 0; i < size; ++i) payload[i] = static_cast<uint8_t>('a' + i % 26);
        // Warm up and calibrate: double the batch until it takes 50 ms.
        uint64_t batch = 1;
        double took = 0;
        for (;;) {
            const Clock::time_point start = Clock::now();
            if ((s = round_trips(client, payload, reply.get(), batch)) != KELVRA_OK) break;
            took = seconds_since(start);
            if (took >= 0.05) break;
            batch *= 2;
        }
        if (s != KELVRA_OK) break;
        const uint64_t count = std::max<uint64_t>(1, static_cast<uint64_t>(static_cast<double>(batch) * 0.5 / took));
        const Clock::time_point start = Clock::now();
        if ((s = round_trips(client, payload, reply.get(), count)) != KELVRA_OK) break;
        const double elapsed = seconds_since(start);
        std::printf("%10llu %12llu %15.2f %10.1f\n", static_cast<unsigned long long>(size),
                    static_cast<unsigned long long>(count), elapsed * 1e6 / static_cast<double>(count),
                    2.0 * static_cast<double>(size) * static_cast<double>(count) / elapsed / 1e6);
        std::fflush(stdout);
    }
    kelvra_bus_client_close(client);
    own.finish();
    if (s != KELVRA_OK) return fail("kelvra_bus_send_recv", s);
    std::printf("MB/s counts the request and the reply.\n");
    return 0;
}

int run_bus(Args args);

const Usage bus_actions[] = {
    {"serve", "NAME [--echo|--upper|--sha256]",
     "answer requests on endpoint NAME until interrupted (SIGINT or SIGTERM), printing one\n"
     "line per connection: requests, bytes in and out. --echo (the default) returns each\n"
     "request, --upper it in capitals, --sha256 its digest in hex"},
    {"send", "NAME [DATA|-]", "send one request (DATA, or standard input) and print the reply as it is"},
    {"bench", "NAME",
     "time round trips of 64 B, 4 KiB and 1 MiB against the server on NAME, or an echo\n"
     "server on a thread of this process when nobody serves it"},
};
void help_bus(const Command &self, Args before) { print_usage_table(self, bus_actions, before); }

} // namespace

const Command bus_command = {"bus", "serve|send|bench NAME ...", "serve, call or time a message-bus endpoint", run_bus,
                             help_bus};

namespace {

int run_bus(Args args) {
    static const Command serve = {"bus serve", bus_actions[0].usage, "", nullptr};
    static const Command send = {"bus send", bus_actions[1].usage, "", nullptr};
    static const Command bench = {"bus bench", bus_actions[2].usage, "", nullptr};
    if (args.empty()) return usage_error(bus_command, "no action given (serve, send or bench)");
    const std::string_view action = args[0];
    if (action == "serve") return run_serve(serve, args.subspan(1));
    if (action == "send") return run_send(send, args.subspan(1));
    if (action == "bench") return run_bench(bench, args.subspan(1));
    const std::string problem = "unknown action '" + std::string(action) + "' (serve, send or bench)";
    return usage_error(bus_command, problem.c_str());
}

} // namespace

// The demo: two threads of this process talk over an endpoint.
int demo_bus(int section_number) {
    std::printf("\n%d. A message bus between two threads\n", section_number);
    char name[64];
    std::snprintf(name, sizeof name, "demo-%ld", process_id());
    ThreadServer server;
    if (const kelvra_status s = server.start(name, Reply::upper)) return fail("kelvra_bus_serve", s);
    kelvra_bus_client *client = nullptr;
    if (const kelvra_status s = server.connect(name, &client)) return fail("kelvra_bus_connect", s);
    kelvra_status s = KELVRA_OK;
    for (const char *request : {"hello, bus", "kelvra 0.8"}) {
        uint8_t reply[64];
        uint64_t length = sizeof reply;
        s = kelvra_bus_send_recv(client, reinterpret_cast<const uint8_t *>(request), std::strlen(request), reply,
                                 &length);
        if (s != KELVRA_OK) break;
        std::printf("   \"%s\" -> \"%.*s\"\n", request, static_cast<int>(length), reinterpret_cast<char *>(reply));
    }
    kelvra_bus_client_close(client);
    server.finish();
    if (s != KELVRA_OK) return fail("kelvra_bus_send_recv", s);
    std::printf("   client closed, server thread joined, server stopped\n");
    return 0;
}

} // namespace kelvra::cli
