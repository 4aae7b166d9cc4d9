// The one internal interface to the operating system. Each function here is
// implemented once per platform, in posix/ and win32/; nothing else in the
// library includes an operating-system header.
//
// Files, directory listing, byte streams and threads are added here as the
// subsystems that need them arrive; until then the interface only says which
// platform the library was built for.
#pragma once

namespace kelvra::os {

// A short name of the platform layer in use ("posix" or "win32").
const char *layer_name() noexcept;

} // namespace kelvra::os
