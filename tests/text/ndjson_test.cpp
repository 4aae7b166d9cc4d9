// NDJSON line iteration: line splitting and numbering, the 1 MiB line limit,
// callback statuses, several threads at once, and the library loaded with
// dlopen into a process whose threads already run.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "kelvra.h"
#include "platform/temp_dir.hpp"

namespace {

using kelvra_test::TempDir;

constexpr uint64_t kMiB = uint64_t{1} << 20;

struct Line {
    std::string bytes;
    uint64_t number;
    bool operator==(const Line &) const = default;
};

struct Seen {
    std::vector<Line> lines;
    uint64_t stop_at = 0; // line number whose callback returns `stop_status`
    kelvra_status stop_status = 0;
};

kelvra_status collect(const uint8_t *line, uint64_t length, uint64_t number, void *context) {
    auto *seen = static_cast<Seen *>(context);
    seen->lines.push_back({std::string(reinterpret_cast<const char *>(line), length), number});
    return number == seen->stop_at ? seen->stop_status : KELVRA_OK;
}

void write_file(const std::string &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

struct Case {
    const char *name;
    std::string file;
    kelvra_status status;
    std::vector<Line> lines;
};

TEST(Ndjson, SplitsAndNumbersLines) {
    const std::string cr_line(2, '\r');
    const Case cases[] = {
        {"empty file", "", 0, {}},
        {"numbers count skipped lines", "a\n\nb\r\nc", 0, {{"a", 1}, {"b", 3}, {"c", 4}}},
        {"only CR LF pairs", "\r\n\r\n\r\n", 0, {}},
        {"two CRs give one", cr_line + "\n", 0, {{"\r", 1}}},
        {"inner CRs stay", "a\rb\r\n", 0, {{"a\rb", 1}}},
        {"final CR without LF", "x\ny\r", 0, {{"x", 1}, {"y", 2}}},
        {"lone CR at end", "x\n\r", 0, {{"x", 1}}},
        {"final LF adds nothing", "x\n", 0, {{"x", 1}}},
        {"NUL bytes are data", std::string("a\0b\n", 4), 0, {{std::string("a\0b", 3), 1}}},
    };
    TempDir dir;
    for (const Case &c : cases) {
        const std::string path = dir.path("lines");
        write_file(path, c.file);
        Seen seen;
        EXPECT_EQ(kelvra_ndjson_iter(path.c_str(), collect, &seen), c.status) << c.name;
        EXPECT_EQ(seen.lines, c.lines) << c.name;
    }
}

TEST(Ndjson, ArgumentsAndFailuresOfTheStream) {
    TempDir dir;
    const std::string path = dir.path("one");
    write_file(path, "x\n");
    Seen seen;
    EXPECT_EQ(kelvra_ndjson_iter(nullptr, collect, &seen), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_ndjson_iter(path.c_str(), nullptr, &seen), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_ndjson_iter(dir.path("missing").c_str(), collect, &seen), KELVRA_ERR_IO);
    if (kelvra_test::reads_fail(kelvra_test::failing_file)) {
        EXPECT_EQ(kelvra_ndjson_iter(kelvra_test::failing_file, collect, &seen), KELVRA_ERR_IO);
    }
    EXPECT_TRUE(seen.lines.empty());
}

TEST(Ndjson, CallbackStatusStopsTheIteration) {
    TempDir dir;
    const std::string path = dir.path("lines");
    write_file(path, "one\ntwo\nthree\n");
    for (const kelvra_status status : {7u, 1u, 0xFFFFFFFFu}) {
        Seen seen;
        seen.stop_at = 2;
        seen.stop_status = status;
        EXPECT_EQ(kelvra_ndjson_iter(path.c_str(), collect, &seen), status);
        EXPECT_EQ(seen.lines, (std::vector<Line>{{"one", 1}, {"two", 2}})) << status;
    }
    write_file(path, "one\nlast");
    Seen last;
    last.stop_at = 2;
    last.stop_status = 9;
    EXPECT_EQ(kelvra_ndjson_iter(path.c_str(), collect, &last), 9u) << "the unterminated last line's status";
}

// Lengths of the first line around the chunk size and the line limit, with
// what follows it, and the outcome.
TEST(Ndjson, LongLinesAndChunkBoundaries) {
    struct Long {
        uint64_t length;
        const char *tail;
        kelvra_status status;
        bool first_delivered;
    };
    const Long cases[] = {
        {65535, "\nz\n", 0, true}, {65536, "\nz\n", 0, true},      {65537, "\nz\n", 0, true},
        {200000, "\r\nz", 0, true}, {kMiB, "\nz\n", 0, true},       {kMiB, "", 0, true},
        {kMiB + 1, "\nz\n", 4, false}, {kMiB, "\r\nz\n", 4, false}, {kMiB + 1, "", 4, false},
    };
    TempDir dir;
    const std::string path = dir.path("long");
    for (const Long &c : cases) {
        std::string file = "head\n";
        for (uint64_t i = 0; i < c.length; ++i) file += static_cast<char>('a' + i % 26);
        file += c.tail;
        write_file(path, file);
        Seen seen;
        EXPECT_EQ(kelvra_ndjson_iter(path.c_str(), collect, &seen), c.status) << c.length << " " << c.tail;
        ASSERT_GE(seen.lines.size(), 1u);
        EXPECT_EQ(seen.lines[0], (Line{"head", 1}));
        EXPECT_EQ(seen.lines.size(), c.status == 0 ? (*c.tail == 0 ? 2u : 3u) : 1u) << c.length;
        if (c.first_delivered) {
            EXPECT_EQ(seen.lines[1].bytes, file.substr(5, c.length));
            EXPECT_EQ(seen.lines[1].number, 2u);
        }
    }
}

// Many lines of every length near the chunk size: each arrives whole, wherever the chunks split it.
TEST(Ndjson, LinesAcrossManyChunksMatchAPlainSplit) {
    std::string file;
    std::vector<Line> expected;
    uint64_t number = 1;
    uint32_t state = 12345;
    while (file.size() < 5 * 65536) {
        state = state * 1103515245u + 12345u;
        const size_t length = (state >> 8) % 3000;
        std::string line;
        for (size_t i = 0; i < length; ++i) line += static_cast<char>('0' + (i + number) % 64);
        file += line + ((state & 1) ? "\r\n" : "\n");
        if (!line.empty()) expected.push_back({line, number});
        ++number;
    }
    TempDir dir;
    const std::string path = dir.path("many");
    write_file(path, file);
    Seen seen;
    EXPECT_EQ(kelvra_ndjson_iter(path.c_str(), collect, &seen), KELVRA_OK);
    EXPECT_EQ(seen.lines, expected);
}

// Each thread's file holds lines naming that thread; a line seen by another
// thread or torn by one would break the count or the content.
struct ThreadFile {
    std::string path;
    char mark;
    uint64_t lines = 0;
    bool clean = true;
};

kelvra_status check_mark(const uint8_t *line, uint64_t length, uint64_t, void *context) {
    auto *file = static_cast<ThreadFile *>(context);
    for (uint64_t i = 0; i < length; ++i) file->clean &= line[i] == static_cast<uint8_t>(file->mark);
    ++file->lines;
    return KELVRA_OK;
}

std::vector<ThreadFile> thread_files(const TempDir &dir, int count, uint64_t lines_each) {
    std::vector<ThreadFile> files;
    for (int t = 0; t < count; ++t) {
        ThreadFile f{dir.path("t" + std::to_string(t)), static_cast<char>('A' + t)};
        std::string text;
        for (uint64_t i = 0; i < lines_each; ++i) text += std::string(1 + (i * 7919 + t) % 70000, f.mark) + '\n';
        write_file(f.path, text);
        files.push_back(f);
    }
    return files;
}

using IterFn = kelvra_status (*)(const char *, kelvra_ndjson_line_fn, void *);

void iterate_in_threads(std::vector<ThreadFile> &files, IterFn iter, std::atomic<bool> &go) {
    std::vector<std::thread> threads;
    std::vector<kelvra_status> results(files.size(), 99);
    for (size_t t = 0; t < files.size(); ++t) {
        threads.emplace_back([&, t] {
            while (!go.load()) std::this_thread::yield();
            results[t] = iter(files[t].path.c_str(), check_mark, &files[t]);
        });
    }
    go = true;
    for (std::thread &th : threads) th.join();
    for (size_t t = 0; t < files.size(); ++t) {
        EXPECT_EQ(results[t], KELVRA_OK) << t;
        EXPECT_EQ(files[t].lines, 64u) << t;
        EXPECT_TRUE(files[t].clean) << t;
    }
}

TEST(Ndjson, ThreadsIterateDifferentFilesAtOnce) {
    TempDir dir;
    std::vector<ThreadFile> files = thread_files(dir, 6, 64);
    std::atomic<bool> go{false};
    iterate_in_threads(files, kelvra_ndjson_iter, go);
}

// The line buffer is thread-local storage of 1 MiB. A copy of the library
// loaded now, with threads running, must get it through dynamic TLS (a
// static-TLS build fails to load here), and threads that started before the
// load must each get their own.
TEST(Ndjson, WorksWhenLoadedWithDlopenIntoRunningThreads) {
    TempDir dir;
    std::vector<ThreadFile> files = thread_files(dir, 4, 64);

    std::atomic<bool> go{false};
    IterFn iter = nullptr;
    std::vector<kelvra_status> results(files.size(), 99);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < files.size(); ++t) {
        threads.emplace_back([&, t] {
            while (!go.load()) std::this_thread::yield();
            results[t] = iter(files[t].path.c_str(), check_mark, &files[t]);
        });
    }
    // A copy under a new name is a new module for the loader, even though
    // this program already links the library.
    const std::string copy = dir.path("libkelvra-copy.so");
    {
        std::ifstream from(KELVRA_TEST_LIBRARY, std::ios::binary);
        std::ofstream to(copy, std::ios::binary);
        to << from.rdbuf();
    }
    void *handle = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(handle, nullptr) << dlerror();
    if (handle != nullptr) iter = reinterpret_cast<IterFn>(dlsym(handle, "kelvra_ndjson_iter"));
    EXPECT_NE(iter, nullptr);
    if (iter == nullptr) iter = kelvra_ndjson_iter; // keep the threads' work defined
    go = true;
    for (std::thread &th : threads) th.join();
    for (size_t t = 0; t < files.size(); ++t) {
        EXPECT_EQ(results[t], KELVRA_OK) << t;
        EXPECT_EQ(files[t].lines, 64u) << t;
        EXPECT_TRUE(files[t].clean) << t;
    }
    // The main thread, too, gets its buffer in the new module.
    Seen seen;
    const std::string path = dir.path("main");
    write_file(path, "m\n");
    EXPECT_EQ(iter(path.c_str(), collect, &seen), KELVRA_OK);
    EXPECT_EQ(seen.lines, (std::vector<Line>{{"m", 1}}));
    if (handle != nullptr) dlclose(handle);
}

} // namespace
