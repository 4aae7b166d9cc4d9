// The name an endpoint is served under when its own name cannot be used as it
// is (it holds a path separator, or is too long for the platform's address):
// "kelvra~" and the first 32 hex digits of the name's SHA-256, the same on
// every platform. No plain name collides with it, since plain names are
// served as "kelvra-<name>".
#pragma once

namespace kelvra::os {

// "kelvra~<32 hex digits>" for `name`, NUL-terminated.
void mapped_endpoint_name(const char *name, char (&out)[40]) noexcept;

} // namespace kelvra::os
