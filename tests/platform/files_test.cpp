#include <gtest/gtest.h>

#include "kelvra.h"
#include "platform/temp_dir.hpp"

#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include "platform/win32/win.hpp"
#include <winioctl.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

using kelvra_test::TempDir;

constexpr uint64_t untouched = 0xA5A5A5A5A5A5A5A5u;

void write_text(const std::string &path, const std::string &text, int32_t append = 0) {
    ASSERT_EQ(kelvra_plat_file_write(path.c_str(), append, text.data(), text.size()), KELVRA_OK);
}

std::string read_text(const std::string &path) {
    std::vector<uint8_t> buf(4096);
    uint64_t len = untouched;
    EXPECT_EQ(kelvra_plat_file_read(path.c_str(), buf.data(), buf.size(), &len), KELVRA_OK);
    return len == untouched ? std::string("<unread>") : std::string(buf.begin(), buf.begin() + len);
}

TEST(PlatformFiles, ReadCapacityBoundaries) {
    TempDir dir;
    const std::string five = dir.path("five"), empty = dir.path("empty");
    write_text(five, "hello");
    write_text(empty, "");
    const struct {
        const std::string &path;
        uint64_t capacity;
        kelvra_status status;
        uint64_t length;
    } cases[] = {{five, 5, KELVRA_OK, 5},         {five, 4, KELVRA_ERR_CAPACITY, untouched},
                 {five, 0, KELVRA_ERR_CAPACITY, untouched}, {empty, 0, KELVRA_OK, 0}, {empty, 8, KELVRA_OK, 0}};
    for (const auto &c : cases) {
        uint8_t buf[8] = {};
        uint64_t len = untouched;
        EXPECT_EQ(kelvra_plat_file_read(c.path.c_str(), buf, c.capacity, &len), c.status) << c.capacity;
        EXPECT_EQ(len, c.length) << c.capacity;
        EXPECT_TRUE(c.length != 5 || std::memcmp(buf, "hello", 5) == 0);
    }
}

TEST(PlatformFiles, WriteReplacesAppendsAndEmpties) {
    TempDir dir;
    const std::string path = dir.path("log");
    write_text(path, "first");
    write_text(path, "+more", 1);
    EXPECT_EQ(read_text(path), "first+more");
    write_text(path, "new");
    EXPECT_EQ(read_text(path), "new");

    EXPECT_EQ(kelvra_plat_file_write(path.c_str(), 1, nullptr, 0), KELVRA_OK);
    EXPECT_EQ(read_text(path), "new") << "appending nothing keeps the file";
    EXPECT_EQ(kelvra_plat_file_write(path.c_str(), 0, nullptr, 0), KELVRA_OK);
    EXPECT_EQ(read_text(path), "") << "writing nothing empties the file";

    const std::string created = dir.path("created");
    EXPECT_EQ(kelvra_plat_file_write(created.c_str(), 1, "x", 1), KELVRA_OK) << "append creates a missing file";
    EXPECT_EQ(read_text(created), "x");

    // Bytes a text mode would change round-trip unchanged.
    const std::string bytes("a\0b\r\n\x1a\n\xff", 8);
    write_text(path, bytes);
    EXPECT_EQ(read_text(path), bytes);
}

// Windows has no device that is always full.
#ifndef _WIN32
TEST(PlatformFiles, WriteReportsAFullDisk) {
    // A small write only sits in the stream's buffer; the failure shows when it is flushed.
    EXPECT_EQ(kelvra_plat_file_write("/dev/full", 0, "abc", 3), KELVRA_ERR_IO);
    EXPECT_EQ(kelvra_plat_file_write("/dev/full", 1, "abc", 3), KELVRA_ERR_IO);
    const std::vector<char> large(1 << 20, 'z');
    EXPECT_EQ(kelvra_plat_file_write("/dev/full", 0, large.data(), large.size()), KELVRA_ERR_IO);
}
#endif

