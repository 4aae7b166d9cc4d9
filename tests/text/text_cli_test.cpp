// kelvra ndjson check and kelvra template render, run as a user runs them.
#include <gtest/gtest.h>

#ifdef KELVRA_TEST_TOOL

#include <fstream>
#include <string>

#include "platform/temp_dir.hpp"
#include "tools/run_tool.hpp"

namespace {

using kelvra_test::contains;
using kelvra_test::kelvra;

TEST(TextCli, NdjsonCheck) {
    kelvra_test::TempDir dir;
    const std::string good = dir.path("good.ndjson"), bad = dir.path("bad.ndjson");
    std::ofstream(good) << "{\"a\":1}\n\n[1,2]\r\n\"x\"";
    std::ofstream(bad) << "{\"a\":1}\n\n{\"a\":\n[]\n";
    const auto ok = kelvra("ndjson check '" + good + "'"), failed = kelvra("ndjson check '" + bad + "'");
    EXPECT_TRUE(ok.exit_code == 0 && contains(ok.out, "3 JSON lines, all valid")) << ok.out;
    EXPECT_TRUE(failed.exit_code == 1 && contains(failed.out, bad + ":3: not JSON: status 2 (KELVRA_ERR_DATA)"))
        << failed.out;
    EXPECT_EQ(kelvra("ndjson check '" + dir.path("missing") + "'").exit_code, 3);
    EXPECT_EQ(kelvra("ndjson").exit_code, 2);
}

TEST(TextCli, TemplateRender) {
    const auto ok = kelvra("template render 'Hello, {name}! {}{b}' name=World =empty b="),
               unknown = kelvra("template render 'x{nope}' name=World");
    EXPECT_TRUE(ok.exit_code == 0 && ok.out == "Hello, World! empty\n") << ok.out;
    EXPECT_TRUE(unknown.exit_code == 1 && contains(unknown.out, "status 2")) << unknown.out;
    EXPECT_EQ(kelvra("template render 'x' a=1 a=2").exit_code, 2);
    EXPECT_EQ(kelvra("template render 'x' novalue").exit_code, 2);
}

} // namespace

#endif
