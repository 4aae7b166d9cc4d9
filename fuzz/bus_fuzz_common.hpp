// Shared by the two bus fuzz targets: endpoint names private to the process,
// the frame header, and connecting with a short retry. A client that arrives
// before its server's first accept finds no endpoint (status 3 at once), so
// connects retry on 3 for a few seconds before giving up; anything else is a
// failure at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>

#include <unistd.h>

#include "kelvra.h"

namespace bus_fuzz {

inline std::string endpoint(const char *role) {
    return std::string("fuzz-bus-") + role + "-" + std::to_string(getpid());
}

inline uint32_t be32(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           p[3];
}

// Calls connect() until it returns something other than 3, for up to 5 s; aborts unless it ends with 0.
template <typename Connect>
void connect_retrying(Connect connect) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        const kelvra_status status = connect();
        if (status == KELVRA_OK) return;
        if (status != 3 || std::chrono::steady_clock::now() > deadline) std::abort();
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
}

// Withdraws the endpoint `name` (removes its file) when the process exits normally. Best effort: the
// server thread, woken from its accept, may bind it again before the process ends.
inline void withdraw_at_exit(const std::string &name) {
    static std::string withdrawn;
    withdrawn = name;
    std::atexit([] {
        kelvra_plat_server server{};
        if (kelvra_plat_stream_listen(withdrawn.c_str(), &server) == KELVRA_OK)
            kelvra_plat_stream_server_close(&server);
    });
}

} // namespace bus_fuzz
