// Whole-input reading for the tool's commands: a named file through the
// library's file layer, or standard input for "-".
#pragma once

#include <cstdint>
#include <vector>

#include "kelvra.h"

namespace kelvra::cli {

// Reads all of `path` ("-" for standard input) into `bytes`. Returns the
// library status (3 when the file cannot be read).
kelvra_status read_input(const char *path, std::vector<uint8_t> &bytes);

} // namespace kelvra::cli
