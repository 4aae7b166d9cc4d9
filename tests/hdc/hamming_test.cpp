// Hamming codes for every size r = 2..16: parity placement against a
// position-by-position encoder, and correction of every single flip (all
// positions for small r, random ones for large r).
#include <gtest/gtest.h>

#include <initializer_list>

#include <cstdint>
#include <random>
#include <vector>

#include "kelvra.h"

namespace {

using Bits = std::vector<uint8_t>;

// The encoder exactly as documented: data at non-powers of two, then each
// parity bit over the positions that have its bit.
Bits reference_encode(const Bits &data, int r) {
    const uint32_t n = (1u << r) - 1;
    Bits code(n, 0);
    size_t next = 0;
    for (uint32_t q = 1; q <= n; ++q) code[q - 1] = (q & (q - 1)) != 0 ? data[next++] : 0;
    for (uint32_t p = 1; p <= n; p <<= 1) // every other position with bit p lies above p
        for (uint32_t q = p + 1; q <= n; ++q) code[p - 1] ^= (q & p) ? code[q - 1] : 0;
    return code;
}

// The syndrome names the flipped position (0: none) and decoding restores the data.
void expect_corrected(const Bits &code, const Bits &data, uint32_t flipped, int r) {
    Bits word = code, decoded(data.size(), 7);
    if (flipped) word[flipped - 1] ^= 1;
    uint32_t s = 99, s2 = 99;
    ASSERT_EQ(kelvra_hamming_syndrome(word.data(), word.size(), &s), KELVRA_OK);
    ASSERT_EQ(kelvra_hamming_decode_correct(word.data(), word.size(), decoded.data(), &s2), KELVRA_OK);
    ASSERT_TRUE(s == flipped && s2 == flipped && decoded == data) << "r = " << r << ", flip at " << flipped;
}

} // namespace

TEST(Hamming, PublishedExample) {
    const Bits data = {1, 0, 1, 1};
    Bits code(7);
    ASSERT_EQ(kelvra_hamming_encode(data.data(), 4, 3, code.data()), KELVRA_OK);
    EXPECT_EQ(code, (Bits{0, 1, 1, 0, 0, 1, 1}));
    code[3] ^= 1; // parity position 4
    uint32_t s = 0;
    ASSERT_EQ(kelvra_hamming_decode_correct(code.data(), 7, code.data(), &s), KELVRA_OK) << "in place";
    EXPECT_EQ(s, 4u);
    EXPECT_EQ(Bits(code.begin(), code.begin() + 4), data);
}

TEST(Hamming, EverySizeEncodesAndCorrectsSingleFlips) {
    std::mt19937_64 rng(31);
    for (int r = 2; r <= 16; ++r) {
        const uint32_t n = (1u << r) - 1;
        Bits data(n - r), code(n);
        for (auto &b : data) b = static_cast<uint8_t>(rng() & 1);
        ASSERT_EQ(kelvra_hamming_encode(data.data(), data.size(), r, code.data()), KELVRA_OK);
        ASSERT_EQ(code, reference_encode(data, r)) << "r = " << r;
        if (r <= 10) {
            for (uint32_t q = 0; q <= n; ++q) expect_corrected(code, data, q, r);
        } else {
            expect_corrected(code, data, 0, r);
            expect_corrected(code, data, n, r);
            for (int i = 0; i < 200; ++i) expect_corrected(code, data, 1 + static_cast<uint32_t>(rng() % n), r);
        }
    }
}

TEST(Hamming, RefusesBadSizesAndBytesBeforeWriting) {
    Bits data(11, 1), code(15, 9), out(11, 9);
    uint32_t s = 77;
    EXPECT_EQ(kelvra_hamming_encode(data.data(), 11, 4, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_hamming_encode(data.data(), 11, 1, code.data()), KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_hamming_encode(data.data(), 11, 17, code.data()), KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_hamming_encode(data.data(), 10, 4, code.data()), KELVRA_ERR_DATA);
    data[10] = 2;
    EXPECT_EQ(kelvra_hamming_encode(data.data(), 11, 4, code.data()), KELVRA_ERR_DATA);
    EXPECT_EQ(code, Bits(15, 9)) << "nothing written";

    Bits word(1u << 17, 0);
    for (uint64_t n : std::initializer_list<uint64_t>{0, 1, 4, 8, 16, (uint64_t{1} << 17) - 1, UINT64_MAX}) {
        EXPECT_EQ(kelvra_hamming_syndrome(word.data(), n, &s), KELVRA_ERR_DATA) << n;
        EXPECT_EQ(kelvra_hamming_decode_correct(word.data(), n, out.data(), &s), KELVRA_ERR_DATA) << n;
    }
    EXPECT_EQ(s, 77u);
    EXPECT_EQ(out, Bits(11, 9));
    EXPECT_EQ(kelvra_hamming_syndrome(word.data(), 15, nullptr), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_hamming_decode_correct(word.data(), 15, nullptr, &s), KELVRA_ERR_ARG);
    // A stray byte anywhere in a word.
    for (int r : {3, 4, 5, 9, 16}) {
        const uint64_t n = (uint64_t{1} << r) - 1;
        for (uint64_t at : {uint64_t{0}, uint64_t{1}, uint64_t{6}, n / 2, n - 2, n - 1}) {
            Bits word(n, 1), data(n, 9);
            word[at] = at % 2 ? 2 : 0x81;
            uint32_t s = 5;
            ASSERT_EQ(kelvra_hamming_syndrome(word.data(), n, &s), KELVRA_ERR_DATA) << r << " " << at;
            ASSERT_EQ(kelvra_hamming_decode_correct(word.data(), n, data.data(), &s), KELVRA_ERR_DATA);
            ASSERT_TRUE(s == 5u && data == Bits(n, 9)) << "nothing written";
        }
    }
}
