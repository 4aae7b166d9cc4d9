// Binary hypervectors against bit-by-bit references of the documented rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "kelvra.h"
#include "support/scoped_env.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes random_bytes(std::mt19937_64 &rng, size_t n) {
    Bytes v(n);
    for (auto &b : v) b = static_cast<uint8_t>(rng());
    return v;
}

int bit(const Bytes &v, uint64_t i) { return (v[i / 8] >> (i % 8)) & 1; }

// The rotation exactly as documented: clear, then out bit i = in bit (i - s + N) mod N.
Bytes reference_permute(const Bytes &in, int32_t shift) {
    const int64_t n = static_cast<int64_t>(in.size()) * 8, s = (shift % n + n) % n;
    Bytes out(in.size(), 0);
    for (int64_t i = 0; i < n; ++i) out[i / 8] |= static_cast<uint8_t>(bit(in, (i - s + n) % n) << (i % 8));
    return out;
}

Bytes reference_bundle(const std::vector<Bytes> &vectors) {
    Bytes out(vectors[0].size(), 0);
    for (size_t i = 0; i < out.size() * 8; ++i) {
        size_t set = 0;
        for (const Bytes &v : vectors) set += bit(v, i);
        out[i / 8] |= static_cast<uint8_t>((set >= (vectors.size() + 1) / 2) << (i % 8));
    }
    return out;
}

} // namespace

