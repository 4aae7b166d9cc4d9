// A save killed at any moment leaves the old genome or the new one, never a
// torn file: a child process saves two genomes in turn, as fast as it can,
// and is killed (SIGKILL) after a random delay; after every kill both files
// must each be one of the two versions written, and a load must give one of
// the two bodies or report the mismatch (2) of a crash between the renames.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "genome/genome_fixture.hpp"

namespace kelvra_test::genome {
namespace {

// Two genomes of different sizes and chromosome tables.
Bytes version_body(int which) {
    Bytes body;
    const int chromosomes = which == 0 ? 24 : 9;
    for (int i = 0; i < chromosomes; ++i)
        body = concat({body, chromosome(64, std::to_string(which) + "-" + std::to_string(i),
                                        static_cast<uint32_t>(which == 0 ? 40 : 150), which == 0 ? 'a' : 'b')});
    return body;
}

TEST(GenomeCrash, KilledSavesNeverTearTheGenome) {
    TempDir dir, reference0, reference1;
    const Bytes one(64, 0x42);
    const Bytes bodies[2] = {version_body(0), version_body(1)};
    ASSERT_EQ(save(reference0.path(), bodies[0], one, 1 << 22), KELVRA_OK);
    ASSERT_EQ(save(reference1.path(), bodies[1], one, 1 << 22), KELVRA_OK);
    const Snapshot versions[2] = {snapshot(reference0.path()), snapshot(reference1.path())};
    ASSERT_EQ(save(dir.path(), bodies[0], one, 1 << 22), KELVRA_OK);

    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> delay_us(0, 15000);
    int kills = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (std::chrono::steady_clock::now() < deadline) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) { // saves the two bodies in turn until killed
            Arena arena(1 << 22);
            for (unsigned n = 0;; ++n)
                kelvra_genome_save(dir.path().c_str(), bodies[n % 2].data(), bodies[n % 2].size(), 64, one.data(),
                                   one.size(), arena.base(), arena.capacity());
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delay_us(random)));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ++kills;

        const Snapshot now = snapshot(dir.path());
        const bool body_whole = now.body == versions[0].body || now.body == versions[1].body;
        const bool manifest_whole = now.manifest == versions[0].manifest || now.manifest == versions[1].manifest;
        ASSERT_TRUE(body_whole) << "torn turns.bin after kill " << kills << " (" << now.body.size() << " bytes)";
        ASSERT_TRUE(manifest_whole) << "torn manifest.json after kill " << kills;
        Bytes loaded;
        const kelvra_status s = load(dir.path(), &loaded);
        if (s == KELVRA_OK) {
            ASSERT_TRUE(loaded == bodies[0] || loaded == bodies[1]);
        } else {
            ASSERT_EQ(s, KELVRA_ERR_DATA) << "a crash between the renames is reported, never hidden";
        }
    }
    EXPECT_GT(kills, 10);
}

} // namespace
} // namespace kelvra_test::genome
