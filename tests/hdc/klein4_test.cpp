// Klein-four hypervectors: references for bundling and the co-occurrence
// fold, and where each operation stops on an invalid element.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "kelvra.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Counters = std::vector<uint32_t>;

Bytes random_elements(std::mt19937_64 &rng, size_t n) {
    Bytes v(n);
    for (auto &e : v) e = static_cast<uint8_t>(rng() % 4);
    return v;
}

Bytes reference_bundle(const std::vector<Bytes> &vectors) {
    Bytes out(vectors[0].size());
    for (size_t i = 0; i < out.size(); ++i) {
        size_t c0 = 0, c1 = 0;
        for (const Bytes &v : vectors) c0 += v[i] & 1, c1 += v[i] >> 1;
        out[i] = static_cast<uint8_t>((c1 > vectors.size() / 2 ? 2 : 0) | (c0 > vectors.size() / 2 ? 1 : 0));
    }
    return out;
}

// The fold as documented, one counter at a time; counter [0] counts each
// context position once.
Counters reference_fold(const Bytes &codebook, uint32_t vocab, const std::vector<uint32_t> &tokens, uint32_t window,
                        uint64_t dim) {
    Counters table(vocab * (2 * dim + 1), 0);
    for (uint64_t t = 0; t < tokens.size(); ++t) {
        uint32_t *row = &table[tokens[t] * (2 * dim + 1)];
        for (uint64_t u = t <= window ? 0 : t - window; u < tokens.size() && u <= t + window; ++u) {
            if (u == t) continue;
            const uint8_t *v = &codebook[tokens[u] * dim];
            for (uint64_t i = 0; i < dim; ++i) row[1 + i] += v[i] & 1, row[1 + dim + i] += v[i] >> 1;
            ++row[0];
        }
    }
    return table;
}

std::vector<const uint8_t *> pointers(const std::vector<Bytes> &vectors) {
    std::vector<const uint8_t *> p;
    for (const Bytes &v : vectors) p.push_back(v.data());
    return p;
}

} // namespace

