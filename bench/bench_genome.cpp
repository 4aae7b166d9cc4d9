// kelvra_genome_save and kelvra_genome_load beside their floor: the work no
// genome store can avoid.
//
//   save floor = SHA-256 of the body (the same kelvra_sha256_hex the store
//                uses) + writing "turns.bin" and a ready manifest text the
//                same crash-safe way (temporary file, fsync, rename, fsync of
//                the directory), with plain system calls;
//   load floor = reading "manifest.json" and "turns.bin" into memory + the
//                SHA-256 of the body.
//
// Bodies of 4 MiB and 64 MiB, leaf_dim 64, a few hundred chromosomes. Each
// iteration runs the store and its floor back to back (alternating which goes
// first), so both see the same disk and page-cache state; the rows report the
// mean times of both and the median of the per-iteration ratios store/floor
// (target: at most 1.15). The machine may be shared: the median ratio is the
// figure to read, the mean times only show the scale.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kelvra.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kLeafDim = 64;

struct Genome {
    std::vector<uint8_t> body;
    std::vector<uint8_t> the_one;
    uint32_t chromosomes = 0;
};

// `records_per_chromosome` records each (a cap and leaves, every eighth a
// non-leaf), enough chromosomes to fill `bytes`.
Genome make_genome(uint64_t bytes, uint32_t records_per_chromosome) {
    Genome g;
    g.the_one.assign(kLeafDim, 0x5a);
    g.body.resize(bytes);
    uint64_t state = 0x9e3779b97f4a7c15u;
    for (uint64_t at = 0, record = 0; at < bytes; at += kLeafDim, ++record) {
        uint8_t *r = g.body.data() + at;
        for (uint32_t i = 0; i < kLeafDim; i += 8) {
            state = state * 6364136223846793005u + 1442695040888963407u;
            std::memcpy(r + i, &state, 8);
        }
        if (record % records_per_chromosome == 0) {
            std::memset(r, 0, kLeafDim);
            std::snprintf(reinterpret_cast<char *>(r), kLeafDim, "Cchr%05u", g.chromosomes++);
        } else {
            r[0] = record % 8 == 0 ? 'G' : 'L';
        }
    }
    return g;
}

std::string make_temp_dir() {
    char pattern[] = "/tmp/kelvra-bench-genome-XXXXXX";
    const char *made = mkdtemp(pattern);
    if (made == nullptr) std::abort();
    return made;
}

int remove_entry(const char *path, const struct stat *, int, struct FTW *) { return remove(path); }
void remove_tree(const std::string &dir) { nftw(dir.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS); }

// ---- The floor, with plain system calls ----------------------------------------

void write_all(int fd, const uint8_t *data, uint64_t length) {
    while (length > 0) {
        const ssize_t wrote = write(fd, data, length);
        if (wrote <= 0) std::abort();
        data += wrote;
        length -= static_cast<uint64_t>(wrote);
    }
}

void fsync_directory(const std::string &dir) {
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0 || fsync(fd) != 0) std::abort();
    close(fd);
}

void replace_file(const std::string &dir, const char *name, const uint8_t *data, uint64_t length) {
    const std::string path = dir + "/" + name, temp = path + ".tmp";
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) std::abort();
    write_all(fd, data, length);
    if (fsync(fd) != 0 || close(fd) != 0) std::abort();
    if (rename(temp.c_str(), path.c_str()) != 0) std::abort();
    fsync_directory(dir);
}

uint64_t read_whole(const std::string &path, std::vector<uint8_t> &into) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) std::abort();
    uint64_t total = 0;
    for (;;) {
        const ssize_t got = read(fd, into.data() + total, into.size() - total);
        if (got < 0) std::abort();
        if (got == 0) break;
        total += static_cast<uint64_t>(got);
    }
    close(fd);
    return total;
}

