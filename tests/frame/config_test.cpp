// The configuration loader: which texts set the Hermitian node limit, which
// leave it alone, the statuses passed through from the parser and the file
// layer, and the file loader's fixed split of its buffer.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "kelvra.h"
#include "platform/temp_dir.hpp"

namespace {

class Config : public ::testing::Test {
    void SetUp() override { kelvra_config_reset_defaults(); }
    void TearDown() override { kelvra_config_reset_defaults(); }
};

// Loads `text` through an arena of `capacity` bytes at an odd address.
kelvra_status load(const std::string &text, size_t capacity = 4096) {
    std::vector<uint8_t> arena(capacity + 1);
    return kelvra_config_load_toml(reinterpret_cast<const uint8_t *>(text.data()), text.size(), arena.data() + 1,
                                   capacity);
}

// Only an integer in 1..2^31-1 at hermitian.max_nodes sets the limit; anything
// else, a failed parse included, leaves the one in force. The fixture starts at 2048.
TEST_F(Config, SetsTheLimitFromHermitianMaxNodes) {
    const struct { const char *text; kelvra_status status; uint32_t limit; size_t capacity = 4096; } cases[] = {
        {"hermitian.max_nodes = 0", 0, 2048},
        {"[hermitian]\nmax_nodes = 4096\nunknown = 'ignored'\n[more]\nx = 1", 0, 4096},
        {"hermitian.max_nodes = -5", 0, 4096}, {"hermitian.max_nodes = 2147483648", 0, 4096},
        {"hermitian.max_nodes = true", 0, 4096}, // reads as 1
        {"max_nodes = 7", 0, 4096}, {"hermitian = 7", 0, 4096}, {"[[hermitian]]\nmax_nodes = 7", 0, 4096},
        {"hermitian.max_nodes = 7 x", 2, 4096}, {"hermitian.max_nodes = 9223372036854775808", 4, 4096},
        {"hermitian.max_nodes = 2147483647", 0, 2147483647}, {"hermitian = {max_nodes = 1}", 0, 1},
        {"[hermitian]\nmax_nodes = 4096", 4, 1, 399}, {"[hermitian]\nmax_nodes = 4096", 0, 4096, 400}, // needs 400 bytes
    };
    for (const auto &c : cases) {
        EXPECT_EQ(load(c.text, c.capacity), c.status) << c.text;
        EXPECT_EQ(kelvra_config_hermitian_max_nodes(), c.limit) << c.text;
    }
    EXPECT_EQ(kelvra_config_load_toml(reinterpret_cast<const uint8_t *>("a"), 1, nullptr, 0), 1u);
    EXPECT_EQ(kelvra_config_hermitian_max_nodes(), 4096u);
}

// The first half (rounded down) holds the file and the rest is the arena; an
// empty document needs a 56-byte arena, so 112 bytes take a 56-byte file.
TEST_F(Config, FileBufferIsSplitInHalves) {
    kelvra_test::TempDir dir;
    const auto file = [&dir](const std::string &name) { return dir.path(name + ".toml"); };
    for (size_t bytes : {50, 51, 56, 57}) {
        std::ofstream(file(std::to_string(bytes)), std::ios::binary) << "#" + std::string(bytes - 2, 'x') + "\n";
    }
    std::ofstream(file("set"), std::ios::binary) << "[hermitian]\nmax_nodes = 4096\n";
    std::vector<uint8_t> buf(1000);
    const struct { const char *name; size_t offset, capacity; kelvra_status status; } cases[] = {
        {"56", 0, 112, 0}, {"57", 0, 112, 4}, // the read refuses 57 bytes
        {"56", 1, 113, 0}, {"56", 0, 111, 4}, // an odd base; a 55-byte half
        {"51", 0, 100, 4}, {"50", 0, 100, 4}, // a 50-byte half reads 50 bytes, but is too small an arena
        {"50", 0, 112, 0}, {"missing", 0, 1000, 3}, {"set", 0, 1000, 0},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(kelvra_config_load_file(file(c.name).c_str(), buf.data() + c.offset, c.capacity), c.status)
            << c.name << " in " << c.capacity;
    }
    EXPECT_EQ(kelvra_config_hermitian_max_nodes(), 4096u);
    EXPECT_EQ(kelvra_config_load_file(nullptr, buf.data(), buf.size()), 1u);
    EXPECT_EQ(kelvra_config_load_file(file("set").c_str(), nullptr, 0), 1u);
}

} // namespace
