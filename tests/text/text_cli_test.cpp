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
using kelvra_test::ToolRun;

TEST(TextCli, NdjsonCheck) {
    kelvra_test::TempDir dir;
    const std::string good = dir.path("good.ndjson"), bad = dir.path("bad.ndjson");
    std::ofstream(good) << "{\"a\":1}\n\n[1,2]\r\n\"x\"";
    std::ofstream(bad) << "{\"a\":1}\n\n{\"a\":\n[]\n";
    const ToolRun ok = kelvra("ndjson check '" + good + "'");
    EXPECT_EQ(ok.exit_code, 0) << ok.out;
    EXPECT_TRUE(contains(ok.out, "3 JSON lines, all valid")) << ok.out;
    const ToolRun failed = kelvra("ndjson check '" + bad + "'");
    EXPECT_EQ(failed.exit_code, 1);
    EXPECT_TRUE(contains(failed.out, bad + ":3: not JSON: status 2 (KELVRA_ERR_DATA)")) << failed.out;
    EXPECT_EQ(kelvra("ndjson check '" + dir.path("missing") + "'").exit_code, 1);
    EXPECT_EQ(kelvra("ndjson").exit_code, 2);
}

TEST(TextCli, TemplateRender) {
    const ToolRun ok = kelvra("template render 'Hello, {name}! {}{b}' name=World =empty b=");
    EXPECT_EQ(ok.exit_code, 0) << ok.out;
    EXPECT_EQ(ok.out, "Hello, World! empty\n");
    const ToolRun unknown = kelvra("template render 'x{nope}' name=World");
    EXPECT_EQ(unknown.exit_code, 1);
    EXPECT_TRUE(contains(unknown.out, "status 2")) << unknown.out;
    EXPECT_EQ(kelvra("template render 'x' a=1 a=2").exit_code, 2);
    EXPECT_EQ(kelvra("template render 'x' novalue").exit_code, 2);
}

} // namespace

#endif
