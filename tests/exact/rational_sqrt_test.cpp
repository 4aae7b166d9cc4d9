// The library's square root (truncate, then round): documented cases,
// statuses, squares and scaling.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "kelvra.h"
#include "support/bits.hpp"

namespace {

using kelvra_test::bits;
using kelvra_test::from_bits;

double library_sqrt(double x, kelvra_status *status = nullptr) {
    double out = -7.0;
    const kelvra_status s = kelvra_rational_sqrt(x, &out);
    if (status) *status = s;
    return out;
}

TEST(RationalSqrt, DocumentedCases) {
    const double nan = from_bits(0x7FF8000000000123);
    const struct {
        double x, root;
        kelvra_status status;
    } cases[] = {
        {4.0, 2.0, KELVRA_OK},
        {2.0, 0x1.6a09e667f3bccp+0, KELVRA_OK}, // one unit below the correctly rounded root
        {3.0, 0x1.bb67ae8584caap+0, KELVRA_OK},
        {0x1p-1074, 0x1p-537, KELVRA_OK},
        // Subnormals are normalised first and keep 53 significant bits (not 0x1.6a09e66p-537).
        {0x1p-1073, 0x1.6a09e667f3bccp-537, KELVRA_OK},
        {0x3p-1074, 0x1.bb67ae8584caap-537, KELVRA_OK},
        {-1.0, 0.0, KELVRA_ERR_DATA},
        {-0.0, 0.0, KELVRA_OK},
        {INFINITY, INFINITY, KELVRA_OK},
        {nan, nan, KELVRA_OK}, // a NaN comes back unchanged
    };
    for (const auto &c : cases) {
        kelvra_status s;
        EXPECT_EQ(bits(library_sqrt(c.x, &s)), bits(c.root)) << c.x;
        EXPECT_EQ(s, c.status) << c.x;
    }
    kelvra_status s;
    EXPECT_TRUE(std::isnan(library_sqrt(-INFINITY, &s)));
    EXPECT_EQ(s, KELVRA_ERR_DATA);
    EXPECT_EQ(kelvra_rational_sqrt(-1.0, nullptr), KELVRA_ERR_ARG);
}

// Exact on squares (where floor(sqrt(N)) steps), up to the largest that 53
// bits hold, at any even power of two; a subnormal's root is its normalised
// form's, scaled back. The bit-exact comparison with the bitwise base-4
// method on random doubles is in fuzz/exact_fuzz.cpp.
TEST(RationalSqrt, ExactOnSquaresAndScaleInvariant) {
    for (const uint64_t root : {(uint64_t{1} << 26) + 12345, uint64_t{94906265}}) // 94906265^2 < 2^53
        for (const int scale : {-500, -37, 0, 100, 450})
            EXPECT_EQ(library_sqrt(std::ldexp(double(root * root), 2 * scale)), std::ldexp(double(root), scale))
                << root << " * 2^" << scale;
    for (const uint64_t sub : {uint64_t{1}, uint64_t{3}, uint64_t{0x123456789}, uint64_t{0xfffffffffffff}})
        EXPECT_EQ(library_sqrt(from_bits(sub)), library_sqrt(from_bits(sub) * 0x1p600) * 0x1p-300) << sub;
}

} // namespace
