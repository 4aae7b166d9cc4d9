// The sparse Fiedler vector: statuses and their order, the stopping rule on a
// path, the eigenvector against LAPACK's dsyev on the dense normalised
// Laplacian, and the file variant bit for bit against the in-memory one.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <algorithm>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "kelvra.h"
#include "linalg/edge_file.hpp"
#include "platform/temp_dir.hpp"

extern "C" void dsyev_(const char *jobz, const char *uplo, const int *n, double *a, const int *lda, double *w,
                       double *work, const int *lwork, int *info, size_t jobz_len, size_t uplo_len);

namespace {

using kelvra_test::TempDir;
using Vector = std::vector<double>;

struct Graph {
    explicit Graph(uint32_t vertices = 0) : n(vertices) {}
    uint32_t n;
    std::vector<uint32_t> src, dst;
    Vector w;
    Graph &edge(uint32_t u, uint32_t v, double weight = 1.0) {
        src.push_back(u), dst.push_back(v), w.push_back(weight);
        return *this;
    }
    uint32_t count() const { return static_cast<uint32_t>(src.size()); }
};

Graph clique_pair(uint32_t k, double bridge) { // two k-cliques joined by (k-1, k)
    Graph g{2 * k};
    for (uint32_t base : {0u, k})
        for (uint32_t i = 0; i < k; ++i)
            for (uint32_t j = i + 1; j < k; ++j) g.edge(base + i, base + j);
    return g.edge(k - 1, k, bridge);
}

Graph path(uint32_t n) {
    Graph g{n};
    for (uint32_t i = 0; i + 1 < n; ++i) g.edge(i, i + 1);
    return g;
}

Graph random_graph(uint32_t n, size_t edges, uint64_t seed) { // with self-loops and repeats
    std::mt19937_64 rng(seed);
    Graph g{n};
    for (size_t e = 0; e < edges; ++e) {
        const uint32_t u = rng() % n, v = e % 17 == 0 ? u : rng() % n;
        g.edge(u, v, 0.25 + (rng() % 1000) / 500.0);
    }
    return g;
}

std::string write_edges(const TempDir &dir, const std::string &name, const Graph &g, size_t extra_bytes = 0) {
    std::string bytes(g.count() * kelvra::linalg::edge_file::record_bytes + extra_bytes, '\x01');
    for (size_t e = 0; e < g.count(); ++e) {
        std::memcpy(&bytes[16 * e], &g.src[e], 4);
        std::memcpy(&bytes[16 * e + 4], &g.dst[e], 4);
        std::memcpy(&bytes[16 * e + 8], &g.w[e], 8);
    }
    const std::string path = dir.path(name);
    EXPECT_EQ(kelvra_plat_file_write(path.c_str(), 0, bytes.data(), bytes.size()), KELVRA_OK);
    return path;
}

struct Outcome {
    kelvra_status status;
    Vector out;
};

Outcome in_memory(const Graph &g, uint32_t iterations, bool weighted = true) {
    Outcome r{0, Vector(g.n, 7.0)};
    Vector ws(8 * size_t{g.n});
    r.status = kelvra_laplacian_fiedler_sparse(g.n, g.count(), g.src.data(), g.dst.data(),
                                               weighted ? g.w.data() : nullptr, iterations, r.out.data(),
                                               ws.data(), ws.size());
    return r;
}

Outcome from_file(uint32_t n, const std::string &path, uint32_t iterations) {
    Outcome r{0, Vector(n, 7.0)};
    Vector ws(8 * size_t{n});
    r.status = kelvra_laplacian_fiedler_sparse_file(n, path.c_str(), iterations, r.out.data(), ws.data(), ws.size());
    return r;
}

bool all_zero(const Vector &v) {
    for (double e : v)
        if (e != 0.0) return false;
    return true;
}

bool same_bits(const Vector &a, const Vector &b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

TEST(FiedlerStatus, ChecksInOrderAndFailuresLeaveZeros) {
    TempDir dir;
    const Graph p4 = path(4);
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    // Blocks are read into a buffer on the stack for small n, into the workspace for large n.
    const size_t per_block = kelvra::linalg::edge_file::small_block_bytes / 16;
    const uint32_t big_n = 40000, per_big_block = kelvra::linalg::edge_file::large_block_bytes / 16;
    const std::string big_cut = write_edges(dir, "big_cut", random_graph(big_n, per_big_block + 1, 3), 9);
    const std::string big_bad = write_edges(dir, "big_bad", random_graph(big_n, per_big_block + 1, 4).edge(0, big_n));
    Vector big_out(big_n), big_ws(8 * size_t{big_n});
    const std::string good = write_edges(dir, "good", p4), missing = dir.path("missing");
    const std::string twenty = write_edges(dir, "twenty", Graph{4}.edge(0, 1), 4);
    const std::string cut_late = write_edges(dir, "cut_late", random_graph(4, per_block + 3, 1), 7);
    const std::string bad_late = write_edges(dir, "bad_late", random_graph(4, per_block + 3, 2).edge(3, 4));
    const std::string nan_weight = write_edges(dir, "nan", Graph{4}.edge(0, 1).edge(1, 2, nan));
    const uint32_t src1[] = {0}, dst_n[] = {4}, huge_n = 1u << 29;
    const double w_nan[] = {nan}, w_inf[] = {inf}, w_big[] = {1e308, 1e308};
    const uint32_t twice[] = {0, 0}, other[] = {1, 1};
    Vector out(8, 7.0), ws(8 * 4);
    auto mem = [&](uint32_t n, uint32_t count, const uint32_t *s, const uint32_t *d, const double *w, double *o,
                   double *wsp, uint64_t wsd) {
        return [=] { return kelvra_laplacian_fiedler_sparse(n, count, s, d, w, 30, o, wsp, wsd); };
    };
    auto file = [&](uint32_t n, const char *p, double *o, double *wsp, uint64_t wsd) {
        return [=] { return kelvra_laplacian_fiedler_sparse_file(n, p, 30, o, wsp, wsd); };
    };
    const uint32_t *s4 = p4.src.data(), *d4 = p4.dst.data();
    double *o = out.data(), *w = ws.data();
    struct Case {
        const char *what;
        std::function<kelvra_status()> call;
        kelvra_status expected;
        int zeros; // leading entries of out that end as 0.0; 0: out untouched; -1: not checked
    } cases[] = {
        {"out null", mem(4, 3, s4, d4, nullptr, nullptr, w, 32), KELVRA_ERR_ARG, 0},
        {"workspace null", mem(4, 3, s4, d4, nullptr, o, nullptr, 32), KELVRA_ERR_ARG, 0},
        {"src null", mem(4, 3, nullptr, d4, nullptr, o, w, 32), KELVRA_ERR_ARG, 0},
        {"dst null, workspace short", mem(4, 3, s4, nullptr, nullptr, o, w, 0), KELVRA_ERR_ARG, 0},
        {"no edges, src null", mem(4, 0, nullptr, nullptr, nullptr, o, w, 32), KELVRA_OK, 4},
        {"workspace 8n - 1", mem(4, 3, s4, d4, nullptr, o, w, 31), KELVRA_ERR_DATA, 0},
        {"workspace 8n", mem(4, 3, s4, d4, nullptr, o, w, 32), KELVRA_OK, -1},
        {"8n past 32 bits", mem(huge_n, 0, nullptr, nullptr, nullptr, o, w, 32), KELVRA_ERR_DATA, 0},
        {"n = 1 reads no edge", mem(1, 1, dst_n, dst_n, nullptr, o, w, 8), KELVRA_OK, 1},
        {"endpoint n", mem(4, 1, src1, dst_n, nullptr, o, w, 32), KELVRA_ERR_DATA, 4},
        {"endpoint n as source", mem(4, 1, dst_n, src1, nullptr, o, w, 32), KELVRA_ERR_DATA, 4},
        {"NaN weight", mem(4, 1, src1, other, w_nan, o, w, 32), KELVRA_ERR_DATA, 4},
        {"infinite weight", mem(4, 1, src1, other, w_inf, o, w, 32), KELVRA_ERR_DATA, 4},
        {"degree beyond doubles", mem(4, 2, twice, other, w_big, o, w, 32), KELVRA_ERR_DATA, 4},
        {"file: out null", file(4, good.c_str(), nullptr, w, 32), KELVRA_ERR_ARG, 0},
        {"file: workspace null", file(4, good.c_str(), o, nullptr, 32), KELVRA_ERR_ARG, 0},
        {"file: path null, workspace short", file(4, nullptr, o, w, 0), KELVRA_ERR_ARG, 0},
        {"file: workspace 8n - 1", file(4, good.c_str(), o, w, 31), KELVRA_ERR_DATA, 0},
        {"file: 8n past 32 bits", file(huge_n, good.c_str(), o, w, 32), KELVRA_ERR_DATA, 0},
        {"file: n = 0 opens nothing", file(0, missing.c_str(), o, w, 0), KELVRA_OK, 0},
        {"file: n = 1 opens nothing", file(1, missing.c_str(), o, w, 8), KELVRA_OK, 1},
        {"file: missing", file(4, missing.c_str(), o, w, 32), KELVRA_ERR_IO, 4},
        {"file: directory", file(4, dir.path().c_str(), o, w, 32), KELVRA_ERR_IO, 4},
        {"file: 20 bytes", file(4, twenty.c_str(), o, w, 32), KELVRA_ERR_DATA, 4},
        {"file: cut after a full block", file(4, cut_late.c_str(), o, w, 32), KELVRA_ERR_DATA, 4},
        {"file: endpoint n after a full block", file(4, bad_late.c_str(), o, w, 32), KELVRA_ERR_DATA, 4},
        {"file: NaN weight", file(4, nan_weight.c_str(), o, w, 32), KELVRA_ERR_DATA, 4},
        {"file: good", file(4, good.c_str(), o, w, 32), KELVRA_OK, -1},
        {"file: large n, cut after a full block", file(big_n, big_cut.c_str(), big_out.data(), big_ws.data(),
                                                      big_ws.size()), KELVRA_ERR_DATA, -1},
        {"file: large n, endpoint n after a full block", file(big_n, big_bad.c_str(), big_out.data(),
                                                              big_ws.data(), big_ws.size()), KELVRA_ERR_DATA, -1},
    };
    for (const Case &c : cases) {
        std::fill(out.begin(), out.end(), 7.0);
        EXPECT_EQ(c.call(), c.expected) << c.what;
        if (c.zeros == 0) {
            EXPECT_EQ(out[0], 7.0) << c.what << ": out touched";
        } else if (c.zeros > 0) {
            EXPECT_TRUE(all_zero(Vector(o, o + c.zeros))) << c.what;
        }
    }
    if (kelvra_test::reads_fail(kelvra_test::failing_file)) {
        EXPECT_EQ(file(4, kelvra_test::failing_file, o, w, 32)(), KELVRA_ERR_IO) << "read error";
    }
}

TEST(FiedlerResult, ZeroVectorWithoutPositiveDegrees) {
    TempDir dir;
    const Graph graphs[] = {Graph{5}, Graph{5}.edge(0, 1, 0.0).edge(2, 3, 0.0), Graph{3}.edge(0, 1, -1.0)};
    for (const Graph &g : graphs) {
        const Outcome mem = in_memory(g, 50), file = from_file(g.n, write_edges(dir, "g", g), 50);
        EXPECT_EQ(mem.status, KELVRA_OK);
        EXPECT_EQ(file.status, KELVRA_OK);
        EXPECT_TRUE(all_zero(mem.out) && all_zero(file.out)) << g.count() << " edges";
    }
}

TEST(FiedlerResult, PathStopsAfterIteration24) {
    const Graph p4 = path(4);
    const Outcome r24 = in_memory(p4, 24, false), r25 = in_memory(p4, 25, false), r1000 = in_memory(p4, 1000, false);
    ASSERT_EQ(r1000.status, KELVRA_OK);
    EXPECT_TRUE(same_bits(r25.out, r1000.out)) << "five stable patterns from k = 20 end the loop after k = 24";
    EXPECT_FALSE(same_bits(r24.out, r25.out));
    const double sign = r1000.out[0] > 0 ? 1.0 : -1.0, expected[] = {1, std::sqrt(0.5), -std::sqrt(0.5), -1};
    double along_trivial = 0.0;
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(sign * r1000.out[i], expected[i], 1e-9) << i;
        along_trivial += r1000.out[i] * std::sqrt(i == 0 || i == 3 ? 1.0 : 2.0);
    }
    EXPECT_NEAR(along_trivial, 0.0, 1e-12);
}

TEST(FiedlerResult, ZeroIterationsGiveTheDeflatedStartVector) {
    const Graph p4 = path(4);
    const double d[] = {1, 2, 2, 1};
    double s[4], norm, x[4], c = 0.0;
    for (int i = 0; i < 4; ++i) kelvra_rational_sqrt(d[i], &s[i]);
    kelvra_rational_sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2] + s[3] * s[3], &norm);
    for (uint32_t i = 0; i < 4; ++i) {
        x[i] = 2.0 * (double(uint32_t(1013904223u - 1640531535u * i)) * 0x1p-32) - 1.0;
        c += s[i] / norm * x[i];
    }
    const Outcome r = in_memory(p4, 0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(r.out[i], x[i] - c * (s[i] / norm)) << i;
}

