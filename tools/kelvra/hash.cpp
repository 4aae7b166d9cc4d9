// kelvra sha256 FILE...: digests in sha256sum's format.
#include <cstdio>
#include <vector>

#include "cli.hpp"
#include "io.hpp"

namespace kelvra::cli {

namespace {

int run_sha256(Args args) {
    static char dash[] = "-";
    static char *const standard_input[] = {dash};
    if (args.empty()) args = Args(standard_input, 1);
    int exit_code = 0;
    std::vector<uint8_t> bytes;
    for (const char *path : args) {
        char digest[65];
        kelvra_status s = read_input(path, bytes);
        if (s == KELVRA_OK) s = kelvra_sha256_hex(bytes.data(), bytes.size(), digest);
        if (s != KELVRA_OK) {
            std::fprintf(stderr, "kelvra sha256: %s: status %u (%s)\n", path, s, status_name(s));
            exit_code = 1;
            continue;
        }
        std::printf("%s  %s\n", digest, path);
    }
    return exit_code;
}

} // namespace

const Command hash_commands[1] = {
    {"sha256", "[FILE...]", "SHA-256 digests in sha256sum's format ('-' or nothing: standard input)", run_sha256},
};

} // namespace kelvra::cli
