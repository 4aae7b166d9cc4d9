// Process-wide configuration (one word). Setting it from TOML text or a file
// (config.cpp) goes through the TOML parser; this is the storage every reader and
// writer goes through.
#pragma once

#include <cstdint>

#include "kelvra.h"

namespace kelvra::config {

inline constexpr uint32_t default_hermitian_max_nodes = 2048;
inline constexpr uint32_t max_hermitian_max_nodes = 0x7FFFFFFF;

uint32_t hermitian_limit() noexcept;
void set_hermitian_limit(uint32_t nodes) noexcept;

} // namespace kelvra::config
