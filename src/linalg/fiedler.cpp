// The sparse Fiedler vector: a deflated power iteration on
// I + D^-1/2 A D^-1/2 = 2I - L, whose top eigenvalue 2 belongs to the known
// vector D^1/2 1 and is projected out every step, so the iterate turns toward
// the eigenvector of L's smallest non-trivial eigenvalue. No matrix is formed:
// each step is one pass over the edges, taken from a list in memory or
// streamed again from an edge file, plus O(n) vector work in the caller's
// workspace of 8 n doubles.
//
// Results are fixed to the bit: the start vector is a fixed sequence, every
// square root is the library's own, and the two dot products and the sum of
// squares are accumulated one element at a time in index order. Both edge
// sources feed the very same arithmetic in the same order, so the file
// variant returns exactly what the in-memory one returns for the same edges.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "exact/rational.hpp"
#include "frame/status.hpp"
#include "kelvra.h"
#include "linalg/edge_file.hpp"

namespace kelvra::linalg {

namespace {

// The early stop: a sign pattern unchanged for this many consecutive
// iterations, counted from iteration `kStableFrom` on.
constexpr uint32_t kStableFrom = 20;
constexpr uint32_t kStableRuns = 5;

// The workspace, eight vectors of n doubles in this order.
struct Vectors {
    double *d;    // degrees
    double *r;    // 1/sqrt(d), 0 where d <= 0
    double *q;    // the unit trivial eigenvector sqrt(d) / |sqrt(d)|, 0 where d <= 0
    double *x;    // the iterate, finally the result
    double *y;    // the next iterate before scaling (free during a pass over the edges)
    double *t;    // r (.) x, the input of the next product
    double *z;    // A t, zero before each product
    double *sign; // the previous sign pattern (1 for x >= 0, else 0; -1 before the first)

    Vectors(double *workspace, std::size_t n) noexcept
            : d(workspace), r(d + n), q(r + n), x(q + n), y(x + n), t(y + n), z(t + n), sign(z + n) {}
};

// ---- edge sources ---------------------------------------------------------------
//
// Each adds the degrees in edge order (d_u += w, then d_v += w, so a self-loop
// counts twice), refusing an endpoint >= n with 2, and adds the product
// z_u += w t_v, then z_v += w t_u, in the same order.

// One edge's share of z = A t. A weight of exactly 1.0 leaves every product
// as it is, so the unweighted list may pass 1.0 and the compiler drop it.
inline void add_edge(const double *__restrict t, double *__restrict z, uint32_t u, uint32_t v, double w) noexcept {
    z[u] += w * t[v];
    z[v] += w * t[u];
}

// How many edges ahead the product loop fetches its vertices.
constexpr std::size_t kFetchAhead = 16;

inline void fetch(const double *t, const double *z, uint32_t u, uint32_t v) noexcept {
    __builtin_prefetch(z + u, 1);
    __builtin_prefetch(z + v, 1);
    __builtin_prefetch(t + u, 0);
    __builtin_prefetch(t + v, 0);
}

struct EdgeList {
    uint32_t count;
    const uint32_t *src;
    const uint32_t *dst;
    const double *weights; // null: every weight is 1.0

    kelvra_status add_degrees(uint32_t n, double *d) const noexcept {
        for (std::size_t e = 0; e < count; ++e) {
            const uint32_t u = src[e], v = dst[e];
            if (u >= n || v >= n) return KELVRA_ERR_DATA;
            const double w = weights != nullptr ? weights[e] : 1.0;
            d[u] += w;
            d[v] += w;
        }
        return KELVRA_OK;
    }

    // The endpoints were checked by add_degrees. The vertices of an edge a
    // little ahead are fetched early: on a large graph nearly every access is
    // a cache miss, and the order of the additions is untouched.
    kelvra_status add_product(uint32_t, const double *__restrict t, double *__restrict z) const noexcept {
        const std::size_t ahead = count > kFetchAhead ? count - kFetchAhead : 0;
        if (weights == nullptr) {
            for (std::size_t e = 0; e < ahead; ++e) {
                fetch(t, z, src[e + kFetchAhead], dst[e + kFetchAhead]);
                add_edge(t, z, src[e], dst[e], 1.0);
            }
            for (std::size_t e = ahead; e < count; ++e) add_edge(t, z, src[e], dst[e], 1.0);
        } else {
            for (std::size_t e = 0; e < ahead; ++e) {
                fetch(t, z, src[e + kFetchAhead], dst[e + kFetchAhead]);
                add_edge(t, z, src[e], dst[e], weights[e]);
            }
            for (std::size_t e = ahead; e < count; ++e) add_edge(t, z, src[e], dst[e], weights[e]);
        }
        return KELVRA_OK;
    }
};

inline edge_file::Record record(const unsigned char *records, std::size_t i) noexcept {
    return edge_file::decode(records + i * edge_file::record_bytes);
}

// The file is read afresh for every pass and its endpoints are checked every
// time: nothing read in an earlier pass vouches for a later one.
struct EdgeFile {
    const char *path;
    unsigned char *block; // where each read lands
    std::size_t block_size;

