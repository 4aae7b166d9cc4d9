// The three SHA-256 exports: the text digest, the batch of raw digests and
// the single raw digest with the SHA extensions. Whole blocks are hashed in
// place and only the padded tail is copied, into scratch on the call's stack,
// so no call touches the heap or keeps state.
#include "kelvra.h"

#include "frame/status.hpp"
#include "frame/tier.hpp"
#include "hash/sha256_core.hpp"
#include "hash/sha256_tiers.hpp"

namespace kelvra::hash {
namespace {

uint64_t no_groups(const uint8_t *const *, const uint64_t *, uint64_t, uint8_t *) noexcept { return 0; }

// Tier 0 forms no group; tier 1 hashes groups of 4, tier 2 groups of 8. With
// tier 2 and fewer than 8 messages no group is formed (the 4-lane form is not
// a step down), so which messages share a group depends only on the tier.
constexpr GroupKernel kGroupKernels[] = {no_groups, sha256_groups_sse2, sha256_groups_avx2};

using Single = Sha256State (*)(const uint8_t *data, uint64_t length) noexcept;
constexpr Single kSingleByTier[] = {sha256_message_scalar, sha256_message_shani};

} // namespace
} // namespace kelvra::hash

using namespace kelvra::hash;

extern "C" KELVRA_API kelvra_status kelvra_sha256_hex(const uint8_t *data, uint64_t len, char *out) noexcept {
    if (out == nullptr || kelvra::missing_data(data, len)) return KELVRA_ERR_ARG;
    sha256_write_hex(sha256_message(data, len), out);
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_sha256_batch(const uint8_t *const *msgs, const uint64_t *lens,
                                                        uint64_t count, uint8_t *out) noexcept {
    if (count == 0) return KELVRA_OK;
    if (msgs == nullptr || lens == nullptr || out == nullptr) return KELVRA_ERR_ARG;
    // Every message is checked before anything is written.
    for (uint64_t i = 0; i < count; ++i) {
        if (kelvra::missing_data(msgs[i], lens[i])) return KELVRA_ERR_ARG;
    }
    const GroupKernel groups = kelvra::tier::pick(kelvra::tier::sha256_batch, kGroupKernels);
    const uint64_t grouped = groups(msgs, lens, count, out);
    for (uint64_t i = grouped; i < count; ++i)
        sha256_write_digest(sha256_message_scalar(msgs[i], lens[i]), out + kSha256DigestBytes * i);
    return KELVRA_OK;
}

extern "C" KELVRA_API kelvra_status kelvra_sha256_shani(const uint8_t *data, uint64_t len, uint8_t *out) noexcept {
    if (out == nullptr || kelvra::missing_data(data, len)) return KELVRA_ERR_ARG;
    const Single hash = kelvra::tier::pick(kelvra::tier::sha256_extensions, kSingleByTier);
    sha256_write_digest(hash(data, len), out);
    return KELVRA_OK;
}