// The eigenvector of the normalised Laplacian's second-smallest eigenvalue,
// with a self-loop of weight w as the adjacency entry 2w, scaled like the
// result: largest magnitude 1, its sign taken from `like`. `ratio` is
// (2 - lambda_3) / (2 - lambda_2), the rate at which the iteration settles.
Vector lapack_fiedler(const Graph &g, const Vector &like, double &ratio) {
    const int n = static_cast<int>(g.n);
    Vector a(size_t(n) * n, 0.0), d(n, 0.0), lambda(n), work(64 * n);
    for (size_t e = 0; e < g.count(); ++e) {
        a[g.src[e] * n + g.dst[e]] += g.w[e], a[g.dst[e] * n + g.src[e]] += g.w[e];
        d[g.src[e]] += g.w[e], d[g.dst[e]] += g.w[e];
    }
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) a[i * n + j] = (i == j) - a[i * n + j] / std::sqrt(d[i] * d[j]);
    int lwork = static_cast<int>(work.size()), info = 0;
    dsyev_("V", "U", &n, a.data(), &n, lambda.data(), work.data(), &lwork, &info, 1, 1);
    EXPECT_EQ(info, 0);
    ratio = (2 - lambda[2]) / (2 - lambda[1]);
    Vector v(a.begin() + n, a.begin() + 2 * n); // column 1, eigenvalues ascending
    size_t top = 0;
    for (size_t i = 1; i < v.size(); ++i)
        if (std::fabs(v[i]) > std::fabs(v[top])) top = i;
    const double scale = (like[top] < 0) == (v[top] < 0) ? 1 / std::fabs(v[top]) : -1 / std::fabs(v[top]);
    for (double &e : v) e *= scale;
    return v;
}

