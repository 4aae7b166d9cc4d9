#include "platform/endpoint_names.hpp"

#include <cstdint>
#include <cstring>

#include "hash/sha256_core.hpp"

namespace kelvra::os {

void mapped_endpoint_name(const char *name, char (&out)[40]) noexcept {
    const hash::Sha256State state =
        hash::sha256_message(reinterpret_cast<const std::uint8_t *>(name), std::strlen(name));
    char hex[65];
    hash::sha256_write_hex(state, hex);
    std::memcpy(out, "kelvra~", 7);
    std::memcpy(out + 7, hex, 32);
    out[39] = '\0';
}

} // namespace kelvra::os
