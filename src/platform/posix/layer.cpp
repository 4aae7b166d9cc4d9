#include <unistd.h>

#include "platform/platform.hpp"
#include "platform/temp_names.hpp"

namespace kelvra::os {

const char *layer_name() noexcept { return "posix"; }

unsigned long process_number() noexcept { return static_cast<unsigned long>(getpid()); }

} // namespace kelvra::os
