#include "io.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "cli.hpp"

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

kelvra_status Input::open(const char *path) {
    map_.reset();
    bytes_.clear();
    if (std::strcmp(path, "-") != 0) {
        auto map = std::make_unique<MappedFile>(path);
        if (map->data() != nullptr) {
            map_ = std::move(map);
            return KELVRA_OK;
        }
    }
    return read_input(path, bytes_);
}

std::string path_problem(const char *path) {
    if (std::strcmp(path, "-") == 0) return std::ferror(stdin) ? "standard input cannot be read" : "";
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error) return error.message();
    if (fs::is_directory(status)) return std::make_error_code(std::errc::is_a_directory).message();
    errno = 0;
    std::FILE *f = std::fopen(path, "rb");
    if (f == nullptr) return errno != 0 ? std::strerror(errno) : "cannot be opened";
    std::fclose(f);
    return "";
}

int input_failed(const char *name, const char *path, kelvra_status s) {
    const std::string why = path_problem(path);
    const char *shown = std::strcmp(path, "-") == 0 ? "standard input" : path;
    return error(name, exit_code_for(s), "cannot read %s: %s; status %u (%s)", shown,
                 why.empty() ? "read failed" : why.c_str(), s, status_name(s));
}

bool write_out(const void *data, size_t length) {
    return length == 0 || std::fwrite(data, 1, length, stdout) == length;
}

bool close_output(const char *name, const char *path, std::FILE *file) {
    int saved = std::ferror(file) ? (errno != 0 ? errno : EIO) : 0;
    if (file == stdout) {
        if (std::fflush(file) != 0 && saved == 0) saved = errno != 0 ? errno : EIO;
    } else if (std::fclose(file) != 0 && saved == 0) {
        saved = errno != 0 ? errno : EIO;
    }
    if (saved == 0) return true;
    error(name, exit_io, "cannot write %s: %s", path, std::strerror(saved));
    return false;
}

bool write_file(const char *name, const char *path, const void *data, uint64_t length) {
    const bool to_stdout = std::strcmp(path, "-") == 0;
    errno = 0;
    std::FILE *f = to_stdout ? stdout : std::fopen(path, "wb");
    if (f == nullptr) {
        error(name, exit_io, "cannot write %s: %s", path, std::strerror(errno));
        return false;
    }
    errno = 0;
    if (length != 0 && std::fwrite(data, 1, length, f) != length && errno == 0) errno = EIO;
    return close_output(name, to_stdout ? "standard output" : path, f);
}

int finish_output(int exit_code) {
    errno = 0;
    const bool flush_failed = std::fflush(stdout) != 0; // retried after an earlier failure, to learn errno
    const int flush_errno = errno;
    const bool failed = std::ferror(stdout) != 0 || flush_failed;
    errno = 0;
    const bool close_failed = std::fclose(stdout) != 0;
    if (!failed && !close_failed) return exit_code;
    const int e = flush_errno != 0 ? flush_errno : errno;
    std::fprintf(stderr, "kelvra: error writing standard output: %s\n", e != 0 ? std::strerror(e) : "a write failed");
    return exit_code == exit_ok ? exit_io : exit_code;
}

} // namespace kelvra::cli
