// NDJSON line iteration: splitting, numbering, carriage returns, 64 KiB chunks, the 1 MiB line limit,
// callback statuses, threads at once, and the library loaded with dlopen while threads already run.
#include <gtest/gtest.h>

#ifdef _WIN32
#include "platform/win32/win.hpp"
#else
#include <dlfcn.h>
#endif

#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "kelvra.h"
#include "platform/temp_dir.hpp"

namespace {

using kelvra_test::TempDir;
using IterFn = kelvra_status (*)(const char *, kelvra_ndjson_line_fn, void *);

// A second copy of the library, loaded and later unloaded at run time.
#ifdef _WIN32
constexpr const char *copy_name = "kelvra-copy.dll";
using Module = HMODULE;
Module load_module(const std::string &path) { return LoadLibraryA(path.c_str()); }
std::string load_error() { return "error " + std::to_string(GetLastError()); }
IterFn find_iter(Module module) {
    return reinterpret_cast<IterFn>(reinterpret_cast<void *>(GetProcAddress(module, "kelvra_ndjson_iter")));
}
void unload_module(Module module) { FreeLibrary(module); }
#else
constexpr const char *copy_name = "libkelvra-copy.so";
using Module = void *;
Module load_module(const std::string &path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
std::string load_error() { return dlerror(); }
IterFn find_iter(Module module) { return reinterpret_cast<IterFn>(dlsym(module, "kelvra_ndjson_iter")); }
void unload_module(Module module) { dlclose(module); }
#endif

constexpr uint64_t kMiB = uint64_t{1} << 20;

struct Line { std::string bytes; uint64_t number; bool operator==(const Line &) const = default; };
// The callback of line stop_at returns stop_status.
struct Seen { std::vector<Line> lines; uint64_t stop_at = 0; kelvra_status stop_status = 0; };

kelvra_status collect(const uint8_t *line, uint64_t length, uint64_t number, void *context) {
    auto *seen = static_cast<Seen *>(context);
    seen->lines.push_back({std::string(reinterpret_cast<const char *>(line), length), number});
    return number == seen->stop_at ? seen->stop_status : KELVRA_OK;
}

void write_file(const std::string &path, const std::string &bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// `n` bytes of a pattern that holds no line feed or carriage return.
std::string filler(uint64_t n) {
    std::string s(n, 'a');
    for (uint64_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
    return s;
}

TEST(Ndjson, SplitsNumbersAndStops) {
    struct Case { const char *name; std::string file; uint64_t stop_at; kelvra_status status; std::vector<Line> lines; };
    const Case cases[] = {
        {"empty file", "", 0, 0, {}},
        {"empty lines are skipped but counted", "a\n\nb\r\nc", 0, 0, {{"a", 1}, {"b", 3}, {"c", 4}}},
        {"only CR LF pairs", "\r\n\r\n\r\n", 0, 0, {}},
        {"only one CR is dropped", "\r\r\n", 0, 0, {{"\r", 1}}},
        {"inner CRs stay", "a\rb\r\n", 0, 0, {{"a\rb", 1}}},
        {"CR dropped from the unterminated last line", "x\ny\r", 0, 0, {{"x", 1}, {"y", 2}}},
        {"a lone CR is an empty line", "x\n\r", 0, 0, {{"x", 1}}},
        {"NUL bytes are data", std::string("a\0b\n", 4), 0, 0, {{std::string("a\0b", 3), 1}}},
        {"a status stops at once", "one\ntwo\nthree\n", 2, 7, {{"one", 1}, {"two", 2}}},
        {"the unterminated last line's status", "one\ntwo", 2, 9, {{"one", 1}, {"two", 2}}},
    };
    TempDir dir;
    const std::string path = dir.path("lines");
    for (const Case &c : cases) {
        write_file(path, c.file);
        Seen seen{{}, c.stop_at, c.status};
        EXPECT_EQ(kelvra_ndjson_iter(path.c_str(), collect, &seen), c.status) << c.name;
        EXPECT_EQ(seen.lines, c.lines) << c.name;
    }
    Seen seen;
    EXPECT_EQ(kelvra_ndjson_iter(nullptr, collect, &seen), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_ndjson_iter(dir.path("missing").c_str(), collect, &seen), KELVRA_ERR_IO);
    const kelvra_test::FailingFile failing;
    const bool can_fail = kelvra_test::reads_fail(failing.path());
    EXPECT_TRUE(!can_fail || kelvra_ndjson_iter(failing.path(), collect, &seen) == KELVRA_ERR_IO);
    EXPECT_TRUE(seen.lines.empty());
}

// "head\n", then a line of `length` bytes and `tail`. The file's first chunk
// ends at byte 65536, so a length of 65530 puts the CR or LF after it at the
// chunk's last byte and 65531 at the next chunk's first.
TEST(Ndjson, LongLinesAndChunkBoundaries) {
    struct Case { uint64_t length; const char *tail; kelvra_status status; };
    const Case cases[] = {
        {65530, "\nz\n", 0},  {65530, "\r\nz", 0},   {65531, "\nz\n", 0},   {65531, "\r\nz\n", 0},
        {65536, "\nz\n", 0},  {200000, "\r\nz", 0},  {kMiB, "\nz\n", 0},    {kMiB, "", 0},
        {kMiB, "\r\nz\n", 4}, {kMiB + 1, "\nz\n", 4}, {kMiB + 1, "", 4},
    };
    TempDir dir;
    const std::string path = dir.path("long");
    for (const Case &c : cases) {
        const std::string line = filler(c.length);
        write_file(path, "head\n" + line + c.tail);
        Seen seen;
        EXPECT_EQ(kelvra_ndjson_iter(path.c_str(), collect, &seen), c.status) << c.length << " " << c.tail;
        std::vector<Line> want{{"head", 1}};
        if (c.status == 0) want.push_back({line, 2});
        if (c.status == 0 && *c.tail != 0) want.push_back({"z", 3});
        EXPECT_EQ(seen.lines, want) << c.length << " " << c.tail;
    }
}

struct ThreadFile { std::string path; char mark; uint64_t lines = 0; bool clean = true; };

kelvra_status check_mark(const uint8_t *line, uint64_t length, uint64_t, void *context) {
    auto *file = static_cast<ThreadFile *>(context);
    for (uint64_t i = 0; i < length; ++i) file->clean &= line[i] == static_cast<uint8_t>(file->mark);
    ++file->lines;
    return KELVRA_OK;
}

// The 1 MiB line buffer is thread-local. A copy of the library loaded while
// threads run must get it through dynamic TLS (a static-TLS build fails to
// load here), and threads started before the load each get their own. Each
// thread's file holds lines of its own mark, some longer than a chunk; a line
// torn, or gathered in another thread's buffer, breaks count or content.
TEST(Ndjson, WorksWhenLoadedWithDlopenIntoRunningThreads) {
    TempDir dir;
    std::vector<ThreadFile> files;
    for (int t = 0; t < 4; ++t) {
        files.push_back({dir.path("t" + std::to_string(t)), static_cast<char>('A' + t)});
        std::string text;
        for (int i = 0; i < 64; ++i) text += std::string(1 + (i * 7919 + t) % 70000, files.back().mark) + '\n';
        write_file(files.back().path, text);
    }
    std::atomic<IterFn> iter{nullptr};
    std::vector<kelvra_status> results(files.size(), 99);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < files.size(); ++t) {
        threads.emplace_back([&, t] {
            while (iter.load() == nullptr) std::this_thread::yield();
            results[t] = iter.load()(files[t].path.c_str(), check_mark, &files[t]);
        });
    }
    // A copy under a new name is a new module, though this program links the library.
    const std::string copy = dir.path(copy_name);
    std::ofstream(copy, std::ios::binary) << std::ifstream(KELVRA_TEST_LIBRARY, std::ios::binary).rdbuf();
    const Module handle = load_module(copy);
    EXPECT_NE(handle, nullptr) << load_error();
    const IterFn loaded = handle != nullptr ? find_iter(handle) : nullptr;
    EXPECT_NE(loaded, nullptr);
    iter = loaded != nullptr ? loaded : kelvra_ndjson_iter; // keep the threads' work defined
    for (std::thread &th : threads) th.join();
    for (size_t t = 0; t < files.size(); ++t)
        EXPECT_TRUE(results[t] == KELVRA_OK && files[t].lines == 64 && files[t].clean) << t << ": " << results[t];
    if (loaded != nullptr) { // the main thread, too, gets its buffer in the new module
        write_file(dir.path("main"), "m\n");
        Seen seen;
        EXPECT_EQ(loaded(dir.path("main").c_str(), collect, &seen), KELVRA_OK);
        EXPECT_EQ(seen.lines, (std::vector<Line>{{"m", 1}}));
    }
    if (handle != nullptr) unload_module(handle);
}

} // namespace
