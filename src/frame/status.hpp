// The small checks every export starts with. Statuses are spelled everywhere
// with the public header's names (KELVRA_OK, KELVRA_ERR_*), inside the library
// as at its boundary, so that what a function returns reads exactly as the
// header documents it.
#pragma once

#include "kelvra.h"

namespace kelvra {

// True when a pointer/length input pair is unusable: data missing while bytes are promised.
template <class T, class Len>
constexpr bool missing_data(const T *data, Len length) noexcept {
    return data == nullptr && length != 0;
}

} // namespace kelvra
