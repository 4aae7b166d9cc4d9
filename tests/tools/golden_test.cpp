// The golden vectors: `kelvra golden` must print tests/data/golden/vectors.txt
// byte for byte, on this processor and system, with every tier forced up or
// down.
#include <gtest/gtest.h>

#ifdef KELVRA_TEST_TOOL

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tools/run_tool.hpp"

namespace {

const char *const kVectors = KELVRA_TEST_CORPUS "/../golden/vectors.txt";

// The tiered kernels' override variables and their highest tiers (a tier
// above what the processor has is lowered to what it has).
const std::pair<const char *, int> kTiers[] = {
    {"KELVRA_LOOP_HD_FORCE_TIER", 2}, {"KELVRA_SHA256_FORCE_TIER", 2}, {"KELVRA_SHANI_FORCE_TIER", 1},
    {"KELVRA_HDC_FORCE_TIER", 2},     {"KELVRA_DENSE_FORCE_TIER", 1},  {"KELVRA_JACOBI_FORCE_TIER", 1},
};

std::vector<std::string> forced(bool highest) {
    std::vector<std::string> environment;
    for (const auto &[name, top] : kTiers) environment.push_back(name + std::string("=") + std::to_string(highest ? top : 0));
    return environment;
}

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// "" when equal, else how many lines differ and the first few.
std::string differences(const std::string &expected, const std::string &got) {
    if (expected == got) return "";
    const std::vector<std::string> want = lines_of(expected), have = lines_of(got);
    std::ostringstream report;
    size_t count = 0;
    for (size_t k = 0; k < std::max(want.size(), have.size()); ++k) {
        const std::string *w = k < want.size() ? &want[k] : nullptr, *h = k < have.size() ? &have[k] : nullptr;
        if (w && h && *w == *h) continue;
        if (++count <= 5)
            report << "line " << k + 1 << "\n  expected: " << (w ? *w : "(none)") << "\n  got:      " << (h ? *h : "(none)")
                   << "\n";
    }
    return std::to_string(count) + " of " + std::to_string(want.size()) + " lines differ (" +
           std::to_string(expected.size()) + " bytes expected, " + std::to_string(got.size()) + " got)\n" + report.str() +
           "An intended change of results: regenerate with `kelvra golden -o tests/data/golden/vectors.txt`\n"
           "and say why in the commit. Otherwise this is a reproducibility fault.\n";
}

} // namespace

TEST(Golden, VectorsMatchOnEveryTier) {
    std::ifstream in(kVectors, std::ios::binary);
    ASSERT_TRUE(in) << "cannot read " << kVectors;
    const std::string expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const bool highest : {true, false}) {
        const kelvra_test::ToolRun run = kelvra_test::kelvra(std::vector<std::string>{"golden"}, {.environment = forced(highest)});
        EXPECT_EQ(run.exit_code, 0) << (highest ? "highest tiers" : "tier 0");
        const std::string report = differences(expected, run.out);
        EXPECT_TRUE(report.empty()) << (highest ? "with the highest tiers: " : "with every tier 0: ") << report;
    }
}

#endif // KELVRA_TEST_TOOL
