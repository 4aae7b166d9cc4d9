// kelvra calc, run as a user runs it: values in decimal and hexadecimal and
// exact rationals exit 0; a failed call exits 1 with the status number and
// name (and the value written); bad usage exits 2.
#include <gtest/gtest.h>

#ifdef KELVRA_TEST_TOOL

#include <string>

#include "tools/run_tool.hpp"

namespace {

using kelvra_test::contains;
using kelvra_test::kelvra;
using kelvra_test::ToolRun;

TEST(Calc, ValuesFailuresAndUsage) {
    EXPECT_EQ(kelvra("calc sin 1").out, "sin(1) = 0.8414709848078965  (0x1.aed548f090ceep-1)\n");
    const struct {
        const char *command;
        int exit_code;
        const char *shown;
    } cases[] = {{"calc sqrt 2", 0, "0x1.6a09e667f3bccp+0"}, {"calc cos pi", 0, "(-0x1p+0)"},
                 {"calc atan2 -1 -1", 0, "-2.3561944901923448"}, {"calc kepler 1.0 0.5", 0, "1.49870113"},
                 {"calc rational-add 1/2 1/3", 0, "= 5/6 ="}, {"calc best-rational 3.14159265 1000", 0, ": 355/113 ="},
                 {"calc cf 415/93", 0, "415/93 = [4; 2, 6, 7]"},
                 {"calc cf 415/93", 0, "convergents: 4/1 9/2 58/13 415/93"},
                 {"calc exp-series 1 20", 0, "6613313319248080001/2432902008176640000"},
                 {"calc log 0", 1, "status 2 (KELVRA_ERR_DATA)"}, {"calc log 0", 1, "= -inf"},
                 {"calc rational-pow 2/4 40", 1, "status 4 (KELVRA_ERR_CAPACITY)"}, {"calc", 2, ""},
                 {"calc sin", 2, ""}, {"calc sin one", 2, ""}, {"calc no-such-function 1", 2, ""}};
    for (const auto &c : cases) {
        const ToolRun run = kelvra(c.command);
        EXPECT_TRUE(run.exit_code == c.exit_code && contains(run.out, c.shown)) << c.command << ":\n" << run.out;
    }
}

} // namespace

#endif
