// Chromosome bundles: the exact file, what import verifies, and explode/pack
// round trips.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "genome/expected_documents.hpp"
#include "genome/genome_fixture.hpp"

namespace kelvra_test::genome {
namespace {

struct BundleOfB : ::testing::Test {
    void SetUp() override {
        ASSERT_EQ(save(origin.path(), escapes_body(), escapes_one()), KELVRA_OK);
        ASSERT_EQ((Genome{origin.path()}.export_to("b", bundle)), KELVRA_OK);
    }
    TempDir origin, target, files;
    const std::string bundle = files.path("b.chr");
    const Genome into_origin{origin.path(), escapes_one()}, into_target{target.path()};
};

TEST_F(BundleOfB, ExportWritesTheExactBundle) {
    const Genome g{origin.path()};
    EXPECT_EQ(read_file(bundle), kBundleOfB);
    EXPECT_EQ(g.export_to("c", files.path("c.chr")), KELVRA_ERR_DATA);
    EXPECT_FALSE(file_exists(files.path("c.chr")));
    EXPECT_EQ(kelvra_genome_export(origin.path().c_str(), "b", files.path("x.chr").c_str(), escapes_one().data(), 0,
                                   Arena(kRoomy).base(), kRoomy),
              KELVRA_ERR_DATA) << "the_one given with length 0";
    EXPECT_EQ(g.export_to("b", files.path("no/such/dir/b.chr")), KELVRA_ERR_IO);

    // The cap record is verified; the manifest's region must hold a whole record.
    flip_byte(origin.path("turns.bin"), 33);
    EXPECT_EQ(g.export_to("b", files.path("b2.chr")), KELVRA_ERR_DATA);
    ASSERT_EQ(save(origin.path(), escapes_body(), escapes_one()), KELVRA_OK);
    const std::string manifest = origin.path("manifest.json");
    write_edited(manifest, read_file(manifest), "\"byte_len\": 16", "\"byte_len\": 4");
    EXPECT_EQ(g.export_to("b", files.path("b2.chr")), KELVRA_ERR_DATA);
    EXPECT_FALSE(file_exists(files.path("b2.chr")));
}

TEST_F(BundleOfB, ImportCreatesOrExtendsAGenome) {
    ASSERT_EQ(into_target.import_from(bundle), KELVRA_OK);
    EXPECT_EQ(read_file(target.path("turns.bin")), as_text(escapes_body()).substr(32, 16));

    const DirState before = state_of(origin.path());
    EXPECT_EQ(into_origin.import_from(bundle), KELVRA_ERR_DATA) << "label already present";
    EXPECT_EQ(state_of(origin.path()), before);

    ASSERT_EQ(into_origin.remove("b"), KELVRA_OK);
    ASSERT_EQ(into_origin.import_from(bundle), KELVRA_OK);
    const std::vector<Entry> table = chromosomes(origin.path());
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table.back(), (Entry{"b", 40, 16, 1})) << "the chromosome comes back at the end";
}

TEST_F(BundleOfB, ImportVerifiesEveryAttestedPart) {
    const std::string text = read_file(bundle);
    const size_t hex_at = text.find("\"hex\": \"4362") + 8;
    const std::string copy = files.path("copy.chr");
    auto import_edited = [&](const std::string &edited) {
        write_file(copy, edited);
        return into_target.import_from(copy);
    };
    // Each edit: where, how many bytes, replaced by what.
    const struct {
        size_t at, count;
        std::string by, why;
    } edits[] = {
        {hex_at + 5, 1, text[hex_at + 5] == '0' ? "1" : "0", "one hex digit of the region"},
        {hex_at, 1, "", "odd number of digits"},
        {hex_at, 1, "g", "not a hex digit"},
        {text.find("genome_chromosome/v1"), 20, "genome_chromosome/v2", "schema"},
        {text.find("\"response_sha256\": \"") + 20, 1, "0", "response digest"},
        {text.find("\"leaf_dim\": 8"), 13, "\"leaf_dim\": 4", "the_one is not leaf_dim bytes"},
        {text.size() - 3, 3, "", "truncated JSON"},
    };
    for (const auto &e : edits) {
        std::string edited = text;
        EXPECT_EQ(import_edited(edited.replace(e.at, e.count, e.by)), KELVRA_ERR_DATA) << e.why;
    }
    EXPECT_FALSE(file_exists(target.path("turns.bin")));

    // Upper-case digits decode to the same bytes.
    std::string upper = text;
    for (size_t i = hex_at; i < hex_at + 32; ++i) upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(upper[i])));
    EXPECT_EQ(import_edited(upper), KELVRA_OK);
}

