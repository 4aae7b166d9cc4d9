// A fresh directory under /tmp for one test, removed with everything in it
// when the test ends; and a file whose reads fail.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <ftw.h>
#include <unistd.h>

namespace kelvra_test {

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/kelvra-test-XXXXXX";
        const char *made = mkdtemp(pattern);
        EXPECT_NE(made, nullptr);
        if (made != nullptr) root_ = made;
    }
    ~TempDir() {
        if (!root_.empty()) nftw(root_.c_str(), remove_one, 16, FTW_DEPTH | FTW_PHYS);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return root_; }
    std::string path(const std::string &name) const { return root_ + "/" + name; }

private:
    static int remove_one(const char *path, const struct stat *, int, struct FTW *) { return remove(path); }
    std::string root_;
};

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

} // namespace kelvra_test
