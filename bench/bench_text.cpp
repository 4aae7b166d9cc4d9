// NDJSON iteration and byte search beside their everyday peers.
//
// BM_Lines/*: one pass over a 256 MiB file of JSON lines, written to /tmp at
// start-up and removed at exit. kelvra_ndjson_iter with a callback that only
// counts, against getline on the same file; then kelvra_ndjson_iter with
// kelvra_json_parse in the callback against simdjson's document stream
// (parse_many over the file loaded into a padded string, loading included).
// The bytes/s column is the file rate; the page cache holds the file, so
// these are CPU rates.
//
// BM_Search/*: the first occurrence of a needle near the end of a 64 MiB
// haystack of English-like text (letters, spaces, a few capitals), kelvra
// against glibc's memmem, for needles of 4 to 256 bytes (BM_Search: a rare first
// byte; BM_SearchPlain: an ordinary one, from 8 bytes, as 4 letters occur by chance).
#include <benchmark/benchmark.h>
#include <simdjson.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "kelvra.h"

namespace {

constexpr uint64_t kFileBytes = uint64_t{256} << 20;

// The JSON-lines file, made once and deleted when the program ends.
class LinesFile {
public:
    LinesFile() {
        char pattern[] = "/tmp/kelvra-bench-lines-XXXXXX";
        const int fd = mkstemp(pattern);
        if (fd < 0) std::abort();
        path_ = pattern;
        FILE *out = fdopen(fd, "wb");
        std::mt19937_64 rng(42);
        std::string line;
        uint64_t written = 0;
        for (uint64_t id = 0; written < kFileBytes; ++id) {
            line = "{\"id\":" + std::to_string(id) + ",\"user\":\"user" + std::to_string(rng() % 100000) +
                   "\",\"score\":" + std::to_string(static_cast<double>(rng() % 1000000) / 1000.0) + ",\"tags\":[";
            const int tags = static_cast<int>(rng() % 5);
            for (int t = 0; t < tags; ++t) line += (t ? ",\"t" : "\"t") + std::to_string(rng() % 50) + "\"";
            line += "],\"active\":" + std::string(rng() & 1 ? "true" : "false") + ",\"text\":\"" +
                    std::string(10 + rng() % 120, 'a' + static_cast<char>(rng() % 26)) + "\"}\n";
            std::fwrite(line.data(), 1, line.size(), out);
            written += line.size();
            ++lines_;
        }
        std::fclose(out);
        bytes_ = written;
    }
    ~LinesFile() { std::remove(path_.c_str()); }
    const char *path() const { return path_.c_str(); }
    uint64_t bytes() const { return bytes_; }
    uint64_t lines() const { return lines_; }

private:
    std::string path_;
    uint64_t bytes_ = 0, lines_ = 0;
};

const LinesFile &lines_file() {
    static LinesFile file;
    return file;
}

struct Tally {
    uint64_t lines = 0, bytes = 0;
    std::vector<uint8_t> arena = std::vector<uint8_t>(1 << 20);
};

kelvra_status count_line(const uint8_t *, uint64_t length, uint64_t, void *context) {
    auto *t = static_cast<Tally *>(context);
    ++t->lines;
    t->bytes += length;
    return KELVRA_OK;
}

kelvra_status parse_line(const uint8_t *line, uint64_t length, uint64_t, void *context) {
    auto *t = static_cast<Tally *>(context);
    kelvra_json_value *root = nullptr;
    const kelvra_status s = kelvra_json_parse(line, length, t->arena.data(), t->arena.size(), &root);
    ++t->lines;
    return s;
}

void check_lines(benchmark::State &state, uint64_t lines) {
    if (lines != lines_file().lines()) state.SkipWithError("wrong number of lines");
}

void BM_Lines_KelvraIter(benchmark::State &state) {
    const LinesFile &file = lines_file();
    for (auto _ : state) {
        Tally t;
        if (kelvra_ndjson_iter(file.path(), count_line, &t) != KELVRA_OK) state.SkipWithError("iteration failed");
        check_lines(state, t.lines);
        benchmark::DoNotOptimize(t.bytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.bytes()));
}

void BM_Lines_Getline(benchmark::State &state) {
    const LinesFile &file = lines_file();
    for (auto _ : state) {
        FILE *in = std::fopen(file.path(), "rb");
        char *line = nullptr;
        size_t capacity = 0;
        ssize_t got;
        uint64_t lines = 0, bytes = 0;
        while ((got = getline(&line, &capacity, in)) > 0) {
            ++lines;
            bytes += static_cast<uint64_t>(got);
        }
        std::free(line);
        std::fclose(in);
        check_lines(state, lines);
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.bytes()));
}

