// The library's dynamic symbol table is its contract: only kelvra_* functions,
// each declared in the public header. Functions declared but not built yet are
// listed in not_yet_exported.txt, so the list shrinks to nothing as the
// library fills in and can never silently disagree with the binary.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

std::string read_file(const char *path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::set<std::string> declared_functions() {
    const std::string header = read_file(KELVRA_TEST_HEADER);
    // A name followed by "(" but not "(*": that is a return type before a callback typedef.
    const std::regex declaration(R"((kelvra_[a-z0-9_]+)\s*\((?!\*))");
    std::set<std::string> names;
    for (auto it = std::sregex_iterator(header.begin(), header.end(), declaration); it != std::sregex_iterator();
         ++it) {
        names.insert((*it)[1]);
    }
    return names;
}

struct Symbol {
    std::string type, name;
};

std::vector<Symbol> exported_symbols() {
    std::vector<Symbol> symbols;
    const std::string command = std::string("nm -D --defined-only '") + KELVRA_TEST_LIBRARY + "'";
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return symbols;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (fields >> address >> type >> name) symbols.push_back({type, name});
    }
    pclose(pipe);
    return symbols;
}

std::set<std::string> pending_functions() {
    std::istringstream lines(read_file(KELVRA_TEST_PENDING));
    std::set<std::string> names;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line[0] != '#') names.insert(line);
    }
    return names;
}

} // namespace

TEST(Abi, HeaderDeclaresAllEntryPoints) { EXPECT_EQ(declared_functions().size(), 166u); }

TEST(Abi, ExportsOnlyDeclaredFunctions) {
    const auto declared = declared_functions();
    const auto symbols = exported_symbols();
    ASSERT_FALSE(symbols.empty()) << "nm printed nothing for " << KELVRA_TEST_LIBRARY;
    for (const Symbol &s : symbols) {
        EXPECT_EQ(s.type, "T") << s.name << " is exported but is not a function";
        EXPECT_TRUE(declared.count(s.name)) << s.name << " is exported but not declared in kelvra.h";
    }
}

TEST(Abi, EveryDeclaredFunctionIsExportedOrListedAsPending) {
    std::set<std::string> exported;
    for (const Symbol &s : exported_symbols()) exported.insert(s.name);
    const auto pending = pending_functions();
    for (const std::string &name : declared_functions()) {
        if (exported.count(name)) {
            EXPECT_FALSE(pending.count(name)) << name << " is built now: remove it from not_yet_exported.txt";
        } else {
            EXPECT_TRUE(pending.count(name)) << name << " is declared but neither exported nor listed as pending";
        }
    }
    for (const std::string &name : pending) {
        EXPECT_TRUE(declared_functions().count(name)) << name << " is listed as pending but not declared";
    }
}