// Missing paths and directories (not files, on any platform) are refused by
// every operation, and a failing read is not taken for the end of a file.
TEST(PlatformFiles, UnopenableAndUnreadablePaths) {
    TempDir dir;
    uint8_t buf[16];
    uint64_t value = untouched;
    for (const std::string &path : {dir.path("missing"), dir.path()}) {
        EXPECT_EQ(kelvra_plat_file_read(path.c_str(), buf, sizeof buf, &value), KELVRA_ERR_IO) << path;
        EXPECT_EQ(kelvra_plat_file_read_region(path.c_str(), 0, buf, 0), KELVRA_ERR_IO) << path;
        EXPECT_EQ(kelvra_plat_file_size(path.c_str(), &value), KELVRA_ERR_IO) << path;
    }
    EXPECT_EQ(kelvra_plat_file_write(dir.path("nodir/file").c_str(), 0, "x", 1), KELVRA_ERR_IO);
    EXPECT_EQ(kelvra_plat_file_write(dir.path().c_str(), 1, "x", 1), KELVRA_ERR_IO);
    const kelvra_test::FailingFile failing;
    ASSERT_TRUE(kelvra_test::reads_fail(failing.path()));
    EXPECT_EQ(kelvra_plat_file_read(failing.path(), buf, sizeof buf, &value), KELVRA_ERR_IO);
    EXPECT_EQ(value, untouched);
}

TEST(PlatformFiles, RegionReads) {
    TempDir dir;
    const std::string path = dir.path("digits");
    write_text(path, "0123456789");
    // A short read keeps what it read; seeking past the end works, beyond any
    // file position it does not.
    const struct {
        uint64_t offset, count;
        kelvra_status status;
        std::string read;
    } cases[] = {{3, 4, KELVRA_OK, "3456"}, {6, 4, KELVRA_OK, "6789"},   {8, 3, KELVRA_ERR_IO, "89"},
                 {10, 1, KELVRA_ERR_IO, ""}, {10, 0, KELVRA_OK, ""},      {1000, 0, KELVRA_OK, ""},
                 {uint64_t{1} << 63, 0, KELVRA_ERR_IO, ""}, {~uint64_t{0}, 0, KELVRA_ERR_IO, ""}};
    for (const auto &c : cases) {
        char buf[16] = {};
        EXPECT_EQ(kelvra_plat_file_read_region(path.c_str(), c.offset, buf, c.count), c.status) << c.offset;
        EXPECT_EQ(std::string(buf), c.read) << c.offset;
    }
    uint64_t size = 0;
    EXPECT_EQ(kelvra_plat_file_size(path.c_str(), &size), KELVRA_OK);
    EXPECT_EQ(size, 10u);
}

// A sparse file of `size` bytes (a few KiB on disk) that ends in "tail!".
bool make_sparse(const std::string &path, uint64_t size) {
#ifdef _WIN32
    // NTFS allocates every byte of a file not marked sparse.
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD ignored = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(size - 5);
    at.OffsetHigh = static_cast<DWORD>((size - 5) >> 32);
    DWORD wrote = 0;
    const bool made = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file) &&
                      WriteFile(file, "tail!", 5, &wrote, &at) && wrote == 5;
    CloseHandle(file);
    return made;
#else
    const int fd = open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    if (fd < 0) return false;
    const bool made = ftruncate(fd, static_cast<off_t>(size)) == 0 &&
                      pwrite(fd, "tail!", 5, static_cast<off_t>(size - 5)) == 5;
    close(fd);
    return made;
#endif
}

// Past 4 GiB a size or position kept in 32 bits (signed or not) would point
// near the start.
TEST(PlatformFiles, FilesPastFourGiB) {
    TempDir dir;
    const std::string path = dir.path("sparse");
    const uint64_t size = (uint64_t{1} << 32) + 3;
    ASSERT_TRUE(make_sparse(path, size));
    uint64_t got = 0;
    ASSERT_EQ(kelvra_plat_file_size(path.c_str(), &got), KELVRA_OK);
    EXPECT_EQ(got, size);
    char buf[8] = {};
    ASSERT_EQ(kelvra_plat_file_read_region(path.c_str(), size - 5, buf, 5), KELVRA_OK);
    EXPECT_EQ(std::string(buf, 5), "tail!");
    EXPECT_EQ(kelvra_plat_file_read_region(path.c_str(), size - 4, buf, 5), KELVRA_ERR_IO);
}

} // namespace
