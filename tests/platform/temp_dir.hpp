// A fresh directory under the system's temporary folder for one test,
// removed with everything in it when the test ends; and a file whose reads fail.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#ifdef _WIN32
#include "platform/win32/win.hpp"
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

// True when `path` opens through the C runtime but its first byte cannot be
// read: an error, not the end of the data.
inline bool reads_fail(const char *path) {
    std::FILE *file = std::fopen(path, "rb");
    if (file == nullptr) return false;
    char probe;
    const bool fails = std::fread(&probe, 1, 1, file) == 0 && std::ferror(file) != 0;
    std::fclose(file);
    return fails;
}

// A file that opens fine but whose reads fail, for as long as this object lives.
#ifdef _WIN32
// Its bytes are locked exclusively through a handle of its own, so every
// other handle's read of them fails with ERROR_LOCK_VIOLATION. Wine does not
// hold reads to byte-range locks; there the Unix /proc/self/mem, reached
// through drive Z:, stands in as it does on Linux.
class FailingFile {
public:
    FailingFile() : path_(dir_.path("locked")) {
        lock_ = CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(lock_, INVALID_HANDLE_VALUE) << GetLastError();
        if (lock_ == INVALID_HANDLE_VALUE) return;
        DWORD wrote = 0;
        EXPECT_TRUE(WriteFile(lock_, "locked bytes\n", 13, &wrote, nullptr) && wrote == 13);
        OVERLAPPED from_start{};
        EXPECT_TRUE(LockFileEx(lock_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                               &from_start))
            << GetLastError();
        if (!reads_fail(path_.c_str()) && GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version"))
            path_ = "Z:/proc/self/mem";
    }
    ~FailingFile() {
        if (lock_ == INVALID_HANDLE_VALUE) return;
        OVERLAPPED from_start{};
        UnlockFileEx(lock_, 0, MAXDWORD, MAXDWORD, &from_start);
        CloseHandle(lock_);
    }
    FailingFile(const FailingFile &) = delete;
    FailingFile &operator=(const FailingFile &) = delete;

    const char *path() const { return path_.c_str(); }

private:
    TempDir dir_;
    std::string path_;
    HANDLE lock_ = INVALID_HANDLE_VALUE;
};
#else
// The process's own memory: the first page is unmapped, so reads fail with EIO.
class FailingFile {
public:
    const char *path() const { return "/proc/self/mem"; }
};
#endif

} // namespace kelvra_test