TEST(FiedlerResult, MatchesLapackEigenvector) {
    Graph barbell = clique_pair(5, 1.0);
    barbell.n = 11, barbell.dst.back() = 10, barbell.edge(10, 5); // K5 - 10 - K5 through 4 and 5
    Graph looped = clique_pair(4, 0.3);
    looped.edge(0, 0, 2.0).edge(5, 6, 0.5);
    const struct {
        const char *name;
        Graph g;
    } cases[] = {
        {"two triangles, bridge 0.1", clique_pair(3, 0.1)},
        {"two K5, one edge", clique_pair(5, 1.0)},
        {"barbell", barbell},
        {"path of 5", path(5)},
        {"weighted, self-loop", looped},
    };
    for (const auto &c : cases) {
        const Outcome r = in_memory(c.g, 10000);
        ASSERT_EQ(r.status, KELVRA_OK) << c.name;
        double ratio = 0;
        const Vector v = lapack_fiedler(c.g, r.out, ratio);
        // The loop may end after 25 iterations; the error left is about ratio^25.
        const double tolerance = 1e-10 + 10 * std::pow(ratio, 25);
        for (size_t i = 0; i < v.size(); ++i) EXPECT_NEAR(r.out[i], v[i], tolerance) << c.name << " " << i;
    }
    const Outcome triangles = in_memory(clique_pair(3, 0.1), 1000);
    const double sign = triangles.out[0] > 0 ? 1.0 : -1.0;
    for (int i = 0; i < 6; ++i) EXPECT_EQ(sign * triangles.out[i] >= 0, i < 3) << "triangles split at " << i;
}

