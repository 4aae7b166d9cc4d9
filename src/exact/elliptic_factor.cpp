// Lenstra's elliptic-curve method on Montgomery curves B y^2 = x^3 + A x^2 + x,
// using x and z coordinates only, in Montgomery arithmetic modulo n.
//
// Curves come from Suyama's family (sigma = 6, 7, ...), whose group orders
// are all divisible by 12; that is worth about 3.6 bits of a factor's size.
// Stage 1 multiplies the starting point by every prime power up to kStage1Bound;
// stage 2 catches one further prime up to about kStage2Bound with a baby-step
// giant-step walk of width kGiantStep. A prime p of n is found when the
// curve's order modulo p has that shape; then the point's z is 0 modulo p and
// a gcd with n exposes p. For factors near 2^32 one curve succeeds about
// one time in seven, and a curve costs far fewer multiplications than the
// rho walk that would otherwise be needed (about 2^16 steps).
//
// The curve's constant enters as a fraction (A + 2) / 4 = numerator /
// denominator, so no modular inverse is needed; doubling pays one product for it.
#include "exact/elliptic_factor.hpp"

#include <array>

#include "exact/prime.hpp"

namespace kelvra::exact {
namespace {

constexpr uint64_t kStage1Bound = 150;
constexpr uint64_t kGiantStep = 210; // 2 * 3 * 5 * 7
constexpr uint64_t kGiantSteps = 36; // stage 2 reaches 36 * 210 + 105, about 50 kStage1Bound
constexpr uint64_t kBabySteps = kGiantStep / 2;

// The prime powers up to kStage1Bound (the largest power of each prime),
// packed into as few 64-bit multipliers as their products allow.
template <bool kCountOnly>
constexpr uint32_t pack_stage1_multipliers(uint64_t *out) noexcept {
    uint32_t count = 0;
    uint64_t pack = 1;
    for (uint64_t p = 2; p <= kStage1Bound; ++p) {
        if (!is_prime_by_trial(p)) continue;
        uint64_t power = p;
        while (power * p <= kStage1Bound) power *= p;
        if (pack > UINT64_MAX / power) {
            if constexpr (!kCountOnly) out[count] = pack;
            ++count;
            pack = 1;
        }
        pack *= power;
    }
    if constexpr (!kCountOnly) out[count] = pack;
    return count + 1;
}

constexpr uint32_t kStage1MultiplierCount = pack_stage1_multipliers<true>(nullptr);

constexpr std::array<uint64_t, kStage1MultiplierCount> kStage1Multipliers = [] {
    std::array<uint64_t, kStage1MultiplierCount> table{};
    pack_stage1_multipliers<false>(table.data());
    return table;
}();

struct Point {
    uint64_t x;
    uint64_t z;
};

struct Curve {
    const Montgomery &mont;
    uint64_t numerator; // (A + 2) / 4 = numerator / denominator
    uint64_t denominator;

    // 2P: x = (x + z)^2 (x - z)^2, z = 4xz ((x - z)^2 + (A + 2) / 4 * 4xz),
    // both scaled by the denominator.
    Point twice(Point p) const noexcept {
        const uint64_t sum_squared = mont.square(mont.add(p.x, p.z));
        const uint64_t difference_squared = mont.square(mont.sub(p.x, p.z));
        const uint64_t four_xz = mont.sub(sum_squared, difference_squared);
        const uint64_t scaled = mont.mul(difference_squared, denominator);
        return {mont.mul(sum_squared, scaled), mont.mul(four_xz, mont.add(scaled, mont.mul(numerator, four_xz)))};
    }

    // P + Q given P - Q (differential addition).
    Point sum(Point p, Point q, Point difference) const noexcept {
        const uint64_t u = mont.mul(mont.sub(p.x, p.z), mont.add(q.x, q.z));
        const uint64_t v = mont.mul(mont.add(p.x, p.z), mont.sub(q.x, q.z));
        return {mont.mul(difference.z, mont.square(mont.add(u, v))),
                mont.mul(difference.x, mont.square(mont.sub(u, v)))};
    }

