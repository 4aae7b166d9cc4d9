#include <gtest/gtest.h>

#include "kelvra.h"
#include "platform/temp_dir.hpp"

#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A sparse file of `size` bytes with `marker` written at `marker_at`; costs a
// few KiB of disk however large it claims to be.
void make_sparse(const std::string &path, uint64_t size, uint64_t marker_at, const std::string &marker) {
    const int fd = open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
    ASSERT_EQ(pwrite(fd, marker.data(), marker.size(), static_cast<off_t>(marker_at)),
              static_cast<ssize_t>(marker.size()));
    close(fd);
}

TEST(PlatformFiles, ReadCapacityBoundaries) {
    TempDir dir;
    const std::string path = dir.path("five"), empty = dir.path("empty");
    write_text(path, "hello");
    write_text(empty, "");

    uint8_t buf[8] = {};
    uint64_t len = untouched;
    EXPECT_EQ(kelvra_plat_file_read(path.c_str(), buf, 5, &len), KELVRA_OK);
    EXPECT_EQ(len, 5u);
    EXPECT_EQ(std::memcmp(buf, "hello", 5), 0);

    len = untouched;
    EXPECT_EQ(kelvra_plat_file_read(path.c_str(), buf, 4, &len), KELVRA_ERR_CAPACITY);
    EXPECT_EQ(kelvra_plat_file_read(path.c_str(), buf, 0, &len), KELVRA_ERR_CAPACITY);
    EXPECT_EQ(len, untouched) << "the length is written only on success";

    EXPECT_EQ(kelvra_plat_file_read(empty.c_str(), buf, 0, &len), KELVRA_OK);
    EXPECT_EQ(len, 0u);
    len = untouched;
    EXPECT_EQ(kelvra_plat_file_read(empty.c_str(), buf, sizeof buf, &len), KELVRA_OK);
    EXPECT_EQ(len, 0u);
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

    // Binary bytes round-trip unchanged, NULs and line feeds included.
    std::string bytes;
    for (int i = 0; i < 100000; ++i) bytes.push_back(static_cast<char>(i * 7 + (i >> 8)));
    write_text(path, bytes);
    std::vector<uint8_t> back(bytes.size());
    uint64_t len = 0;
    ASSERT_EQ(kelvra_plat_file_read(path.c_str(), back.data(), back.size(), &len), KELVRA_OK);
    EXPECT_EQ(std::string(back.begin(), back.end()), bytes);
}

TEST(PlatformFiles, WriteReportsAFullDisk) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full here";
    // A small write only sits in the stream's buffer; the failure shows when it is flushed.
    EXPECT_EQ(kelvra_plat_file_write("/dev/full", 0, "abc", 3), KELVRA_ERR_IO);
    EXPECT_EQ(kelvra_plat_file_write("/dev/full", 1, "abc", 3), KELVRA_ERR_IO);
    const std::vector<char> large(1 << 20, 'z');
    EXPECT_EQ(kelvra_plat_file_write("/dev/full", 0, large.data(), large.size()), KELVRA_ERR_IO);
}

TEST(PlatformFiles, UnopenableAndNonFilePaths) {
    TempDir dir;
    const std::string missing = dir.path("missing"), inside_missing = dir.path("nodir/file");
    uint8_t buf[4];
    uint64_t value = untouched;
    EXPECT_EQ(kelvra_plat_file_read(missing.c_str(), buf, sizeof buf, &value), KELVRA_ERR_IO);
    EXPECT_EQ(kelvra_plat_file_read_region(missing.c_str(), 0, buf, 0), KELVRA_ERR_IO);
    EXPECT_EQ(kelvra_plat_file_size(missing.c_str(), &value), KELVRA_ERR_IO);
    EXPECT_EQ(kelvra_plat_file_write(inside_missing.c_str(), 0, "x", 1), KELVRA_ERR_IO);
    EXPECT_EQ(value, untouched);

    // A directory is not a file, on any platform: every file operation refuses it.
    const char *directory = dir.path().c_str();
    EXPECT_EQ(kelvra_plat_file_read(directory, buf, sizeof buf, &value), KELVRA_ERR_IO);
    EXPECT_EQ(kelvra_plat_file_read_region(directory, 0, buf, 0), KELVRA_ERR_IO);
    EXPECT_EQ(kelvra_plat_file_size(directory, &value), KELVRA_ERR_IO);
    EXPECT_EQ(kelvra_plat_file_write(directory, 1, "x", 1), KELVRA_ERR_IO);
    EXPECT_EQ(value, untouched);
}