void save_floor(const std::string &dir, const Genome &g, const std::string &manifest) {
    char digest[65];
    kelvra_sha256_hex(g.body.data(), g.body.size(), digest);
    benchmark::DoNotOptimize(digest);
    replace_file(dir, "turns.bin", g.body.data(), g.body.size());
    replace_file(dir, "manifest.json", reinterpret_cast<const uint8_t *>(manifest.data()), manifest.size());
}

void load_floor(const std::string &dir, std::vector<uint8_t> &manifest, std::vector<uint8_t> &body) {
    benchmark::DoNotOptimize(read_whole(dir + "/manifest.json", manifest));
    const uint64_t length = read_whole(dir + "/turns.bin", body);
    char digest[65];
    kelvra_sha256_hex(body.data(), length, digest);
    benchmark::DoNotOptimize(digest);
}

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// ---- Store and floor side by side ------------------------------------------------

struct Setup {
    explicit Setup(benchmark::State &state)
            : genome(make_genome(uint64_t(state.range(0)) << 20, static_cast<uint32_t>(state.range(1)))),
              store_dir(make_temp_dir()), floor_dir(make_temp_dir()),
              arena(kelvra_genome_arena_bytes(genome.body.size(), genome.chromosomes, 0)) {
        if (save() != KELVRA_OK) std::abort();
        std::vector<uint8_t> text(kelvra_genome_arena_bytes(0, genome.chromosomes, 0));
        const uint64_t length = read_whole(store_dir + "/manifest.json", text);
        manifest.assign(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
        save_floor(floor_dir, genome, manifest);
    }
    ~Setup() {
        remove_tree(store_dir);
        remove_tree(floor_dir);
    }
    kelvra_status save() {
        return kelvra_genome_save(store_dir.c_str(), genome.body.data(), genome.body.size(), kLeafDim,
                                  genome.the_one.data(), genome.the_one.size(), arena.data(), arena.size());
    }
    // One iteration's pair of timings.
    void record(benchmark::State &state, double t_store, double t_floor) {
        store_total += t_store;
        floor_total += t_floor;
        ratios.push_back(t_store / t_floor);
        state.SetIterationTime(t_store);
    }
    void report(benchmark::State &state) {
        std::sort(ratios.begin(), ratios.end());
        state.counters["chromosomes"] = genome.chromosomes;
        state.counters["store_ms"] = 1e3 * store_total / double(state.iterations());
        state.counters["floor_ms"] = 1e3 * floor_total / double(state.iterations());
        state.counters["ratio"] = ratios.empty() ? 0 : ratios[ratios.size() / 2];
        state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(genome.body.size()));
    }
    double store_total = 0, floor_total = 0;
    std::vector<double> ratios;
    Genome genome;
    std::string store_dir, floor_dir, manifest;
    std::vector<uint8_t> arena;
};

// Runs `store` and `floor` in the given order and times each.
template <class Store, class Floor>
void timed_pair(bool store_first, Store store, Floor floor, double *t_store, double *t_floor) {
    for (int turn = 0; turn < 2; ++turn) {
        const Clock::time_point start = Clock::now();
        if ((turn == 0) == store_first) {
            store();
            *t_store = seconds_since(start);
        } else {
            floor();
            *t_floor = seconds_since(start);
        }
    }
}

void BM_GenomeSave(benchmark::State &state) {
    Setup s(state);
    bool store_first = true;
    for (auto _ : state) {
        double t_store = 0, t_floor = 0;
        timed_pair(
            store_first,
            [&] {
                if (s.save() != KELVRA_OK) state.SkipWithError("save failed");
            },
            [&] { save_floor(s.floor_dir, s.genome, s.manifest); }, &t_store, &t_floor);
        store_first = !store_first;
        s.record(state, t_store, t_floor);
    }
    s.report(state);
}