TEST(HdcBinary, PointersAreCheckedBeforeLengths) {
    uint8_t a[4] = {}, out[4];
    const uint8_t *list[1] = {a};
    double s;
    EXPECT_EQ(kelvra_hdc_bind(nullptr, a, 0, out), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_hdc_bind(a, a, 0, out), KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_hdc_bundle(nullptr, 1, 0, out), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_hdc_bundle(list, 1, 0, out), KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_hdc_permute(a, 0, 1, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_hdc_permute(a, 0, 1, out), KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_hdc_similarity(a, a, 4, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_hdc_similarity(a, a, 0, &s), KELVRA_ERR_DATA);
}

// Lengths around the vector widths, out = a, partial overlap in both
// directions (what the byte loop gives), and the streaming path for large
// vectors with an unaligned tail.
TEST(HdcBinary, BindMatchesByteOrderXorIncludingOverlap) {
    std::mt19937_64 rng(1);
    for (size_t n : {1u, 7u, 16u, 63u, 64u, 65u, 1000u, (8u << 20) + 37}) {
        const Bytes a = random_bytes(rng, n), b = random_bytes(rng, n);
        Bytes out(n + 1), in_place = a;
        ASSERT_EQ(kelvra_hdc_bind(a.data(), b.data(), static_cast<uint32_t>(n), out.data() + 1), KELVRA_OK);
        for (size_t i = 0; i < n; ++i) ASSERT_EQ(out[i + 1], a[i] ^ b[i]) << n << ": " << i;
        ASSERT_EQ(kelvra_hdc_bind(in_place.data(), b.data(), static_cast<uint32_t>(n), in_place.data()), KELVRA_OK);
        EXPECT_TRUE(std::equal(in_place.begin(), in_place.end(), out.begin() + 1)) << "out may be a itself";
    }
    for (ptrdiff_t offset : {-17, -3, -1, 1, 3, 17}) {
        Bytes buf = random_bytes(rng, 300), expect = buf;
        const Bytes b = random_bytes(rng, 200);
        const size_t a_at = 50, out_at = static_cast<size_t>(50 + offset);
        for (size_t i = 0; i < 200; ++i) expect[out_at + i] = expect[a_at + i] ^ b[i];
        ASSERT_EQ(kelvra_hdc_bind(buf.data() + a_at, b.data(), 200, buf.data() + out_at), KELVRA_OK);
        EXPECT_EQ(buf, expect) << "offset " << offset;
    }
}

// Counts around the 8-bit counters of the vector path; one vector is copied.
TEST(HdcBinary, BundleIsTheBitwiseMajority) {
    std::mt19937_64 rng(3);
    for (uint32_t count : {1u, 3u, 5u, 255u, 257u, 511u, 513u}) {
        for (size_t n : {1u, 3u, 256u, 300u}) {
            std::vector<Bytes> vectors;
            std::vector<const uint8_t *> p;
            for (uint32_t v = 0; v < count; ++v) p.push_back(vectors.emplace_back(random_bytes(rng, n)).data());
            Bytes out(n);
            ASSERT_EQ(kelvra_hdc_bundle(p.data(), count, static_cast<uint32_t>(n), out.data()), KELVRA_OK);
            EXPECT_EQ(out, reference_bundle(vectors)) << count << " vectors of " << n << " bytes";
        }
    }
    Bytes a(8, 0xff), b(8, 0x0f), out(8, 0x55);
    const uint8_t *two[] = {a.data(), b.data()}, *holed[] = {a.data(), nullptr, b.data()};
    EXPECT_EQ(kelvra_hdc_bundle(two, 2, 8, out.data()), KELVRA_ERR_DATA) << "even counts are refused";
    EXPECT_EQ(kelvra_hdc_bundle(holed, 3, 8, out.data()), KELVRA_ERR_ARG);
    EXPECT_EQ(out, Bytes(8, 0x55)) << "the first position already needs the missing vector";
}

TEST(HdcBinary, PermuteRotatesTowardsHigherIndicesForAnyShift) {
    Bytes in = {0x80, 0x00, 0x01}, out(3);
    ASSERT_EQ(kelvra_hdc_permute(in.data(), 3, 1, out.data()), KELVRA_OK);
    EXPECT_EQ(out, (Bytes{0x00, 0x01, 0x02})) << "the last bit wraps to bit 0";
    std::mt19937_64 rng(5);
    for (size_t n : {1u, 2u, 3u, 8u, 13u, 64u}) {
        in = random_bytes(rng, n);
        const int32_t bits = static_cast<int32_t>(8 * n);
        for (int32_t s : {0, bits, -bits, INT32_MIN, INT32_MAX, -1, 1, 7, 8, 9, -bits - 3, 3 * bits + 5}) {
            out.assign(n, 0xAA);
            ASSERT_EQ(kelvra_hdc_permute(in.data(), static_cast<uint32_t>(n), s, out.data()), KELVRA_OK);
            ASSERT_EQ(out, reference_permute(in, s)) << n << " bytes, shift " << s;
        }
    }
}

// Every tier the processor has, and every forced tier (a tier beyond the
// processor is lowered), gives the table count, on lengths around every
// block boundary and at odd addresses; complements put every per-byte
// counter at its largest.
TEST(HdcBinary, SimilarityIsTheSameOnEveryTier) {
    std::mt19937_64 rng(6);
    constexpr size_t kLongest = 200000; // tiers take over from 128 KiB
    const Bytes a = random_bytes(rng, kLongest + 1), b = random_bytes(rng, kLongest + 1);
    const Bytes zeros(kLongest, 0), ones(kLongest, 0xff);
    for (const char *tier : {"0", "1", "2", "9"}) {
        kelvra_test::ScopedEnv forced("KELVRA_HDC_FORCE_TIER", tier);
        for (size_t n : {1, 7, 8, 9, 31, 32, 33, 63, 64, 65, 511, 512, 513, 1000, 131071, 131072, 131073, 131105,
                         150001, 199999, 200000}) {
            for (size_t skew : {0u, 1u}) {
                uint64_t d = 0;
                for (size_t i = 0; i < n; ++i) d += static_cast<uint64_t>(__builtin_popcount(a[i + skew] ^ b[i]));
                double s = 2;
                ASSERT_EQ(kelvra_hdc_similarity(a.data() + skew, b.data(), static_cast<uint32_t>(n), &s), KELVRA_OK);
                ASSERT_EQ(s, 1.0 - static_cast<double>(2 * d) / static_cast<double>(8 * n)) << tier << ", " << n;
            }
        }
        double s = 0;
        ASSERT_EQ(kelvra_hdc_similarity(zeros.data(), ones.data(), kLongest, &s), KELVRA_OK);
        EXPECT_EQ(s, -1.0) << "tier " << tier;
    }
}
