// Random real symmetric and complex Hermitian matrices for the eigensolver tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace kelvra_test {

// Random symmetric (complex: Hermitian, interleaved re, im) matrix.
inline std::vector<double> random_matrix(uint64_t seed, uint32_t n, bool complex) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> normal;
    const size_t w = complex ? 2 : 1;
    std::vector<double> m(w * n * n);
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i; j < n; ++j) {
            m[w * (i * n + j)] = m[w * (j * n + i)] = normal(rng);
            if (complex && j > i) m[2 * (j * n + i) + 1] = -(m[2 * (i * n + j) + 1] = normal(rng));
        }
    return m;
}

} // namespace kelvra_test
