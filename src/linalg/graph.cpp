// Dense matrices of a weighted undirected graph given as an edge list: the
// adjacency matrix, the combinatorial Laplacian D - A and the symmetric
// normalised Laplacian I - D^-1/2 A D^-1/2, written into the caller's n x n
// row-major array.
#include <cstring>

#include "exact/rational.hpp"
#include "frame/status.hpp"
#include "kelvra.h"

namespace kelvra::linalg {

namespace {

bool missing_edges(uint32_t edge_count, const uint32_t *src, const uint32_t *dst) noexcept {
    return edge_count > 0 && (src == nullptr || dst == nullptr);
}

// Zeroes out, then adds each edge's weight at (src, dst) and then at
// (dst, src), edges in order, so a self-loop puts twice its weight on the
// diagonal and repeated edges add up. An endpoint outside 0 .. n-1 stops the
// walk at once with the edges before it already added.
bool accumulate_edges(uint32_t n, uint32_t edge_count, const uint32_t *src, const uint32_t *dst, const double *weights,
                      double *out) noexcept {
    const size_t order = n;
    std::memset(out, 0, order * order * sizeof(double));
    for (size_t e = 0; e < edge_count; ++e) {
        const uint32_t s = src[e], d = dst[e];
        if (s >= n || d >= n) return false;
        const double w = weights != nullptr ? weights[e] : 1.0;
        out[s * order + d] += w;
        out[d * order + s] += w;
    }
    return true;
}

// Row i's weight to the other vertices, summed from column 0 upwards; the
// diagonal (self-loops) is left out.
double degree(const double *row, size_t i, size_t order) noexcept {
    double d = 0.0;
    for (size_t j = 0; j < i; ++j) d += row[j];
    for (size_t j = i + 1; j < order; ++j) d += row[j];
    return d;
}

// Row by row: the degree is taken from the row before it changes, every
// off-diagonal entry is negated (so absent edges become -0.0) and the
// diagonal becomes the degree.
void to_laplacian(uint32_t n, double *out) noexcept {
    const size_t order = n;
    for (size_t i = 0; i < order; ++i) {
        double *row = out + i * order;
        const double d = degree(row, i, order);
        for (size_t j = 0; j < order; ++j) row[j] = -row[j];
        row[i] = d;
    }
}

// The diagonal first holds r_i = 1 / sqrt(degree) (0 for a degree that is not
// positive), which the degrees no longer need; then every off-diagonal entry
// becomes ((-a_ij) r_i) r_j, and the diagonal 1 where r_i is non-zero, else 0.
void to_normalized_laplacian(uint32_t n, double *out) noexcept {
    const size_t order = n;
    for (size_t i = 0; i < order; ++i) {
        const double d = degree(out + i * order, i, order);
        out[i * order + i] = d > 0.0 ? 1.0 / exact::rational_sqrt(d) : 0.0;
    }
    for (size_t i = 0; i < order; ++i) {
        double *row = out + i * order;
        const double ri = row[i];
        for (size_t j = 0; j < order; ++j) {
            if (j != i) row[j] = ((-row[j]) * ri) * out[j * order + j];
        }
    }
    for (size_t i = 0; i < order; ++i) {
        double &diagonal = out[i * order + i];
        diagonal = diagonal != 0.0 ? 1.0 : 0.0;
    }
}

} // namespace

} // namespace kelvra::linalg

using namespace kelvra::linalg;

extern "C" KELVRA_API kelvra_status kelvra_graph_dense_adjacency(uint32_t n, uint32_t edge_count, const uint32_t *src,
                                                                 const uint32_t *dst, const double *weights,
                                                                 double *out) noexcept {
    if (out == nullptr || missing_edges(edge_count, src, dst)) return KELVRA_ERR_ARG;
    return accumulate_edges(n, edge_count, src, dst, weights, out) ? KELVRA_OK : KELVRA_ERR_DATA;
}

extern "C" KELVRA_API kelvra_status kelvra_graph_dense_laplacian(uint32_t n, uint32_t edge_count, const uint32_t *src,
                                                                 const uint32_t *dst, const double *weights,
                                                                 double *out) noexcept {
    if (out == nullptr || missing_edges(edge_count, src, dst)) return KELVRA_ERR_ARG;
    if (!accumulate_edges(n, edge_count, src, dst, weights, out)) return KELVRA_ERR_DATA;
    to_laplacian(n, out);
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_graph_normalized_laplacian(uint32_t n, uint32_t edge_count,
                                                                      const uint32_t *src, const uint32_t *dst,
                                                                      const double *weights, double *out) noexcept {
    if (out == nullptr || missing_edges(edge_count, src, dst)) return KELVRA_ERR_ARG;
    if (!accumulate_edges(n, edge_count, src, dst, weights, out)) return KELVRA_ERR_DATA;
    to_normalized_laplacian(n, out);
    return KELVRA_OK;
}
