// Status values in C++ form, and the small checks every export starts with.
#pragma once

#include "kelvra.h"

namespace kelvra {

enum class Status : kelvra_status {
    ok = KELVRA_OK,
    arg = KELVRA_ERR_ARG,
    data = KELVRA_ERR_DATA,
    io = KELVRA_ERR_IO,
    capacity = KELVRA_ERR_CAPACITY,
    resource = KELVRA_ERR_RESOURCE,
};

constexpr kelvra_status to_c(Status s) noexcept { return static_cast<kelvra_status>(s); }

// True when a pointer/length input pair is unusable: data missing while bytes are promised.
template <class T, class Len>
constexpr bool missing_data(const T *data, Len length) noexcept {
    return data == nullptr && length != 0;
}

} // namespace kelvra