void BM_Lines_KelvraIterParse(benchmark::State &state) {
    const LinesFile &file = lines_file();
    for (auto _ : state) {
        Tally t;
        if (kelvra_ndjson_iter(file.path(), parse_line, &t) != KELVRA_OK) state.SkipWithError("a line failed");
        check_lines(state, t.lines);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.bytes()));
}

void BM_Lines_SimdjsonDocumentStream(benchmark::State &state) {
    const LinesFile &file = lines_file();
    simdjson::dom::parser parser;
    for (auto _ : state) {
        simdjson::padded_string text;
        if (simdjson::padded_string::load(file.path()).get(text)) state.SkipWithError("load failed");
        simdjson::dom::document_stream stream;
        if (parser.parse_many(text, 1 << 20).get(stream)) state.SkipWithError("parse_many failed");
        uint64_t lines = 0;
        for (auto doc : stream) {
            if (doc.error()) state.SkipWithError("a line failed");
            ++lines;
        }
        check_lines(state, lines);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.bytes()));
}

// The haystack: words of random letters, the needle planted once near the end.
constexpr size_t kHaystackBytes = size_t{64} << 20;

struct SearchCase {
    std::vector<uint8_t> haystack;
    std::vector<uint8_t> needle;
    size_t planted;
};

SearchCase make_search_case(size_t needle_length) {
    std::mt19937_64 rng(7 + needle_length);
    SearchCase c;
    c.haystack.resize(kHaystackBytes);
    for (size_t i = 0; i < kHaystackBytes; ++i) {
        const uint64_t r = rng() % 64;
        c.haystack[i] =
            r < 10 ? ' ' : (r < 12 ? static_cast<uint8_t>('A' + rng() % 26) : static_cast<uint8_t>('a' + r % 26));
    }
    c.needle.resize(needle_length);
    for (size_t i = 0; i < needle_length; ++i) c.needle[i] = static_cast<uint8_t>('a' + rng() % 26);
    c.needle[0] = 'Q'; // rare first byte, as in most real needles
    c.planted = kHaystackBytes - needle_length - 1000;
    std::memcpy(c.haystack.data() + c.planted, c.needle.data(), needle_length);
    return c;
}

// The common words' shape: needles starting with an ordinary letter.
SearchCase make_plain_case(size_t needle_length) {
    SearchCase c = make_search_case(needle_length);
    c.needle[0] = 'e';
    std::memcpy(c.haystack.data() + c.planted, c.needle.data(), needle_length);
    return c;
}

template <SearchCase (*make)(size_t)>
void BM_Search_Kelvra(benchmark::State &state) {
    const SearchCase c = make(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        uint32_t at = 0;
        kelvra_byte_search(c.haystack.data(), static_cast<uint32_t>(c.haystack.size()), c.needle.data(),
                           static_cast<uint32_t>(c.needle.size()), &at);
        if (at != c.planted) state.SkipWithError("wrong position");
        benchmark::DoNotOptimize(at);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.planted));
}

template <SearchCase (*make)(size_t)>
void BM_Search_Memmem(benchmark::State &state) {
    const SearchCase c = make(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        const void *hit = memmem(c.haystack.data(), c.haystack.size(), c.needle.data(), c.needle.size());
        if (hit != c.haystack.data() + c.planted) state.SkipWithError("wrong position");
        benchmark::DoNotOptimize(hit);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.planted));
}

} // namespace

BENCHMARK(BM_Lines_KelvraIter)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_Lines_Getline)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_Lines_KelvraIterParse)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_Lines_SimdjsonDocumentStream)->Unit(benchmark::kMillisecond)->MinTime(2);
// Rare first byte from 4 bytes; an ordinary one from 8 (4 letters occur by chance).
#define KELVRA_SEARCH_BENCH(name, fn, make, shortest)                                                                  \
    BENCHMARK(fn<make>)->Name(name)->Arg(shortest)->Arg(16)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond)
KELVRA_SEARCH_BENCH("BM_Search_Kelvra", BM_Search_Kelvra, make_search_case, 4);
KELVRA_SEARCH_BENCH("BM_Search_Memmem", BM_Search_Memmem, make_search_case, 4);
KELVRA_SEARCH_BENCH("BM_SearchPlain_Kelvra", BM_Search_Kelvra, make_plain_case, 8);
KELVRA_SEARCH_BENCH("BM_SearchPlain_Memmem", BM_Search_Memmem, make_plain_case, 8);

BENCHMARK_MAIN();