TEST(PlatformFiles, ReadErrorIsNotEndOfFile) {
    if (!kelvra_test::reads_fail(kelvra_test::failing_file)) GTEST_SKIP() << "no file that fails to read here";
    uint8_t buf[16];
    uint64_t len = untouched;
    EXPECT_EQ(kelvra_plat_file_read(kelvra_test::failing_file, buf, sizeof buf, &len), KELVRA_ERR_IO);
    EXPECT_EQ(len, untouched);
}

TEST(PlatformFiles, RegionReads) {
    TempDir dir;
    const std::string path = dir.path("digits");
    write_text(path, "0123456789");
    char buf[16] = {};
    EXPECT_EQ(kelvra_plat_file_read_region(path.c_str(), 3, buf, 4), KELVRA_OK);
    EXPECT_EQ(std::string(buf, 4), "3456");
    EXPECT_EQ(kelvra_plat_file_read_region(path.c_str(), 6, buf, 4), KELVRA_OK);
    EXPECT_EQ(std::string(buf, 4), "6789");

    std::memset(buf, 0, sizeof buf);
    EXPECT_EQ(kelvra_plat_file_read_region(path.c_str(), 8, buf, 3), KELVRA_ERR_IO) << "one byte past the end";
    EXPECT_EQ(std::string(buf, 2), "89") << "the buffer holds what was read";
    EXPECT_EQ(kelvra_plat_file_read_region(path.c_str(), 10, buf, 1), KELVRA_ERR_IO);

    EXPECT_EQ(kelvra_plat_file_read_region(path.c_str(), 10, buf, 0), KELVRA_OK);
    EXPECT_EQ(kelvra_plat_file_read_region(path.c_str(), 1000, buf, 0), KELVRA_OK) << "seeking past the end works";
    EXPECT_EQ(kelvra_plat_file_read_region(path.c_str(), uint64_t{1} << 63, buf, 0), KELVRA_ERR_IO)
        << "an offset beyond any file position cannot be sought";
    EXPECT_EQ(kelvra_plat_file_read_region(path.c_str(), ~uint64_t{0}, buf, 0), KELVRA_ERR_IO);

    uint64_t size = 0;
    EXPECT_EQ(kelvra_plat_file_size(path.c_str(), &size), KELVRA_OK);
    EXPECT_EQ(size, 10u);
}

TEST(PlatformFiles, FilesPastTwoAndFourGiB) {
    TempDir dir;
    const std::string path = dir.path("sparse");
    const uint64_t three_gib = uint64_t{3} << 30;
    make_sparse(path, three_gib, three_gib - 16, "end-marker-16byt");
    uint64_t size = 0;
    ASSERT_EQ(kelvra_plat_file_size(path.c_str(), &size), KELVRA_OK);
    EXPECT_EQ(size, three_gib);

    char buf[16] = {};
    ASSERT_EQ(kelvra_plat_file_read_region(path.c_str(), three_gib - 16, buf, 16), KELVRA_OK);
    EXPECT_EQ(std::string(buf, 16), "end-marker-16byt");
    EXPECT_EQ(kelvra_plat_file_read_region(path.c_str(), three_gib - 8, buf, 16), KELVRA_ERR_IO);

    // Past 4 GiB a position that lost its high word would point near the start.
    const uint64_t past_four = (uint64_t{1} << 32) + 3;
    make_sparse(path, past_four, past_four - 5, "tail!");
    ASSERT_EQ(kelvra_plat_file_size(path.c_str(), &size), KELVRA_OK);
    EXPECT_EQ(size, past_four);
    ASSERT_EQ(kelvra_plat_file_read_region(path.c_str(), past_four - 5, buf, 5), KELVRA_OK);
    EXPECT_EQ(std::string(buf, 5), "tail!");
}

} // namespace
