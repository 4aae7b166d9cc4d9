#include "genome/hexcode.hpp"

#include <array>

#include "frame/status.hpp"
#include "genome/text.hpp"

namespace kelvra::genome {
namespace {

constexpr std::uint8_t not_hex = 0xFF;

constexpr std::array<std::uint8_t, 256> nibble_table() noexcept {
    std::array<std::uint8_t, 256> table{};
    for (auto &entry : table) entry = not_hex;
    for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<std::uint8_t>(c - '0');
    for (int c = 'a'; c <= 'f'; ++c) table[c] = static_cast<std::uint8_t>(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<std::uint8_t>(c - 'A' + 10);
    return table;
}

constexpr std::array<std::uint8_t, 256> nibbles = nibble_table();

bool decode_pairs(const std::uint8_t *text, std::uint64_t bytes, std::uint8_t *out) noexcept {
    for (std::uint64_t i = 0; i < bytes; ++i) {
        const std::uint8_t high = nibbles[text[2 * i]];
        const std::uint8_t low = nibbles[text[2 * i + 1]];
        if ((high | low) == not_hex) return false;
        out[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return true;
}

} // namespace

kelvra_status decode_hex_member(const kelvra_json_value *value, std::uint8_t *out, std::uint64_t capacity,
                                std::uint64_t *length, char (&digest)[digest_capacity]) noexcept {
    Bytes hex, recorded;
    if (!is_object(value) || !string_of(member(value, "hex"), &hex) || !string_of(member(value, "sha256"), &recorded))
        return KELVRA_ERR_DATA;
    if (hex.length % 2 != 0) return KELVRA_ERR_DATA;
    const std::uint64_t bytes = hex.length / 2;
    if (bytes > capacity) return KELVRA_ERR_CAPACITY;
    if (!decode_pairs(hex.data, bytes, out)) return KELVRA_ERR_DATA;
    digest_hex(out, bytes, digest);
    if (!string_equals(member(value, "sha256"), digest, digest_chars)) return KELVRA_ERR_DATA;
    *length = bytes;
    return KELVRA_OK;
}

} // namespace kelvra::genome
