// The library's dynamic symbol table is its contract: only kelvra_* functions,
// each declared in the public header. Functions declared but not built yet are
// listed in not_yet_exported.txt, so the list shrinks to nothing as the
// library fills in and can never silently disagree with the binary.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>

TEST(Abi, ExportsExactlyTheDeclaredFunctionsOrListsThemAsPending) {
    std::ifstream header_file(KELVRA_TEST_HEADER), pending_file(KELVRA_TEST_PENDING);
    const std::string header{std::istreambuf_iterator<char>(header_file), {}};
    // A name followed by "(" but not "(*": that is a return type before a callback typedef.
    const std::regex declaration(R"((kelvra_[a-z0-9_]+)\s*\((?!\*))");
    std::set<std::string> declared, exported, pending;
    for (auto it = std::sregex_iterator(header.begin(), header.end(), declaration); it != std::sregex_iterator(); ++it)
        declared.insert((*it)[1]);
    EXPECT_EQ(declared.size(), 166u);
    for (std::string line; std::getline(pending_file, line);)
        if (!line.empty() && line[0] != '#') pending.insert(line);

    FILE *pipe = popen((std::string(KELVRA_TEST_NM " -D --defined-only '") + KELVRA_TEST_LIBRARY + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (!(fields >> address >> type >> name)) continue;
        EXPECT_EQ(type, "T") << name << " is exported but is not a function";
        EXPECT_TRUE(declared.count(name)) << name << " is exported but not declared in kelvra.h";
        exported.insert(name);
    }
    pclose(pipe);
    ASSERT_FALSE(exported.empty()) << "nm printed nothing for " << KELVRA_TEST_LIBRARY;
    for (const std::string &name : declared) {
        EXPECT_NE(exported.count(name), pending.count(name))
            << name << (exported.count(name) ? " is built now: remove it from not_yet_exported.txt"
                                             : " is declared but neither exported nor listed as pending");
    }
    for (const std::string &name : pending) EXPECT_TRUE(declared.count(name)) << name << " is listed as pending but not declared";
}
