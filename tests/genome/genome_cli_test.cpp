// kelvra genome, run as a user runs it: save, list, verify (the_one too),
// explode, pack, append, and a tampered body caught by verify.
#include <gtest/gtest.h>

#ifdef KELVRA_TEST_TOOL

#include <string>

#include "tools/run_tool.hpp"

#include "genome/genome_fixture.hpp"

namespace kelvra_test::genome {
namespace {

TEST(GenomeCli, SaveListVerifyExplodePack) {
    TempDir dir;
    const std::string g = dir.path("g"), packed = dir.path("packed"), one = " --the-one 0001020304050607";
    const std::string gamma = " --body " + dir.path("gamma.bin") + one;
    write_file(dir.path("body.bin"), as_text(concat({chromosome(8, "beta", 2), chromosome(8, "alpha", 1)})));
    write_file(dir.path("gamma.bin"), as_text(chromosome(8, "gamma", 1)));
    // Each step in turn: its arguments, exit status and what its output holds.
    const struct {
        std::string args;
        int exit_code;
        std::string says;
    } steps[] = {
        {"save " + g + " --body " + dir.path("body.bin") + " --leaf-dim 8" + one, 0, ""},
        {"ls " + g, 0, "leaf_dim 8, 5 records, 2 chromosomes"},
        {"ls " + g, 0, "beta"},
        {"verify " + g, 0, ""},
        {"verify " + g + one, 0, ""},
        {"verify " + g + " --the-one 0001020304050608", 1, "--the-one is not this genome's the_one"},
        {"explode " + g + " " + dir.path("bundles"), 0, ""},
        {"pack " + dir.path("bundles") + " " + packed, 0, ""},
        // A chromosome takes its cap record's label: the tool refuses a mismatch.
        {"append " + g + " delta" + gamma, 1, "labelled gamma, but the label argument is delta"},
        {"append " + g + " gamma" + gamma, 0, ""},
        {"save " + g, 2, "usage"},
        {"frobnicate", 2, ""},
    };
    for (const auto &s : steps) {
        const ToolRun run = kelvra("genome " + s.args);
        EXPECT_EQ(run.exit_code, s.exit_code) << s.args << ": " << run.out;
        EXPECT_TRUE(contains(run.out, s.says)) << s.args << ": " << run.out;
    }
    EXPECT_EQ(read_file(packed + "/turns.bin"), as_text(concat({chromosome(8, "alpha", 1), chromosome(8, "beta", 2)})));
    flip_byte(packed + "/turns.bin", 9);
    const ToolRun tampered = kelvra("genome verify " + packed);
    EXPECT_EQ(tampered.exit_code, 1);
    EXPECT_TRUE(contains(tampered.out, "status 2 (KELVRA_ERR_DATA)")) << tampered.out;
}

} // namespace
} // namespace kelvra_test::genome

#endif
