#include <gtest/gtest.h>

#include "kelvra.h"
#include "platform/temp_dir.hpp"

#include <string>

namespace {

using kelvra_test::TempDir;

TEST(PlatformReadStream, ReadsInChunksThenReportsTheEnd) {
    TempDir dir;
    const std::string path = dir.path("data");
    std::string text;
    for (int i = 0; i < 10000; ++i) text += std::to_string(i) + '\n';
    ASSERT_EQ(kelvra_plat_file_write(path.c_str(), 0, text.data(), text.size()), KELVRA_OK);

    kelvra_plat_rstream stream;
    ASSERT_EQ(kelvra_plat_rstream_open(path.c_str(), &stream), KELVRA_OK);
    std::string back;
    char chunk[777];
    uint64_t got = 1;
    EXPECT_EQ(kelvra_plat_rstream_read(&stream, chunk, 0, &got), KELVRA_OK);
    EXPECT_EQ(got, 0u) << "an empty request reads nothing and is not the end";
    for (;;) {
        ASSERT_EQ(kelvra_plat_rstream_read(&stream, chunk, sizeof chunk, &got), KELVRA_OK);
        if (got == 0) break;
        back.append(chunk, got);
    }
    EXPECT_EQ(back, text);
    EXPECT_EQ(kelvra_plat_rstream_read(&stream, chunk, sizeof chunk, &got), KELVRA_OK);
    EXPECT_EQ(got, 0u) << "the end stays the end";
    EXPECT_EQ(kelvra_plat_rstream_close(&stream), KELVRA_OK);
}

TEST(PlatformReadStream, OpenFailuresAndRepeatedClose) {
    TempDir dir;
    for (const std::string &path : {dir.path("missing"), dir.path()}) {
        kelvra_plat_rstream stream{reinterpret_cast<void *>(0x1234)}; // stale garbage
        EXPECT_EQ(kelvra_plat_rstream_open(path.c_str(), &stream), KELVRA_ERR_IO) << path;
        EXPECT_EQ(stream.stream, nullptr);
        EXPECT_EQ(kelvra_plat_rstream_close(&stream), KELVRA_OK);
    }

    const std::string path = dir.path("one");
    ASSERT_EQ(kelvra_plat_file_write(path.c_str(), 0, "1", 1), KELVRA_OK);
    kelvra_plat_rstream stream;
    ASSERT_EQ(kelvra_plat_rstream_open(path.c_str(), &stream), KELVRA_OK);
    EXPECT_EQ(kelvra_plat_rstream_close(&stream), KELVRA_OK);
    EXPECT_EQ(stream.stream, nullptr);
    EXPECT_EQ(kelvra_plat_rstream_close(&stream), KELVRA_OK);
    char byte;
    uint64_t got = 9;
    EXPECT_EQ(kelvra_plat_rstream_read(&stream, &byte, 1, &got), KELVRA_ERR_IO) << "reading a closed stream";
    EXPECT_EQ(got, 0u);
}

TEST(PlatformReadStream, ReadErrorIsNotTheEnd) {
    const kelvra_test::FailingFile failing;
    ASSERT_TRUE(kelvra_test::reads_fail(failing.path()));
    kelvra_plat_rstream stream;
    ASSERT_EQ(kelvra_plat_rstream_open(failing.path(), &stream), KELVRA_OK);
    char buf[64];
    uint64_t got = 99;
    EXPECT_EQ(kelvra_plat_rstream_read(&stream, buf, sizeof buf, &got), KELVRA_ERR_IO);
    EXPECT_EQ(got, 0u);
    kelvra_plat_rstream_close(&stream);
}

} // namespace
