// kelvra hdc and kelvra hamming, run as a user runs them.
#include <gtest/gtest.h>

#ifdef KELVRA_TEST_TOOL

#include <string>

#include "tools/run_tool.hpp"

namespace {

using kelvra_test::contains;
using kelvra_test::kelvra;
using kelvra_test::ToolRun;

class HdcCli : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!contains(kelvra("--help").out, "  hamming ")) GTEST_SKIP() << "the hdc commands are not registered";
    }
};

TEST_F(HdcCli, DemoFindsEveryFiller) {
    const ToolRun demo = kelvra("hdc demo");
    EXPECT_EQ(demo.exit_code, 0);
    EXPECT_TRUE(contains(demo.out, "country   -> *France")) << demo.out;
    EXPECT_TRUE(contains(demo.out, "*Paris")) << demo.out;
    EXPECT_TRUE(contains(demo.out, "*euro")) << demo.out;
    EXPECT_EQ(kelvra("hdc").exit_code, 2);
}

TEST_F(HdcCli, HammingEncodesAndCorrects) {
    EXPECT_EQ(kelvra("hamming encode 1011").out, "r = 3: 7 code bits for 4 data bits\n0110011\n");
    EXPECT_TRUE(contains(kelvra("hamming encode 10110").out, "(6 zero bits appended)\n011001100000000\n"));
    const ToolRun fixed = kelvra("hamming decode 0110111");
    EXPECT_EQ(fixed.exit_code, 0);
    EXPECT_EQ(fixed.out, "data     1011\nsyndrome 5: bit 5 was flipped (a data bit; corrected)\n");
    EXPECT_TRUE(contains(kelvra("hamming decode 0111011").out, "a parity bit; the data was intact"));
    EXPECT_EQ(kelvra("hamming decode 011001").exit_code, 2) << "6 bits is no code length";
    EXPECT_EQ(kelvra("hamming encode 10a").exit_code, 2);
    EXPECT_EQ(kelvra("hamming flip 1011").exit_code, 2);
}

} // namespace

#endif
