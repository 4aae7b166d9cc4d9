// kelvra genome, run as a user runs it: save, list, verify, explode, pack,
// and a tampered body caught by verify.
#include <gtest/gtest.h>

#ifdef KELVRA_TEST_TOOL

#include <cstdio>
#include <string>

#include "tools/run_tool.hpp"

#include "genome/genome_fixture.hpp"

namespace kelvra_test::genome {
namespace {

using kelvra_test::contains;
using kelvra_test::kelvra;
using kelvra_test::ToolRun;

TEST(GenomeCli, SaveListVerifyExplodePack) {
    TempDir dir;
    write_file(dir.path("body.bin"), as_text(concat({chromosome(8, "beta", 2), chromosome(8, "alpha", 1)})));
    const std::string the_one = " --the-one 0001020304050607";

    EXPECT_EQ(kelvra("genome save " + dir.path("g") + " --body " + dir.path("body.bin") + " --leaf-dim 8" + the_one)
                  .exit_code,
              0);
    const ToolRun ls = kelvra("genome ls " + dir.path("g"));
    EXPECT_EQ(ls.exit_code, 0);
    EXPECT_TRUE(contains(ls.out, "beta")) << ls.out;
    EXPECT_TRUE(contains(ls.out, "leaf_dim 8, 5 records, 2 chromosomes")) << ls.out;
    EXPECT_EQ(kelvra("genome verify " + dir.path("g")).exit_code, 0);

    EXPECT_EQ(kelvra("genome explode " + dir.path("g") + " " + dir.path("bundles")).exit_code, 0);
    EXPECT_EQ(kelvra("genome pack " + dir.path("bundles") + " " + dir.path("packed")).exit_code, 0);
    EXPECT_EQ(read_file(dir.path("packed/turns.bin")), as_text(concat({chromosome(8, "alpha", 1), chromosome(8, "beta", 2)})));

    flip_byte(dir.path("packed/turns.bin"), 9);
    const ToolRun tampered = kelvra("genome verify " + dir.path("packed"));
    EXPECT_EQ(tampered.exit_code, 1);
    EXPECT_TRUE(contains(tampered.out, "status 2 (KELVRA_ERR_DATA)")) << tampered.out;

    // A chromosome takes its cap record's label: the tool refuses a mismatch.
    write_file(dir.path("gamma.bin"), as_text(chromosome(8, "gamma", 1)));
    const ToolRun mislabelled =
        kelvra("genome append " + dir.path("g") + " delta --body " + dir.path("gamma.bin") + the_one);
    EXPECT_EQ(mislabelled.exit_code, 1);
    EXPECT_TRUE(contains(mislabelled.out, "gamma") && contains(mislabelled.out, "delta")) << mislabelled.out;
    EXPECT_EQ(kelvra("genome append " + dir.path("g") + " gamma --body " + dir.path("gamma.bin") + the_one).exit_code,
              0);

    EXPECT_EQ(kelvra("genome save " + dir.path("g")).exit_code, 2) << "usage error";
    EXPECT_EQ(kelvra("genome frobnicate").exit_code, 2);
}

} // namespace
} // namespace kelvra_test::genome

#endif
