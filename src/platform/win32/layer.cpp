#include "platform/platform.hpp"

namespace kelvra::os {

const char *layer_name() noexcept { return "win32"; }

} // namespace kelvra::os
