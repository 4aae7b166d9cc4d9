#include <gtest/gtest.h>

#include "kelvra.h"

TEST(Frame, WorkspaceSizes) {
    // Large sizes are computed in 64 bits, not wrapped at 32.
    EXPECT_EQ(kelvra_dense_solve_arena_bytes(0xFFFFFFFFu, 0xFFFFFFFFu),
              uint64_t{0x1FFFFFFFE} * 0xFFFFFFFFu * 8u + 8u);
    EXPECT_EQ(kelvra_genome_arena_bytes(0, 0, 0), 77824u);
    EXPECT_EQ(kelvra_genome_arena_bytes(1000, 3, 10), 2033u * 3 + 2 * (1000 + 30 + 38912));
    EXPECT_EQ(kelvra_genome_arena_bytes(0, 0xFFFFFFFFu, 0), 2033u * 0xFFFFFFFFull + 77824u);
}
