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

std::vector<std::string> output_lines(const std::string &command) {
    std::vector<std::string> lines;
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return lines;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        std::string line(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        lines.push_back(line);
    }
    pclose(pipe);
    return lines;
}

// Every name the mathematics library could supply for these functions:
// double, float and long double forms, and glibc's __*_finite entry points.
std::set<std::string> forbidden_imports() {
    const char *bases[] = {"exp",  "exp2",  "expm1", "log",   "log2", "log10", "log1p", "sin",   "cos",
                           "tan",  "sincos", "asin", "acos",  "atan", "atan2", "sinh",  "cosh",  "tanh",
                           "sqrt", "cbrt",  "hypot", "pow",   "exp10"};
    std::set<std::string> names;
    for (const char *base : bases) {
        for (const char *suffix : {"", "f", "l", "f64", "f32"}) {
            const std::string name = std::string(base) + suffix;
            names.insert(name);
            names.insert("__" + name + "_finite");
        }
    }
    return names;
}

// "   U sqrt@GLIBC_2.2.5" -> "sqrt".
std::string symbol_name(const std::string &line) {
    const size_t start = line.find_last_of(' ');
    std::string name = start == std::string::npos ? line : line.substr(start + 1);
    const size_t version = name.find('@');
    return version == std::string::npos ? name : name.substr(0, version);
}

TEST(NoPlatformMath, LibraryImportsNoMathFunction) {
    const std::vector<std::string> imports =
        output_lines(std::string("nm -D --undefined-only '") + KELVRA_TEST_LIBRARY + "'");
    ASSERT_FALSE(imports.empty()) << "nm gave no output for " << KELVRA_TEST_LIBRARY;
    const std::set<std::string> forbidden = forbidden_imports();
    for (const std::string &line : imports) {
        EXPECT_EQ(forbidden.count(symbol_name(line)), 0u) << "the library imports " << symbol_name(line);
    }
}

TEST(NoPlatformMath, NoSquareRootInstruction) {
    const std::vector<std::string> listing =
        output_lines(std::string("objdump -d --no-show-raw-insn '") + KELVRA_TEST_LIBRARY + "'");
    ASSERT_GT(listing.size(), 100u) << "objdump gave no disassembly for " << KELVRA_TEST_LIBRARY;
    std::string function = "?";
    for (const std::string &line : listing) {
        if (!line.empty() && line.back() == ':' && line.find('<') != std::string::npos) {
            function = line; // "0000000000012340 <kelvra_exp>:"
            continue;
        }
        const size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        const std::string instruction = line.substr(tab + 1);
        const bool square_root = instruction.rfind("sqrt", 0) == 0 || instruction.rfind("vsqrt", 0) == 0 ||
                                 instruction.rfind("rsqrt", 0) == 0 || instruction.rfind("vrsqrt", 0) == 0 ||
                                 instruction.rfind("fsqrt", 0) == 0;
        EXPECT_FALSE(square_root) << function << " executes " << instruction;
    }
}

} // namespace

#endif
