#include "platform/platform.hpp"

namespace kelvra::os {

const char *layer_name() noexcept { return "posix"; }

} // namespace kelvra::os