    // kP by the Montgomery ladder (k >= 1): the pair (jP, (j + 1)P) keeps
    // the difference P that each addition needs.
    Point multiple(Point p, uint64_t k) const noexcept {
        Point low = p;
        Point high = twice(p);
        for (int bit = 62 - __builtin_clzll(k); bit >= 0; --bit) {
            if ((k >> bit) & 1) {
                low = sum(high, low, p);
                high = twice(high);
            } else {
                high = sum(low, high, p);
                low = twice(low);
            }
        }
        return low;
    }
};

// Suyama's curve for sigma: u = sigma^2 - 5, v = 4 sigma, starting point
// (u^3 : v^3), (A + 2) / 4 = (v - u)^3 (3u + v) / (16 u^3 v).
Point suyama_curve(const Montgomery &mont, uint64_t sigma, uint64_t &numerator, uint64_t &denominator) noexcept {
    const uint64_t s = mont.to_form(sigma);
    const uint64_t u = mont.sub(mont.square(s), mont.to_form(5));
    const uint64_t two_s = mont.add(s, s);
    const uint64_t v = mont.add(two_s, two_s);
    const uint64_t u_cubed = mont.mul(mont.square(u), u);
    const uint64_t v_cubed = mont.mul(mont.square(v), v);
    const uint64_t v_minus_u = mont.sub(v, u);
    const uint64_t three_u_plus_v = mont.add(mont.add(u, mont.add(u, u)), v);
    numerator = mont.mul(mont.mul(mont.square(v_minus_u), v_minus_u), three_u_plus_v);
    denominator = mont.mul(mont.mul(mont.to_form(16), u_cubed), v);
    return {u_cubed, v_cubed};
}

// The product of the stage-2 differences for the stage-1 point q, times q's z.
// Multiples kD +- j (D = kGiantStep, j odd and coprime to D) cover every
// prime between D / 2 and the stage-2 bound; (kD)Q and jQ share their x
// exactly when (kD - j)Q or (kD + j)Q is the neutral point modulo p, which
// the cross product x_G z_j - x_j z_G detects without normalising either.
uint64_t stage2_product(const Curve &curve, Point q) noexcept {
    const Montgomery &mont = curve.mont;
    Point odd_multiples[kBabySteps + 1]; // index j holds jQ for odd j
    const Point q2 = curve.twice(q);
    odd_multiples[1] = q;
    odd_multiples[3] = curve.sum(q2, q, q);
    for (uint64_t j = 5; j <= kBabySteps; j += 2) {
        odd_multiples[j] = curve.sum(odd_multiples[j - 2], q2, odd_multiples[j - 4]);
    }
    const Point giant = curve.twice(odd_multiples[kBabySteps]);
    uint64_t product = q.z;
    Point previous = giant; // (k - 1) D Q once the walk is under way
    Point current = giant;
    for (uint64_t k = 1; k <= kGiantSteps; ++k) {
        for (uint64_t j = 1; j < kBabySteps; j += 2) {
            if (j % 3 == 0 || j % 5 == 0 || j % 7 == 0) continue;
            const Point &baby = odd_multiples[j];
            product = mont.mul(product, mont.sub(mont.mul(current.x, baby.z), mont.mul(baby.x, current.z)));
        }
        const Point next = k == 1 ? curve.twice(giant) : curve.sum(current, giant, previous);
        previous = current;
        current = next;
    }
    return product;
}

} // namespace

uint64_t elliptic_curve_divisor(const Montgomery &mont, uint32_t max_curves) noexcept {
    for (uint32_t curve_index = 0; curve_index < max_curves; ++curve_index) {
        uint64_t numerator;
        uint64_t denominator;
        Point p = suyama_curve(mont, 6 + curve_index, numerator, denominator);
        const Curve curve{mont, numerator, denominator};
        for (uint64_t k : kStage1Multipliers) p = curve.multiple(p, k);
        const uint64_t g = binary_gcd(stage2_product(curve, p), mont.n);
        if (g != 1 && g != mont.n) return g;
    }
    return 0;
}

} // namespace kelvra::exact
