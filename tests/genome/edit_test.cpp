// Genome edits: their effect on the chromosome table, and that an edit which
// fails leaves the stored genome as it was.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "genome/genome_fixture.hpp"

namespace kelvra_test::genome {
namespace {

constexpr uint32_t kDim = 8;
const Bytes kOne(kDim, 0x5a);

// Three chromosomes: a (2 leaves, 24 bytes), b (1 leaf, 16), c (3 leaves, 32).
struct ThreeChromosomes : ::testing::Test {
    void SetUp() override { ASSERT_EQ(save(dir.path(), concat({a, b, c}), kOne), KELVRA_OK); }
    TempDir dir;
    const Genome g{dir.path(), kOne};
    const Bytes a = chromosome(kDim, "a", 2), b = chromosome(kDim, "b", 1), c = chromosome(kDim, "c", 3);
};

TEST_F(ThreeChromosomes, AppendAddsAtTheEnd) {
    ASSERT_EQ(g.append("d", chromosome(kDim, "d", 1)), KELVRA_OK);
    EXPECT_EQ(chromosomes(dir.path()),
              (std::vector<Entry>{{"a", 0, 24, 2}, {"b", 24, 16, 1}, {"c", 40, 32, 3}, {"d", 72, 16, 1}}));
    // The label argument only drives the novelty check; the cap names the chromosome.
    ASSERT_EQ(g.append("y", chromosome(kDim, "x", 0)), KELVRA_OK);
    EXPECT_EQ(chromosomes(dir.path()).back(), (Entry{"x", 88, 8, 0}));
    // Records without a cap lengthen the last chromosome.
    ASSERT_EQ(g.append("z", record(kDim, 'L')), KELVRA_OK);
    EXPECT_EQ(chromosomes(dir.path()).back(), (Entry{"x", 88, 16, 1}));
    Bytes loaded;
    ASSERT_EQ(load(dir.path(), &loaded), KELVRA_OK);
    EXPECT_EQ(loaded, concat({a, b, c, chromosome(kDim, "d", 1), chromosome(kDim, "x", 0), record(kDim, 'L')}));
}

TEST_F(ThreeChromosomes, RefusedAppendsChangeNothing) {
    const DirState before = state_of(dir.path());
    EXPECT_EQ(g.append("b", chromosome(kDim, "q", 0)), KELVRA_ERR_DATA) << "label present";
    EXPECT_EQ(g.append("q", Bytes(12, 'C')), KELVRA_ERR_DATA) << "not whole records";
    EXPECT_EQ(g.append("q", {}), KELVRA_ERR_DATA) << "nothing to append";
    EXPECT_EQ(g.append("q", chromosome(kDim, "q", 0), Arena(80)), KELVRA_ERR_CAPACITY) << "no room for T bytes";
    EXPECT_EQ(g.append("q", chromosome(kDim, "q", 0), Arena(4096)), KELVRA_ERR_CAPACITY);
    const Bytes q = chromosome(kDim, "q", 0);
    EXPECT_EQ((Genome{dir.path(), Bytes(7, 1)}.append("q", q)), KELVRA_ERR_DATA) << "stored leaf_dim is 8";
    EXPECT_EQ(g.append(nullptr, q), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_genome_append(dir.path().c_str(), "q", nullptr, 8, kDim, kOne.data(), kDim, Arena(kRoomy).base(),
                                   kRoomy),
              KELVRA_ERR_ARG);
    EXPECT_EQ((Genome{dir.path("missing"), kOne}.append("q", q)), KELVRA_ERR_IO);
    // Edits keep the genome's identity: another the_one of the same width.
    const Genome other{dir.path(), Bytes(kDim, 9)};
    EXPECT_EQ(other.append("q", q), KELVRA_ERR_DATA);
    EXPECT_EQ(other.replace("b", q), KELVRA_ERR_DATA);
    EXPECT_EQ(other.remove("b"), KELVRA_ERR_DATA);
    EXPECT_EQ(state_of(dir.path()), before);

    // A body changed behind the store's back is not built upon.
    const std::string body = flip_byte(dir.path("turns.bin"), 30);
    EXPECT_EQ(g.append("q", q), KELVRA_ERR_DATA);
    EXPECT_EQ(g.remove("a"), KELVRA_ERR_DATA);
    EXPECT_EQ(g.replace("a", q), KELVRA_ERR_DATA);
    EXPECT_EQ(read_file(dir.path("turns.bin")), body);
    EXPECT_EQ(read_file(dir.path("manifest.json")), before.at("manifest.json"));
}

TEST_F(ThreeChromosomes, RemoveShiftsTheFollowingOffsets) {
    ASSERT_EQ(g.remove("b"), KELVRA_OK);
    EXPECT_EQ(chromosomes(dir.path()), (std::vector<Entry>{{"a", 0, 24, 2}, {"c", 24, 32, 3}}));
    EXPECT_EQ(g.remove("b"), KELVRA_ERR_DATA) << "no longer there";
    ASSERT_EQ(g.remove("a"), KELVRA_OK);
    EXPECT_EQ(chromosomes(dir.path()), (std::vector<Entry>{{"c", 0, 32, 3}}));
    EXPECT_EQ(g.remove("c"), KELVRA_ERR_DATA) << "the last chromosome stays";
    const Bytes six(6, 1);
    EXPECT_EQ((Genome{dir.path(), six}.remove("c")), KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_genome_remove(dir.path().c_str(), "c", six.data(), 0, Arena(kRoomy).base(), kRoomy),
              KELVRA_ERR_DATA);
    Bytes loaded;
    ASSERT_EQ(load(dir.path(), &loaded), KELVRA_OK);
    EXPECT_EQ(loaded, c);
}

TEST_F(ThreeChromosomes, ReplaceMovesOnlyWhatFollows) {
    ASSERT_EQ(g.replace("b", chromosome(kDim, "B", 1, 'M')), KELVRA_OK);
    EXPECT_EQ(chromosomes(dir.path()), (std::vector<Entry>{{"a", 0, 24, 2}, {"B", 24, 16, 1}, {"c", 40, 32, 3}}));
    ASSERT_EQ(g.replace("a", chromosome(kDim, "a", 5)), KELVRA_OK);
    EXPECT_EQ(chromosomes(dir.path()), (std::vector<Entry>{{"a", 0, 48, 5}, {"B", 48, 16, 1}, {"c", 64, 32, 3}}));
    // New records without a cap join the chromosome before them.
    ASSERT_EQ(g.replace("B", concat({record(kDim, 'G'), record(kDim, 'L')})), KELVRA_OK);
    EXPECT_EQ(chromosomes(dir.path()), (std::vector<Entry>{{"a", 0, 64, 6}, {"c", 64, 32, 3}}));
    // ... and with nothing before them the body no longer indexes.
    const DirState before = state_of(dir.path());
    EXPECT_EQ(g.replace("a", record(kDim, 'L')), KELVRA_ERR_DATA);
    EXPECT_EQ(g.replace("nope", chromosome(kDim, "n", 0)), KELVRA_ERR_DATA);
    EXPECT_EQ(state_of(dir.path()), before);
    // Replacing by nothing deletes, also the only chromosome.
    ASSERT_EQ(g.replace("a", {}), KELVRA_OK);
    ASSERT_EQ(g.replace("c", {}), KELVRA_OK);
    EXPECT_TRUE(chromosomes(dir.path()).empty());
    EXPECT_EQ(read_file(dir.path("turns.bin")), "");
}

TEST_F(ThreeChromosomes, ManifestRegionsOutsideTheBodyAreRefused) {
    // A hand-edited manifest whose body digest still matches.
    const std::string manifest = read_file(dir.path("manifest.json"));
    for (const char *edit : {"\"byte_offset\": 9999", "\"byte_offset\": -8", "\"byte_offset\": 70"}) {
        write_edited(dir.path("manifest.json"), manifest, "\"byte_offset\": 40", edit);
        const DirState before = state_of(dir.path());
        EXPECT_EQ(g.remove("c"), KELVRA_ERR_DATA) << edit;
        EXPECT_EQ(g.replace("c", chromosome(kDim, "c", 0)), KELVRA_ERR_DATA) << edit;
        EXPECT_EQ(state_of(dir.path()), before);
    }
}

TEST_F(ThreeChromosomes, EditOfABodyOnlyGenomeCompletesItInACompanionSizedArena) {
    ASSERT_EQ(std::remove(dir.path("manifest.json").c_str()), 0);
    ASSERT_EQ(g.remove("a"), KELVRA_OK);
    EXPECT_TRUE(file_exists(dir.path("manifest.json")));
    EXPECT_EQ(chromosomes(dir.path()), (std::vector<Entry>{{"b", 0, 16, 1}, {"c", 16, 32, 3}}));
    // An arena sized by the companion is enough.
    const Bytes d = chromosome(kDim, "d", 40);
    const uint64_t body_len = read_file(dir.path("turns.bin")).size() + d.size();
    EXPECT_EQ(g.append("d", d, Arena(kelvra_genome_arena_bytes(body_len, 3, 0))), KELVRA_OK);
}

} // namespace
} // namespace kelvra_test::genome
