#include "cli.hpp"

#include <charconv>

namespace kelvra::cli {

const char *status_name(kelvra_status status) {
    switch (status) {
    case KELVRA_OK: return "KELVRA_OK";
    case KELVRA_ERR_ARG: return "KELVRA_ERR_ARG";
    case KELVRA_ERR_DATA: return "KELVRA_ERR_DATA";
    case KELVRA_ERR_IO: return "KELVRA_ERR_IO";
    case KELVRA_ERR_CAPACITY: return "KELVRA_ERR_CAPACITY";
    case KELVRA_ERR_RESOURCE: return "KELVRA_ERR_RESOURCE";
    default: return "unknown status";
    }
}

int fail(const char *what, kelvra_status status) {
    std::fprintf(stderr, "kelvra: %s failed: status %u (%s)\n", what, status, status_name(status));
    return 1;
}

int usage_error(const Command &command, const char *problem) {
    std::fprintf(stderr, "kelvra %s: %s\nusage: kelvra %s %s\n", command.name, problem, command.name,
                 command.usage);
    return 2;
}

namespace {

std::optional<uint64_t> parse_plain(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// base^exponent, or empty when it passes 2^64 (so that 2^64-1 still parses).
std::optional<unsigned __int128> checked_power(uint64_t base, uint64_t exponent) {
    const unsigned __int128 limit = static_cast<unsigned __int128>(1) << 64;
    unsigned __int128 result = 1;
    for (uint64_t i = 0; i < exponent && result > 0 && (result != 1 || base > 1); ++i) {
        result *= base;
        if (result > limit) return std::nullopt;
    }
    if (exponent > 0 && base == 0) result = 0;
    return result;
}

} // namespace

std::optional<uint64_t> parse_u64(std::string_view text) {
    const size_t caret = text.find('^');
    if (caret == std::string_view::npos) return parse_plain(text);
    const size_t sign = text.find_first_of("+-", caret + 1);
    const auto base = parse_plain(text.substr(0, caret));
    const auto exponent = parse_plain(text.substr(caret + 1, sign == std::string_view::npos ? sign : sign - caret - 1));
    if (!base || !exponent) return std::nullopt;
    const auto power = checked_power(*base, *exponent);
    if (!power) return std::nullopt;
    unsigned __int128 value = *power;
    if (sign != std::string_view::npos) {
        const auto offset = parse_plain(text.substr(sign + 1));
        if (!offset) return std::nullopt;
        if (text[sign] == '-' && *offset > value) return std::nullopt;
        value = text[sign] == '+' ? value + *offset : value - *offset;
    }
    if (value > UINT64_MAX) return std::nullopt;
    return static_cast<uint64_t>(value);
}

} // namespace kelvra::cli
