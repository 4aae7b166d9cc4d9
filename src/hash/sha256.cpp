// The text digest: SHA-256 of one caller buffer as 64 lower-case hex
// characters and a NUL. Whole blocks are hashed in place and only the tail is
// copied, into scratch on this call's stack, so the call touches no heap and
// keeps no state.
#include "kelvra.h"

#include "frame/status.hpp"
#include "hash/sha256_core.hpp"

extern "C" KELVRA_API kelvra_status kelvra_sha256_hex(const uint8_t *data, uint64_t len, char *out) noexcept {
    if (out == nullptr || kelvra::missing_data(data, len)) return kelvra::to_c(kelvra::Status::arg);
    kelvra::hash::sha256_write_hex(kelvra::hash::sha256_message(data, len), out);
    return KELVRA_OK;
}
