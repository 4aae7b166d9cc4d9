// The elementary functions on arbitrary doubles against the straightforward
// reference of the unit tests (tests/elementary/reference.hpp): the input's
// first byte picks the function, the next 16 bytes are the argument(s). The
// result must have the reference's bits (any NaN matches any NaN).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "../tests/elementary/reference.hpp"
#include "kelvra.h"

namespace {

void same(double got, double want) {
    if (std::isnan(got) && std::isnan(want)) return;
    if (kelvra_test::bits(got) != kelvra_test::bits(want)) std::abort();
}

double lib(kelvra_status (*f)(double, double *), double x) {
    double out = -12345.0;
    f(x, &out);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    uint64_t w[2] = {};
    std::memcpy(w, data + 1, size - 1 < sizeof w ? size - 1 : sizeof w);
    const double x = kelvra_test::from_bits(w[0]), y = kelvra_test::from_bits(w[1]);
    switch (data[0] % 6) {
    case 0:
        same(lib(kelvra_exp, x), reference::exp(x));
        break;
    case 1:
        same(lib(kelvra_log, x), reference::log(x));
        break;
    case 2:
        same(lib(kelvra_sin, x), reference::sin(x));
        break;
    case 3:
        same(lib(kelvra_cos, x), reference::cos(x));
        break;
    case 4:
        same(lib(kelvra_atan, x), reference::atan(x));
        break;
    default: {
        double out = -12345.0;
        kelvra_atan2(x, y, &out);
        same(out, reference::atan2(x, y));
    }
    }
    return 0;
}
