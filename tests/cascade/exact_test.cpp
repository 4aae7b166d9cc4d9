// Circular autocorrelation and the exact discrete Fourier transform.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "kelvra.h"

namespace {

std::vector<double> autocorrelate(const std::vector<double> &x) {
    std::vector<double> out(x.size(), 99.0);
    EXPECT_EQ(kelvra_autocorrelation_f64(x.data(), x.size(), out.data()), KELVRA_OK);
    return out;
}

struct Spectrum {
    std::vector<int64_t> re, im;
};

// Row k: coefficients of Σ_i x_i ζ^(±ik) over 1, ζ, ..., ζ^(h−1), using ζ^h = −1.
Spectrum dft_reference(const std::vector<int64_t> &re, const std::vector<int64_t> &im, bool negative) {
    const uint64_t n = re.size(), h = n / 2;
    std::vector<uint64_t> out_re(n * h, 0), out_im(n * h, 0);
    for (uint64_t k = 0; k < n; ++k) {
        for (uint64_t i = 0; i < n; ++i) {
            const uint64_t e = negative ? (n - (i * k) % n) % n : (i * k) % n, sign = e >= h ? ~uint64_t{0} : 1;
            out_re[k * h + e % h] += sign * static_cast<uint64_t>(re[i]); // wrapping, as the library does
            out_im[k * h + e % h] += sign * static_cast<uint64_t>(im[i]);
        }
    }
    return {std::vector<int64_t>(out_re.begin(), out_re.end()), std::vector<int64_t>(out_im.begin(), out_im.end())};
}

Spectrum dft(const std::vector<int64_t> &re, const std::vector<int64_t> &im, int32_t negative) {
    const size_t n = re.size();
    Spectrum s{std::vector<int64_t>(n * (n / 2), 77), std::vector<int64_t>(n * (n / 2), 77)};
    EXPECT_EQ(kelvra_exact_dft_i64(static_cast<uint32_t>(n), negative, re.data(), im.data(), s.re.data(), s.im.data()),
              KELVRA_OK);
    return s;
}

} // namespace

TEST(Autocorrelation, SpecialValuesAndStatuses) {
    EXPECT_FALSE(std::signbit(autocorrelate({-0.0, 0.0})[1])) << "the sum starts from +0.0";
    const std::vector<double> with_inf = autocorrelate({1.0, std::numeric_limits<double>::infinity(), -1.0});
    EXPECT_EQ(with_inf[0], std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(with_inf[1])) << "inf·1 + (−1)·inf";
    EXPECT_EQ(kelvra_autocorrelation_f64(nullptr, 0, nullptr), KELVRA_OK);
    double one = 1;
    EXPECT_EQ(kelvra_autocorrelation_f64(&one, 1, nullptr), KELVRA_ERR_ARG);
}

// Lengths around the four lags done at once, bit for bit.
TEST(Autocorrelation, SumsInIncreasingIndexBitForBit) {
    std::mt19937_64 rng(31);
    std::uniform_real_distribution<double> value(-1e3, 1e3);
    for (size_t n : {1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 31u, 257u}) {
        std::vector<double> x(n);
        for (double &v : x) v = value(rng) * std::pow(10.0, static_cast<double>(rng() % 9) - 4.0);
        const std::vector<double> got = autocorrelate(x);
        for (size_t k = 0; k < n; ++k) {
            double want = 0.0; // Σ_i x[(i + k) mod n]·x[i], strictly in increasing i from 0.0
            for (size_t i = 0; i < n; ++i) want = want + x[(i + k) % n] * x[i];
            ASSERT_EQ(std::memcmp(&got[k], &want, sizeof(double)), 0) << "n " << n << " lag " << k;
        }
    }
}

// Lengths below 2 or not a power of two are refused, after the pointers.
TEST(ExactDft, Statuses) {
    int64_t in[8] = {}, out_re[32], out_im[32];
    for (uint32_t n : {0u, 1u, 3u, 6u, 12u, 0x80000001u})
        EXPECT_EQ(kelvra_exact_dft_i64(n, 0, in, in, out_re, out_im), KELVRA_ERR_DATA) << n;
    EXPECT_EQ(kelvra_exact_dft_i64(6, 0, in, in, out_re, nullptr), KELVRA_ERR_ARG) << "pointers first";
}

// Exactly the definition, wrapping around on full-range values.
TEST(ExactDft, MatchesTheDefinition) {
    std::mt19937_64 rng(32);
    for (uint32_t n : {2u, 4u, 8u, 16u, 64u}) {
        std::vector<int64_t> re(n), im(n);
        for (uint32_t i = 0; i < n; ++i) {
            re[i] = static_cast<int64_t>(rng());
            im[i] = i % 5 == 0 ? INT64_MIN : static_cast<int64_t>(rng() % 2001) - 1000;
        }
        for (int32_t negative : {0, 1, -7}) {
            const Spectrum got = dft(re, im, negative), want = dft_reference(re, im, negative != 0);
            EXPECT_TRUE(got.re == want.re && got.im == want.im) << "n " << n << " negative " << negative;
        }
    }
}
