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
#include "loop/octonion_reference.hpp"
#include "support/scoped_env.hpp"

namespace {

// Overrides to try: each tier, out-of-range values and no override at all.
const char *const kOverrides[] = {"0", "1", "2", "7", "-1", nullptr};

std::string describe(const char *override) { return override ? std::string("tier ") + override : "detected tier"; }

// Blocks mixing ordinary values with the awkward ones: ±0, ±inf, NaN,
// subnormals and values whose products overflow or cancel.
std::vector<double> awkward_blocks(uint64_t n, uint64_t seed) {
    const double specials[] = {0.0, -0.0, std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::denorm_min(), -4.9e-310, 1e300, -1e300, 1.0, -1.0};
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> value(-3.0, 3.0);
    std::vector<double> blocks(8 * n);
    for (double &v : blocks) {
        v = value(rng);
        if (rng() % 5 == 0) v = specials[rng() % std::size(specials)];
    }
    return blocks;
}

// Same bits, except that any two NaNs count as equal: which NaN operand an
// operation passes on is not part of the arithmetic's contract.
bool same_value_bits(double got, double want) {
    if (std::isnan(got) || std::isnan(want)) return std::isnan(got) && std::isnan(want);
    return std::memcmp(&got, &want, sizeof got) == 0;
}

// Block by block through the single-octonion product: the scalar reference.
std::vector<double> bind_one_by_one(const std::vector<double> &a, const std::vector<double> &b) {
    std::vector<double> out(a.size());
    for (size_t k = 0; k < a.size() / 8; ++k) {
        EXPECT_EQ(kelvra_loop_bind_f64(&a[8 * k], &b[8 * k], 8, &out[8 * k]), KELVRA_OK);
    }
    return out;
}

void expect_same_blocks(const std::vector<double> &got, const std::vector<double> &want, const std::string &what) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_TRUE(same_value_bits(got[i], want[i]))
            << what << ": block " << i / 8 << " component " << i % 8 << ": " << got[i] << " vs " << want[i];
    }
}

std::vector<uint64_t> block_counts() {
    std::vector<uint64_t> counts;
    for (uint64_t n : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 15, 16, 17, 1023, 4099}) counts.push_back(n);
    return counts;
}

} // namespace

// Every block count around the vector widths, out = a, out = b, and blocks
// that have only the alignment of a double.
TEST(OctonionBatch, EveryTierMatchesTheScalarProductBitForBit) {
    for (const char *override : kOverrides) {
        kelvra_test::ScopedEnv tier("KELVRA_LOOP_HD_FORCE_TIER", override);
        for (uint64_t n : block_counts()) {
            const std::vector<double> a = awkward_blocks(n, 100 + n), b = awkward_blocks(n, 200 + n);
            const std::vector<double> want = bind_one_by_one(a, b);
            const std::string what = describe(override) + ", n = " + std::to_string(n);
            std::vector<double> out(8 * n + 1, 12345.0), in_a = a, in_b = b, a1(8 * n + 1), b1(8 * n + 3);
            ASSERT_EQ(kelvra_loop_bind_hd_f64(a.data(), b.data(), n, out.data()), KELVRA_OK);
            expect_same_blocks(std::vector<double>(out.begin(), out.end() - 1), want, what);
            ASSERT_EQ(kelvra_loop_bind_hd_f64(in_a.data(), b.data(), n, in_a.data()), KELVRA_OK);
            expect_same_blocks(in_a, want, what + ", out = a");
            ASSERT_EQ(kelvra_loop_bind_hd_f64(a.data(), in_b.data(), n, in_b.data()), KELVRA_OK);
            expect_same_blocks(in_b, want, what + ", out = b");
            if (n == 0) continue;
            std::memcpy(a1.data() + 1, a.data(), 64 * n);
            std::memcpy(b1.data() + 3, b.data(), 64 * n);
            ASSERT_EQ(kelvra_loop_bind_hd_f64(a1.data() + 1, b1.data() + 3, n, out.data() + 1), KELVRA_OK);
            expect_same_blocks(std::vector<double>(out.begin() + 1, out.end()), want, what + ", unaligned");
        }
    }
}

TEST(OctonionBatch, LargeBatchesOnAnyOutputAlignment) {
    // Large enough that the widest tier may write around the caches, which it
    // does only into 32-byte-aligned output; both ways must give the same bits.
    const uint64_t n = (uint64_t{1} << 18) + 3;
    const std::vector<double> a = awkward_blocks(n, 8), b = awkward_blocks(n, 9);
    const std::vector<double> want = bind_one_by_one(a, b);
    double *buffer = static_cast<double *>(std::aligned_alloc(64, 64 * n + 64));
    ASSERT_NE(buffer, nullptr);
    for (const char *override : {"2", "1"}) {
        kelvra_test::ScopedEnv tier("KELVRA_LOOP_HD_FORCE_TIER", override);
        for (size_t offset : {0u, 1u, 2u}) {
            double *out = buffer + offset;
            ASSERT_EQ(kelvra_loop_bind_hd_f64(a.data(), b.data(), n, out), KELVRA_OK);
            expect_same_blocks(std::vector<double>(out, out + 8 * n), want,
                               describe(override) + ", output offset " + std::to_string(offset));
        }
    }
    std::free(buffer);
}

