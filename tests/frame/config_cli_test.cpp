// kelvra config check, run as a user runs it.
#include <gtest/gtest.h>

#ifdef KELVRA_TEST_TOOL

#include <fstream>
#include <string>

#include "platform/temp_dir.hpp"
#include "tools/run_tool.hpp"

namespace {

using kelvra_test::contains;
using kelvra_test::kelvra;

TEST(ConfigCli, CheckPrintsTheLimitOrTheError) {
    kelvra_test::TempDir dir;
    std::string strings; // the buffer grows for string-heavy files
    for (int i = 0; i < 2000; ++i) strings += "s" + std::to_string(i) + " = \"" + std::string(20, 'x') + "\"\n";
    // The whole output on success, a part of it on failure.
    const struct { std::string name, text; int exit_code; std::string out; } cases[] = {
        {"set", "# limits\n[hermitian]\nmax_nodes = 4096\n", 0, "hermitian.max_nodes = 4096\n"},
        {"none", "[other]\nmax_nodes = 7\n", 0, "hermitian.max_nodes = 2048\n"},
        {"strings", strings + "[hermitian]\nmax_nodes = 99\n", 0, "hermitian.max_nodes = 99\n"},
        {"bad", "[hermitian\n", 1, "status 2 (KELVRA_ERR_DATA)"},
        {"missing", "", 3, "status 3 (KELVRA_ERR_IO)"},
    };
    for (const auto &c : cases) {
        if (!c.text.empty()) std::ofstream(dir.path(c.name), std::ios::binary) << c.text;
        const kelvra_test::ToolRun run = kelvra("config check " + dir.path(c.name));
        EXPECT_EQ(run.exit_code, c.exit_code) << c.name;
        EXPECT_TRUE(c.exit_code == 0 ? run.out == c.out : contains(run.out, c.out)) << c.name << ": " << run.out;
    }
    EXPECT_EQ(kelvra("config check").exit_code, 2);
    EXPECT_EQ(kelvra("config frobnicate x").exit_code, 2);
}

} // namespace

#endif
