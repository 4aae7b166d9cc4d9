#include "platform/platform.hpp"
#include "platform/temp_names.hpp"
#include "platform/win32/win.hpp"

namespace kelvra::os {

const char *layer_name() noexcept { return "win32"; }

unsigned long process_number() noexcept { return static_cast<unsigned long>(GetCurrentProcessId()); }

} // namespace kelvra::os
