// The sparse Fiedler vector: statuses and their order, the stopping rule on a
// path, the eigenvector against LAPACK's dsyev on the dense normalised
// Laplacian, and the file variant bit for bit against the in-memory one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "kelvra.h"
#include "linalg/edge_file.hpp"
#include "platform/temp_dir.hpp"

// LAPACK, like every peer library, is linked only into native builds.
#ifdef KELVRA_TEST_PEERS
extern "C" void dsyev_(const char *jobz, const char *uplo, const int *n, double *a, const int *lda, double *w,
                       double *work, const int *lwork, int *info, size_t jobz_len, size_t uplo_len);
#endif

namespace {

using kelvra_test::TempDir;
using Vector = std::vector<double>;
constexpr uint32_t kSmall = kelvra::linalg::edge_file::small_block_bytes / 16;
constexpr uint32_t kLarge = kelvra::linalg::edge_file::large_block_bytes / 16;

struct Graph {
    uint32_t n;
    std::vector<uint32_t> src{}, dst{};
    Vector w{};
    Graph &edge(uint32_t u, uint32_t v, double weight = 1.0) {
        return src.push_back(u), dst.push_back(v), w.push_back(weight), *this;
    }
};

[[maybe_unused]] Graph clique_pair(uint32_t k, double bridge) { // two k-cliques joined by (k-1, k)
    Graph g{2 * k};
    for (uint32_t base : {0u, k})
        for (uint32_t i = 0; i < k; ++i)
            for (uint32_t j = i + 1; j < k; ++j) g.edge(base + i, base + j);
    return g.edge(k - 1, k, bridge);
}

// The path 0-1-..-(n-1) with unit weights, or `edges` random ones with self-loops and repeats.
Graph make_graph(uint32_t n, size_t edges = 0, uint64_t seed = 0) {
    std::mt19937_64 rng(seed);
    Graph g{n};
    for (uint32_t i = 0; edges == 0 && i + 1 < n; ++i) g.edge(i, i + 1);
    for (size_t e = 0; e < edges; ++e) {
        const uint32_t u = rng() % n, v = e % 17 ? rng() % n : u;
        g.edge(u, v, 0.25 + (rng() % 1000) / 500.0);
    }
    return g;
}

std::string write_edges(const TempDir &dir, const char *name, const Graph &g, size_t extra_bytes = 0) {
    std::string bytes(g.src.size() * 16 + extra_bytes, '\x01');
    for (size_t e = 0; e < g.src.size(); ++e)
        std::memcpy(&bytes[16 * e], &g.src[e], 4), std::memcpy(&bytes[16 * e + 4], &g.dst[e], 4),
            std::memcpy(&bytes[16 * e + 8], &g.w[e], 8);
    EXPECT_EQ(kelvra_plat_file_write(dir.path(name).c_str(), 0, bytes.data(), bytes.size()), KELVRA_OK);
    return dir.path(name);
}

// g from memory (null weights when it has none), or from `file` when that is not null.
kelvra_status run(const Graph &g, uint32_t iterations, const char *file, double *out, double *ws, uint64_t wsd) {
    return file ? kelvra_laplacian_fiedler_sparse_file(g.n, file, iterations, out, ws, wsd)
                : kelvra_laplacian_fiedler_sparse(g.n, static_cast<uint32_t>(g.src.size()), g.src.data(),
                                                  g.dst.data(), g.w.empty() ? nullptr : g.w.data(), iterations, out,
                                                  ws, wsd);
}

// With a workspace of exactly 8 n doubles.
std::pair<kelvra_status, Vector> solve(const Graph &g, uint32_t iterations, const char *file = nullptr) {
    Vector out(g.n, 7.0), ws(8 * size_t{g.n});
    return {run(g, iterations, file, out.data(), ws.data(), ws.size()), out};
}

bool same_bits(const Vector &a, const Vector &b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

double g_out[8], g_ws[32]; // out and workspace of the status checks

} // namespace

TEST(FiedlerStatus, ChecksInOrderAndFailuresLeaveZeros) {
    TempDir dir;
    // out = 7 before each call; `zeros` leading entries must end as 0.0 (0: out untouched, -1: not checked).
    auto expect = [&](kelvra_status want, int zeros, const std::string &what, auto call) {
        std::fill(g_out, g_out + 8, 7.0);
        EXPECT_EQ(call(), want) << what;
        if (zeros == 0) {
            EXPECT_EQ(g_out[0], 7.0) << what << ": out touched";
        }
        for (int i = 0; i < zeros; ++i) EXPECT_EQ(g_out[i], 0.0) << what << ": entry " << i;
    };
    // Both variants on g; the file holds g's records and `extra` bytes more (then only the file is run).
    auto both = [&](kelvra_status want, int zeros, const char *what, const Graph &g, uint64_t wsd = 32,
                    size_t extra = 0, double *o = g_out, double *w = g_ws) {
        const std::string path = write_edges(dir, "edges", g, extra);
        if (extra == 0) expect(want, zeros, what, [&] { return run(g, 30, nullptr, o, w, wsd); });
        expect(want, zeros, std::string("file: ") + what, [&] { return run(g, 30, path.c_str(), o, w, wsd); });
    };
    const Graph p4 = make_graph(4);
    both(KELVRA_ERR_ARG, 0, "out null", p4, 32, 0, nullptr);
    both(KELVRA_ERR_ARG, 0, "workspace null", p4, 32, 0, g_out, nullptr);
    both(KELVRA_ERR_DATA, 0, "workspace 8n - 1", p4, 31);
    both(KELVRA_ERR_DATA, 0, "8n past 32 bits", Graph{1u << 29});
    both(KELVRA_OK, 0, "n = 0", Graph{0}.edge(4, 4), 0);
    both(KELVRA_OK, 1, "n = 1 reads no edge", Graph{1}.edge(4, 4), 8);
    both(KELVRA_ERR_DATA, 4, "endpoint n", Graph{4}.edge(0, 1).edge(0, 4));
    both(KELVRA_ERR_DATA, 4, "endpoint n as source", Graph{4}.edge(4, 0));
    both(KELVRA_ERR_DATA, 4, "NaN weight", Graph{4}.edge(0, 1).edge(1, 2, NAN));
    both(KELVRA_ERR_DATA, 4, "degree beyond doubles", Graph{4}.edge(0, 1, 1e308).edge(0, 2, 1e308));
    both(KELVRA_OK, 4, "no positive degree", Graph{4}.edge(0, 1, 0.0).edge(2, 3, -1.0));
    both(KELVRA_ERR_DATA, 4, "endpoint n after a full block", make_graph(4, kSmall + 3, 2).edge(3, 4));
    both(KELVRA_ERR_DATA, 4, "20 bytes", Graph{4}.edge(0, 1), 32, 4);
    both(KELVRA_ERR_DATA, 4, "cut after a full block", make_graph(4, kSmall + 3, 1), 32, 7);
    auto mem = [](const uint32_t *s, const uint32_t *d, uint32_t count, uint64_t wsd) {
        return [=] { return kelvra_laplacian_fiedler_sparse(4, count, s, d, nullptr, 30, g_out, g_ws, wsd); };
    };
    expect(KELVRA_ERR_ARG, 0, "src null", mem(nullptr, p4.dst.data(), 3, 32));
    expect(KELVRA_ERR_ARG, 0, "dst null, workspace short", mem(p4.src.data(), nullptr, 3, 0));
    expect(KELVRA_OK, 4, "no edges, src null", mem(nullptr, nullptr, 0, 32));
    auto file = [](const char *path, uint32_t n, uint64_t wsd) {
        return [=] { return kelvra_laplacian_fiedler_sparse_file(n, path, 30, g_out, g_ws, wsd); };
    };
    const std::string missing = dir.path("missing");
    expect(KELVRA_ERR_ARG, 0, "file: path null, workspace short", file(nullptr, 4, 0));
    expect(KELVRA_OK, 1, "file: n = 1 opens nothing", file(missing.c_str(), 1, 8));
    expect(KELVRA_ERR_IO, 4, "file: missing", file(missing.c_str(), 4, 32));
    expect(KELVRA_ERR_IO, 4, "file: directory", file(dir.path().c_str(), 4, 32));
    const kelvra_test::FailingFile failing;
    expect(KELVRA_ERR_IO, 4, "file: read error", file(failing.path(), 4, 32));
}

// Five equal sign patterns from k = 20 end the loop after k = 24, with L's eigenvector
// (1, sqrt 1/2, -sqrt 1/2, -1). With no iteration: the start vector x_i = 2 (u_i 2^-32) - 1,
// u_i = 1013904223 - 1640531535 i mod 2^32, less its component along q = D^1/2 1 / |D^1/2 1|.
TEST(FiedlerResult, PathOfFour) {
    Graph p4 = make_graph(4);
    p4.w.clear(); // unit weights, passed as null
    const Vector r24 = solve(p4, 24).second, r25 = solve(p4, 25).second;
    const auto [status, r] = solve(p4, 1000);
    ASSERT_EQ(status, KELVRA_OK);
    EXPECT_TRUE(same_bits(r25, r));
    EXPECT_FALSE(same_bits(r24, r25));
    const double sign = r[0] > 0 ? 1.0 : -1.0, expected[] = {1, std::sqrt(0.5), -std::sqrt(0.5), -1};
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(sign * r[i], expected[i], 1e-9) << i;
    double q[4] = {1, 2, 2, 1}, norm = 0, x[4], c = 0.0;
    for (int i = 0; i < 4; ++i) kelvra_rational_sqrt(q[i], &q[i]), norm += q[i] * q[i];
    kelvra_rational_sqrt(norm, &norm);
    for (uint32_t i = 0; i < 4; ++i)
        x[i] = 2.0 * (double(1013904223u - 1640531535u * i) * 0x1p-32) - 1.0, c += (q[i] /= norm) * x[i];
    const Vector r0 = solve(p4, 0).second;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(r0[i], x[i] - c * q[i]) << i;
}

#ifdef KELVRA_TEST_PEERS
// dsyev's eigenvector of the second-smallest eigenvalue of the dense normalised Laplacian (a
// self-loop of weight w is the entry 2w), scaled like the result: largest magnitude 1, same sign.
// The loop may stop after 25 iterations, an error of about ((2 - l3) / (2 - l2))^25.
TEST(FiedlerResult, MatchesLapackEigenvector) {
    Graph looped = clique_pair(4, 0.3);
    looped.edge(0, 0, 2.0).edge(5, 6, 0.5);
    for (const Graph &g : {clique_pair(3, 0.1), clique_pair(5, 1.0), make_graph(5), looped}) {
        const Vector r = solve(g, 10000).second;
        const int n = static_cast<int>(g.n);
        Vector a(size_t(n) * n, 0.0), deg(n, 0.0), lambda(n), work(64 * n);
        for (size_t e = 0; e < g.src.size(); ++e) {
            a[g.src[e] * n + g.dst[e]] += g.w[e], a[g.dst[e] * n + g.src[e]] += g.w[e];
            deg[g.src[e]] += g.w[e], deg[g.dst[e]] += g.w[e];
        }
        for (int i = 0; i < n * n; ++i) a[i] = (i % (n + 1) == 0) - a[i] / std::sqrt(deg[i / n] * deg[i % n]);
        int lwork = static_cast<int>(work.size()), info = 0;
        dsyev_("V", "U", &n, a.data(), &n, lambda.data(), work.data(), &lwork, &info, 1, 1);
        ASSERT_EQ(info, 0);
        const double tolerance = 1e-10 + 10 * std::pow((2 - lambda[2]) / (2 - lambda[1]), 25);
        const double *v = &a[n]; // column 1
        const int top = std::max_element(v, v + n, [](double x, double y) { return std::fabs(x) < std::fabs(y); }) - v;
        const double scale = ((r[top] < 0) == (v[top] < 0) ? 1 : -1) / std::fabs(v[top]);
        for (int i = 0; i < n; ++i) EXPECT_NEAR(r[i], v[i] * scale, tolerance) << n << " vertices, " << i;
    }
}
#endif

// Just under, at and over one block on the stack; a block in the workspace
// (n / 2 doubles) several times; and the largest block, twice and a bit.
TEST(FiedlerFile, BitIdenticalToInMemory) {
    TempDir dir;
    const struct {
        uint32_t n, edges, most;
    } cases[] = {{300, kSmall - 1, 1000}, {300, kSmall, 1000}, {300, kSmall + 1, 1000},
                 {5000, 2 * 2500 + 3, 1000}, {140000, 2 * kLarge + 5, 40}};
    for (const auto &c : cases) {
        const Graph g = make_graph(c.n, c.edges, c.edges);
        const std::string path = write_edges(dir, "edges", g);
        for (uint32_t iterations : {0u, 3u, c.most}) {
            const auto mem = solve(g, iterations), file = solve(g, iterations, path.c_str());
            EXPECT_TRUE(mem.first == KELVRA_OK && file.first == KELVRA_OK && same_bits(mem.second, file.second))
                << c.edges << " edges, " << iterations << " iterations";
        }
    }
}
