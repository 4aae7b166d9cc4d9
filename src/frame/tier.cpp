// The tier rule: the detected tier, unless an environment variable overrides
// it, clipped to what the calling kernel has.
#include <cstdlib>

#include "kelvra.h"

namespace kelvra::tier {

namespace {

bool is_blank(char c) noexcept { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Reads like atoi (leading blanks, an optional sign, decimal digits up to the
// first other character; no digits gives 0), but saturates at the 32-bit range
// instead of overflowing.
int32_t parse_override(const char *text) noexcept {
    while (is_blank(*text)) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    constexpr int64_t limit = int64_t{INT32_MAX} + 1;
    int64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        magnitude = magnitude * 10 + (*text - '0');
        if (magnitude > limit) magnitude = limit;
    }
    if (negative) return static_cast<int32_t>(-magnitude);
    return static_cast<int32_t>(magnitude > INT32_MAX ? INT32_MAX : magnitude);
}

uint32_t clip(int32_t tier, int32_t max_tier) noexcept {
    if (tier < 0 || max_tier < 0) return 0;
    return static_cast<uint32_t>(tier < max_tier ? tier : max_tier);
}

} // namespace
} // namespace kelvra::tier

extern "C" KELVRA_API uint32_t kelvra_simd_tier(const char *name, int32_t detected, int32_t max_tier) noexcept {
    int32_t tier = detected;
    if (name != nullptr) {
        if (const char *text = std::getenv(name)) tier = kelvra::tier::parse_override(text);
    }
    return kelvra::tier::clip(tier, max_tier);
}
