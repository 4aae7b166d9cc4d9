// kelvra calc, run as a user runs it: values in decimal and hexadecimal,
// exact rationals, and failures reported with the status number and name.
#include <gtest/gtest.h>

#ifdef KELVRA_TEST_TOOL

#include <string>

#include "tools/run_tool.hpp"

namespace {

using kelvra_test::contains;
using kelvra_test::kelvra;
using kelvra_test::ToolRun;

TEST(Calc, ValuesInDecimalHexAndRationals) {
    const ToolRun sine = kelvra("calc sin 1");
    EXPECT_EQ(sine.exit_code, 0);
    EXPECT_EQ(sine.out, "sin(1) = 0.8414709848078965  (0x1.aed548f090ceep-1)\n");
    const char *const cases[][2] = {
        {"calc sqrt 2", "0x1.6a09e667f3bccp+0"},
        {"calc cos pi", "(-0x1p+0)"},
        {"calc atan2 -1 -1", "-2.3561944901923448"},
        {"calc kepler 1.0 0.5", "1.49870113"},
        {"calc rational-add 1/2 1/3", "= 5/6 ="},
        {"calc best-rational 3.14159265 1000", ": 355/113 ="},
        {"calc cf 415/93", "415/93 = [4; 2, 6, 7]"},
        {"calc cf 415/93", "convergents: 4/1 9/2 58/13 415/93"},
        {"calc exp-series 1 20", "6613313319248080001/2432902008176640000"},
    };
    for (const auto &c : cases) {
        const ToolRun run = kelvra(c[0]);
        EXPECT_TRUE(run.exit_code == 0 && contains(run.out, c[1])) << c[0] << ":\n" << run.out;
    }
}

TEST(Calc, FailuresNameTheStatus) {
    const ToolRun log_zero = kelvra("calc log 0");
    EXPECT_EQ(log_zero.exit_code, 1);
    EXPECT_TRUE(contains(log_zero.out, "status 2 (KELVRA_ERR_DATA)")) << log_zero.out;
    EXPECT_TRUE(contains(log_zero.out, "= -inf")) << "the value written is shown too";
    const ToolRun overflow = kelvra("calc rational-pow 2/4 40");
    EXPECT_EQ(overflow.exit_code, 1);
    EXPECT_TRUE(contains(overflow.out, "status 4 (KELVRA_ERR_CAPACITY)")) << overflow.out;
    for (const char *usage : {"calc", "calc sin", "calc sin one", "calc no-such-function 1"})
        EXPECT_EQ(kelvra(usage).exit_code, 2) << usage;
}

} // namespace

#endif
