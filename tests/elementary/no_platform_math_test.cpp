// The library computes its elementary functions and square roots itself: the
// built shared object imports no mathematics-library function and contains
// no square-root instruction, so its results cannot depend on the platform.
#include <gtest/gtest.h>

#ifdef KELVRA_TEST_LIBRARY

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

std::vector<std::string> output_lines(const char *tool) {
    std::vector<std::string> lines;
    FILE *pipe = popen((std::string(tool) + " '" + KELVRA_TEST_LIBRARY + "'").c_str(), "r");
    char buffer[4096];
    while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        lines.emplace_back(buffer);
        lines.back().erase(lines.back().find_last_not_of("\r\n") + 1);
    }
    if (pipe != nullptr) pclose(pipe);
    return lines;
}

TEST(NoPlatformMath, LibraryImportsNoMathFunction) {
    // Double, float and long double forms, and glibc's __*_finite entry points.
    std::set<std::string> forbidden;
    for (const char *base : {"exp", "exp2", "expm1", "log", "log2", "log10", "log1p", "sin", "cos", "tan", "sincos",
                             "asin", "acos", "atan", "atan2", "sinh", "cosh", "tanh", "sqrt", "cbrt", "hypot", "pow",
                             "exp10"}) {
        for (const char *suffix : {"", "f", "l", "f64", "f32"}) {
            forbidden.insert(std::string(base) + suffix);
            forbidden.insert("__" + std::string(base) + suffix + "_finite");
        }
    }
    const std::vector<std::string> imports = output_lines(KELVRA_TEST_NM " -D --undefined-only");
    ASSERT_FALSE(imports.empty()) << "nm gave no output for " << KELVRA_TEST_LIBRARY;
    for (const std::string &line : imports) {
        const std::string symbol = line.substr(line.find_last_of(' ') + 1); // "   U sqrt@GLIBC_2.2.5"
        EXPECT_EQ(forbidden.count(symbol.substr(0, symbol.find('@'))), 0u) << "the library imports " << symbol;
    }
}

TEST(NoPlatformMath, NoSquareRootInstruction) {
    const std::vector<std::string> listing = output_lines(KELVRA_TEST_OBJDUMP " -d --no-show-raw-insn");
    ASSERT_GT(listing.size(), 100u) << "objdump gave no disassembly for " << KELVRA_TEST_LIBRARY;
    std::string function = "?";
    for (const std::string &line : listing) {
        if (!line.empty() && line.back() == ':' && line.find('<') != std::string::npos) function = line;
        const size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        // x86 (sqrtsd, vsqrtpd, rsqrtss, the x87 fsqrt) and AArch64 (fsqrt in
        // scalar and vector forms, the estimate and step frsqrte, frsqrts).
        for (const char *mnemonic : {"sqrt", "vsqrt", "rsqrt", "vrsqrt", "fsqrt", "frsqrt"})
            EXPECT_NE(line.compare(tab + 1, std::string(mnemonic).size(), mnemonic), 0) << function << ": " << line;
    }
}

} // namespace

#endif