TEST(FiedlerFile, BitIdenticalToInMemory) {
    TempDir dir;
    const uint32_t small = kelvra::linalg::edge_file::small_block_bytes / 16;
    const uint32_t large = kelvra::linalg::edge_file::large_block_bytes / 16;
    const struct {
        uint32_t n, edges, most; // a block holds min(n / 2, large) records when n / 2 > small
    } cases[] = {{300, 1, 1000},          {300, small - 1, 1000}, {300, small, 1000},
                 {300, small + 1, 1000},  {300, 2 * small + 77, 1000}, {5000, 2 * 2500 + 3, 1000},
                 {40000, large + 5, 40},  {140000, 2 * large + 5, 40}};
    for (const auto &c : cases) {
        const Graph g = random_graph(c.n, c.edges, c.edges);
        const std::string path = write_edges(dir, "edges", g);
        for (uint32_t iterations : {0u, 3u, c.most}) {
            const Outcome mem = in_memory(g, iterations), file = from_file(g.n, path, iterations);
            EXPECT_EQ(mem.status, KELVRA_OK);
            EXPECT_EQ(file.status, KELVRA_OK);
            EXPECT_TRUE(same_bits(mem.out, file.out)) << c.edges << " edges, " << iterations << " iterations";
        }
    }
}

} // namespace
