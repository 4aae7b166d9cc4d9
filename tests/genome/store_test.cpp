// The genome store: the exact bytes it writes, what each verified read
// catches, and that a save which fails leaves the stored genome untouched.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "genome/expected_documents.hpp"
#include "genome/genome_fixture.hpp"

namespace kelvra_test::genome {
namespace {

TEST(GenomeStore, WritesByteExactFiles) {
    TempDir dir;
    const struct {
        Bytes body, one;
        const char *manifest;
    } cases[] = {{two_record_body(), two_record_one(), kManifestTwoRecords},
                 {escapes_body(), escapes_one(), kManifestEscapes},
                 {{}, bytes_of("abcdefgh"), kManifestEmpty}};
    for (const auto &c : cases) {
        ASSERT_EQ(save(dir.path(), c.body, c.one), KELVRA_OK);
        EXPECT_EQ(state_of(dir.path()), (DirState{{"manifest.json", c.manifest}, {"turns.bin", as_text(c.body)}}));
    }
}

TEST(GenomeStore, IndexCountsLeavesAndLabels) {
    TempDir dir;
    // A cap with no NUL uses all its remaining bytes as label; "G" records
    // lengthen the region without counting as leaves.
    const Bytes body = concat({record(4, 'C', "xyz"), record(4, 'G'), record(4, 'G'), record(4, 'q'),
                               record(4, 'C', "p"), record(4, 'C')});
    ASSERT_EQ(save(dir.path(), body, {9, 9, 9, 9}), KELVRA_OK);
    EXPECT_EQ(chromosomes(dir.path()),
              (std::vector<Entry>{{"xyz", 0, 16, 1}, {"p", 16, 4, 0}, {"", 20, 4, 0}}));

    // leaf_dim 1: every chromosome has the empty label.
    ASSERT_EQ(save(dir.path(), bytes_of("CxC"), {7}), KELVRA_OK);
    EXPECT_EQ(chromosomes(dir.path()), (std::vector<Entry>{{"", 0, 2, 1}, {"", 2, 1, 0}}));
}

TEST(GenomeStore, LoadVerifiesTheBody) {
    TempDir dir;
    const Bytes body = escapes_body();
    ASSERT_EQ(save(dir.path(), body, escapes_one()), KELVRA_OK);
    Bytes loaded;
    ASSERT_EQ(load(dir.path(), &loaded), KELVRA_OK);
    EXPECT_EQ(loaded, body);

    // One byte of the body changed behind the store's back.
    flip_byte(dir.path("turns.bin"), 20);
    EXPECT_EQ(load(dir.path(), &loaded), KELVRA_ERR_DATA);

    // A new body beside an old manifest (a crash between the two renames).
    write_file(dir.path("turns.bin"), as_text(two_record_body()));
    EXPECT_EQ(load(dir.path(), &loaded), KELVRA_ERR_DATA);

    // A body larger than the caller's buffer.
    ASSERT_EQ(save(dir.path(), body, escapes_one()), KELVRA_OK);
    EXPECT_EQ(load(dir.path(), &loaded, nullptr, body.size() - 1), KELVRA_ERR_CAPACITY);
    // No genome at all.
    EXPECT_EQ(load(dir.path("missing"), &loaded), KELVRA_ERR_DATA) << "no manifest and no the_one to derive one";
    const Bytes one = escapes_one();
    EXPECT_EQ(load(dir.path("missing"), &loaded, &one), KELVRA_ERR_IO);
}

#ifdef _WIN32
// A reader holding a stored file open through the runtime (which opens without
// delete sharing) keeps it from being replaced: the save waits a little, then
// fails, and the body already renamed is put back.
TEST(GenomeStore, SaveOverAFileHeldOpenFailsAndPutsTheBodyBack) {
    TempDir dir;
    ASSERT_EQ(save(dir.path(), escapes_body(), escapes_one()), KELVRA_OK);
    const DirState before = state_of(dir.path());
    std::FILE *held = std::fopen(dir.path("manifest.json").c_str(), "rb");
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(save(dir.path(), two_record_body(), two_record_one()), KELVRA_ERR_IO);
    std::fclose(held);
    EXPECT_EQ(state_of(dir.path()), before);
    EXPECT_EQ(save(dir.path(), two_record_body(), two_record_one()), KELVRA_OK) << "once the reader is gone";
}
#endif

// Overwrites the stack below the caller, where a finished call kept its locals.
[[gnu::noinline]] void scribble_on_stack() {
    volatile char block[64 * 1024];
    for (size_t i = 0; i < sizeof block; ++i) block[i] = static_cast<char>(0xA5);
}

TEST(GenomeStore, BodyOnlyDirectoryDerivesTheSameManifest) {
    TempDir dir;
    const Bytes one = escapes_one();
    ASSERT_EQ(save(dir.path(), escapes_body(), one), KELVRA_OK);
    kelvra_status status = 0;
    EXPECT_EQ(catalog_text(dir.path(), nullptr, &status), kManifestEscapes);
    ASSERT_EQ(std::remove(dir.path("manifest.json").c_str()), 0);

    EXPECT_EQ(catalog_text(dir.path(), &one, &status), kManifestEscapes) << "derived manifest differs";
    EXPECT_EQ(status, KELVRA_OK);
    catalog_text(dir.path(), nullptr, &status);
    EXPECT_EQ(status, KELVRA_ERR_DATA);
    const Bytes five(5, 0xf0);
    catalog_text(dir.path(), &five, &status);
    EXPECT_EQ(status, KELVRA_ERR_DATA) << "the body is not a whole number of 5-byte records";

    Bytes loaded;
    EXPECT_EQ(load(dir.path(), &loaded, &one), KELVRA_OK);
    EXPECT_EQ(loaded, escapes_body());
    EXPECT_FALSE(file_exists(dir.path("manifest.json"))) << "reads never write the derived manifest";

    // The derived catalogue refers to texts kept in the arena, so it stays
    // readable after the call (and after the stack is reused).
    Arena arena(kRoomy);
    const kelvra_json_value *root = catalog(dir.path(), &one, arena, &status);
    ASSERT_EQ(status, KELVRA_OK);
    scribble_on_stack();
    EXPECT_EQ(string_at(at_path(root, {"data", "body_sha256"})),
              "96029b26e78b75614f0a75880aeb4e53bbc930b5b236a0f6099e69a74b2c6a94");
    EXPECT_EQ(string_at(at_path(root, {"data", "the_one", "hex"})), "f0f1f2f3f4f5f6f7");
    EXPECT_EQ(string_at(at_path(root, {"attestation", "parser_version"})), "kelvra 0.8.2");
}

TEST(GenomeStore, SaveChecksArgumentsBeforeWriting) {
    TempDir dir;
    Arena arena(kRoomy);
    const Bytes body = two_record_body(), one = two_record_one();
    const char *d = dir.path().c_str();
    EXPECT_EQ(kelvra_genome_save(nullptr, body.data(), 8, 4, one.data(), 4, arena.base(), arena.capacity()), 1u);
    EXPECT_EQ(kelvra_genome_save(d, nullptr, 8, 4, one.data(), 4, arena.base(), arena.capacity()), 1u);
    EXPECT_EQ(kelvra_genome_save(d, body.data(), 8, 4, nullptr, 4, arena.base(), arena.capacity()), 1u);
    EXPECT_EQ(kelvra_genome_save(d, body.data(), 8, 4, one.data(), 4, nullptr, 0), 1u);
    const Bytes eight(8, 1), big(257, 1);
    EXPECT_EQ(kelvra_genome_save(d, body.data(), 8, 8, eight.data(), 7, arena.base(), arena.capacity()), 2u);
    EXPECT_EQ(kelvra_genome_save(d, body.data(), 8, 0, one.data(), 0, arena.base(), arena.capacity()), 2u);
    EXPECT_EQ(kelvra_genome_save(d, big.data(), 257, 257, big.data(), 257, arena.base(), arena.capacity()), 2u);
    EXPECT_EQ(kelvra_genome_save(d, body.data(), 6, 4, one.data(), 4, arena.base(), arena.capacity()), 2u);
    // Offsets are 32-bit: a body of 2^32 bytes is refused before it is read.
    EXPECT_EQ(kelvra_genome_save(d, body.data(), uint64_t{1} << 32, 4, one.data(), 4, arena.base(), arena.capacity()),
              4u);
    const std::string long_dir(4086, 'd');
    EXPECT_EQ(kelvra_genome_save(long_dir.c_str(), body.data(), 8, 4, one.data(), 4, arena.base(), arena.capacity()),
              4u);
    EXPECT_FALSE(file_exists(dir.path("turns.bin")));
    EXPECT_FALSE(file_exists(dir.path("manifest.json")));
}

TEST(GenomeStore, FailedSaveLeavesTheGenomeAsItWas) {
    TempDir dir;
    ASSERT_EQ(save(dir.path(), escapes_body(), escapes_one()), KELVRA_OK);
    const DirState before = state_of(dir.path());

    // Malformed bodies: a leaf before the first cap; not whole records.
    EXPECT_EQ(save(dir.path(), concat({record(8, 'L'), record(8, 'C', "a")}), escapes_one()), KELVRA_ERR_DATA);
    EXPECT_EQ(save(dir.path(), bytes_of("Cabcdefgh"), escapes_one()), KELVRA_ERR_DATA);
    EXPECT_EQ(state_of(dir.path()), before);

    // An arena too small for the index, the text area, the tree or the
    // writer's scratch. For two chromosomes the areas end at: index 696, text
    // area 704 + 5808 = 6512, chromosome list 6528, tree 6528 + 1792, writer
    // scratch + 256 = 8576.
    const Bytes body = concat({chromosome(8, "a", 3), chromosome(8, "b", 2)});
    for (uint64_t cap = 0; cap < 8576; cap += cap < 8400 ? 97 : 1) {
        ASSERT_EQ(save(dir.path(), body, escapes_one(), cap), KELVRA_ERR_CAPACITY) << "arena of " << cap << " bytes";
        ASSERT_EQ(state_of(dir.path()), before) << "arena of " << cap << " bytes";
    }
    EXPECT_EQ(save(dir.path(), body, escapes_one(), 8576), KELVRA_OK);
    EXPECT_LE(8576u, kelvra_genome_arena_bytes(body.size(), 2, 0));

    // Labels full of control characters render past the manifest's text limit.
    TempDir wide;
    Bytes escaped;
    for (int i = 0; i < 4; ++i) escaped = concat({escaped, record(256, 'C', std::string(254, '\x01') + char('a' + i))});
    EXPECT_EQ(save(wide.path(), escaped, Bytes(256, 7)), KELVRA_ERR_CAPACITY);
    EXPECT_FALSE(file_exists(wide.path("turns.bin")));
}

TEST(GenomeStore, WindowReadsOneRegionAndChecksItsCap) {
    TempDir dir;
    const Bytes a = chromosome(8, "a", 1), b = chromosome(8, "b", 2), c = chromosome(8, "c", 0);
    ASSERT_EQ(save(dir.path(), concat({a, b, c}), Bytes(8, 3)), KELVRA_OK);
    const Genome g{dir.path()};
    Bytes out;
    ASSERT_EQ(g.window("b", &out, 24), KELVRA_OK);
    EXPECT_EQ(out, b);
    EXPECT_EQ(g.window("b", &out, 23), KELVRA_ERR_CAPACITY);
    EXPECT_EQ(g.window("d", &out, 64), KELVRA_ERR_DATA);
    EXPECT_EQ(g.window("", &out, 64), KELVRA_ERR_DATA);

    // A changed cap record is caught; a changed leaf is not (only the cap is verified).
    const std::string body = flip_byte(dir.path("turns.bin"), 16 + 3, 0x20);
    EXPECT_EQ(g.window("b", &out, 24), KELVRA_ERR_DATA);
    EXPECT_EQ(g.window("a", &out, 24), KELVRA_OK);

    // The region runs past the end of a shortened body.
    write_file(dir.path("turns.bin"), body.substr(0, 40));
    EXPECT_EQ(g.window("c", &out, 24), KELVRA_ERR_IO);
}

TEST(GenomeStore, WindowRefusesImpossibleManifestFigures) {
    TempDir dir;
    ASSERT_EQ(save(dir.path(), two_record_body(), two_record_one()), KELVRA_OK);
    const Genome g{dir.path()};
    const std::string manifest = read_file(dir.path("manifest.json"));
    Bytes out;
    // leaf_dim wider than the region (the cap check would read past it) or 0,
    // a negative length, a figure of the wrong kind, a digest that is not text.
    const std::pair<const char *, const char *> edits[] = {
        {"\"leaf_dim\": 4", "\"leaf_dim\": 12"}, {"\"leaf_dim\": 4", "\"leaf_dim\": 0"},
        {"\"byte_len\": 8", "\"byte_len\": -8"}, {"\"byte_offset\": 0", "\"byte_offset\": \"0\""},
        {"\"cap_sha256\": \"", "\"cap_sha256\": 1, \"x\": \""}};
    for (const auto &[from, to] : edits) {
        write_edited(dir.path("manifest.json"), manifest, from, to);
        EXPECT_EQ(g.window("ab", &out, 64), KELVRA_ERR_DATA) << to;
    }
    // Malformed text comes back as the parser's status.
    write_file(dir.path("manifest.json"), manifest.substr(0, 100));
    EXPECT_EQ(g.window("ab", &out, 64), KELVRA_ERR_DATA);
    write_file(dir.path("manifest.json"), manifest + "\r\n\n");
    EXPECT_EQ(g.window("ab", &out, 64), KELVRA_OK) << "trailing line ends are stripped";
}

TEST(GenomeStore, ReadsNeedRoomForTheManifest) {
    TempDir dir;
    ASSERT_EQ(save(dir.path(), escapes_body(), escapes_one()), KELVRA_OK);
    const uint64_t manifest_size = read_file(dir.path("manifest.json")).size();
    kelvra_status status;
    Arena exact(manifest_size), enough(kelvra_genome_arena_bytes(0, 3, 0));
    catalog(dir.path(), nullptr, exact, &status);
    EXPECT_EQ(status, KELVRA_ERR_CAPACITY) << "the text alone needs its size plus one byte";
    catalog(dir.path(), nullptr, enough, &status);
    EXPECT_EQ(status, KELVRA_OK);
}

} // namespace
} // namespace kelvra_test::genome
