// Chromosome bundles: the exact file, what import verifies, and explode/pack
// round trips.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "genome/expected_documents.hpp"
#include "genome/genome_fixture.hpp"

namespace kelvra_test::genome {
namespace {

kelvra_status export_bundle(const std::string &dir, const char *label, const std::string &out,
                            const Bytes *the_one = nullptr) {
    Arena arena(kRoomy);
    return kelvra_genome_export(dir.c_str(), label, out.c_str(), the_one ? the_one->data() : nullptr,
                                the_one ? the_one->size() : 0, arena.base(), arena.capacity());
}

kelvra_status import_bundle(const std::string &bundle, const std::string &dir, uint64_t arena_bytes = kRoomy) {
    Arena arena(arena_bytes);
    return kelvra_genome_import(bundle.c_str(), dir.c_str(), nullptr, 0, arena.base(), arena.capacity());
}

kelvra_status explode(const std::string &dir, const std::string &out) {
    Arena arena(kRoomy);
    return kelvra_genome_explode(dir.c_str(), out.c_str(), nullptr, 0, arena.base(), arena.capacity());
}

kelvra_status pack(const std::string &in, const std::string &out) {
    Arena arena(kRoomy);
    return kelvra_genome_pack(in.c_str(), out.c_str(), nullptr, 0, arena.base(), arena.capacity());
}

// Replaces the first occurrence of `from` in a file.
void edit_file(const std::string &path, const std::string &from, const std::string &to) {
    std::string text = read_file(path);
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    write_file(path, text.replace(at, from.size(), to));
}

TEST(GenomeBundle, ExportWritesTheExactBundle) {
    TempDir dir;
    ASSERT_EQ(save(dir.path(), escapes_body(), escapes_one()), KELVRA_OK);
    ASSERT_EQ(export_bundle(dir.path(), "b", dir.path("b.chr")), KELVRA_OK);
    EXPECT_EQ(read_file(dir.path("b.chr")), kBundleOfB);
    EXPECT_EQ(export_bundle(dir.path(), "c", dir.path("c.chr")), KELVRA_ERR_DATA);
    EXPECT_FALSE(file_exists(dir.path("c.chr")));
    const uint8_t some[1] = {0};
    Arena arena(kRoomy);
    EXPECT_EQ(kelvra_genome_export(dir.path().c_str(), "b", dir.path("x.chr").c_str(), some, 0,
                                   arena.base(), arena.capacity()),
              KELVRA_ERR_DATA)
        << "the_one given with length 0";
    EXPECT_EQ(export_bundle(dir.path(), "b", dir.path("no/such/dir/b.chr")), KELVRA_ERR_IO);

    // The cap record is verified; the manifest's region must hold a whole record.
    std::string body = read_file(dir.path("turns.bin"));
    body[33] = 'x';
    write_file(dir.path("turns.bin"), body);
    EXPECT_EQ(export_bundle(dir.path(), "b", dir.path("b2.chr")), KELVRA_ERR_DATA);
    ASSERT_EQ(save(dir.path(), escapes_body(), escapes_one()), KELVRA_OK);
    edit_file(dir.path("manifest.json"), "\"byte_len\": 16", "\"byte_len\": 4");
    EXPECT_EQ(export_bundle(dir.path(), "b", dir.path("b2.chr")), KELVRA_ERR_DATA);
    EXPECT_FALSE(file_exists(dir.path("b2.chr")));
}

struct BundleOfB : ::testing::Test {
    void SetUp() override {
        ASSERT_EQ(save(origin.path(), escapes_body(), escapes_one()), KELVRA_OK);
        ASSERT_EQ(export_bundle(origin.path(), "b", bundle), KELVRA_OK);
    }
    TempDir origin, target, files;
    const std::string bundle = files.path("b.chr");
};

TEST_F(BundleOfB, ImportCreatesOrExtendsAGenome) {
    ASSERT_EQ(import_bundle(bundle, target.path()), KELVRA_OK);
    EXPECT_EQ(read_file(target.path("turns.bin")), as_text(escapes_body()).substr(32, 16));

    const Snapshot before = snapshot(origin.path());
    EXPECT_EQ(import_bundle(bundle, origin.path()), KELVRA_ERR_DATA) << "label already present";
    EXPECT_EQ(snapshot(origin.path()), before);

    Arena arena(kRoomy);
    const Bytes one = escapes_one();
    ASSERT_EQ(kelvra_genome_remove(origin.path().c_str(), "b", one.data(), one.size(), arena.base(), arena.capacity()),
              KELVRA_OK);
    ASSERT_EQ(import_bundle(bundle, origin.path()), KELVRA_OK);
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
        return import_bundle(copy, target.path());
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
    std::transform(upper.begin() + static_cast<std::ptrdiff_t>(hex_at),
                   upper.begin() + static_cast<std::ptrdiff_t>(hex_at + 32), upper.begin() + static_cast<std::ptrdiff_t>(hex_at),
                   [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
    EXPECT_EQ(import_edited(upper), KELVRA_OK);
}

TEST_F(BundleOfB, ImportOnlyIntoTheGenomeItCameFrom) {
    TempDir stranger;
    ASSERT_EQ(save(stranger.path(), chromosome(8, "s", 1), Bytes(8, 0x11)), KELVRA_OK);
    const Snapshot before = snapshot(stranger.path());
    EXPECT_EQ(import_bundle(bundle, stranger.path()), KELVRA_ERR_DATA) << "another the_one";
    TempDir narrow;
    ASSERT_EQ(save(narrow.path(), chromosome(4, "s", 1), Bytes(4, 0x11)), KELVRA_OK);
    EXPECT_EQ(import_bundle(bundle, narrow.path()), KELVRA_ERR_DATA) << "another leaf_dim";
    EXPECT_EQ(snapshot(stranger.path()), before);

    const uint64_t size = read_file(bundle).size();
    EXPECT_EQ(import_bundle(bundle, target.path(), 2 * size), KELVRA_ERR_CAPACITY);
    EXPECT_EQ(import_bundle(bundle, target.path(), kelvra_genome_arena_bytes(0, 1, size)), KELVRA_OK);
    EXPECT_EQ(import_bundle(files.path("missing.chr"), target.path()), KELVRA_ERR_IO);
}

TEST(GenomeBundle, ExplodeThenPackSortsByLabel) {
    TempDir dir, bundles, packed;
    const Bytes b = chromosome(8, "b", 2), a = chromosome(8, "a", 1);
    ASSERT_EQ(save(dir.path(), concat({b, a}), Bytes(8, 1)), KELVRA_OK);
    ASSERT_EQ(explode(dir.path(), bundles.path()), KELVRA_OK);
    EXPECT_TRUE(file_exists(bundles.path("a.chr")));
    EXPECT_TRUE(file_exists(bundles.path("b.chr")));
    ASSERT_EQ(pack(bundles.path(), packed.path()), KELVRA_OK);
    EXPECT_EQ(read_file(packed.path("turns.bin")), as_text(concat({a, b})));
    EXPECT_EQ(pack(bundles.path(), packed.path()), KELVRA_ERR_DATA) << "labels already there";
}

TEST(GenomeBundle, ExplodeAndPackRoundTripManyChromosomes) {
    TempDir dir, bundles, packed;
    Bytes body;
    for (int i = 0; i < 12; ++i) {
        char label[16];
        std::snprintf(label, sizeof label, "chr%02d", i);
        body = concat({body, chromosome(32, label, static_cast<uint32_t>(i % 5), i % 3 ? 'L' : 'G')});
    }
    const Bytes one(32, 0xee);
    ASSERT_EQ(save(dir.path(), body, one), KELVRA_OK);
    ASSERT_EQ(explode(dir.path(), bundles.path()), KELVRA_OK);
    ASSERT_EQ(pack(bundles.path(), packed.path()), KELVRA_OK);
    EXPECT_EQ(snapshot(packed.path()), snapshot(dir.path()));

    // A body-only source explodes with the_one given.
    TempDir again;
    ASSERT_EQ(unlink(dir.path("manifest.json").c_str()), 0);
    Arena arena(kRoomy);
    ASSERT_EQ(kelvra_genome_explode(dir.path().c_str(), again.path().c_str(), one.data(), one.size(), arena.base(),
                                    arena.capacity()),
              KELVRA_OK);
    EXPECT_EQ(read_file(again.path("chr07.chr")), read_file(bundles.path("chr07.chr")));
}

TEST(GenomeBundle, ExplodeRefusesLabelsThatAreNotFileNames) {
    for (const char *label : {"..", ".", "", "a/b", "a\\b"}) {
        TempDir dir, out;
        ASSERT_EQ(save(dir.path(), concat({chromosome(8, "ok", 0), chromosome(8, label, 1)}), Bytes(8, 2)),
                  KELVRA_OK);
        EXPECT_EQ(explode(dir.path(), out.path()), KELVRA_ERR_DATA) << label;
        EXPECT_FALSE(file_exists(out.path("ok.chr"))) << "nothing is written before every label is checked";
    }
}

TEST(GenomeBundle, PackNeedsBundles) {
    TempDir in, out;
    EXPECT_EQ(pack(in.path(), out.path()), KELVRA_ERR_DATA) << "empty directory";
    write_file(in.path("x.CHR"), "{}");
    write_file(in.path(".chr"), "{}");
    EXPECT_EQ(pack(in.path(), out.path()), KELVRA_ERR_DATA);
    EXPECT_EQ(pack(in.path("missing"), out.path()), KELVRA_ERR_DATA);
    write_file(in.path("y.chr"), "{\"data_schema_id\": \"kelvra://schema/genome_chromosome/v1\", \"data\": {}}");
    EXPECT_EQ(pack(in.path(), out.path()), KELVRA_ERR_DATA) << "no label";
    write_file(in.path("y.chr"), "{\"data_schema_id\": ");
    EXPECT_EQ(pack(in.path(), out.path()), KELVRA_ERR_DATA) << "the parser's status";
    EXPECT_FALSE(file_exists(out.path("turns.bin")));
}

} // namespace
} // namespace kelvra_test::genome
