// Continued fractions, convergents and best rational approximations: the
// documented cases and check order, and expansions against exact Euclid.
// Convergents against the recurrences in GMP are in
// continued_fraction_peer_test.cpp; random fractions against 128-bit
// references are in fuzz/exact_fuzz.cpp.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "exact/fraction_record.hpp"
#include "kelvra.h"

namespace {

using namespace exact_test;
using Terms = std::vector<uint64_t>;

constexpr uint64_t kF93 = 12200160415121876738u, kF92 = 7540113804746346429u;

// The continued fraction of num/den by Euclid, exact in 64 bits: quotients and
// remainders never exceed the operands.
Terms expansion(uint64_t num, uint64_t den) {
    Terms terms;
    for (uint64_t x = num, y = den; y != 0;) {
        terms.push_back(x / y);
        const uint64_t r = x % y;
        x = y, y = r;
    }
    return terms;
}

TEST(ContinuedFraction, DocumentedCasesChecksAndExactEuclid) {
    uint64_t terms[8] = {};
    uint32_t count = 99;
    ASSERT_EQ(kelvra_continued_fraction(415, 93, terms, 8, &count), KELVRA_OK);
    EXPECT_EQ(Terms(terms, terms + count), (Terms{4, 2, 6, 7}));
    EXPECT_EQ(kelvra_continued_fraction(415, 93, terms, 2, &count), KELVRA_ERR_CAPACITY);
    EXPECT_EQ(Terms(terms, terms + count), (Terms{4, 2})) << "the prefix that fits";
    ASSERT_EQ(kelvra_continued_fraction(0, 5, terms, 8, &count), KELVRA_OK);
    EXPECT_EQ(Terms(terms, terms + count), (Terms{0}));
    ASSERT_EQ(kelvra_continued_fraction(kF93, kF92, nullptr, 0, &count), KELVRA_ERR_CAPACITY);
    // Check order: count null; count cleared; den 0; capacity 0; terms null.
    EXPECT_EQ(kelvra_continued_fraction(1, 0, nullptr, 0, nullptr), KELVRA_ERR_ARG);
    count = 99;
    EXPECT_EQ(kelvra_continued_fraction(1, 0, nullptr, 0, &count), KELVRA_ERR_DATA);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(kelvra_continued_fraction(1, 2, nullptr, 0, &count), KELVRA_ERR_CAPACITY);
    EXPECT_EQ(kelvra_continued_fraction(1, 2, nullptr, 4, &count), KELVRA_ERR_ARG);
    // Against exact Euclid, the longest expansion included.
    const std::pair<uint64_t, uint64_t> cases[] = {{kF93, kF92}, {UINT64_MAX, 1}, {1, UINT64_MAX}, {UINT64_MAX, UINT64_MAX - 1}};
    for (const auto &[num, den] : cases) {
        uint64_t many[128];
        ASSERT_EQ(kelvra_continued_fraction(num, den, many, 128, &count), KELVRA_OK) << num << "/" << den;
        ASSERT_EQ(Terms(many, many + count), expansion(num, den)) << num << "/" << den;
    }
    EXPECT_EQ(expansion(kF93, kF92).size(), 91u) << "consecutive Fibonacci numbers need the most terms";
}

TEST(Convergents, DocumentedCasesAndOverflow) {
    const int64_t terms[4] = {1, 2, 2, 2};
    int64_t p[4], q[4];
    ASSERT_EQ(kelvra_cf_convergents_int64(terms, 4, p, q), KELVRA_OK);
    EXPECT_EQ(std::vector<int64_t>(p, p + 4), (std::vector<int64_t>{1, 3, 7, 17}));
    EXPECT_EQ(std::vector<int64_t>(q, q + 4), (std::vector<int64_t>{1, 2, 5, 12}));
    EXPECT_EQ(kelvra_cf_convergents_int64(terms, 0, p, q), KELVRA_ERR_DATA);
    std::vector<int64_t> many(257, 1), pp(257), qq(257);
    EXPECT_EQ(kelvra_cf_convergents_int64(many.data(), 257, pp.data(), qq.data()), KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_cf_convergents_int64(many.data(), 256, pp.data(), qq.data()), KELVRA_ERR_CAPACITY)
        << "Fibonacci numbers pass 2^63 at index 91";
    EXPECT_EQ(pp[89], 4660046610375530309) << "entries before the failing index stay written";
    EXPECT_EQ(kelvra_cf_convergents_int64(nullptr, 4, p, q), KELVRA_ERR_ARG);
    EXPECT_EQ(kelvra_cf_convergents_int64(terms, 4, p, nullptr), KELVRA_ERR_ARG);
}

using Best = FractionOf<uint64_t>;

Best best(uint64_t num, uint64_t den, uint64_t max_den) {
    return run<uint64_t>([&](uint64_t *n, uint64_t *d) { return kelvra_best_rational(num, den, max_den, n, d); });
}

TEST(BestRational, DocumentedCases) {
    const struct {
        uint64_t num, den, max_den;
        Best want;
    } cases[] = {
        {314159, 100000, 100, {0, 22, 7}},
        {314159, 100000, 1000, {0, 355, 113}},
        {1, 3, 2, {0, 0, 1}}, // only convergents, never 1/2
        {6, 4, 100, {0, 3, 2}},
        {0, 5, 10, {0, 0, 1}},
        {1, 0, 10, {2, 0, 1}}, // 0/1 is written before the checks
        {1, 2, 0, {2, 0, 1}},
        {UINT64_MAX, 1, UINT64_MAX, {0, UINT64_MAX, 1}},
        // The last convergent is the fraction itself, numerator 2^64 - 1.
        {UINT64_MAX, UINT64_MAX - 1, UINT64_MAX, {0, UINT64_MAX, UINT64_MAX - 1}},
        {UINT64_MAX, UINT64_MAX - 1, UINT64_MAX - 2, {0, 1, 1}},
    };
    for (const auto &c : cases) EXPECT_EQ(best(c.num, c.den, c.max_den), c.want) << c.num << "/" << c.den;
    uint64_t d;
    EXPECT_EQ(kelvra_best_rational(1, 0, 0, nullptr, &d), KELVRA_ERR_ARG);
}

} // namespace
