// Octonion batch operations, with every processor tier forced in turn.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "kelvra.h"
#include "support/scoped_env.hpp"

namespace {

using Blocks = std::vector<double>;

// Blocks mixing ordinary values with the awkward ones: ±0, ±inf, NaN,
// subnormals and values whose products overflow or cancel.
Blocks awkward_blocks(uint64_t n, uint64_t seed) {
    const double specials[] = {0.0, -0.0, std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::denorm_min(), -4.9e-310, 1e300, -1e300, 1.0, -1.0};
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> value(-3.0, 3.0);
    Blocks blocks(8 * n);
    for (double &v : blocks) v = rng() % 5 == 0 ? specials[rng() % std::size(specials)] : value(rng);
    return blocks;
}

// The first `blocks` blocks one by one through a single-octonion operation
// op(offset, out): the scalar reference.
template <class Op>
Blocks one_by_one(size_t blocks, Op op) {
    Blocks out(8 * blocks);
    for (size_t k = 0; k < blocks; ++k) EXPECT_EQ(op(8 * k, &out[8 * k]), KELVRA_OK);
    return out;
}

Blocks bind_one_by_one(const Blocks &a, const Blocks &b) {
    return one_by_one(a.size() / 8, [&](size_t i, double *o) { return kelvra_loop_bind_f64(&a[i], &b[i], 8, o); });
}

Blocks conj_one_by_one(const Blocks &a) {
    return one_by_one(a.size() / 8, [&](size_t i, double *o) { return kelvra_loop_conj_f64(&a[i], 8, o); });
}

// Same bits, except that any two NaNs count as equal: which NaN operand an
// operation passes on is not part of the arithmetic's contract.
void expect_same_blocks(const double *got, const Blocks &want, const std::string &what) {
    for (size_t i = 0; i < want.size(); ++i) {
        const bool same = std::isnan(got[i]) || std::isnan(want[i])
                              ? std::isnan(got[i]) && std::isnan(want[i])
                              : std::memcmp(&got[i], &want[i], sizeof(double)) == 0;
        ASSERT_TRUE(same) << what << ": block " << i / 8 << " component " << i % 8 << ": " << got[i] << " vs "
                          << want[i];
    }
}

} // namespace

// Each tier, out-of-range overrides and none at all; every block count
// around the vector widths, out = a, out = b, and blocks that have only the
// alignment of a double.
TEST(OctonionBatch, EveryTierMatchesTheScalarProductBitForBit) {
    for (const char *override : {"0", "1", "2", "7", "-1", static_cast<const char *>(nullptr)}) {
        kelvra_test::ScopedEnv tier("KELVRA_LOOP_HD_FORCE_TIER", override);
        for (uint64_t n : {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 15, 16, 17, 1023, 4099}) {
            const Blocks a = awkward_blocks(n, 100 + n), b = awkward_blocks(n, 200 + n), want = bind_one_by_one(a, b);
            const std::string what = std::string("tier ") + (override ? override : "detected") + ", n = " +
                                     std::to_string(n);
            Blocks out(8 * n + 1, 12345.0), in_a = a, in_b = b, a1(8 * n + 1), b1(8 * n + 3);
            ASSERT_EQ(kelvra_loop_bind_hd_f64(a.data(), b.data(), n, out.data()), KELVRA_OK);
            expect_same_blocks(out.data(), want, what);
            EXPECT_EQ(out[8 * n], 12345.0) << what << ": written past the end";
            ASSERT_EQ(kelvra_loop_bind_hd_f64(in_a.data(), b.data(), n, in_a.data()), KELVRA_OK);
            expect_same_blocks(in_a.data(), want, what + ", out = a");
            ASSERT_EQ(kelvra_loop_bind_hd_f64(a.data(), in_b.data(), n, in_b.data()), KELVRA_OK);
            expect_same_blocks(in_b.data(), want, what + ", out = b");
            std::memcpy(a1.data() + 1, a.data(), 64 * n);
            std::memcpy(b1.data() + 3, b.data(), 64 * n);
            ASSERT_EQ(kelvra_loop_bind_hd_f64(a1.data() + 1, b1.data() + 3, n, out.data() + 1), KELVRA_OK);
            expect_same_blocks(out.data() + 1, want, what + ", unaligned");
        }
    }
}

