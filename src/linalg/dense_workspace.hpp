// The dense solver's workspace size, written once for the exported companion
// (which publishes it in wrapping 64-bit arithmetic) and for the solver (which
// refuses a size beyond 64 bits): the augmented matrix, n rows of n + m
// doubles, plus 8 bytes for aligning it.
#pragma once

#include <cstdint>

namespace kelvra::linalg {

constexpr unsigned __int128 dense_workspace_bytes(uint32_t n, uint32_t m) noexcept {
    return (static_cast<unsigned __int128>(n) + m) * n * 8 + 8;
}

} // namespace kelvra::linalg
