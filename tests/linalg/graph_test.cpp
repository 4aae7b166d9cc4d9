// Graph matrices from edge lists: published small cases bit for bit (negative
// zeros included), self-loops, isolated vertices, and the statuses of the
// three builders.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "kelvra.h"

namespace {

using Matrix = std::vector<double>;
using Builder = kelvra_status (*)(uint32_t, uint32_t, const uint32_t *, const uint32_t *, const double *,
                                  double *) noexcept;

struct Named {
    const char *name;
    Builder build;
};

const Named kBuilders[] = {{"adjacency", kelvra_graph_dense_adjacency},
                           {"laplacian", kelvra_graph_dense_laplacian},
                           {"normalized", kelvra_graph_normalized_laplacian}};

struct Graph {
    uint32_t n;
    std::vector<uint32_t> src, dst;
    Matrix weights; // empty: unit weights
};

Matrix build(Builder f, const Graph &g, kelvra_status expect = KELVRA_OK) {
    Matrix out(size_t{g.n} * g.n, 7.0);
    EXPECT_EQ(f(g.n, static_cast<uint32_t>(g.src.size()), g.src.data(), g.dst.data(),
                g.weights.empty() ? nullptr : g.weights.data(), out.data()),
              expect);
    return out;
}

// Equality that tells -0.0 from 0.0.
::testing::AssertionResult same_bits(const Matrix &got, const Matrix &want) {
    if (got.size() != want.size()) return ::testing::AssertionFailure() << "size " << got.size();
    for (size_t i = 0; i < got.size(); ++i) {
        if (std::memcmp(&got[i], &want[i], sizeof(double)) != 0) {
            return ::testing::AssertionFailure() << "entry " << i << ": " << got[i] << " want " << want[i];
        }
    }
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(GraphMatrices, PathOfThree) {
    const Graph path{3, {0, 1}, {1, 2}, {}};
    const double h = -0.7071067811865476;
    EXPECT_TRUE(same_bits(build(kelvra_graph_dense_adjacency, path), {0, 1, 0, 1, 0, 1, 0, 1, 0}));
    EXPECT_TRUE(same_bits(build(kelvra_graph_dense_laplacian, path), {1, -1, -0.0, -1, 2, -1, -0.0, -1, 1}));
    EXPECT_TRUE(same_bits(build(kelvra_graph_normalized_laplacian, path), {1, h, -0.0, h, 1, h, -0.0, h, 1}));
}

// A self-loop of weight 3 doubles onto the adjacency diagonal and never into
// a degree; repeated edges add up; vertex 3 is isolated.
TEST(GraphMatrices, SelfLoopsRepeatsAndIsolatedVertices) {
    const Graph g{4, {0, 0, 1, 2}, {0, 1, 0, 1}, {3, 0.5, 1.5, 4}};
    EXPECT_TRUE(same_bits(build(kelvra_graph_dense_adjacency, g), {6, 2, 0, 0, 2, 0, 4, 0, 0, 4, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(same_bits(build(kelvra_graph_dense_laplacian, g),
                          {2, -2, -0.0, -0.0, -2, 6, -4, -0.0, -0.0, -4, 4, -0.0, -0.0, -0.0, -0.0, 0}));
    const Matrix l = build(kelvra_graph_normalized_laplacian, g);
    double r[3];
    for (int i = 0; i < 3; ++i) {
        const double degree[3] = {2, 6, 4};
        double root;
        ASSERT_EQ(kelvra_rational_sqrt(degree[i], &root), KELVRA_OK);
        r[i] = 1.0 / root;
    }
    EXPECT_TRUE(same_bits(l, {1, (-2 * r[0]) * r[1], -0.0, -0.0,                   //
                              (-2 * r[1]) * r[0], 1, (-4 * r[1]) * r[2], -0.0,      //
                              -0.0, (-4 * r[2]) * r[1], 1, -0.0,                   //
                              -0.0, -0.0, -0.0, 0}));
    // A vertex whose weights sum to a negative degree counts as isolated.
    const Matrix neg = build(kelvra_graph_normalized_laplacian, Graph{2, {0}, {1}, {-1}});
    EXPECT_TRUE(same_bits(neg, {0, 0, 0, 0}));
}

TEST(GraphMatrices, StatusesAndPartialAccumulation) {
    const uint32_t src[2] = {0, 1}, dst[2] = {1, 2};
    double out[4] = {7, 7, 7, 7};
    for (const Named &b : kBuilders) {
        SCOPED_TRACE(b.name);
        EXPECT_EQ(b.build(2, 0, nullptr, nullptr, nullptr, nullptr), KELVRA_ERR_ARG);
        EXPECT_EQ(b.build(2, 1, nullptr, dst, nullptr, out), KELVRA_ERR_ARG);
        EXPECT_EQ(b.build(2, 1, src, nullptr, nullptr, out), KELVRA_ERR_ARG);
        EXPECT_EQ(b.build(2, 0, nullptr, nullptr, nullptr, out), KELVRA_OK);
        EXPECT_EQ(Matrix(out, out + 4), Matrix(4, 0.0)) << "no edges: the zero matrix (-0.0 off the diagonal)";
        // The second edge reaches vertex 2 = n: the first stays accumulated,
        // untransformed by the Laplacians.
        EXPECT_EQ(b.build(2, 2, src, dst, nullptr, out), KELVRA_ERR_DATA);
        EXPECT_TRUE(same_bits(Matrix(out, out + 4), {0, 1, 1, 0}));
        EXPECT_EQ(b.build(0, 1, src, src, nullptr, out), KELVRA_ERR_DATA) << "every vertex is out of range";
        EXPECT_EQ(b.build(0, 0, nullptr, nullptr, nullptr, out), KELVRA_OK);
    }
}
