// The command-line tool, run as a user runs it.
#include <gtest/gtest.h>

#ifdef KELVRA_TEST_TOOL

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "tools/run_tool.hpp"

namespace {

using kelvra_test::contains;
using kelvra_test::kelvra;
using kelvra_test::ToolRun;

} // namespace

TEST(Cli, HelpAndVersion) {
    const ToolRun help = kelvra("--help");
    EXPECT_EQ(help.exit_code, 0);
    for (const char *command : {"demo", "version", "info", "prime", "factor"}) {
        EXPECT_TRUE(contains(help.out, std::string("  ") + command + " ")) << command;
    }
    const ToolRun version = kelvra("version");
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_EQ(version.out, "kelvra 0.8.2 (ABI 3)\n");
}

TEST(Cli, UsageErrorsExitNonZero) {
    EXPECT_EQ(kelvra("").exit_code, 2);
    EXPECT_EQ(kelvra("no-such-command").exit_code, 2);
    const ToolRun bad = kelvra("prime 12abc");
    EXPECT_EQ(bad.exit_code, 2);
    EXPECT_TRUE(contains(bad.out, "usage: kelvra prime")) << bad.out;
    EXPECT_EQ(kelvra("factor 2^64").exit_code, 2) << "2^64 does not fit in 64 bits";
    EXPECT_EQ(kelvra("factor").exit_code, 2);
}

TEST(Cli, PrimeAndFactor) {
    const ToolRun prime = kelvra("prime 2^61-1 91 0x11");
    EXPECT_EQ(prime.exit_code, 0);
    EXPECT_EQ(prime.out, "2305843009213693951 is prime\n91 is not prime\n17 is prime\n");
    const ToolRun factor = kelvra("factor 360 2^64-1 1");
    EXPECT_EQ(factor.exit_code, 0);
    EXPECT_EQ(factor.out,
              "360: 2^3 3^2 5\n"
              "18446744073709551615: 3 5 17 257 641 65537 6700417\n"
              "1:\n");
}

TEST(Cli, InfoExplainsTheTierChoice) {
    const ToolRun plain = kelvra("info", "-u KELVRA_SHA256_FORCE_TIER");
    EXPECT_EQ(plain.exit_code, 0);
    EXPECT_TRUE(contains(plain.out, "KELVRA_SHA256_FORCE_TIER is unset")) << plain.out;
    const ToolRun forced = kelvra("info", "KELVRA_SHA256_FORCE_TIER=0");
    EXPECT_TRUE(contains(forced.out, "batched SHA-256              tier 0 (scalar): forced by KELVRA_SHA256_FORCE_TIER=\"0\""))
        << forced.out;
    // A tier above anything the processor has is lowered, and info says so.
    const ToolRun raised = kelvra("info", "KELVRA_SHANI_FORCE_TIER=7");
    const bool has_sha = contains(raised.out, "SHA extensions yes");
    EXPECT_EQ(contains(raised.out, "asks for tier 1, lowered to tier 0"), !has_sha) << raised.out;
}

