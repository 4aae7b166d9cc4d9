// The rational and continued-fraction calls with their status and fraction
// as one record, for comparing whole results at once.
#pragma once

#include <cstdint>
#include <ostream>

#include "kelvra.h"

namespace exact_test {

// A status and a fraction (signed or unsigned numerator); failures of the
// rational arithmetic must leave the sentinel 0x5A5A5A5A/0xA5A5A5A5.
template <class Num>
struct FractionOf {
    int status;
    Num num;
    uint64_t den;
    bool operator==(const FractionOf &) const = default;
    friend std::ostream &operator<<(std::ostream &os, const FractionOf &f) {
        return os << "status " << f.status << ", " << f.num << "/" << f.den;
    }
};
using Fraction = FractionOf<int64_t>;
inline Fraction failed(int status) { return {status, 0x5A5A5A5A, 0xA5A5A5A5}; }

template <class Num = int64_t, class Call>
FractionOf<Num> run(Call call) {
    FractionOf<Num> f{99, 0x5A5A5A5A, 0xA5A5A5A5};
    f.status = call(&f.num, &f.den);
    return f;
}

inline Fraction rational_pow(int64_t n0, uint64_t d0, uint32_t e) {
    return run([&](int64_t *n, uint64_t *d) { return kelvra_rational_pow_uint(n0, d0, e, n, d); });
}
inline Fraction exp_series(int64_t xn, uint64_t xd, uint32_t order) {
    return run([&](int64_t *n, uint64_t *d) { return kelvra_exp_series_truncate(xn, xd, order, n, d); });
}

} // namespace exact_test
