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

// Block by block through the single-octonion product: the scalar reference.
Blocks bind_one_by_one(const Blocks &a, const Blocks &b) {
    Blocks out(a.size());
    for (size_t k = 0; k < a.size() / 8; ++k)
        EXPECT_EQ(kelvra_loop_bind_f64(&a[8 * k], &b[8 * k], 8, &out[8 * k]), KELVRA_OK);
    return out;
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

TEST(OctonionBatch, ConjugateAndInverseBlockByBlock) {
    // Blocks 0 and 1 ordinary, block 2 zero (with a -0.0), block 3 ordinary.
    Blocks a(32, 0.0), conj(32), one(8);
    for (int k = 0; k < 8; ++k) a[k] = k + 1.0, a[8 + k] = -0.5 * k, a[24 + k] = 3.0;
    a[16 + 3] = -0.0;
    ASSERT_EQ(kelvra_loop_conj_hd_f64(a.data(), 4, conj.data()), KELVRA_OK);
    for (int k = 0; k < 4; ++k) {
        ASSERT_EQ(kelvra_loop_conj_f64(&a[8 * k], 8, one.data()), KELVRA_OK);
        EXPECT_EQ(std::memcmp(one.data(), &conj[8 * k], 64), 0) << k;
    }
    // The zero block stops the inverse with the blocks before it written.
    Blocks out(32, 99.0);
    EXPECT_EQ(kelvra_loop_inv_hd_f64(a.data(), 4, out.data()), KELVRA_ERR_DATA);
    for (int k = 0; k < 2; ++k) {
        ASSERT_EQ(kelvra_loop_inv_f64(&a[8 * k], 8, one.data()), KELVRA_OK);
        EXPECT_EQ(std::memcmp(one.data(), &out[8 * k], 64), 0) << k;
    }
    for (int i = 16; i < 32; ++i) EXPECT_EQ(out[i], 99.0) << i;
    Blocks inout(a.begin(), a.begin() + 16);
    ASSERT_EQ(kelvra_loop_inv_hd_f64(inout.data(), 2, inout.data()), KELVRA_OK);
    EXPECT_EQ(std::memcmp(inout.data(), out.data(), 16 * sizeof(double)), 0) << "in place";
}

// Unbinding is exactly ā·b (left) and b·ā (right) through the single product,
// also in place.
TEST(OctonionBatch, UnbindingIsTheConjugateProduct) {
    const uint64_t n = 13;
    const Blocks key = awkward_blocks(n, 5), left = awkward_blocks(n, 6);
    Blocks right = awkward_blocks(n, 7), from_left(8 * n), from_right(8 * n);
    ASSERT_EQ(kelvra_loop_unbind_hd_f64(key.data(), left.data(), n, from_left.data()), KELVRA_OK);
    ASSERT_EQ(kelvra_loop_runbind_hd_f64(key.data(), right.data(), n, from_right.data()), KELVRA_OK);
    for (uint64_t k = 0; k < n; ++k) {
        double a_bar[8], want_left[8], want_right[8];
        ASSERT_EQ(kelvra_loop_conj_f64(&key[8 * k], 8, a_bar), KELVRA_OK);
        ASSERT_EQ(kelvra_loop_bind_f64(a_bar, &left[8 * k], 8, want_left), KELVRA_OK);
        ASSERT_EQ(kelvra_loop_bind_f64(&right[8 * k], a_bar, 8, want_right), KELVRA_OK);
        expect_same_blocks(from_left.data() + 8 * k, Blocks(want_left, want_left + 8), "left");
        expect_same_blocks(from_right.data() + 8 * k, Blocks(want_right, want_right + 8), "right");
    }
    Blocks in_key = key;
    ASSERT_EQ(kelvra_loop_unbind_hd_f64(in_key.data(), left.data(), n, in_key.data()), KELVRA_OK);
    ASSERT_EQ(kelvra_loop_runbind_hd_f64(key.data(), right.data(), n, right.data()), KELVRA_OK);
    expect_same_blocks(in_key.data(), from_left, "out = a");
    expect_same_blocks(right.data(), from_right, "out = b");
}
