// The command-line tool, run as a user runs it.
#include <gtest/gtest.h>

#ifdef KELVRA_TEST_TOOL

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "kelvra.h"

#include "platform/temp_dir.hpp"
#include "tools/run_tool.hpp"

namespace {

using kelvra_test::BackgroundTool;
using kelvra_test::contains;
using kelvra_test::kelvra;
using kelvra_test::null_device;
using kelvra_test::TempDir;
using kelvra_test::ToolRun;

// Writes `text` to a new file `name` in `dir` and returns its path.
std::string temp_file(const TempDir &dir, const std::string &name, const std::string &text) {
    std::ofstream(dir.path(name), std::ios::binary) << text;
    return dir.path(name);
}

std::string read_text(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A number no other run of these tests is likely to use at the same time.
std::string unique_number() {
    std::random_device seed;
    return std::to_string((uint64_t{seed()} << 16) ^ seed());
}

} // namespace

TEST(Cli, InfoExplainsTheTierChoice) {
    EXPECT_TRUE(contains(kelvra("info", {.environment = {"KELVRA_SHA256_FORCE_TIER"}}).out,
                         "KELVRA_SHA256_FORCE_TIER is unset"));
    EXPECT_TRUE(contains(kelvra("info", {.environment = {"KELVRA_SHA256_FORCE_TIER=0"}}).out,
                         "batched SHA-256              tier 0 (scalar): forced by KELVRA_SHA256_FORCE_TIER=\"0\""));
    // A tier above anything the processor has is lowered, and info says so.
    const std::string raised = kelvra("info", {.environment = {"KELVRA_SHANI_FORCE_TIER=7"}}).out;
    EXPECT_EQ(contains(raised, "asks for tier 1, lowered to tier 0"), !contains(raised, "SHA extensions yes")) << raised;
}

// Many files, short and long, in argument order: the same lines on every
// batch tier as without --tier.
TEST(Cli, Sha256ManyFilesOnEveryTier) {
    TempDir dir;
    std::string list, expected;
    const char *const digests[] = {"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
                                   "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
                                   "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"};
    for (int i = 0; i < 21; ++i) {
        const std::string text = i % 3 == 0 ? "" : i % 3 == 1 ? "abc" : std::string(1000000, 'a');
        const std::string path = temp_file(dir, std::to_string(i), text);
        list += " " + path;
        expected += std::string(digests[i % 3]) + "  " + path + "\n";
    }
    for (const char *tier : {"", "--tier 0 ", "--tier 1 ", "--tier 2 "}) {
        const ToolRun run = kelvra(std::string("sha256 ") + tier + list);
        EXPECT_EQ(run.exit_code, 0) << tier;
        EXPECT_EQ(run.out, expected) << tier;
    }
}

// `bus serve` as a background process answering `bus send`; an interrupt
// (SIGINT, on POSIX systems) ends it with status 0 after it has logged each
// connection's traffic.
void serve_and_send(const char *mode, const std::string &send_arg, const std::string &input,
                    const std::string &expected_reply, const std::string &expected_log) {
    TempDir dir;
    const std::string name = "cli-" + unique_number() + "-" + (mode + 2), log = dir.path("log");
    BackgroundTool server({"bus", "serve", name, mode}, {.output = log});
    ASSERT_TRUE(server.started());
    const std::vector<std::string> send = {"bus", "send", name, send_arg};
    ToolRun reply{-1, {}};
    for (int i = 0; i < 200 && reply.exit_code != 0; ++i) { // until the server listens
        if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        reply = kelvra(send, {.input = input});
    }
    EXPECT_EQ(reply.out, expected_reply) << mode;
#ifdef _WIN32
    // There the tool stops on Ctrl-C at its console. Another process can
    // raise that only with GenerateConsoleCtrlEvent on a console it shares,
    // which hits every process on it (this one too) and is unreliable under
    // Wine; so the server is ended by force once the connection is logged.
    for (int i = 0; i < 250 && read_text(log) != expected_log; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    server.kill();
#else
    EXPECT_EQ(server.interrupt(), 0) << mode;
#endif
    EXPECT_EQ(read_text(log), expected_log) << mode;
}

TEST(Cli, BusServeAndSend) {
    serve_and_send("--upper", "hello, Bus 1", "", "HELLO, BUS 1", "connection 1: 1 request, 12 bytes in, 12 bytes out\n");
    TempDir dir;
    serve_and_send("--sha256", "-", temp_file(dir, "abc", "abc"),
                   "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
                   "connection 1: 1 request, 3 bytes in, 64 bytes out\n");
}

// --help and -h anywhere before "--" print the usage of the command (or of
// the subcommand named before them), exit 0 and run nothing: no file is
// read, no directory created, no endpoint served.
TEST(Cli, HelpOfEveryCommandRunsNothing) {
    TempDir temp;
    const std::string dir = temp.path("help");
    const struct {
        std::string args, usage;
    } cases[] = {
        {"--help", "usage: kelvra COMMAND"}, {"help genome", "usage: kelvra genome SUBCOMMAND"},
        {"demo --help", "usage: kelvra demo"}, {"version -h", "usage: kelvra version"},
        {"prime --help 7", "usage: kelvra prime N..."}, {"sha256 --help", "usage: kelvra sha256 [--tier N]"},
        {"json canon --help", "usage: kelvra json canon [--lenient] [FILE]"},
        {"ndjson check " + dir + " -h", "usage: kelvra ndjson check FILE"},
        {"calc --help", "functions:"}, {"calc sin --help", "usage: kelvra calc sin X"},
        {"graph --help", "  fiedler EDGEFILE -n N"}, {"genome --help", "  pack     IN_DIR OUT_DIR"},
        {"genome save " + dir + " --body x --leaf-dim 8 --the-one 00 --help", "usage: kelvra genome save DIR"},
        {"bus serve " + dir + " --help", "usage: kelvra bus serve NAME"},
    };
    for (const auto &c : cases) {
        const ToolRun run = kelvra(c.args);
        EXPECT_EQ(run.exit_code, 0) << c.args << ": " << run.out;
        EXPECT_TRUE(contains(run.out, c.usage)) << c.args << ": " << run.out;
        EXPECT_FALSE(contains(run.out, "kelvra:")) << c.args << " ran: " << run.out;
    }
    EXPECT_FALSE(std::filesystem::exists(dir)) << "genome save ran";
    EXPECT_EQ(kelvra("version").out, "kelvra 0.8.2 (ABI 3)\n");
    for (const char *flag : {"--version", "-V"}) EXPECT_EQ(kelvra(flag).out, kelvra("version").out) << flag;
    const ToolRun file = kelvra("sha256 -- --help");
    EXPECT_EQ(file.exit_code, 3) << "after --, --help is a file name";
    EXPECT_TRUE(contains(file.out, "cannot read --help: No such file")) << file.out;
}

// Each failure exits with its class (1 data, 2 usage, 3 input/output) and
// names the argument or file at fault; a few successes for contrast. The
// configuration with many strings makes config check grow its buffer.
TEST(Cli, ExitCodesNameTheFault) {
    TempDir dir;
    std::string strings;
    for (int i = 0; i < 2000; ++i) strings.append("s").append(std::to_string(i)).append(" = \"").append(20, 'x').append("\"\n");
    const std::vector<std::string> files = {
        temp_file(dir, "0", "[1, 2,\n  3,]"), temp_file(dir, "1", "{\"a\":1}\n\n[1,2]\r\n\"x\""),
        temp_file(dir, "2", "{\"a\":1}\n\n{\"a\":\n[]\n"), temp_file(dir, "3", "[other]\nmax_nodes = 7\n"),
        temp_file(dir, "4", strings + "[hermitian]\nmax_nodes = 99\n"), temp_file(dir, "5", "[hermitian\n")};
    const std::string nobody = "cli-" + unique_number() + "-nobody", &json = files[0];
    const struct {
        std::string args;
        int exit_code;
        std::string says;
    } cases[] = {
        {"", 2, "usage: kelvra COMMAND"}, {"frobnicate", 2, "unknown command 'frobnicate'"},
        {"--frobnicate", 2, "unknown option '--frobnicate'"}, {"version extra", 2, "takes no arguments"},
        {"demo", 0, "2^64-1   = 18446744073709551615 = 3 * 5 * 17 * 257 * 641 * 65537 * 6700417"},
        {"prime 12abc", 2, "kelvra prime: '12abc' is not an unsigned 64-bit number"},
        {R"(prime 'a "b\" c\\')", 2, R"('a "b\" c\\' is not)"}, // reaches the tool as it is written
        {"factor 2^64", 2, "(larger than 2^64-1)"}, {"factor", 2, "usage: kelvra factor"},
        {"factor -12", 2, "kelvra factor: '-12' is not an unsigned 64-bit number (negative)"},
        {"factor -- 12", 0, "12: 2^2 3"},
        {"prime 2^61-1 91 0x11", 0, "2305843009213693951 is prime\n91 is not prime\n17 is prime\n"},
        {"factor 360 2^64-1 1", 0, "360: 2^3 3^2 5\n18446744073709551615: 3 5 17 257 641 65537 6700417\n1:\n"},
        {"sha256 --tier 9", 2, "--tier takes 0, 1 or 2, not '9'"}, {"sha256 --fast x", 2, "unknown option '--fast'"},
        {"sha256 /nonexistent/file", 3, "/nonexistent/file: No such file or directory; status 3 (KELVRA_ERR_IO)"},
        {"sha256", 0, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855  -\n"},
        {"json canon " + json, 1, json + ":2:5 (byte 11): a trailing comma is not allowed"},
        {"json canon /nonexistent/j.json", 3, "cannot read /nonexistent/j.json: No such file or directory"},
        {"json canon " + dir.path(), 3, "cannot read " + dir.path() + ": Is a directory"}, {"json parse", 2, "unknown action 'parse'"},
        {"ndjson check " + files[1], 0, files[1] + ": 3 JSON lines, all valid"},
        {"ndjson check " + files[2], 1, files[2] + ":3: not JSON: status 2 (KELVRA_ERR_DATA)"},
        {"ndjson check /nonexistent/n", 3, "/nonexistent/n"}, {"ndjson", 2, "no action given (check)"},
        {"template render 'Hello, {name}! {}{b}' name=World =empty b=", 0, "Hello, World! empty\n"},
        {"template render 'x{nope}' name=World", 1, "status 2"}, {"template render x a=1 a=2", 2, "given twice"},
        {"template render '{a}' b", 2, "'b' is not KEY=VALUE"},
        {"config check " + files[3], 0, "hermitian.max_nodes = 2048\n"},
        {"config check " + files[4], 0, "hermitian.max_nodes = 99\n"},
        {"config check " + files[5], 1, "status 2 (KELVRA_ERR_DATA)"},
        {"config check /nonexistent/c", 3, "status 3 (KELVRA_ERR_IO)"}, {"config check", 2, "no file given"},
        {"config frobnicate x", 2, "unknown action (check)"},
        {"graph eig --values m", 2, "unknown option '--values'"},
        {"graph fiedler e.bin -n x", 2, "-n: 'x' is not a number below 2^32"},
        {"graph fiedler /nonexistent/e.bin -n 3", 3, "cannot read /nonexistent/e.bin: No such file"},
        {"kuramoto --n 5 --steps x --coupling 1", 2, "--steps: 'x' is not an unsigned integer"},
        {"genome ls /nonexistent/g", 3, "/nonexistent/g: No such file or directory"},
        {"genome save g --bogus 1", 2, "unknown option '--bogus'"},
        {"genome pack /nonexistent/b /nonexistent/o", 3, "cannot list directory /nonexistent/b"},
        {"bus send", 2, "no endpoint name given"},
        {"bus send " + nobody + " hi", 3,
         "nobody serves endpoint '" + nobody + "'\nkelvra: kelvra_bus_connect failed: status 3 (KELVRA_ERR_IO)"},
    };
    for (const auto &c : cases) {
        const ToolRun run = kelvra(c.args);
        EXPECT_EQ(run.exit_code, c.exit_code) << c.args << ": " << run.out;
        EXPECT_TRUE(contains(run.out, c.says)) << c.args << ": " << run.out;
    }
}

#ifndef _WIN32 // a full disk on demand is Linux's /dev/full
// Standard output on a full disk: every command reports it and exits 3.
TEST(Cli, FullDiskIsAnError) {
    TempDir dir;
    const std::string json = temp_file(dir, "j", "{\"a\": [1, 2]}");
    for (const std::string &args : std::vector<std::string>{"--help", "--version", "version", "info", "prime 7", "factor 12", "demo",
                                   "sha256 /dev/null", "json canon " + json, "template render {a} a=1",
                                   "calc sin 1", "hamming encode 1011", "hdc demo", "genome --help"}) {
        const ToolRun run = kelvra(args, {.output = "/dev/full"});
        EXPECT_EQ(run.exit_code, 3) << args << ": " << run.out;
        EXPECT_TRUE(contains(run.out, "error writing standard output")) << args << ": " << run.out;
    }
}
#endif

// Strict JSON by default: a text the canonical form would change is refused
// with its place; --lenient takes the library's reading and warns per number.
TEST(Cli, JsonStrictAndLenient) {
    const struct {
        std::string text, strict_error, lenient_out, warning;
    } cases[] = {
        {"[1.50, -0, 1e2]", "", "[1.5, 0, 100.0]\n", ""},
        {"[1, 01]", "1:5 (byte 4): '01' is not a JSON number: leading zeros", "[1, 1]\n", "01 becomes 1"},
        {"[--5]", "1:2 (byte 1): '--5' is not a number", "[0]\n", "--5 becomes 0"},
        {"{\"x\":\n 1e999}", "2:2 (byte 7): the number 1e999 is too large for a double", "{\"x\": inf}\n",
         "1e999 becomes inf"},
        {"9223372036854775808", "1:1 (byte 0): the integer 9223372036854775808 is outside the signed 64-bit range",
         "9223372036854775807\n", "becomes 9223372036854775807"},
        {"1e-400", "1:1 (byte 0): the number 1e-400 is too small", "0.0\n", "1e-400 becomes 0.0"},
        {"\"\\ud800\"", "1:2 (byte 1): a high surrogate without a low one", "", ""},
        {"\"\xff\"", "1:2 (byte 1): invalid UTF-8", "", ""},
    };
    TempDir dir;
    for (const auto &c : cases) {
        const std::string path = temp_file(dir, "j", c.text);
        const ToolRun strict = kelvra("json canon " + path);
        // Standard output only, then standard error only.
        const std::string lenient = kelvra("json canon --lenient " + path, {.error = null_device}).out;
        const std::string warned = kelvra("json canon --lenient " + path, {.output = null_device}).out;
        EXPECT_EQ(strict.exit_code, c.strict_error.empty() ? 0 : 1) << c.text;
        EXPECT_TRUE(c.strict_error.empty() ? strict.out == c.lenient_out : contains(strict.out, path + ":" + c.strict_error))
            << c.text << ": " << strict.out;
        EXPECT_TRUE(c.lenient_out.empty() || lenient == c.lenient_out) << c.text << ": " << lenient;
        EXPECT_TRUE(c.warning.empty() ? warned.empty() || c.lenient_out.empty()
                                      : contains(warned, "warning: " + path) && contains(warned, c.warning))
            << c.text << ": " << warned;
    }
}

// Strict texts are written while they are scanned; the bytes must be the
// library's own canonical form of the parsed tree, on every accepted text of
// the conformance suite and the large benchmark documents.
TEST(Cli, JsonCanonStreamsTheLibrarysCanonicalForm) {
    std::vector<std::string> paths;
    const std::string suite = std::string(KELVRA_TEST_CORPUS) + "/JSONTestSuite/test_parsing/";
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(suite, error))
        if (entry.path().filename().string()[0] == 'y') paths.push_back(suite + entry.path().filename().string());
    for (const char *name : {"canada", "citm_catalog", "twitter"})
        paths.push_back(std::string(KELVRA_TEST_CORPUS) + "/nativejson-benchmark/" + name + ".json");
    ASSERT_GT(paths.size(), 90u);
    for (const std::string &path : paths) {
        const std::string text = read_text(path);
        std::vector<uint8_t> arena(64 * text.size() + 65536);
        kelvra_json_value *root = nullptr;
        if (kelvra_json_parse(reinterpret_cast<const uint8_t *>(text.data()), text.size(), arena.data(), arena.size(),
                              &root) != KELVRA_OK)
            continue; // refused by the library as well: nothing to compare
        std::vector<uint8_t> workspace(kelvra_json_write_arena_bytes(root) + 1), out(4 * text.size() + 64);
        uint64_t length = 0;
        ASSERT_EQ(kelvra_json_write_ws(root, out.data(), out.size(), &length, workspace.data(), workspace.size()),
                  KELVRA_OK);
        const ToolRun run = kelvra(std::vector<std::string>{"json", "canon", path}, {.error = null_device});
        if (run.exit_code == 1) continue; // not strict enough for the default mode
        EXPECT_EQ(run.out, std::string(out.begin(), out.begin() + static_cast<long>(length)) + "\n") << path;
    }
}

// sha256 -c reads this tool's and sha256sum's listings; a file over the
// windowed-mapping size (sparse, so cheap) hashes right.
TEST(Cli, Sha256ChecksListingsAndHashesLargeFiles) {
    TempDir dir;
    const std::string good = temp_file(dir, "good", "abc"), changed = temp_file(dir, "changed", "abd");
    const std::string listing = temp_file(dir, "listing",
        "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad  " + good + "\n" +
        "SHA256 (" + changed + ") = BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD\n" +
        "# a comment\nnot a checksum line\n" +
        "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad */nonexistent/file\n");
    const ToolRun check = kelvra("sha256 -c " + listing);
    EXPECT_EQ(check.exit_code, 3) << check.out; // a listed file cannot be read
    for (const std::string &line : std::vector<std::string>{good + ": OK", changed + ": FAILED\n", "/nonexistent/file: FAILED open or read",
                                    "WARNING: 1 line is improperly formatted", "WARNING: 1 computed checksum did NOT match"})
        EXPECT_TRUE(contains(check.out, line)) << line << "\n" << check.out;
    const std::string ok_listing = temp_file(dir, "ok_listing", kelvra("sha256 " + good).out);
    EXPECT_EQ(kelvra("sha256 -c --strict " + ok_listing).exit_code, 0);
    EXPECT_EQ(kelvra("sha256 -c --status " + ok_listing).out, "");
    EXPECT_EQ(kelvra("sha256 -c " + good).exit_code, 1) << "no checksum lines";
    const ToolRun silent = kelvra("sha256 -c --status " +
        temp_file(dir, "mismatch", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad  " + changed + "\n"));
    EXPECT_TRUE(silent.exit_code == 1 && silent.out.empty()) << silent.exit_code << ": " << silent.out;
    EXPECT_EQ(kelvra("sha256 --quiet " + good).exit_code, 2) << "--quiet needs -c";
    // Standard input is hashed as its bytes, "\r\n" and Ctrl-Z too (not as Windows' text mode reads them).
    EXPECT_EQ(kelvra("sha256 -", {.input = temp_file(dir, "crlf", "a\r\nb\x1a" "c")}).out,
              "17232072800df3a5cfe70a9cab472cf915cce47ae724487f15f7709e4b944ad9  -\n");

    // 65 MiB + 12345 zero bytes, as sha256sum hashes them.
    const std::string large = temp_file(dir, "large", "");
    std::error_code error;
    std::filesystem::resize_file(large, (uint64_t{65} << 20) + 12345, error);
    ASSERT_FALSE(error) << error.message();
    EXPECT_EQ(kelvra("sha256 " + large).out,
              "7b9497433857da355596dec1a55fb04646204e0dd23f311cc26f3ce5820242ff  " + large + "\n");
}

// The manual page keeps up with the tool: every command, genome subcommand
// and variable `--help` lists, and the version.
TEST(Cli, ManualPageCoversTheHelp) {
    const std::string man = read_text(KELVRA_TEST_MANPAGE);
    const auto listed = [](const std::string &help, const char *from, const char *pattern) {
        std::vector<std::string> names;
        const std::regex entry(pattern);
        const std::string part = help.substr(help.find(from));
        for (auto it = std::sregex_iterator(part.begin(), part.end(), entry); it != std::sregex_iterator(); ++it)
            names.push_back((*it)[1]);
        return names;
    };
    const std::string help = kelvra("--help").out, genome = kelvra("genome --help").out;
    const auto commands = listed(help.substr(0, help.find("\noptions:")), "commands:", R"(\n  ([a-z0-9]+)[ \n])");
    const auto subcommands = listed(genome, "subcommands", R"(\n  ([a-z]+) )");
    const auto variables = listed(help, "environment", R"(\n  (KELVRA_[A-Z0-9_]+) )");
    EXPECT_EQ(commands.size(), 19u);
    EXPECT_EQ(subcommands.size(), 12u);
    EXPECT_EQ(variables.size(), 6u);
    for (const auto &names : {commands, subcommands, variables})
        for (const std::string &name : names)
            EXPECT_TRUE(std::regex_search(man, std::regex("\n\\.B[IR]? \"?" + name + "\\b"))) << name;
    const std::string version = kelvra("--version").out; // "kelvra X.Y.Z (ABI n)"
    EXPECT_TRUE(contains(man, '"' + version.substr(0, version.find(" (")) + '"')) << version;
}

#endif // KELVRA_TEST_TOOL
