#include "io.hpp"

#include <cstdio>
#include <cstring>

namespace kelvra::cli {

namespace {

kelvra_status read_stdin(std::vector<uint8_t> &bytes) {
    bytes.clear();
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, stdin)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    return std::ferror(stdin) ? KELVRA_ERR_IO : KELVRA_OK;
}

} // namespace

kelvra_status read_input(const char *path, std::vector<uint8_t> &bytes) {
    if (std::strcmp(path, "-") == 0) return read_stdin(bytes);
    uint64_t size = 0;
    if (const kelvra_status s = kelvra_plat_file_size(path, &size)) return s;
    bytes.resize(size);
    uint64_t got = 0;
    if (const kelvra_status s = kelvra_plat_file_read(path, bytes.data(), size, &got)) return s;
    bytes.resize(got);
    return KELVRA_OK;
}

} // namespace kelvra::cli
