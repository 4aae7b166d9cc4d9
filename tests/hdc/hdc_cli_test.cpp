// kelvra hdc and kelvra hamming, run as a user runs them.
#include <gtest/gtest.h>

#ifdef KELVRA_TEST_TOOL

#include <string>

#include "tools/run_tool.hpp"

namespace {

using kelvra_test::contains;
using kelvra_test::kelvra;
using kelvra_test::ToolRun;

TEST(HdcCli, DemoFindsEveryFiller) {
    const ToolRun demo = kelvra("hdc demo");
    EXPECT_EQ(demo.exit_code, 0);
    for (const char *filler : {"country   -> *France", "*Paris", "*euro"})
        EXPECT_TRUE(contains(demo.out, filler)) << demo.out;
}

TEST(HdcCli, HammingEncodesAndCorrects) {
    EXPECT_EQ(kelvra("hamming encode 1011").out, "r = 3: 7 code bits for 4 data bits\n0110011\n");
    EXPECT_TRUE(contains(kelvra("hamming encode 10110").out, "(6 zero bits appended)\n011001100000000\n"));
    const ToolRun fixed = kelvra("hamming decode 0110111");
    EXPECT_EQ(fixed.exit_code, 0);
    EXPECT_EQ(fixed.out, "data     1011\nsyndrome 5: bit 5 was flipped (a data bit; corrected)\n");
    EXPECT_TRUE(contains(kelvra("hamming decode 0111011").out, "a parity bit; the data was intact"));
    for (const char *usage : {"hamming decode 011001", "hamming encode 10a", "hamming flip 1011", "hdc"})
        EXPECT_EQ(kelvra(usage).exit_code, 2) << usage;
}

} // namespace

#endif
