// kelvra config check, run as a user runs it.
#include <gtest/gtest.h>

#ifdef KELVRA_TEST_TOOL

#include <cstdio>
#include <string>

#include "platform/temp_dir.hpp"
#include "tools/run_tool.hpp"

namespace {

using kelvra_test::contains;
using kelvra_test::kelvra;
using kelvra_test::ToolRun;

void write(const std::string &path, const std::string &text) {
    FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

TEST(ConfigCli, CheckPrintsTheLimitOrTheError) {
    if (!contains(kelvra("--help").out, "  config ")) GTEST_SKIP() << "the config command is not registered";
    kelvra_test::TempDir dir;
    write(dir.path("set.toml"), "# limits\n[hermitian]\nmax_nodes = 4096\n");
    write(dir.path("none.toml"), "[other]\nmax_nodes = 7\n");
    write(dir.path("bad.toml"), "[hermitian\n");
    std::string strings;
    for (int i = 0; i < 2000; ++i) strings += "s" + std::to_string(i) + " = \"" + std::string(20, 'x') + "\"\n";
    write(dir.path("strings.toml"), strings + "[hermitian]\nmax_nodes = 99\n");

    EXPECT_EQ(kelvra("config check " + dir.path("set.toml")).out, "hermitian.max_nodes = 4096\n");
    EXPECT_EQ(kelvra("config check " + dir.path("none.toml")).out, "hermitian.max_nodes = 2048\n");
    EXPECT_EQ(kelvra("config check " + dir.path("strings.toml")).out, "hermitian.max_nodes = 99\n")
        << "the buffer grows for string-heavy files";
    const ToolRun bad = kelvra("config check " + dir.path("bad.toml"));
    EXPECT_EQ(bad.exit_code, 1);
    EXPECT_TRUE(contains(bad.out, "status 2 (KELVRA_ERR_DATA)")) << bad.out;
    const ToolRun missing = kelvra("config check " + dir.path("missing.toml"));
    EXPECT_EQ(missing.exit_code, 1);
    EXPECT_TRUE(contains(missing.out, "status 3 (KELVRA_ERR_IO)")) << missing.out;
    EXPECT_EQ(kelvra("config check").exit_code, 2);
    EXPECT_EQ(kelvra("config frobnicate x").exit_code, 2);
}

} // namespace

#endif
