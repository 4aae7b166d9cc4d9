// JSON parse throughput: kelvra beside RapidJSON's DOM parser (default flags
// and kParseFullPrecisionFlag) and simdjson's DOM parser, on the three
// documents of the nativejson-benchmark corpus.
//
// Names read BM_Parse/<document>/<library>; the bytes/s column is the input
// rate. Each parser works the way its users run it: kelvra over one reused
// arena, RapidJSON into a fresh Document with its pool allocator, simdjson
// with one reused parser. Before timing, kelvra's tree is compared with
// RapidJSON's full-precision DOM (same kinds, same integers, bit-identical
// doubles, same strings and member order); a mismatch aborts the run.
//
// Before the Google Benchmark runs, a summary table times the parsers in
// short interleaved rounds on each document and prints kelvra's and
// simdjson's speed against RapidJSON's default parse (RapidJSON's time over
// theirs: 1.2 means 1.2 times as fast). The machine may be shared, so each
// ratio is the median of the per-round ratios (rounds next to each other see
// the same load), and each time the best round.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <simdjson.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kelvra.h"

namespace {

constexpr const char *kDocuments[] = {"twitter", "citm_catalog", "canada"};

std::string read_document(const std::string &name) {
    const std::string path = std::string(KELVRA_BENCH_CORPUS) + "/nativejson-benchmark/" + name + ".json";
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        std::abort();
    }
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

const uint8_t *bytes_of(const std::string &text) { return reinterpret_cast<const uint8_t *>(text.data()); }

// The smallest arena (to 1/64 of the input) in which the document parses.
std::vector<uint8_t> arena_for(const std::string &text) {
    std::vector<uint8_t> arena(text.size() + 4096);
    for (;;) {
        kelvra_json_value *root = nullptr;
        const kelvra_status status = kelvra_json_parse(bytes_of(text), text.size(), arena.data(), arena.size(), &root);
        if (status == KELVRA_OK) return arena;
        if (status != KELVRA_ERR_CAPACITY) {
            std::fprintf(stderr, "kelvra_json_parse failed with %u\n", status);
            std::abort();
        }
        arena.resize(arena.size() + text.size() / 64 + 4096);
    }
}

bool same_tree(const kelvra_json_value *k, const rapidjson::Value &r);

bool same_members(const kelvra_json_value *k, const rapidjson::Value &r) {
    if (k->as.object.count != r.MemberCount()) return false;
    uint32_t i = 0;
    for (auto m = r.MemberBegin(); m != r.MemberEnd(); ++m, ++i) {
        if (std::strcmp(k->as.object.keys[i], m->name.GetString()) != 0) return false;
        if (!same_tree(k->as.object.values[i], m->value)) return false;
    }
    return true;
}

bool same_tree(const kelvra_json_value *k, const rapidjson::Value &r) {
    switch (k->kind) {
    case KELVRA_JSON_NULL:
        return r.IsNull();
    case KELVRA_JSON_BOOL:
        return r.IsBool() && (k->as.boolean != 0) == r.GetBool();
    case KELVRA_JSON_INT:
        return r.IsInt64() && k->as.integer == r.GetInt64();
    case KELVRA_JSON_DOUBLE: {
        if (!r.IsNumber()) return false;
        const double a = k->as.number, b = r.GetDouble();
        return std::memcmp(&a, &b, sizeof a) == 0;
    }
    case KELVRA_JSON_STRING:
        return r.IsString() && k->as.string.length == r.GetStringLength() &&
               std::memcmp(k->as.string.bytes, r.GetString(), k->as.string.length) == 0;
    case KELVRA_JSON_ARRAY:
        if (!r.IsArray() || k->as.array.count != r.Size()) return false;
        for (uint32_t i = 0; i < k->as.array.count; ++i) {
            if (!same_tree(k->as.array.items[i], r[i])) return false;
        }
        return true;
    case KELVRA_JSON_OBJECT:
        return r.IsObject() && same_members(k, r);
    default:
        return false;
    }
}

void check_against_rapidjson(const std::string &name, const std::string &text, std::vector<uint8_t> &arena) {
    kelvra_json_value *root = nullptr;
    kelvra_json_parse(bytes_of(text), text.size(), arena.data(), arena.size(), &root);
    rapidjson::Document d;
    d.Parse<rapidjson::kParseFullPrecisionFlag>(text.data(), text.size());
    if (d.HasParseError() || !same_tree(root, d)) {
        std::fprintf(stderr, "%s: kelvra's tree differs from RapidJSON's\n", name.c_str());
        std::abort();
    }
}

void BM_Kelvra(benchmark::State &state, const std::string &name) {
    const std::string text = read_document(name);
    std::vector<uint8_t> arena = arena_for(text);
    check_against_rapidjson(name, text, arena);
    for (auto _ : state) {
        kelvra_json_value *root = nullptr;
        const kelvra_status status = kelvra_json_parse(bytes_of(text), text.size(), arena.data(), arena.size(), &root);
        benchmark::DoNotOptimize(status);
        benchmark::DoNotOptimize(root);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["arena_per_input_byte"] = static_cast<double>(arena.size()) / static_cast<double>(text.size());
}

template <unsigned Flags>
void BM_RapidJson(benchmark::State &state, const std::string &name) {
    const std::string text = read_document(name);
    for (auto _ : state) {
        rapidjson::Document d;
        d.Parse<Flags>(text.data(), text.size());
        if (d.HasParseError()) state.SkipWithError("RapidJSON rejected the document");
        benchmark::DoNotOptimize(d);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_Simdjson(benchmark::State &state, const std::string &name) {
    const simdjson::padded_string text(read_document(name));
    simdjson::dom::parser parser;
    for (auto _ : state) {
        simdjson::dom::element root;
        if (parser.parse(text).get(root) != simdjson::SUCCESS) state.SkipWithError("simdjson rejected the document");
        benchmark::DoNotOptimize(root);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// Seconds per call of `parse`, over `reps` calls.
template <class Parse>
double time_round(Parse &&parse, int reps) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < reps; ++i) parse();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / reps;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void print_summary() {
    constexpr int rounds = 41;
    std::printf("%-14s %10s %13s %12s %14s %16s\n", "document", "kelvra_us", "rapidjson_us", "simdjson_us",
                "kelvra_speedup", "simdjson_speedup");
    for (const char *document : kDocuments) {
        const std::string text = read_document(document);
        std::vector<uint8_t> arena = arena_for(text);
        check_against_rapidjson(document, text, arena);
        const simdjson::padded_string padded(text);
        simdjson::dom::parser simd;
        auto kelvra = [&] {
            kelvra_json_value *root = nullptr;
            benchmark::DoNotOptimize(kelvra_json_parse(bytes_of(text), text.size(), arena.data(), arena.size(), &root));
            benchmark::DoNotOptimize(root);
        };
        auto rapid = [&] {
            rapidjson::Document d;
            d.Parse(text.data(), text.size());
            benchmark::DoNotOptimize(d);
        };
        auto simdjson = [&] {
            simdjson::dom::element root;
            benchmark::DoNotOptimize(simd.parse(padded).get(root));
            benchmark::DoNotOptimize(root);
        };
        // A few milliseconds per round and parser.
        const int reps = std::max(2, static_cast<int>(1000000 / text.size()));
        double best[3] = {1e30, 1e30, 1e30};
        std::vector<double> ratio, simd_ratio;
        for (int r = 0; r < rounds; ++r) {
            const double k = time_round(kelvra, reps), rj = time_round(rapid, reps), sj = time_round(simdjson, reps);
            best[0] = std::min(best[0], k);
            best[1] = std::min(best[1], rj);
            best[2] = std::min(best[2], sj);
            ratio.push_back(rj / k);
            simd_ratio.push_back(rj / sj);
        }
        std::printf("%-14s %10.1f %13.1f %12.1f %14.2f %16.2f\n", document, best[0] * 1e6, best[1] * 1e6, best[2] * 1e6,
                    median(ratio), median(simd_ratio));
    }
    std::fflush(stdout);
}

const bool registered = [] {
    for (const char *document : kDocuments) {
        const std::string name = document;
        benchmark::RegisterBenchmark(("BM_Parse/" + name + "/kelvra").c_str(), BM_Kelvra, name);
        benchmark::RegisterBenchmark(("BM_Parse/" + name + "/rapidjson").c_str(),
                                     BM_RapidJson<rapidjson::kParseDefaultFlags>, name);
        benchmark::RegisterBenchmark(("BM_Parse/" + name + "/rapidjson_fullprec").c_str(),
                                     BM_RapidJson<rapidjson::kParseFullPrecisionFlag>, name);
        benchmark::RegisterBenchmark(("BM_Parse/" + name + "/simdjson").c_str(), BM_Simdjson, name);
    }
    return true;
}();

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    print_summary();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