TEST(OctonionBatch, LargeBatchesOnAnyOutputAlignment) {
    // Large enough that the widest tier may write around the caches, which it
    // does only into 32-byte-aligned output; both ways must give the same bits.
    const uint64_t n = (uint64_t{1} << 18) + 3;
    const Blocks a = awkward_blocks(n, 8), b = awkward_blocks(n, 9), want = bind_one_by_one(a, b);
    std::vector<double> storage(8 * n + 16);
    double *buffer = storage.data() + (8 - reinterpret_cast<uintptr_t>(storage.data()) / 8 % 8) % 8; // 64-byte aligned
    for (const char *override : {"2", "1"}) {
        kelvra_test::ScopedEnv tier("KELVRA_LOOP_HD_FORCE_TIER", override);
        for (size_t offset : {0u, 1u, 2u}) {
            ASSERT_EQ(kelvra_loop_bind_hd_f64(a.data(), b.data(), n, buffer + offset), KELVRA_OK);
            expect_same_blocks(buffer + offset, want,
                               std::string("tier ") + override + ", offset " + std::to_string(offset));
        }
    }
}

TEST(OctonionBatch, EmptyBatchesIgnorePointersAndNullsAreRefused) {
    using P = const double *;
    using Call = kelvra_status (*)(P, P, uint64_t, double *);
    const Call calls[] = {
        [](P a, P b, uint64_t n, double *o) { return kelvra_loop_bind_hd_f64(b, a, n, o); },
        [](P a, P, uint64_t n, double *o) { return kelvra_loop_conj_hd_f64(a, n, o); },
        [](P a, P, uint64_t n, double *o) { return kelvra_loop_inv_hd_f64(a, n, o); },
        [](P a, P b, uint64_t n, double *o) { return kelvra_loop_unbind_hd_f64(a, b, n, o); },
        [](P a, P b, uint64_t n, double *o) { return kelvra_loop_runbind_hd_f64(b, a, n, o); },
    };
    double block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    for (const Call &call : calls) {
        EXPECT_EQ(call(nullptr, nullptr, 0, nullptr), KELVRA_OK) << &call - calls;
        EXPECT_EQ(call(nullptr, block, 1, block), KELVRA_ERR_ARG) << &call - calls;
        EXPECT_EQ(call(block, block, 1, nullptr), KELVRA_ERR_ARG) << &call - calls;
    }
}

// Blocks 0, 1 and 3 ordinary, block 2 zero (with a -0.0): the inverse stops
// there with the blocks before it written and the rest untouched.
TEST(OctonionBatch, ConjugateAndInverseBlockByBlock) {
    Blocks a(32, 0.0), out(32);
    for (int k = 0; k < 8; ++k) a[k] = k + 1.0, a[8 + k] = -0.5 * k, a[24 + k] = 3.0;
    a[16 + 3] = -0.0;
    ASSERT_EQ(kelvra_loop_conj_hd_f64(a.data(), 4, out.data()), KELVRA_OK);
    expect_same_blocks(out.data(), conj_one_by_one(a), "conjugate");
    const Blocks want = one_by_one(2, [&](size_t i, double *o) { return kelvra_loop_inv_f64(&a[i], 8, o); });
    Blocks inverse(32, 99.0), in_place(a.begin(), a.begin() + 16);
    EXPECT_EQ(kelvra_loop_inv_hd_f64(a.data(), 4, inverse.data()), KELVRA_ERR_DATA);
    expect_same_blocks(inverse.data(), want, "inverse");
    for (int i = 16; i < 32; ++i) EXPECT_EQ(inverse[i], 99.0) << i;
    ASSERT_EQ(kelvra_loop_inv_hd_f64(in_place.data(), 2, in_place.data()), KELVRA_OK);
    expect_same_blocks(in_place.data(), want, "in place");
}

// Unbinding is exactly ā·b (left) and b·ā (right) through the single product,
// also in place.
TEST(OctonionBatch, UnbindingIsTheConjugateProduct) {
    const uint64_t n = 13;
    const Blocks key = awkward_blocks(n, 5), b = awkward_blocks(n, 6), key_bar = conj_one_by_one(key);
    const Blocks left = bind_one_by_one(key_bar, b), right = bind_one_by_one(b, key_bar);
    Blocks from_left(8 * n), from_right(8 * n), in_key = key, in_b = b;
    ASSERT_EQ(kelvra_loop_unbind_hd_f64(key.data(), b.data(), n, from_left.data()), KELVRA_OK);
    ASSERT_EQ(kelvra_loop_runbind_hd_f64(key.data(), b.data(), n, from_right.data()), KELVRA_OK);
    ASSERT_EQ(kelvra_loop_unbind_hd_f64(in_key.data(), b.data(), n, in_key.data()), KELVRA_OK);
    ASSERT_EQ(kelvra_loop_runbind_hd_f64(key.data(), in_b.data(), n, in_b.data()), KELVRA_OK);
    expect_same_blocks(from_left.data(), left, "left");
    expect_same_blocks(from_right.data(), right, "right");
    expect_same_blocks(in_key.data(), left, "left, out = a");
    expect_same_blocks(in_b.data(), right, "right, out = b");
}
