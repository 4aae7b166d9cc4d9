// A fresh directory under the system's temporary folder for one test,
// removed with everything in it when the test ends; and a file whose reads fail.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kelvra_test {

class TempDir {
public:
    TempDir() {
        namespace fs = std::filesystem;
        std::error_code error;
        const fs::path base = fs::temp_directory_path(error);
        EXPECT_FALSE(error) << error.message();
        std::random_device seed;
        std::mt19937_64 random((uint64_t{seed()} << 32) ^ seed());
        for (int attempt = 0; attempt < 100 && root_.empty(); ++attempt) {
            const fs::path candidate = base / ("kelvra-test-" + std::to_string(random() % 1000000000000ull));
            if (fs::create_directory(candidate, error)) root_ = candidate.generic_string();
        }
        EXPECT_FALSE(root_.empty()) << "no temporary directory under " << base;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!root_.empty()) std::filesystem::remove_all(root_, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return root_; }
    std::string path(const std::string &name) const { return root_ + "/" + name; }

private:
    std::string root_;
};

#ifndef _WIN32
// Opens fine, but reading it fails with EIO: the first page of the process's
// own memory is unmapped.
inline constexpr const char *failing_file = "/proc/self/mem";

inline bool reads_fail(const char *path) {
    const int fd = open(path, O_RDONLY);
    if (fd < 0) return false;
    char probe;
    const bool fails = pread(fd, &probe, 1, 0) < 0;
    close(fd);
    return fails;
}
#endif

} // namespace kelvra_test