    kelvra_status add_degrees(uint32_t n, double *d) const noexcept {
        auto add = [n, d](const unsigned char *records, std::size_t count) noexcept {
            for (std::size_t i = 0; i < count; ++i) {
                const edge_file::Record e = record(records, i);
                if (e.u >= n || e.v >= n) return KELVRA_ERR_DATA;
                d[e.u] += e.w;
                d[e.v] += e.w;
            }
            return KELVRA_OK;
        };
        return edge_file::stream(path, block, block_size, add);
    }

    kelvra_status add_product(uint32_t n, const double *t, double *z) const noexcept {
        auto add = [n, t, z](const unsigned char *records, std::size_t count) noexcept {
            return add_records(records, count, n, t, z);
        };
        return edge_file::stream(path, block, block_size, add);
    }

    // One block's share of z = A t, with the endpoints checked.
    static kelvra_status add_records(const unsigned char *records, std::size_t count, uint32_t n,
                                     const double *__restrict t, double *__restrict z) noexcept {
        const std::size_t ahead = count > kFetchAhead ? count - kFetchAhead : 0;
        for (std::size_t i = 0; i < ahead; ++i) {
            const edge_file::Record next = record(records, i + kFetchAhead);
            fetch(t, z, next.u < n ? next.u : 0, next.v < n ? next.v : 0);
            const edge_file::Record e = record(records, i);
            if (e.u >= n || e.v >= n) return KELVRA_ERR_DATA;
            add_edge(t, z, e.u, e.v, e.w);
        }
        for (std::size_t i = ahead; i < count; ++i) {
            const edge_file::Record e = record(records, i);
            if (e.u >= n || e.v >= n) return KELVRA_ERR_DATA;
            add_edge(t, z, e.u, e.v, e.w);
        }
        return KELVRA_OK;
    }
};

// ---- vector steps ----------------------------------------------------------------

bool all_finite(const double *v, std::size_t n) noexcept {
    bool finite = true;
    for (std::size_t i = 0; i < n; ++i) finite &= std::isfinite(v[i]);
    return finite;
}

// r and q from the degrees; returns S = sum of s_i^2 in index order, with the
// unnormalised s_i left in q.
double trivial_roots(std::size_t n, const double *d, double *r, double *s) noexcept {
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        double root = 0.0, reciprocal = 0.0;
        if (d[i] > 0) {
            root = exact::rational_sqrt(d[i]);
            reciprocal = 1.0 / root;
        }
        r[i] = reciprocal;
        s[i] = root;
        sum += root * root;
    }
    return sum;
}

// x_i = 2 (u_i 2^-32) - 1 with u_i = (1013904223 - 1640531535 i) mod 2^32:
// every step is exact, so the vector is the same everywhere.
void start_vector(std::size_t n, double *x) noexcept {
    for (std::size_t i = 0; i < n; ++i) {
        const uint32_t u = 1013904223u - 1640531535u * static_cast<uint32_t>(i);
        x[i] = 2.0 * (static_cast<double>(u) * 0x1p-32) - 1.0;
    }
}

double dot_in_order(std::size_t n, const double *a, const double *b) noexcept {
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) sum += a[i] * b[i];
    return sum;
}

// v <- v - c q, and the largest v_i^2 (NaN skipped; 0 when there is none).
double deflate(std::size_t n, double *v, const double *q, double c) noexcept {
    double largest = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double e = v[i] - c * q[i];
        v[i] = e;
        const double square = e * e;
        largest = square > largest ? square : largest;
    }
    return largest;
}

// The input of the next product: t = r (.) x, z = 0.
void prepare_product(std::size_t n, const Vectors &v) noexcept {
    for (std::size_t i = 0; i < n; ++i) {
        v.t[i] = v.r[i] * v.x[i];
        v.z[i] = 0.0;
    }
}

// y = r (.) z + x, and c = sum y_i q_i in index order.
double next_iterate(std::size_t n, const Vectors &v) noexcept {
    double c = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double e = v.r[i] * v.z[i] + v.x[i];
        v.y[i] = e;
        c += e * v.q[i];
    }
    return c;
}

// x = y / root, with the new sign pattern stored; true when it equals the old.
bool scale_and_compare(std::size_t n, const Vectors &v, double root) noexcept {
    bool same = true;
    for (std::size_t i = 0; i < n; ++i) {
        const double e = v.y[i] / root;
        v.x[i] = e;
        const double pattern = e >= 0 ? 1.0 : 0.0;
        same &= pattern == v.sign[i];
        v.sign[i] = pattern;
    }
    return same;
}