void BM_GenomeLoad(benchmark::State &state) {
    Setup s(state);
    std::vector<uint8_t> body(s.genome.body.size()), manifest_buf(s.manifest.size() + 1);
    bool store_first = true;
    for (auto _ : state) {
        double t_store = 0, t_floor = 0;
        timed_pair(
            store_first,
            [&] {
                uint64_t length = 0;
                if (kelvra_genome_load(s.store_dir.c_str(), body.data(), body.size(), &length, nullptr, 0,
                                       s.arena.data(), s.arena.size()) != KELVRA_OK)
                    state.SkipWithError("load failed");
            },
            [&] { load_floor(s.floor_dir, manifest_buf, body); }, &t_store, &t_floor);
        store_first = !store_first;
        s.record(state, t_store, t_floor);
    }
    s.report(state);
}

// Explode and pack of a whole genome against one save of the same genome (the
// ratio is explode / save and pack / save; target: at most 3 each). Both
// write one file per chromosome or read one per bundle, hex-encode or decode
// the regions and hash every byte twice, so a small multiple of a save is the
// floor; anything quadratic in the chromosome count shows at once.
struct BundleDirs {
    explicit BundleDirs(Setup &s) : bundles(make_temp_dir()), packed(make_temp_dir()) {
        arena.resize(
            kelvra_genome_arena_bytes(s.genome.body.size(), s.genome.chromosomes + 1, 2 * s.genome.body.size()));
    }
    ~BundleDirs() {
        remove_tree(bundles);
        remove_tree(packed);
    }
    kelvra_status explode(const Setup &s) {
        return kelvra_genome_explode(s.store_dir.c_str(), bundles.c_str(), nullptr, 0, arena.data(), arena.size());
    }
    kelvra_status pack() {
        remove_tree(packed);
        if (mkdir(packed.c_str(), 0755) != 0) std::abort();
        return kelvra_genome_pack(bundles.c_str(), packed.c_str(), nullptr, 0, arena.data(), arena.size());
    }
    std::string bundles, packed;
    std::vector<uint8_t> arena;
};

void BM_GenomeExplodeVsSave(benchmark::State &state) {
    Setup s(state);
    BundleDirs d(s);
    bool first = true;
    for (auto _ : state) {
        double t_explode = 0, t_save = 0;
        timed_pair(
            first,
            [&] {
                if (d.explode(s) != KELVRA_OK) state.SkipWithError("explode failed");
            },
            [&] {
                if (s.save() != KELVRA_OK) state.SkipWithError("save failed");
            },
            &t_explode, &t_save);
        first = !first;
        s.record(state, t_explode, t_save);
    }
    s.report(state);
}

void BM_GenomePackVsSave(benchmark::State &state) {
    Setup s(state);
    BundleDirs d(s);
    if (d.explode(s) != KELVRA_OK) std::abort();
    bool first = true;
    for (auto _ : state) {
        double t_pack = 0, t_save = 0;
        timed_pair(
            first,
            [&] {
                if (d.pack() != KELVRA_OK) state.SkipWithError("pack failed");
            },
            [&] {
                if (s.save() != KELVRA_OK) state.SkipWithError("save failed");
            },
            &t_pack, &t_save);
        first = !first;
        s.record(state, t_pack, t_save);
    }
    s.report(state);
}

// Arguments: body MiB, records per chromosome (4 MiB: 256 chromosomes; 64 MiB:
// 512). Fixed iteration counts give the median ratio enough pairs.
BENCHMARK(BM_GenomeSave)->Args({4, 256})->Iterations(40)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GenomeSave)->Args({64, 2048})->Iterations(15)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GenomeLoad)->Args({4, 256})->Iterations(40)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GenomeLoad)->Args({64, 2048})->Iterations(15)->UseManualTime()->Unit(benchmark::kMillisecond);
// 32 MiB in 200 chromosomes, and 4 MiB in 4096 small ones.
BENCHMARK(BM_GenomeExplodeVsSave)->Args({32, 2622})->Iterations(9)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GenomeExplodeVsSave)->Args({4, 16})->Iterations(9)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GenomePackVsSave)->Args({32, 2622})->Iterations(9)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GenomePackVsSave)->Args({4, 16})->Iterations(9)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