TEST(OctonionBatch, EmptyBatchesIgnorePointersAndNullsAreRefused) {
    double block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(kelvra_loop_bind_hd_f64(nullptr, nullptr, 0, nullptr), KELVRA_OK);
    EXPECT_EQ(kelvra_loop_conj_hd_f64(nullptr, 0, nullptr), KELVRA_OK);
    EXPECT_EQ(kelvra_loop_inv_hd_f64(nullptr, 0, nullptr), KELVRA_OK);
    EXPECT_EQ(kelvra_loop_unbind_hd_f64(nullptr, nullptr, 0, nullptr), KELVRA_OK);
    EXPECT_EQ(kelvra_loop_runbind_hd_f64(nullptr, nullptr, 0, nullptr), KELVRA_OK);
    EXPECT_EQ(kelvra_loop_bind_hd_f64(block, nullptr, 1, block), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_loop_bind_hd_f64(block, block, 1, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_loop_conj_hd_f64(nullptr, 1, block), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_loop_inv_hd_f64(block, 1, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_loop_unbind_hd_f64(nullptr, block, 1, block), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_loop_runbind_hd_f64(block, block, 1, nullptr), KELVRA_ERR_ARG);
}

TEST(OctonionBatch, ConjugateAndInverseBlockByBlock) {
    const uint64_t n = 6;
    const std::vector<double> a = awkward_blocks(n, 5);
    std::vector<double> conj(8 * n);
    ASSERT_EQ(kelvra_loop_conj_hd_f64(a.data(), n, conj.data()), KELVRA_OK);
    for (uint64_t k = 0; k < n; ++k) {
        double one[8];
        ASSERT_EQ(kelvra_loop_conj_f64(&a[8 * k], 8, one), KELVRA_OK);
        EXPECT_EQ(std::memcmp(one, &conj[8 * k], sizeof one), 0) << k;
    }
    // A zero block stops the inverse with the blocks before it written.
    std::vector<double> with_zero(32, 0.0);
    for (int k = 0; k < 8; ++k) {
        with_zero[k] = k + 1.0;
        with_zero[8 + k] = -0.5 * k;
        with_zero[24 + k] = 3.0;
    }
    with_zero[16 + 3] = -0.0;
    std::vector<double> out(32, 99.0);
    EXPECT_EQ(kelvra_loop_inv_hd_f64(with_zero.data(), 4, out.data()), KELVRA_ERR_DATA);
    for (int b = 0; b < 2; ++b) {
        double one[8];
        ASSERT_EQ(kelvra_loop_inv_f64(&with_zero[8 * b], 8, one), KELVRA_OK);
        EXPECT_EQ(std::memcmp(one, &out[8 * b], sizeof one), 0) << b;
    }
    for (int i = 16; i < 32; ++i) EXPECT_EQ(out[i], 99.0) << i;
    // In place, the whole array.
    std::vector<double> inout(with_zero.begin(), with_zero.begin() + 16);
    ASSERT_EQ(kelvra_loop_inv_hd_f64(inout.data(), 2, inout.data()), KELVRA_OK);
    EXPECT_EQ(std::memcmp(inout.data(), out.data(), 16 * sizeof(double)), 0);
}

TEST(OctonionBatch, UnbindingRecoversTheBoundBlock) {
    std::mt19937_64 rng(9);
    const uint64_t n = 13;
    std::vector<double> key(8 * n), value(8 * n), left(8 * n), right(8 * n);
    for (uint64_t k = 0; k < n; ++k) {
        auto x = kelvra_test::random_octonion(rng);
        double s = 0;
        for (double v : x) s += v * v;
        for (double &v : x) v /= std::sqrt(s);  // unit norm
        const auto y = kelvra_test::random_octonion(rng);
        std::memcpy(&key[8 * k], x.data(), sizeof x);
        std::memcpy(&value[8 * k], y.data(), sizeof y);
        ASSERT_EQ(kelvra_loop_bind_f64(x.data(), y.data(), 8, &left[8 * k]), KELVRA_OK);   // a·b
        ASSERT_EQ(kelvra_loop_bind_f64(y.data(), x.data(), 8, &right[8 * k]), KELVRA_OK);  // b·a
    }
    std::vector<double> from_left(8 * n), from_right(8 * n);
    ASSERT_EQ(kelvra_loop_unbind_hd_f64(key.data(), left.data(), n, from_left.data()), KELVRA_OK);
    ASSERT_EQ(kelvra_loop_runbind_hd_f64(key.data(), right.data(), n, from_right.data()), KELVRA_OK);
    for (size_t i = 0; i < value.size(); ++i) {
        EXPECT_NEAR(from_left[i], value[i], 1e-14) << i;
        EXPECT_NEAR(from_right[i], value[i], 1e-14) << i;
    }
    // Exactly ā·b and b·ā through the single product, also when out aliases a or b.
    for (uint64_t k = 0; k < n; ++k) {
        double a_bar[8], want_left[8], want_right[8];
        ASSERT_EQ(kelvra_loop_conj_f64(&key[8 * k], 8, a_bar), KELVRA_OK);
        ASSERT_EQ(kelvra_loop_bind_f64(a_bar, &left[8 * k], 8, want_left), KELVRA_OK);
        ASSERT_EQ(kelvra_loop_bind_f64(&right[8 * k], a_bar, 8, want_right), KELVRA_OK);
        EXPECT_EQ(std::memcmp(want_left, &from_left[8 * k], sizeof want_left), 0) << k;
        EXPECT_EQ(std::memcmp(want_right, &from_right[8 * k], sizeof want_right), 0) << k;
    }
    std::vector<double> in_key = key, in_value = right;
    ASSERT_EQ(kelvra_loop_unbind_hd_f64(in_key.data(), left.data(), n, in_key.data()), KELVRA_OK);
    EXPECT_EQ(std::memcmp(in_key.data(), from_left.data(), 64 * n), 0);
    ASSERT_EQ(kelvra_loop_runbind_hd_f64(key.data(), in_value.data(), n, in_value.data()), KELVRA_OK);
    EXPECT_EQ(std::memcmp(in_value.data(), from_right.data(), 64 * n), 0);
}
