// JSON write throughput: kelvra's canonical writer beside RapidJSON's Writer,
// on the three documents of the nativejson-benchmark corpus.
//
// Names read BM_Write/<document>/<library>. The bytes/s column is reckoned on
// the source document's size for both libraries, so the two rates of one
// document compare directly (the texts differ: kelvra sorts keys, puts a blank
// after ',' and ':' and writes doubles with 17 digits, so its text is longer;
// the out_bytes counter gives each library's text size).
//
// The trees come from RapidJSON's DOM (full-precision parse): kelvra's tree is
// built from it with the builder once, outside the timing. Each write goes into
// a buffer sized beforehand and reused; kelvra's includes its measuring walk
// and key sorting, as in real use. Before timing, kelvra's text is read back
// with RapidJSON and compared with the source DOM; a mismatch aborts the run.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "kelvra.h"

namespace {

constexpr const char *kDocuments[] = {"twitter", "citm_catalog", "canada"};

[[noreturn]] void fail(const std::string &what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    std::abort();
}

std::string read_document(const std::string &name) {
    const std::string path = std::string(KELVRA_BENCH_CORPUS) + "/nativejson-benchmark/" + name + ".json";
    std::ifstream in(path, std::ios::binary);
    if (!in) fail("cannot read " + path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Builds kelvra records for a RapidJSON value (children first). Strings and
// keys point into the RapidJSON document, which outlives the tree.
kelvra_json_value *convert(kelvra_json_builder &b, const rapidjson::Value &v) {
    switch (v.GetType()) {
    case rapidjson::kNullType:
        return kelvra_json_new_null(&b);
    case rapidjson::kFalseType:
        return kelvra_json_new_bool(&b, 0);
    case rapidjson::kTrueType:
        return kelvra_json_new_bool(&b, 1);
    case rapidjson::kNumberType:
        if (v.IsInt64()) return kelvra_json_new_int(&b, v.GetInt64());
        return kelvra_json_new_double(&b, v.GetDouble());
    case rapidjson::kStringType:
        return kelvra_json_new_string(&b, reinterpret_cast<const uint8_t *>(v.GetString()), v.GetStringLength());
    case rapidjson::kArrayType: {
        std::vector<kelvra_json_value *> items;
        for (const auto &item : v.GetArray()) items.push_back(convert(b, item));
        return kelvra_json_new_array(&b, items.data(), static_cast<uint32_t>(items.size()));
    }
    case rapidjson::kObjectType: {
        std::vector<const char *> keys;
        std::vector<kelvra_json_value *> values;
        for (const auto &m : v.GetObject()) {
            keys.push_back(m.name.GetString());
            values.push_back(convert(b, m.value));
        }
        return kelvra_json_new_object(&b, keys.data(), values.data(), static_cast<uint32_t>(keys.size()));
    }
    }
    return nullptr;
}

struct Subject {
    std::string source;
    rapidjson::Document dom;
    std::vector<uint8_t> arena;
    const kelvra_json_value *tree = nullptr;
    std::vector<uint8_t> workspace;
    std::vector<uint8_t> out;
    uint64_t text_length = 0;
};

std::unique_ptr<Subject> prepare(const std::string &name) {
    auto s = std::make_unique<Subject>();
    s->source = read_document(name);
    s->dom.Parse<rapidjson::kParseFullPrecisionFlag>(s->source.c_str(), s->source.size());
    if (s->dom.HasParseError()) fail("RapidJSON cannot parse " + name);

    s->arena.resize(s->source.size() * 16 + 4096);
    kelvra_json_builder b;
    if (kelvra_json_builder_init(&b, s->arena.data(), s->arena.size()) != KELVRA_OK) fail("builder init");
    s->tree = convert(b, s->dom);
    if (b.failed != 0) fail("arena too small for " + name);

    s->workspace.resize(kelvra_json_write_arena_bytes(s->tree));
    if (kelvra_json_write_ws(s->tree, nullptr, 0, &s->text_length, s->workspace.data(), s->workspace.size()) !=
        KELVRA_OK)
        fail("kelvra measuring failed for " + name);
    s->out.resize(s->text_length);
    uint64_t length = 0;
    if (kelvra_json_write_ws(s->tree, s->out.data(), s->out.size(), &length, s->workspace.data(),
                             s->workspace.size()) != KELVRA_OK ||
        length != s->text_length)
        fail("kelvra write failed for " + name);

    rapidjson::Document back;
    back.Parse<rapidjson::kParseFullPrecisionFlag>(reinterpret_cast<const char *>(s->out.data()), length);
    if (back.HasParseError() || back != s->dom) fail("kelvra's text does not read back as " + name);
    return s;
}

void write_kelvra(benchmark::State &state, const Subject *s) {
    for (auto _ : state) {
        uint64_t length = 0;
        const kelvra_status status =
            kelvra_json_write_ws(s->tree, const_cast<uint8_t *>(s->out.data()), s->out.size(), &length,
                                 const_cast<uint8_t *>(s->workspace.data()), s->workspace.size());
        benchmark::DoNotOptimize(status);
        benchmark::DoNotOptimize(length);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s->source.size()));
    state.counters["out_bytes"] = static_cast<double>(s->text_length);
}

void write_rapidjson(benchmark::State &state, const Subject *s) {
    rapidjson::StringBuffer buffer;
    buffer.Reserve(s->source.size() * 2);
    for (auto _ : state) {
        buffer.Clear();
        rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
        s->dom.Accept(writer);
        benchmark::DoNotOptimize(buffer.GetString());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s->source.size()));
    state.counters["out_bytes"] = static_cast<double>(buffer.GetSize());
}

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    std::vector<std::unique_ptr<Subject>> subjects;
    for (const char *name : kDocuments) {
        subjects.push_back(prepare(name));
        const Subject *s = subjects.back().get();
        const std::string base = std::string("BM_Write/") + name;
        benchmark::RegisterBenchmark((base + "/kelvra").c_str(), write_kelvra, s)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((base + "/rapidjson").c_str(), write_rapidjson, s)->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
