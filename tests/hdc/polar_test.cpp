// Bipolar hypervectors: products, signs of sums and agreement ratios, and
// where each operation stops on a value other than -1, 0, +1.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "kelvra.h"

namespace {

using Values = std::vector<int8_t>;

Values random_values(std::mt19937_64 &rng, size_t n) {
    Values v(n);
    for (auto &e : v) e = static_cast<int8_t>(static_cast<int>(rng() % 3) - 1);
    return v;
}

} // namespace

TEST(Polar, PointersAreCheckedBeforeLengths) {
    int8_t a[2] = {}, out[2];
    double s;
    EXPECT_EQ(kelvra_polar_bind(a, a, 0, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_polar_bind(a, a, 0, out), KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_polar_bundle(nullptr, 0, 0, out), KELVRA_ERR_ARG);
    const int8_t *list[1] = {a};
    EXPECT_EQ(kelvra_polar_bundle(list, 0, 2, out), KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_polar_density(nullptr, 0, &s), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_polar_density(a, 0, &s), KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_polar_similarity(a, a, 0, 0, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_polar_similarity(a, a, 0, 0, &s), KELVRA_ERR_DATA);
}

// 4500 sits in the second block of 4096 elements.
TEST(Polar, BindMultipliesAndStopsAtAnInvalidValue) {
    std::mt19937_64 rng(21);
    const Values a = random_values(rng, 9000), b = random_values(rng, 9000);
    for (int8_t bad : {int8_t{1}, int8_t{2}, int8_t{-2}, int8_t{127}, int8_t{-128}}) {
        Values b2 = b, out(9000, 9);
        b2[4500] = bad;
        const bool valid = bad == 1;
        ASSERT_EQ(kelvra_polar_bind(a.data(), b2.data(), 9000, out.data()), valid ? KELVRA_OK : KELVRA_ERR_DATA);
        for (size_t i = 0; i < 9000; ++i)
            ASSERT_EQ(out[i], i < 4500 || valid ? a[i] * b2[i] : 9) << int{bad} << ": " << i;
    }
}

// Six vectors of -1, 0 and +1 give many ties (a sum of 0).
TEST(Polar, BundleIsTheSignOfTheSum) {
    std::mt19937_64 rng(22);
    std::vector<Values> vectors;
    std::vector<const int8_t *> p;
    for (int v = 0; v < 6; ++v) p.push_back(vectors.emplace_back(random_values(rng, 5000)).data());
    Values out(5000, 9);
    ASSERT_EQ(kelvra_polar_bundle(p.data(), 6, 5000, out.data()), KELVRA_OK);
    for (size_t i = 0; i < 5000; ++i) {
        int sum = 0;
        for (const Values &v : vectors) sum += v[i];
        ASSERT_EQ(out[i], (sum > 0) - (sum < 0)) << i;
    }
    vectors[5][4200] = 3;
    Values partial(5000, 9);
    ASSERT_EQ(kelvra_polar_bundle(p.data(), 6, 5000, partial.data()), KELVRA_ERR_DATA);
    for (size_t i = 0; i < 5000; ++i) ASSERT_EQ(partial[i], i < 4200 ? out[i] : 9) << i;
    p[1] = nullptr;
    EXPECT_EQ(kelvra_polar_bundle(p.data(), 6, 5000, partial.data()), KELVRA_ERR_ARG);
}

TEST(Polar, DensityAndSimilarity) {
    const Values a = {1, 0, -1, 1, 0}, b = {1, 1, 1, 1, 0}, zeros = {0, 0, 0}, bad = {1, 5, 0};
    double s = -1;
    ASSERT_EQ(kelvra_polar_density(a.data(), 5, &s), KELVRA_OK);
    EXPECT_EQ(s, 0.6);
    ASSERT_EQ(kelvra_polar_similarity(a.data(), b.data(), 5, 0, &s), KELVRA_OK);
    EXPECT_EQ(s, 3.0 / 5.0);
    ASSERT_EQ(kelvra_polar_similarity(a.data(), b.data(), 5, 1, &s), KELVRA_OK);
    EXPECT_EQ(s, 2.0 / 3.0);
    ASSERT_EQ(kelvra_polar_similarity(zeros.data(), a.data(), 3, 1, &s), KELVRA_OK);
    EXPECT_EQ(s, 0.0) << "nothing counted";
    s = 42;
    EXPECT_EQ(kelvra_polar_density(bad.data(), 3, &s), KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_polar_similarity(a.data(), bad.data(), 3, 0, &s), KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_polar_similarity(bad.data(), a.data(), 3, 0, &s), KELVRA_ERR_DATA);
    EXPECT_EQ(s, 42) << "nothing written";
}
