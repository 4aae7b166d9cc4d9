// Graph matrices from edge lists: small cases bit for bit (negative zeros
// included), self-loops, repeats, isolated vertices, and the statuses.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "kelvra.h"

namespace {

using Matrix = std::vector<double>;
using Builder = kelvra_status (*)(uint32_t, uint32_t, const uint32_t *, const uint32_t *, const double *,
                                  double *) noexcept;
constexpr Builder kBuilders[] = {kelvra_graph_dense_adjacency, kelvra_graph_dense_laplacian,
                                 kelvra_graph_normalized_laplacian};

bool same_bits(const double *got, const Matrix &want) { // tells -0.0 from 0.0
    return std::memcmp(got, want.data(), want.size() * sizeof(double)) == 0;
}

double rsqrt(double d) { return kelvra_rational_sqrt(d, &d), 1.0 / d; }

} // namespace

// Adjacency, Laplacian and normalised Laplacian of: the path 0-1-2; a self-loop
// of weight 3 (6 on the adjacency diagonal, never in a degree), a repeated
// edge and an isolated vertex 3; a negative degree, isolated in the last.
TEST(GraphMatrices, KnownCasesBitForBit) {
    const double h = -0.7071067811865476, z = -0.0, a = rsqrt(2), b = rsqrt(6), c = rsqrt(4);
    const struct {
        uint32_t n;
        std::vector<uint32_t> src, dst;
        Matrix weights; // empty: unit weights
        Matrix want[3];
    } cases[] = {
        {3, {0, 1}, {1, 2}, {},
         {{0, 1, 0, 1, 0, 1, 0, 1, 0}, {1, -1, z, -1, 2, -1, z, -1, 1}, {1, h, z, h, 1, h, z, h, 1}}},
        {4, {0, 0, 1, 2}, {0, 1, 0, 1}, {3, 0.5, 1.5, 4},
         {{6, 2, 0, 0, 2, 0, 4, 0, 0, 4, 0, 0, 0, 0, 0, 0},
          {2, -2, z, z, -2, 6, -4, z, z, -4, 4, z, z, z, z, 0},
          {1, (-2 * a) * b, z, z, (-2 * b) * a, 1, (-4 * b) * c, z, z, (-4 * c) * b, 1, z, z, z, z, 0}}},
        {2, {0}, {1}, {-1}, {{0, -1, -1, 0}, {-1, 1, 1, -1}, {0, 0, 0, 0}}},
    };
    for (const auto &t : cases) {
        for (int k = 0; k < 3; ++k) {
            Matrix out(t.want[k].size(), 7.0);
            ASSERT_EQ(kBuilders[k](t.n, static_cast<uint32_t>(t.src.size()), t.src.data(), t.dst.data(),
                                   t.weights.empty() ? nullptr : t.weights.data(), out.data()),
                      KELVRA_OK);
            EXPECT_TRUE(same_bits(out.data(), t.want[k])) << "case " << &t - cases << ", builder " << k;
        }
    }
}

TEST(GraphMatrices, StatusesAndAccumulationBeforeABadEdge) {
    const uint32_t src[2] = {0, 1}, dst[2] = {1, 2};
    for (Builder b : kBuilders) {
        double out[4] = {7, 7, 7, 7};
        EXPECT_EQ(b(2, 0, nullptr, nullptr, nullptr, nullptr), KELVRA_ERR_ARG);
        EXPECT_EQ(b(2, 1, nullptr, dst, nullptr, out), KELVRA_ERR_ARG);
        EXPECT_EQ(b(2, 1, src, nullptr, nullptr, out), KELVRA_ERR_ARG);
        EXPECT_EQ(b(2, 0, nullptr, nullptr, nullptr, out), KELVRA_OK);
        EXPECT_EQ(Matrix(out, out + 4), Matrix(4, 0.0)) << "no edges: zeros";
        // The second edge reaches vertex 2 = n: the first stays, untransformed.
        EXPECT_EQ(b(2, 2, src, dst, nullptr, out), KELVRA_ERR_DATA);
        EXPECT_TRUE(same_bits(out, {0, 1, 1, 0}));
        EXPECT_EQ(b(0, 1, src, src, nullptr, out), KELVRA_ERR_DATA);
        EXPECT_EQ(b(0, 0, nullptr, nullptr, nullptr, out), KELVRA_OK);
    }
}
