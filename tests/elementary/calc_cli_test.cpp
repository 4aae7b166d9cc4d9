// kelvra calc, run as a user runs it: values in decimal and hexadecimal,
// exact rationals, and failures reported with the status number and name.
#include <gtest/gtest.h>

#ifdef KELVRA_TEST_TOOL

#include <cstdio>
#include <string>

#include "tools/run_tool.hpp"

namespace {

using kelvra_test::contains;
using kelvra_test::kelvra;
using kelvra_test::ToolRun;

class Calc : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!contains(kelvra("--help").out, "  calc ")) GTEST_SKIP() << "the calc command is not registered";
    }
};

TEST_F(Calc, ValuesInDecimalAndHex) {
    const ToolRun sine = kelvra("calc sin 1");
    EXPECT_EQ(sine.exit_code, 0);
    EXPECT_EQ(sine.out, "sin(1) = 0.8414709848078965  (0x1.aed548f090ceep-1)\n");
    EXPECT_TRUE(contains(kelvra("calc sqrt 2").out, "0x1.6a09e667f3bccp+0"));
    EXPECT_TRUE(contains(kelvra("calc cos pi").out, "(-0x1p+0)"));
    EXPECT_TRUE(contains(kelvra("calc atan2 -1 -1").out, "-2.3561944901923448"));
    EXPECT_TRUE(contains(kelvra("calc kepler 1.0 0.5").out, "1.49870113"));
}

TEST_F(Calc, Rationals) {
    EXPECT_TRUE(contains(kelvra("calc rational-add 1/2 1/3").out, "= 5/6 ="));
    EXPECT_TRUE(contains(kelvra("calc best-rational 3.14159265 1000").out, ": 355/113 ="));
    const ToolRun cf = kelvra("calc cf 415/93");
    EXPECT_EQ(cf.exit_code, 0);
    EXPECT_TRUE(contains(cf.out, "415/93 = [4; 2, 6, 7]")) << cf.out;
    EXPECT_TRUE(contains(cf.out, "convergents: 4/1 9/2 58/13 415/93")) << cf.out;
    EXPECT_TRUE(contains(kelvra("calc exp-series 1 20").out, "6613313319248080001/2432902008176640000"));
}

TEST_F(Calc, FailuresNameTheStatus) {
    const ToolRun log_zero = kelvra("calc log 0");
    EXPECT_EQ(log_zero.exit_code, 1);
    EXPECT_TRUE(contains(log_zero.out, "status 2 (KELVRA_ERR_DATA)")) << log_zero.out;
    EXPECT_TRUE(contains(log_zero.out, "= -inf")) << "the value written is shown too";
    const ToolRun overflow = kelvra("calc rational-pow 2/4 40");
    EXPECT_EQ(overflow.exit_code, 1);
    EXPECT_TRUE(contains(overflow.out, "status 4 (KELVRA_ERR_CAPACITY)")) << overflow.out;
    EXPECT_EQ(kelvra("calc").exit_code, 2);
    EXPECT_EQ(kelvra("calc sin").exit_code, 2);
    EXPECT_EQ(kelvra("calc sin one").exit_code, 2);
    EXPECT_EQ(kelvra("calc no-such-function 1").exit_code, 2);
}

} // namespace

#endif
