// Genome edits: their effect on the chromosome table, and that an edit which
// fails leaves the stored genome as it was.
#include <gtest/gtest.h>

#include <string>

#include <unistd.h>

#include "genome/genome_fixture.hpp"

namespace kelvra_test::genome {
namespace {

constexpr uint32_t kDim = 8;
const Bytes kOne(kDim, 0x5a);

kelvra_status append(const std::string &dir, const char *label, const Bytes &records,
                     uint64_t arena_bytes = kRoomy) {
    Arena arena(arena_bytes);
    return kelvra_genome_append(dir.c_str(), label, records.data(), records.size(), kDim, kOne.data(), kOne.size(),
                                arena.base(), arena.capacity());
}

kelvra_status remove(const std::string &dir, const char *label) {
    Arena arena(kRoomy);
    return kelvra_genome_remove(dir.c_str(), label, kOne.data(), kOne.size(), arena.base(), arena.capacity());
}

kelvra_status replace(const std::string &dir, const char *label, const Bytes &records) {
    Arena arena(kRoomy);
    return kelvra_genome_replace(dir.c_str(), label, records.data(), records.size(), kDim, kOne.data(), kOne.size(),
                                 arena.base(), arena.capacity());
}

// Three chromosomes: a (2 leaves, 24 bytes), b (1 leaf, 16), c (3 leaves, 32).
struct ThreeChromosomes : ::testing::Test {
    void SetUp() override { ASSERT_EQ(save(dir.path(), concat({a, b, c}), kOne), KELVRA_OK); }
    TempDir dir;
    const Bytes a = chromosome(kDim, "a", 2), b = chromosome(kDim, "b", 1), c = chromosome(kDim, "c", 3);
};

TEST_F(ThreeChromosomes, AppendAddsAtTheEnd) {
    ASSERT_EQ(append(dir.path(), "d", chromosome(kDim, "d", 1)), KELVRA_OK);
    EXPECT_EQ(chromosomes(dir.path()),
              (std::vector<Entry>{{"a", 0, 24, 2}, {"b", 24, 16, 1}, {"c", 40, 32, 3}, {"d", 72, 16, 1}}));
    // The label argument only drives the novelty check; the cap names the chromosome.
    ASSERT_EQ(append(dir.path(), "y", chromosome(kDim, "x", 0)), KELVRA_OK);
    EXPECT_EQ(chromosomes(dir.path()).back(), (Entry{"x", 88, 8, 0}));
    // Records without a cap lengthen the last chromosome.
    ASSERT_EQ(append(dir.path(), "z", record(kDim, 'L')), KELVRA_OK);
    EXPECT_EQ(chromosomes(dir.path()).back(), (Entry{"x", 88, 16, 1}));
    Bytes loaded;
    ASSERT_EQ(load(dir.path(), &loaded), KELVRA_OK);
    EXPECT_EQ(loaded, concat({a, b, c, chromosome(kDim, "d", 1), chromosome(kDim, "x", 0), record(kDim, 'L')}));
}

TEST_F(ThreeChromosomes, RefusedAppendsChangeNothing) {
    const Snapshot before = snapshot(dir.path());
    EXPECT_EQ(append(dir.path(), "b", chromosome(kDim, "q", 0)), KELVRA_ERR_DATA) << "label present";
    EXPECT_EQ(append(dir.path(), "q", Bytes(12, 'C')), KELVRA_ERR_DATA) << "not whole records";
    EXPECT_EQ(append(dir.path(), "q", {}), KELVRA_ERR_DATA) << "nothing to append";
    EXPECT_EQ(append(dir.path(), "q", chromosome(kDim, "q", 0), 80), KELVRA_ERR_CAPACITY) << "no room for T bytes";
    EXPECT_EQ(append(dir.path(), "q", chromosome(kDim, "q", 0), 4096), KELVRA_ERR_CAPACITY);
    Arena arena(kRoomy);
    const Bytes q = chromosome(kDim, "q", 0), seven(7, 1);
    EXPECT_EQ(kelvra_genome_append(dir.path().c_str(), "q", q.data(), q.size(), 7, seven.data(), 7, arena.base(),
                                   arena.capacity()),
              KELVRA_ERR_DATA)
        << "stored leaf_dim is 8";
    EXPECT_EQ(kelvra_genome_append(dir.path().c_str(), nullptr, q.data(), q.size(), kDim, kOne.data(), kDim,
                                   arena.base(), arena.capacity()),
              KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_genome_append(dir.path().c_str(), "q", nullptr, 8, kDim, kOne.data(), kDim, arena.base(),
                                   arena.capacity()),
              KELVRA_ERR_ARG);
    EXPECT_EQ(append(dir.path("missing"), "q", q), KELVRA_ERR_IO);
    EXPECT_EQ(snapshot(dir.path()), before);

    // A body changed behind the store's back is not built upon.
    std::string body = before.body;
    body[30] ^= 1;
    write_file(dir.path("turns.bin"), body);
    EXPECT_EQ(append(dir.path(), "q", q), KELVRA_ERR_DATA);
    EXPECT_EQ(remove(dir.path(), "a"), KELVRA_ERR_DATA);
    EXPECT_EQ(replace(dir.path(), "a", q), KELVRA_ERR_DATA);
    EXPECT_EQ(read_file(dir.path("turns.bin")), body);
    EXPECT_EQ(read_file(dir.path("manifest.json")), before.manifest);
}

TEST_F(ThreeChromosomes, RemoveShiftsTheFollowingOffsets) {
    ASSERT_EQ(remove(dir.path(), "b"), KELVRA_OK);
    EXPECT_EQ(chromosomes(dir.path()), (std::vector<Entry>{{"a", 0, 24, 2}, {"c", 24, 32, 3}}));
    EXPECT_EQ(remove(dir.path(), "b"), KELVRA_ERR_DATA) << "no longer there";
    ASSERT_EQ(remove(dir.path(), "a"), KELVRA_OK);
    EXPECT_EQ(chromosomes(dir.path()), (std::vector<Entry>{{"c", 0, 32, 3}}));
    EXPECT_EQ(remove(dir.path(), "c"), KELVRA_ERR_DATA) << "the last chromosome stays";
    const Bytes six(6, 1);
    Arena arena(kRoomy);
    EXPECT_EQ(kelvra_genome_remove(dir.path().c_str(), "c", six.data(), 6, arena.base(), arena.capacity()),
              KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_genome_remove(dir.path().c_str(), "c", six.data(), 0, arena.base(), arena.capacity()),
              KELVRA_ERR_DATA);
    Bytes loaded;
    ASSERT_EQ(load(dir.path(), &loaded), KELVRA_OK);
    EXPECT_EQ(loaded, c);
}

TEST_F(ThreeChromosomes, ReplaceMovesOnlyWhatFollows) {
    ASSERT_EQ(replace(dir.path(), "b", chromosome(kDim, "B", 1, 'M')), KELVRA_OK);
    EXPECT_EQ(chromosomes(dir.path()), (std::vector<Entry>{{"a", 0, 24, 2}, {"B", 24, 16, 1}, {"c", 40, 32, 3}}));
    ASSERT_EQ(replace(dir.path(), "a", chromosome(kDim, "a", 5)), KELVRA_OK);
    EXPECT_EQ(chromosomes(dir.path()), (std::vector<Entry>{{"a", 0, 48, 5}, {"B", 48, 16, 1}, {"c", 64, 32, 3}}));
    // New records without a cap join the chromosome before them.
    ASSERT_EQ(replace(dir.path(), "B", concat({record(kDim, 'G'), record(kDim, 'L')})), KELVRA_OK);
    EXPECT_EQ(chromosomes(dir.path()), (std::vector<Entry>{{"a", 0, 64, 6}, {"c", 64, 32, 3}}));
    // ... and with nothing before them the body no longer indexes.
    const Snapshot before = snapshot(dir.path());
    EXPECT_EQ(replace(dir.path(), "a", record(kDim, 'L')), KELVRA_ERR_DATA);
    EXPECT_EQ(replace(dir.path(), "nope", chromosome(kDim, "n", 0)), KELVRA_ERR_DATA);
    EXPECT_EQ(snapshot(dir.path()), before);
    // Replacing by nothing deletes, also the only chromosome.
    ASSERT_EQ(replace(dir.path(), "a", {}), KELVRA_OK);
    ASSERT_EQ(replace(dir.path(), "c", {}), KELVRA_OK);
    EXPECT_TRUE(chromosomes(dir.path()).empty());
    EXPECT_EQ(read_file(dir.path("turns.bin")), "");
}

TEST_F(ThreeChromosomes, ManifestRegionsOutsideTheBodyAreRefused) {
    // A hand-edited manifest whose body digest still matches.
    const std::string manifest = read_file(dir.path("manifest.json"));
    for (const char *edit : {"\"byte_offset\": 9999", "\"byte_offset\": -8", "\"byte_offset\": 70"}) {
        std::string text = manifest;
        const size_t at = text.find("\"byte_offset\": 40");
        ASSERT_NE(at, std::string::npos);
        text.replace(at, std::strlen("\"byte_offset\": 40"), edit);
        write_file(dir.path("manifest.json"), text);
        const Snapshot before = snapshot(dir.path());
        EXPECT_EQ(remove(dir.path(), "c"), KELVRA_ERR_DATA) << edit;
        EXPECT_EQ(replace(dir.path(), "c", chromosome(kDim, "c", 0)), KELVRA_ERR_DATA) << edit;
        EXPECT_EQ(snapshot(dir.path()), before);
    }
}

TEST_F(ThreeChromosomes, EditOfABodyOnlyGenomeCompletesIt) {
    ASSERT_EQ(unlink(dir.path("manifest.json").c_str()), 0);
    ASSERT_EQ(remove(dir.path(), "a"), KELVRA_OK);
    EXPECT_TRUE(file_exists(dir.path("manifest.json")));
    EXPECT_EQ(chromosomes(dir.path()), (std::vector<Entry>{{"b", 0, 16, 1}, {"c", 16, 32, 3}}));
}

TEST_F(ThreeChromosomes, ArenaSizedByTheCompanionIsEnough) {
    const Bytes d = chromosome(kDim, "d", 40);
    const uint64_t body_len = read_file(dir.path("turns.bin")).size() + d.size();
    EXPECT_EQ(append(dir.path(), "d", d, kelvra_genome_arena_bytes(body_len, 4, 0)), KELVRA_OK);
}

} // namespace
} // namespace kelvra_test::genome