TEST(Cli, Sha256MatchesSha256sumFormat) {
    const ToolRun stdin_digest = kelvra("sha256 < /dev/null");
    EXPECT_EQ(stdin_digest.exit_code, 0);
    EXPECT_EQ(stdin_digest.out, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855  -\n");
    const ToolRun missing = kelvra("sha256 /nonexistent/file");
    EXPECT_EQ(missing.exit_code, 1);
    EXPECT_TRUE(contains(missing.out, "status 3 (KELVRA_ERR_IO)")) << missing.out;
}

// Writes `text` to a fresh temporary file and returns its path.
std::string temp_file(const std::string &text) {
    char path[] = "/tmp/kelvra-cli-XXXXXX";
    const int fd = mkstemp(path);
    FILE *file = fdopen(fd, "w");
    std::fputs(text.c_str(), file);
    std::fclose(file);
    return path;
}

TEST(Cli, JsonCanon) {
    const std::string messy = temp_file("{\"b\": [1, 2.50, \"x\"],\n \"a\": {\"z\": null, \"\": true}}\n");
    const ToolRun sorted = kelvra("json canon " + messy);
    EXPECT_EQ(sorted.exit_code, 0);
    EXPECT_EQ(sorted.out, "{\"a\": {\"\": true, \"z\": null}, \"b\": [1, 2.5, \"x\"]}\n");
    const std::string broken = temp_file("{\"a\" 1}");
    const ToolRun bad = kelvra("json canon < " + broken);
    EXPECT_EQ(bad.exit_code, 1);
    EXPECT_TRUE(contains(bad.out, "status 2 (KELVRA_ERR_DATA)")) << bad.out;
    std::remove(messy.c_str());
    std::remove(broken.c_str());
}

// Many files, short and long, in argument order: the same lines on every
// batch tier as without --tier, and a bad --tier is a usage error.
TEST(Cli, Sha256ManyFilesOnEveryTier) {
    std::vector<std::string> paths;
    std::string list, expected;
    const char *const digests[] = {"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
                                   "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
                                   "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"};
    for (int i = 0; i < 21; ++i) {
        const int kind = i % 3;
        paths.push_back(temp_file(kind == 0 ? "" : kind == 1 ? "abc" : std::string(1000000, 'a')));
        list += " " + paths.back();
        expected += std::string(digests[kind]) + "  " + paths.back() + "\n";
    }
    for (const char *tier : {"", "--tier 0 ", "--tier 1 ", "--tier 2 "}) {
        const ToolRun run = kelvra(std::string("sha256 ") + tier + list);
        EXPECT_EQ(run.exit_code, 0) << tier;
        EXPECT_EQ(run.out, expected) << tier;
    }
    EXPECT_EQ(kelvra("sha256 --tier 3 " + paths[0]).exit_code, 2);
    for (const std::string &path : paths) std::remove(path.c_str());
}

TEST(Cli, DemoRuns) {
    const ToolRun demo = kelvra("demo");
    EXPECT_EQ(demo.exit_code, 0) << demo.out;
    EXPECT_TRUE(contains(demo.out, "2^64-1   = 18446744073709551615 = 3 * 5 * 17 * 257 * 641 * 65537 * 6700417"))
        << demo.out;
    EXPECT_TRUE(contains(demo.out, "p = 2 3 5 7 13 17 19 31 61")) << demo.out;
    EXPECT_TRUE(contains(demo.out, "\"hello, bus\" -> \"HELLO, BUS\"")) << demo.out;
}

TEST(Cli, UnlistableDirectoryIsAnError) {
    const ToolRun pack = kelvra("genome pack /nonexistent/kelvra-cli-bundles /nonexistent/kelvra-cli-out");
    EXPECT_EQ(pack.exit_code, 1);
    EXPECT_TRUE(contains(pack.out, "cannot list directory /nonexistent/kelvra-cli-bundles")) << pack.out;
}

// `bus serve` as a background process answering `bus send`; an interrupt
// ends it with status 0 after it has logged each connection's traffic.
void serve_and_send(const char *mode, const std::string &send_args, const std::string &expected_reply,
                    const std::string &expected_log) {
    const std::string name = "cli-" + std::to_string(getpid()) + "-" + (mode + 2);
    const std::string log = temp_file("");
    const pid_t server = fork();
    if (server == 0) {
        const int fd = open(log.c_str(), O_WRONLY);
        dup2(fd, STDOUT_FILENO);
        dup2(open("/dev/null", O_WRONLY), STDERR_FILENO);
        execl(KELVRA_TEST_TOOL, "kelvra", "bus", "serve", name.c_str(), mode, static_cast<char *>(nullptr));
        _exit(127);
    }
    ToolRun reply{-1, {}};
    for (int i = 0; i < 200 && reply.exit_code != 0; ++i) { // until the server listens
        if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        reply = kelvra("bus send " + name + " " + send_args);
    }
    EXPECT_EQ(reply.out, expected_reply) << mode;
    kill(server, SIGINT);
    int status = -1;
    for (int i = 0; i < 250 && waitpid(server, &status, WNOHANG) == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (status == -1) {
        kill(server, SIGKILL);
        waitpid(server, &status, 0);
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << mode << " status " << status;
    std::stringstream logged;
    logged << std::ifstream(log).rdbuf();
    EXPECT_EQ(logged.str(), expected_log) << mode;
    std::remove(log.c_str());
}

TEST(Cli, BusServeAndSend) {
    serve_and_send("--upper", "'hello, Bus 1'", "HELLO, BUS 1",
                   "connection 1: 1 request, 12 bytes in, 12 bytes out\n");
    const std::string input = temp_file("abc");
    serve_and_send("--sha256", "- < " + input,
                   "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
                   "connection 1: 1 request, 3 bytes in, 64 bytes out\n");
    std::remove(input.c_str());
    const ToolRun nobody = kelvra("bus send cli-" + std::to_string(getpid()) + "-nobody hi");
    EXPECT_EQ(nobody.exit_code, 1);
    EXPECT_TRUE(contains(nobody.out, "status 3 (KELVRA_ERR_IO)")) << nobody.out;
}

#endif // KELVRA_TEST_TOOL
