// Every operating-system call a genome write makes is made to fail in turn
// (the library here is built with fault injection in its platform layer). Each
// time, the operation either succeeds with the result it has without the
// fault, or returns 3 with the genome directory exactly as it was: no file
// changed, none added, no temporary file left behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "genome/genome_fixture.hpp"
#include "platform/fault.hpp"
#include "platform/platform.hpp"
#include "support/child_process.hpp"

namespace kelvra_test::genome {
namespace {

namespace fault = kelvra::os::fault;

void restore(const std::string &dir, const DirState &state) {
    for (const auto &[name, contents] : state_of(dir)) std::remove((dir + "/" + name).c_str());
    for (const auto &[name, contents] : state) write_file(dir + "/" + name, contents);
}

// Runs `op` on `dir` from `initial` without faults: the calls it makes.
uint64_t calls_made(const std::string &dir, const DirState &initial, const std::function<kelvra_status()> &op) {
    restore(dir, initial);
    fault::arm(0);
    EXPECT_EQ(op(), KELVRA_OK);
    return fault::calls();
}

// Runs `op` on `dir` starting from `initial`, once without faults and then
// once with each of its operating-system calls failing.
void every_fault_leaves_it_as_it_was(const std::string &dir, const DirState &initial,
                                     const std::function<kelvra_status()> &op) {
    const uint64_t calls = calls_made(dir, initial, op);
    const DirState expected = state_of(dir);
    ASSERT_GT(calls, 5u);
    for (uint64_t n = 1; n <= calls; ++n) {
        restore(dir, initial);
        fault::arm(n);
        const kelvra_status s = op();
        fault::arm(0);
        if (s == KELVRA_OK) {
            EXPECT_EQ(state_of(dir), expected) << "call " << n << " failed, yet the result differs";
        } else {
            EXPECT_EQ(s, KELVRA_ERR_IO) << "call " << n;
            EXPECT_EQ(state_of(dir), initial) << "call " << n << " failed and the directory changed";
        }
    }
}

const Bytes kOne(8, 5);

Bytes two_chromosomes() { return concat({chromosome(8, "a", 2), chromosome(8, "b", 1)}); }

class GenomeFaults : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(save(g, two_chromosomes(), kOne), KELVRA_OK);
        stored = state_of(g);
        for (const char *label : {"a", "b"})
            ASSERT_EQ(genome.export_to(label, bundles + "/" + label + ".chr"), KELVRA_OK);
    }

    TempDir root, genome_dir, bundle_dir;
    const std::string g = genome_dir.path(), bundles = bundle_dir.path();
    const Genome genome{g, kOne};
    DirState stored;
};

TEST_F(GenomeFaults, SaveIntoAnExistingOrEmptyDirectory) {
    const Bytes body = concat({chromosome(8, "c", 3)});
    const auto op = [&] { return save(g, body, kOne); };
    every_fault_leaves_it_as_it_was(g, stored, op);
    every_fault_leaves_it_as_it_was(g, {}, op);
}

// The child of the test below: the same save, stopped dead at call n.
TEST(GenomeFaultsChild, DISABLED_SaveStoppedAtCall) {
    const std::string g = child_parameter("KELVRA_TEST_GENOME_DIR"), n = child_parameter("KELVRA_TEST_CRASH_AT");
    if (g.empty() || n.empty()) GTEST_SKIP() << "run by SaveStoppedAnywhereNeverLeavesAManifestWithoutItsBody";
    fault::crash_at(std::stoull(n));
    save(g, two_chromosomes(), kOne);
    ADD_FAILURE() << "the save ran to its end without reaching call " << n;
}

// A save into an empty directory stopped dead before each of its calls: the
// body goes in first, so a manifest never stands without it, and what is
// there loads.
TEST_F(GenomeFaults, SaveStoppedAnywhereNeverLeavesAManifestWithoutItsBody) {
    const uint64_t calls = calls_made(g, {}, [&] { return save(g, two_chromosomes(), kOne); });
    for (uint64_t n = 1; n <= calls; ++n) {
        restore(g, {});
        ChildProcess child("GenomeFaultsChild.DISABLED_SaveStoppedAtCall",
                           {{"KELVRA_TEST_GENOME_DIR", g}, {"KELVRA_TEST_CRASH_AT", std::to_string(n)}});
        EXPECT_EQ(child.wait(), 0) << "stopped at call " << n;
        const DirState left = state_of(g);
        const bool body = left.count("turns.bin") != 0, manifest = left.count("manifest.json") != 0;
        EXPECT_FALSE(manifest && !body) << "stopped at call " << n;
        Bytes loaded;
        EXPECT_EQ(body ? load(g, &loaded, &kOne) : KELVRA_OK, KELVRA_OK) << "stopped at call " << n;
    }
}

TEST_F(GenomeFaults, Edits) {
    const Bytes d = chromosome(8, "d", 1);
    every_fault_leaves_it_as_it_was(g, stored, [&] { return genome.append("d", d); });
    every_fault_leaves_it_as_it_was(g, stored, [&] { return genome.replace("a", d); });
    every_fault_leaves_it_as_it_was(g, stored, [&] { return genome.remove("a"); });
}

TEST_F(GenomeFaults, ImportAndPack) {
    const std::string bundle = bundles + "/b.chr";
    const auto import = [&] { return genome.import_from(bundle); };
    const auto pack = [&] { return genome.pack_from(bundles); };
    every_fault_leaves_it_as_it_was(g, {}, import);
    every_fault_leaves_it_as_it_was(g, {}, pack);

    // Into a genome that holds only a: b is added.
    restore(g, stored);
    ASSERT_EQ(genome.remove("b"), KELVRA_OK);
    const DirState only_a = state_of(g);
    every_fault_leaves_it_as_it_was(g, only_a, import);
    ASSERT_EQ(std::remove((bundles + "/a.chr").c_str()), 0);
    every_fault_leaves_it_as_it_was(g, only_a, pack);
}

// Links planted at the next temporary names a save will draw are skipped, not
// followed, and stay as they were. Windows gets hard links: a symbolic link
// needs a privilege there.
TEST_F(GenomeFaults, LinksPlantedAtTemporaryNamesAreNeverFollowed) {
    const std::string target = root.path("precious");
    write_file(target, "keep me");
    std::vector<std::string> planted;
    for (const char *name : {"turns.bin", "manifest.json"}) {
        for (uint64_t ahead = 0; ahead < 8; ++ahead) {
            char temp[kelvra::os::file_name_capacity];
            kelvra::os::upcoming_temp_name(name, ahead, temp);
            planted.push_back(g + "/" + temp);
            std::error_code error;
#ifdef _WIN32
            std::filesystem::create_hard_link(target, planted.back(), error);
#else
            std::filesystem::create_symlink(target, planted.back(), error);
#endif
            ASSERT_FALSE(error) << planted.back() << ": " << error.message();
        }
    }
    ASSERT_EQ(save(g, concat({chromosome(8, "z", 1)}), kOne), KELVRA_OK);
    EXPECT_EQ(read_file(target), "keep me");
    for (const std::string &link : planted) {
        std::error_code error;
        EXPECT_TRUE(std::filesystem::equivalent(link, target, error)) << link;
#ifndef _WIN32
        struct stat info {};
        EXPECT_EQ(lstat(link.c_str(), &info), 0);
        EXPECT_TRUE(S_ISLNK(info.st_mode)) << link;
#endif
    }
    Bytes body;
    EXPECT_EQ(load(g, &body), KELVRA_OK);
}

} // namespace
} // namespace kelvra_test::genome
