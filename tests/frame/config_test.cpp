// The configuration loader: which texts set the Hermitian node limit, which
// leave it alone, the statuses passed through from the parser and the file
// layer, and the file loader's fixed split of its buffer.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "kelvra.h"
#include "platform/temp_dir.hpp"

namespace {

class Config : public ::testing::Test {
protected:
    void SetUp() override { kelvra_config_reset_defaults(); }
    void TearDown() override { kelvra_config_reset_defaults(); }

    // Loads `text` through an arena at an odd address; returns the status.
    static kelvra_status load(const std::string &text, size_t capacity = 4096) {
        std::vector<uint8_t> arena(capacity + 1);
        return kelvra_config_load_toml(reinterpret_cast<const uint8_t *>(text.data()), text.size(), arena.data() + 1,
                                       capacity);
    }

    static void write(const std::string &path, const std::string &text) {
        FILE *f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
};

TEST_F(Config, SetsTheLimitFromHermitianMaxNodes) {
    const struct {
        const char *text;
        kelvra_status status;
        uint32_t limit;
    } cases[] = {
        {"[hermitian]\nmax_nodes = 4096\n", 0, 4096},
        {"hermitian.max_nodes = 2147483647", 0, 2147483647},
        {"hermitian = {max_nodes = 1}", 0, 1},
        {"[hermitian]\nmax_nodes = 0", 0, 2048},
        {"[hermitian]\nmax_nodes = -5", 0, 2048},
        {"[hermitian]\nmax_nodes = 2147483648", 0, 2048},
        {"[hermitian]\nmax_nodes = \"4096\"", 0, 2048},
        {"[hermitian]\nmax_nodes = 4096.0", 0, 2048},
        {"max_nodes = 4096", 0, 2048},
        {"[other]\nmax_nodes = 4096", 0, 2048},
        {"hermitian = 4096", 0, 2048},
        {"[[hermitian]]\nmax_nodes = 4096", 0, 2048},
        {"[hermitian]\nmax_nodes = 4096\nunknown = 'ignored'\n[more]\nx = 1", 0, 4096},
        {"[hermitian]\nmax_nodes = 4096 x", 2, 2048},
        {"[hermitian]\nmax_nodes = 9223372036854775808", 4, 2048},
    };
    for (const auto &c : cases) {
        kelvra_config_reset_defaults();
        EXPECT_EQ(load(c.text), c.status) << c.text;
        EXPECT_EQ(kelvra_config_hermitian_max_nodes(), c.limit) << c.text;
    }
    kelvra_config_reset_defaults();
    EXPECT_EQ(kelvra_config_hermitian_max_nodes(), 2048u);
}

TEST_F(Config, ParserStatusesPassThroughAndKeepTheLimit) {
    ASSERT_EQ(load("[hermitian]\nmax_nodes = 300"), 0u);
    EXPECT_EQ(load("[hermitian]\nmax_nodes = 4096", 399), 4u) << "the text needs 400 bytes";
    EXPECT_EQ(load("[hermitian]\nmax_nodes = 4096", 400), 0u);
    EXPECT_EQ(kelvra_config_hermitian_max_nodes(), 4096u);
    uint8_t arena[64];
    EXPECT_EQ(kelvra_config_load_toml(nullptr, 1, arena, sizeof arena), 1u);
    EXPECT_EQ(kelvra_config_load_toml(reinterpret_cast<const uint8_t *>("a"), 1, nullptr, 0), 1u);
    EXPECT_EQ(kelvra_config_hermitian_max_nodes(), 4096u);
}

// The first half (rounded down) holds the file and the rest is the arena; an
// empty document needs a 56-byte arena, so 112 bytes take a 56-byte file.
TEST_F(Config, FileBufferIsSplitInHalves) {
    kelvra_test::TempDir dir;
    for (size_t bytes : {50, 51, 56, 57}) {
        write(dir.path(std::to_string(bytes) + ".toml"), "#" + std::string(bytes - 2, 'x') + "\n");
    }
    write(dir.path("set.toml"), "[hermitian]\nmax_nodes = 4096\n");
    std::vector<uint8_t> buf(1000);
    EXPECT_EQ(kelvra_config_load_file(dir.path("56.toml").c_str(), buf.data(), 112), 0u);
    EXPECT_EQ(kelvra_config_load_file(dir.path("57.toml").c_str(), buf.data(), 112), 4u) << "the read";
    EXPECT_EQ(kelvra_config_load_file(dir.path("56.toml").c_str(), buf.data() + 1, 113), 0u) << "odd base";
    EXPECT_EQ(kelvra_config_load_file(dir.path("56.toml").c_str(), buf.data(), 111), 4u) << "a 55-byte half";
    // 100 bytes read a 50-byte file but refuse 51; the 50-byte arena is then too small for the parser.
    EXPECT_EQ(kelvra_config_load_file(dir.path("51.toml").c_str(), buf.data(), 100), 4u);
    EXPECT_EQ(kelvra_config_load_file(dir.path("50.toml").c_str(), buf.data(), 100), 4u);
    EXPECT_EQ(kelvra_config_load_file(dir.path("50.toml").c_str(), buf.data(), 112), 0u);
    EXPECT_EQ(kelvra_config_hermitian_max_nodes(), 2048u);
    EXPECT_EQ(kelvra_config_load_file(dir.path("set.toml").c_str(), buf.data(), buf.size()), 0u);
    EXPECT_EQ(kelvra_config_hermitian_max_nodes(), 4096u);
    EXPECT_EQ(kelvra_config_load_file(dir.path("missing.toml").c_str(), buf.data(), buf.size()), 3u);
    EXPECT_EQ(kelvra_config_load_file(nullptr, buf.data(), buf.size()), 1u);
    EXPECT_EQ(kelvra_config_load_file(dir.path("set.toml").c_str(), nullptr, 0), 1u);
}

} // namespace
