// Convergents against the recurrences p_k = a_k p_(k-1) + p_(k-2) and
// q_k = a_k q_(k-1) + q_(k-2) in exact big-integer arithmetic (GMP), with the
// library's overflow rules; the documented cases are in
// continued_fraction_test.cpp.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "exact/gmp_reference.hpp"
#include "kelvra.h"

namespace {

using namespace exact_test;

TEST(Convergents, AgainstGmp) {
    std::mt19937_64 rng(26);
    for (int i = 0; i < 1000; ++i) {
        const size_t n = 1 + rng() % 40;
        std::vector<int64_t> terms(n);
        for (auto &t : terms) t = rng() % 4 == 0 ? random_signed(rng) : static_cast<int64_t>(rng() % 200) - 50;
        std::vector<int64_t> p(n, 0x77), q(n, 0x77);
        const kelvra_status status = kelvra_cf_convergents_int64(terms.data(), n, p.data(), q.data());
        mpz_class p1 = 1, p2 = 0, q1 = 0, q2 = 1;
        size_t fail = n;
        for (size_t k = 0; k < n && fail == n; ++k) {
            const mpz_class a = Z(terms[k]), ap = a * p1, aq = a * q1, pk = ap + p2, qk = aq + q2;
            if (product_fails(ap) || sum_fails(pk) || product_fails(aq) || sum_fails(qk)) {
                fail = k;
                break;
            }
            ASSERT_TRUE(p[k] == pk.get_si() && q[k] == qk.get_si()) << "index " << k;
            p2 = p1, p1 = pk, q2 = q1, q1 = qk;
        }
        ASSERT_EQ(status, fail == n ? KELVRA_OK : KELVRA_ERR_CAPACITY);
    }
}

} // namespace
