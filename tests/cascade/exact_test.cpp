// Circular autocorrelation and the exact discrete Fourier transform.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "kelvra.h"

namespace {

// Σ_i x[(i + k) mod n]·x[i], strictly in increasing i from 0.0.
std::vector<double> autocorrelation_reference(const std::vector<double> &x) {
    const size_t n = x.size();
    std::vector<double> out(n);
    for (size_t k = 0; k < n; ++k) {
        double s = 0.0;
        for (size_t i = 0; i < n; ++i) s = s + x[(i + k) % n] * x[i];
        out[k] = s;
    }
    return out;
}

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
            uint64_t e = (i * k) % n;
            if (negative) e = (n - e) % n;
            const bool flip = e >= h;
            const uint64_t slot = k * h + (flip ? e - h : e);
            out_re[slot] += flip ? 0 - static_cast<uint64_t>(re[i]) : static_cast<uint64_t>(re[i]);
            out_im[slot] += flip ? 0 - static_cast<uint64_t>(im[i]) : static_cast<uint64_t>(im[i]);
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

TEST(Autocorrelation, SmallCasesSpecialValuesAndStatuses) {
    EXPECT_EQ(autocorrelate({1, 2}), (std::vector<double>{5, 4}));
    EXPECT_EQ(autocorrelate({3}), (std::vector<double>{9}));
    EXPECT_EQ(autocorrelate({1, 2, 3}), (std::vector<double>{14, 11, 11}));
    EXPECT_FALSE(std::signbit(autocorrelate({-0.0, 0.0})[1])) << "the sum starts from +0.0";
    const std::vector<double> with_inf = autocorrelate({1.0, std::numeric_limits<double>::infinity(), -1.0});
    EXPECT_EQ(with_inf[0], std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(with_inf[1])) << "inf·1 + (−1)·inf";
    EXPECT_EQ(kelvra_autocorrelation_f64(nullptr, 0, nullptr), KELVRA_OK);
    double one = 1;
    EXPECT_EQ(kelvra_autocorrelation_f64(nullptr, 1, &one), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_autocorrelation_f64(&one, 1, nullptr), KELVRA_ERR_ARG);
}

// Lengths around the four lags done at once, bit for bit.
TEST(Autocorrelation, SumsInIncreasingIndexBitForBit) {
    std::mt19937_64 rng(31);
    std::uniform_real_distribution<double> value(-1e3, 1e3);
    for (size_t n : {2u, 3u, 4u, 5u, 7u, 8u, 9u, 31u, 257u}) {
        std::vector<double> x(n);
        for (double &v : x) v = value(rng) * std::pow(10.0, static_cast<double>(rng() % 9) - 4.0);
        const std::vector<double> got = autocorrelate(x), want = autocorrelation_reference(x);
        for (size_t k = 0; k < n; ++k)
            ASSERT_EQ(std::memcmp(&got[k], &want[k], sizeof(double)), 0) << "n " << n << " lag " << k;
    }
}

TEST(ExactDft, LengthTwoAndStatuses) {
    const Spectrum s = dft({3, 5}, {-1, 4}, 0);
    EXPECT_EQ(s.re, (std::vector<int64_t>{8, -2}));
    EXPECT_EQ(s.im, (std::vector<int64_t>{3, -5}));
    int64_t in[8] = {}, out_re[32], out_im[32];
    for (uint32_t n : {0u, 1u, 3u, 6u, 12u, 0x80000001u})
        EXPECT_EQ(kelvra_exact_dft_i64(n, 0, in, in, out_re, out_im), KELVRA_ERR_DATA) << n;
    EXPECT_EQ(kelvra_exact_dft_i64(6, 0, nullptr, in, out_re, out_im), KELVRA_ERR_ARG) << "pointers first";
    EXPECT_EQ(kelvra_exact_dft_i64(4, 0, in, nullptr, out_re, out_im), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_exact_dft_i64(4, 0, in, in, nullptr, out_im), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_exact_dft_i64(4, 0, in, in, out_re, nullptr), KELVRA_ERR_ARG);
}

// Exactly the definition, wrapping around on full-range values; and the
// coefficients, evaluated at ζ = e^(2πi/n), give the ordinary complex DFT.
TEST(ExactDft, MatchesTheDefinitionAndTheComplexTransform) {
    std::mt19937_64 rng(32);
    const double pi = std::acos(-1.0);
    for (uint32_t n : {2u, 4u, 8u, 16u, 64u}) {
        std::vector<int64_t> re(n), im(n), small_re(n), small_im(n);
        for (uint32_t i = 0; i < n; ++i) {
            re[i] = static_cast<int64_t>(rng());
            im[i] = i % 5 == 0 ? INT64_MIN : static_cast<int64_t>(rng() % 2001) - 1000;
            small_re[i] = static_cast<int64_t>(rng() % 201) - 100;
            small_im[i] = static_cast<int64_t>(rng() % 201) - 100;
        }
        for (int32_t negative : {0, 1, -7}) {
            const Spectrum got = dft(re, im, negative), want = dft_reference(re, im, negative != 0);
            EXPECT_TRUE(got.re == want.re && got.im == want.im) << "n " << n << " negative " << negative;
            const Spectrum s = dft(small_re, small_im, negative);
            for (uint32_t k = 0; k < n; ++k) {
                std::complex<double> from_re, from_im, want_re, want_im;
                for (uint32_t m = 0; m < n / 2; ++m) {
                    from_re += static_cast<double>(s.re[k * (n / 2) + m]) * std::polar(1.0, 2 * pi * m / n);
                    from_im += static_cast<double>(s.im[k * (n / 2) + m]) * std::polar(1.0, 2 * pi * m / n);
                }
                for (uint32_t j = 0; j < n; ++j) {
                    const std::complex<double> w = std::polar(1.0, (negative ? -2 : 2) * pi * j * k / n);
                    want_re += static_cast<double>(small_re[j]) * w;
                    want_im += static_cast<double>(small_im[j]) * w;
                }
                EXPECT_LT(std::abs(from_re - want_re) + std::abs(from_im - want_im), 1e-8) << n << " k " << k;
            }
        }
    }
}