// ---- the iteration -----------------------------------------------------------------
//
// Degrees that are not finite (a NaN or infinite weight, or sums beyond the
// double range), an S that overflows, and an iterate that leaves the finite
// numbers give 2: no vector could be reported for them. On every failure out
// stays zero, since it is written only at the very end.

template <class Edges>
kelvra_status fiedler(uint32_t count, const Edges &edges, uint32_t max_iterations, double *out,
                      double *workspace) noexcept {
    const std::size_t n = count;
    for (std::size_t i = 0; i < n; ++i) out[i] = 0.0;
    if (n < 2) return KELVRA_OK;
    const Vectors v(workspace, n);

    for (std::size_t i = 0; i < n; ++i) v.d[i] = 0.0;
    const kelvra_status status = edges.add_degrees(count, v.d);
    if (status != KELVRA_OK) return status;
    if (!all_finite(v.d, n)) return KELVRA_ERR_DATA;

    const double sum = trivial_roots(n, v.d, v.r, v.q);
    if (sum <= 0) return KELVRA_OK; // no vertex of positive degree: the zero vector
    if (!std::isfinite(sum)) return KELVRA_ERR_DATA;
    const double norm = exact::rational_sqrt(sum);
    for (std::size_t i = 0; i < n; ++i) v.q[i] = v.q[i] / norm;

    start_vector(n, v.x);
    (void)deflate(n, v.x, v.q, dot_in_order(n, v.q, v.x));
    for (std::size_t i = 0; i < n; ++i) v.sign[i] = -1.0;

    uint32_t stable = 0;
    for (uint32_t k = 0; k < max_iterations; ++k) {
        prepare_product(n, v);
        const kelvra_status pass = edges.add_product(count, v.t, v.z);
        if (pass != KELVRA_OK) return pass;
        const double c = next_iterate(n, v);
        const double largest = deflate(n, v.y, v.q, c);
        if (largest <= 0) break; // x keeps the previous iterate
        const bool unchanged = scale_and_compare(n, v, exact::rational_sqrt(largest));
        if (unchanged && k >= kStableFrom) {
            if (++stable == kStableRuns) break;
        } else {
            stable = 0;
        }
    }

    if (!all_finite(v.x, n)) return KELVRA_ERR_DATA;
    for (std::size_t i = 0; i < n; ++i) out[i] = v.x[i];
    return KELVRA_OK;
}

// The workspace must hold 8 n doubles; 8 n is formed in 64 bits.
bool workspace_too_short(uint32_t n, uint64_t workspace_doubles) noexcept {
    return workspace_doubles < 8 * uint64_t{n};
}

} // namespace

} // namespace kelvra::linalg

using namespace kelvra::linalg;

extern "C" KELVRA_API kelvra_status kelvra_laplacian_fiedler_sparse(uint32_t n, uint32_t edge_count,
                                                                    const uint32_t *src, const uint32_t *dst,
                                                                    const double *weights, uint32_t max_iterations,
                                                                    double *out, double *workspace,
                                                                    uint64_t workspace_doubles) noexcept {
    if (out == nullptr || workspace == nullptr) return KELVRA_ERR_ARG;
    if (edge_count > 0 && (src == nullptr || dst == nullptr)) return KELVRA_ERR_ARG;
    if (workspace_too_short(n, workspace_doubles)) return KELVRA_ERR_DATA;
    return fiedler(n, EdgeList{edge_count, src, dst, weights}, max_iterations, out, workspace);
}

extern "C" KELVRA_API kelvra_status kelvra_laplacian_fiedler_sparse_file(uint32_t n, const char *path,
                                                                         uint32_t max_iterations, double *out,
                                                                         double *workspace,
                                                                         uint64_t workspace_doubles) noexcept {
    if (out == nullptr || workspace == nullptr || path == nullptr) return KELVRA_ERR_ARG;
    if (workspace_too_short(n, workspace_doubles)) return KELVRA_ERR_DATA;
    // Blocks are read into the workspace's y vector where it is larger than
    // the buffer on the stack: y is free during every pass over the edges
    // (it is written only after the product), and fewer, larger reads make
    // a pass markedly cheaper.
    alignas(16) unsigned char on_stack[edge_file::small_block_bytes];
    EdgeFile edges{path, on_stack, sizeof on_stack};
    const std::size_t room = (std::size_t{n} * sizeof(double)) / edge_file::record_bytes * edge_file::record_bytes;
    if (room > sizeof on_stack) {
        edges.block = reinterpret_cast<unsigned char *>(Vectors(workspace, n).y);
        edges.block_size = room < edge_file::large_block_bytes ? room : edge_file::large_block_bytes;
    }
    return fiedler(n, edges, max_iterations, out, workspace);
}