TEST(Klein4, PointersAreCheckedBeforeLengths) {
    uint8_t a[2] = {}, out[2];
    uint32_t acc[5] = {};
    double s;
    EXPECT_EQ(kelvra_klein4_bind(a, nullptr, 0, out), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_klein4_bind(a, a, 0, out), KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_klein4_bundle_accumulate(acc, nullptr, 0), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_klein4_bundle_accumulate(acc, a, 0), KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_klein4_bundle_resolve(nullptr, out, 2), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_klein4_bundle_resolve(acc, out, 0), KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_klein4_similarity(a, a, 0, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_klein4_similarity(a, a, 0, &s), KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_klein4_triality_cycle(a, 0, 0, out), KELVRA_ERR_DATA);
    const uint32_t tokens[1] = {0};
    EXPECT_EQ(kelvra_klein4_cooccurrence_fold(a, 1, nullptr, 0, 1, 1, acc), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_klein4_cooccurrence_fold(a, 1, tokens, 1, 0, 1, acc), KELVRA_ERR_DATA);
}

// Around the vector block of 4096 elements; 10000 means no invalid element.
TEST(Klein4, BindStopsAtTheFirstInvalidElement) {
    std::mt19937_64 rng(11);
    for (size_t bad_at : {0u, 5u, 4095u, 4096u, 9000u, 10000u}) {
        Bytes a = random_elements(rng, 10000), b = random_elements(rng, 10000), out(10000, 0xee);
        if (bad_at < 10000) (bad_at % 2 ? a : b)[bad_at] = 4;
        const kelvra_status want = bad_at < 10000 ? KELVRA_ERR_DATA : KELVRA_OK;
        ASSERT_EQ(kelvra_klein4_bind(a.data(), b.data(), 10000, out.data()), want);
        for (size_t i = 0; i < 10000; ++i) ASSERT_EQ(out[i], i < bad_at ? a[i] ^ b[i] : 0xee) << bad_at << ": " << i;
    }
}

// Ties clear the bit. On an invalid element the output stops before the
// earliest position where any vector is invalid (element by element through
// all vectors); a missing vector is met at position 0 unless an earlier
// vector's element 0 is invalid.
TEST(Klein4, BundleIsThePerBitMajorityUpToAProblem) {
    Bytes x = {3}, y = {1}, out(1);
    const uint8_t *two[] = {x.data(), y.data()};
    ASSERT_EQ(kelvra_klein4_bundle(two, 2, 1, out.data()), KELVRA_OK);
    EXPECT_EQ(out[0], 1) << "c0 = 2 > 1 keeps bit 0; c1 = 1 is a tie and clears bit 1";
    std::mt19937_64 rng(12);
    for (uint32_t count : {1u, 2u, 3u, 4u, 9u}) {
        for (size_t n : {1u, 100u, 4097u}) {
            std::vector<Bytes> vectors;
            for (uint32_t v = 0; v < count; ++v) vectors.push_back(random_elements(rng, n));
            Bytes got(n);
            ASSERT_EQ(kelvra_klein4_bundle(pointers(vectors).data(), count, static_cast<uint32_t>(n), got.data()),
                      KELVRA_OK);
            EXPECT_EQ(got, reference_bundle(vectors)) << count << " x " << n;
        }
    }
    std::vector<Bytes> vectors;
    for (int v = 0; v < 5; ++v) vectors.push_back(random_elements(rng, 9000));
    vectors[3][7000] = 9;
    vectors[1][4100] = 4;
    Bytes partial(9000, 0xee);
    ASSERT_EQ(kelvra_klein4_bundle(pointers(vectors).data(), 5, 9000, partial.data()), KELVRA_ERR_DATA);
    const Bytes expect = reference_bundle(vectors);
    for (size_t i = 0; i < 9000; ++i) ASSERT_EQ(partial[i], i < 4100 ? expect[i] : 0xee) << i;
    auto p = pointers(vectors);
    p[4] = nullptr;
    EXPECT_EQ(kelvra_klein4_bundle(p.data(), 5, 9000, partial.data()), KELVRA_ERR_ARG);
    vectors[2][0] = 7;
    EXPECT_EQ(kelvra_klein4_bundle(p.data(), 5, 9000, partial.data()), KELVRA_ERR_DATA);
}

TEST(Klein4, AccumulateThenResolveEqualsBundle) {
    std::mt19937_64 rng(14);
    const uint64_t n = 777;
    std::vector<Bytes> vectors;
    Counters acc(2 * n + 1, 0);
    for (int v = 0; v < 7; ++v) {
        vectors.push_back(random_elements(rng, n));
        ASSERT_EQ(kelvra_klein4_bundle_accumulate(acc.data(), vectors.back().data(), n), KELVRA_OK);
    }
    EXPECT_EQ(acc[0], 7u);
    Bytes resolved(n);
    ASSERT_EQ(kelvra_klein4_bundle_resolve(acc.data(), resolved.data(), n), KELVRA_OK);
    EXPECT_EQ(resolved, reference_bundle(vectors));

    // A bad element leaves the earlier elements counted and counter [0] alone.
    Counters before = acc;
    Bytes bad = random_elements(rng, n);
    bad[500] = 200;
    ASSERT_EQ(kelvra_klein4_bundle_accumulate(acc.data(), bad.data(), n), KELVRA_ERR_DATA);
    for (uint64_t i = 0; i < 500; ++i) before[1 + i] += bad[i] & 1, before[1 + n + i] += bad[i] >> 1;
    EXPECT_EQ(acc, before);
}

TEST(Klein4, CooccurrenceFoldMatchesTheReference) {
    std::mt19937_64 rng(15);
    for (int round = 0; round < 20; ++round) {
        const uint32_t vocab = 1 + rng() % 12, window = 1 + rng() % 5, ntokens = rng() % 40;
        const uint64_t dim = 1 + rng() % 70;
        const Bytes codebook = random_elements(rng, vocab * dim);
        std::vector<uint32_t> tokens(ntokens);
        for (auto &t : tokens) t = static_cast<uint32_t>(rng() % vocab);
        Counters table(vocab * (2 * dim + 1), 12345);
        ASSERT_EQ(kelvra_klein4_cooccurrence_fold(codebook.data(), vocab, tokens.data(), ntokens, window, dim,
                                                  table.data()),
                  KELVRA_OK);
        ASSERT_EQ(table, reference_fold(codebook, vocab, tokens, window, dim)) << "round " << round;
    }
}

TEST(Klein4, CooccurrenceFoldEdgeCases) {
    const Bytes codebook = {0, 1, 2, 3, 4, 0};
    Counters table(2 * 5, 99);
    const uint32_t none[1] = {0};
    ASSERT_EQ(kelvra_klein4_cooccurrence_fold(codebook.data(), 2, none, 0, 1, 2, table.data()), KELVRA_OK);
    EXPECT_EQ(table, Counters(10, 0)) << "no tokens: the table is cleared";

    const uint32_t out_of_range[] = {0, 2};
    EXPECT_EQ(kelvra_klein4_cooccurrence_fold(codebook.data(), 2, out_of_range, 2, 1, 2, table.data()),
              KELVRA_ERR_DATA);
    // Row 2 of a three-row codebook holds a 4: folding it into row 0 stops there.
    const uint32_t tokens[] = {0, 2};
    Counters t3(3 * 5, 0);
    EXPECT_EQ(kelvra_klein4_cooccurrence_fold(codebook.data(), 3, tokens, 2, 1, 2, t3.data()), KELVRA_ERR_DATA);
    EXPECT_EQ(t3[0], 0u) << "counter [0] is not counted for the bad context";
    Counters huge(1, 7);
    EXPECT_EQ(kelvra_klein4_cooccurrence_fold(codebook.data(), 3, tokens, 2, 1, UINT64_MAX / 4, huge.data()),
              KELVRA_ERR_DATA)
        << "a table size beyond 64 bits is refused before anything is cleared";
    EXPECT_EQ(huge[0], 7u);
}

TEST(Klein4, SimilarityAndTriality) {
    const Bytes a = {0, 1, 2, 3}, b = {0, 2, 2, 1};
    double s = 0;
    ASSERT_EQ(kelvra_klein4_similarity(a.data(), b.data(), 4, &s), KELVRA_OK);
    EXPECT_EQ(s, 0.5);
    Bytes once(4), back(4);
    ASSERT_EQ(kelvra_klein4_triality_cycle(a.data(), 4, 0, once.data()), KELVRA_OK);
    EXPECT_EQ(once, (Bytes{0, 2, 3, 1}));
    ASSERT_EQ(kelvra_klein4_triality_cycle(once.data(), 4, -5, back.data()), KELVRA_OK);
    EXPECT_EQ(back, a) << "any non-zero direction is the inverse";

    const Bytes bad = {1, 2, 4, 3};
    Bytes out(4, 0xee);
    EXPECT_EQ(kelvra_klein4_triality_cycle(bad.data(), 4, 0, out.data()), KELVRA_ERR_DATA);
    EXPECT_EQ(out, (Bytes{2, 3, 0xee, 0xee}));
    EXPECT_EQ(kelvra_klein4_similarity(a.data(), bad.data(), 4, &s), KELVRA_ERR_DATA);
}