TEST_F(BundleOfB, ImportOnlyIntoTheGenomeItCameFrom) {
    TempDir stranger, narrow;
    ASSERT_EQ(save(stranger.path(), chromosome(8, "s", 1), Bytes(8, 0x11)), KELVRA_OK);
    ASSERT_EQ(save(narrow.path(), chromosome(4, "s", 1), Bytes(4, 0x11)), KELVRA_OK);
    const DirState before = state_of(stranger.path());
    EXPECT_EQ((Genome{stranger.path()}.import_from(bundle)), KELVRA_ERR_DATA) << "another the_one";
    EXPECT_EQ((Genome{narrow.path()}.import_from(bundle)), KELVRA_ERR_DATA) << "another leaf_dim";
    EXPECT_EQ(state_of(stranger.path()), before);

    const uint64_t size = read_file(bundle).size();
    EXPECT_EQ(into_target.import_from(bundle, Arena(2 * size)), KELVRA_ERR_CAPACITY);
    EXPECT_EQ(into_target.import_from(bundle, Arena(kelvra_genome_arena_bytes(0, 1, size))), KELVRA_OK);
    EXPECT_EQ(into_target.import_from(files.path("missing.chr")), KELVRA_ERR_IO);
}

// Chromosomes saved out of label order come back sorted, the packed genome
// then matching one saved sorted byte for byte.
TEST(GenomeBundle, ExplodeThenPackSortsByLabel) {
    TempDir dir, bundles, packed, sorted;
    const auto numbered = [](int i) {
        char label[16];
        std::snprintf(label, sizeof label, "chr%02d", i);
        return chromosome(32, label, static_cast<uint32_t>(i % 5), i % 3 ? 'L' : 'G');
    };
    Bytes body, in_order;
    for (int i = 0; i < 12; ++i) body = concat({body, numbered(i * 5 % 12)}), in_order = concat({in_order, numbered(i)});
    const Bytes one(32, 0xee);
    ASSERT_EQ(save(dir.path(), body, one), KELVRA_OK);
    ASSERT_EQ(save(sorted.path(), in_order, one), KELVRA_OK);
    ASSERT_EQ((Genome{dir.path()}.explode_to(bundles.path())), KELVRA_OK);
    ASSERT_EQ((Genome{packed.path()}.pack_from(bundles.path())), KELVRA_OK);
    EXPECT_EQ(state_of(packed.path()), state_of(sorted.path()));
    EXPECT_EQ((Genome{packed.path()}.pack_from(bundles.path())), KELVRA_ERR_DATA) << "labels already there";

    // A body-only source explodes with the_one given.
    TempDir again;
    ASSERT_EQ(std::remove(dir.path("manifest.json").c_str()), 0);
    const char *from = dir.path().c_str(), *to = again.path().c_str();
    ASSERT_EQ(kelvra_genome_explode(from, to, one.data(), one.size(), Arena(kRoomy).base(), kRoomy), KELVRA_OK);
    EXPECT_EQ(read_file(again.path("chr07.chr")), read_file(bundles.path("chr07.chr")));
}

// Labels that are not file names, or repeat (a body may hold two chromosomes of
// one label, but not their bundles): nothing is written before every label is checked.
TEST(GenomeBundle, ExplodeRefusesLabelsThatAreNotFileNames) {
    for (const char *label : {"..", ".", "", "a/b", "a\\b", "ok"}) {
        TempDir dir, out;
        const Bytes first = chromosome(8, "ok", 0);
        ASSERT_EQ(save(dir.path(), concat({first, chromosome(8, label, 1)}), Bytes(8, 2)), KELVRA_OK);
        EXPECT_EQ((Genome{dir.path()}.explode_to(out.path())), KELVRA_ERR_DATA) << label;
        EXPECT_FALSE(file_exists(out.path("ok.chr"))) << label;
        Bytes region;
        ASSERT_EQ((Genome{dir.path()}.window("ok", &region)), KELVRA_OK);
        EXPECT_EQ(region, first) << "a window reads the first of repeated labels";
    }
}

TEST(GenomeBundle, PackNeedsBundles) {
    TempDir in, out;
    const auto pack = [&](const std::string &from) { return Genome{out.path()}.pack_from(from); };
    EXPECT_EQ(pack(in.path()), KELVRA_ERR_DATA) << "empty directory";
    write_file(in.path("x.CHR"), "{}");
    write_file(in.path(".chr"), "{}");
    EXPECT_EQ(pack(in.path()), KELVRA_ERR_DATA);
    EXPECT_EQ(pack(in.path("missing")), KELVRA_ERR_DATA);
    write_file(in.path("y.chr"), "{\"data_schema_id\": \"kelvra://schema/genome_chromosome/v1\", \"data\": {}}");
    EXPECT_EQ(pack(in.path()), KELVRA_ERR_DATA) << "no label";
    write_file(in.path("y.chr"), "{\"data_schema_id\": ");
    EXPECT_EQ(pack(in.path()), KELVRA_ERR_DATA) << "the parser's status";
    EXPECT_FALSE(file_exists(out.path("turns.bin")));
}

} // namespace
} // namespace kelvra_test::genome
