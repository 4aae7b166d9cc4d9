#include "cli.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdarg>
#include <cstring>
#include <string>

namespace kelvra::cli {

const char *status_name(kelvra_status status) {
    switch (status) {
    case KELVRA_OK:
        return "KELVRA_OK";
    case KELVRA_ERR_ARG:
        return "KELVRA_ERR_ARG";
    case KELVRA_ERR_DATA:
        return "KELVRA_ERR_DATA";
    case KELVRA_ERR_IO:
        return "KELVRA_ERR_IO";
    case KELVRA_ERR_CAPACITY:
        return "KELVRA_ERR_CAPACITY";
    case KELVRA_ERR_RESOURCE:
        return "KELVRA_ERR_RESOURCE";
    default:
        return "unknown status";
    }
}

int exit_code_for(kelvra_status status) { return status == KELVRA_ERR_IO ? exit_io : exit_data; }

int fail(const char *what, kelvra_status status) {
    std::fflush(stdout); // what was printed before the failure comes first
    std::fprintf(stderr, "kelvra: %s failed: status %u (%s)\n", what, status, status_name(status));
    return exit_code_for(status);
}

int usage_error(const Command &command, const char *problem) {
    std::fprintf(stderr, "kelvra %s: %s\nusage: kelvra %s %s\n(see kelvra %s --help)\n", command.name, problem,
                 command.name, command.usage, command.name);
    return exit_usage;
}

int error(const char *name, int code, const char *format, ...) {
    std::fflush(stdout);
    std::fprintf(stderr, "kelvra %s: ", name);
    va_list list;
    va_start(list, format);
    std::vfprintf(stderr, format, list);
    va_end(list);
    std::fputc('\n', stderr);
    return code;
}

bool is_help(const char *text) { return std::strcmp(text, "--help") == 0 || std::strcmp(text, "-h") == 0; }

std::vector<char *> operands(Args args) {
    std::vector<char *> out(args.begin(), args.end());
    const auto dashes = std::find_if(out.begin(), out.end(), [](const char *a) { return std::strcmp(a, "--") == 0; });
    if (dashes != out.end()) out.erase(dashes);
    return out;
}

void print_usage_table(const Command &self, std::span<const Usage> table, Args before) {
    for (const Usage &u : table) {
        if (before.empty() || std::strcmp(before[0], u.name) != 0) continue;
        std::printf("usage: kelvra %s %s %s\n\n%s\n", self.name, u.name, u.usage, u.summary);
        return;
    }
    std::printf("usage: kelvra %s %s\n\n%s\n", self.name, self.usage, self.summary);
    if (table.empty()) return;
    size_t width = 0;
    for (const Usage &u : table) width = std::max(width, std::strlen(u.name) + 1 + std::strlen(u.usage));
    width = std::min<size_t>(width, 52);
    std::printf("\nsubcommands (kelvra %s SUBCOMMAND --help for one):\n", self.name);
    for (const Usage &u : table) {
        const std::string head = std::string(u.name) + " " + u.usage;
        if (head.size() > width) std::printf("  %s\n  %-*s", head.c_str(), static_cast<int>(width), "");
        else std::printf("  %-*s", static_cast<int>(width), head.c_str());
        // A summary of several lines keeps to its column.
        for (const char *line = u.summary;;) {
            const char *end = std::strchr(line, '\n');
            const int length = static_cast<int>(end != nullptr ? end - line : std::strlen(line));
            std::printf("  %.*s\n", length, line);
            if (end == nullptr) break;
            line = end + 1;
            std::printf("  %-*s", static_cast<int>(width), "");
        }
    }
}

std::optional<uint64_t> number_argument(const char *name, const char *text) {
    if (const auto value = parse_u64(text)) return value;
    const std::string_view t(text);
    const char *why = "not a number; write it in decimal, as 0xHEX or like 2^61-1";
    if (!t.empty() && t[0] == '-') why = "negative";
    else if (!t.empty() &&
             std::all_of(t.begin(), t.end(),
                         [](char c) {
                             return std::isdigit(static_cast<unsigned char>(c)) || c == '^' || c == '+' || c == '-';
                         }) &&
             std::isdigit(static_cast<unsigned char>(t[0])))
        why = "larger than 2^64-1";
    else if (t.empty()) why = "empty";
    error(name, exit_usage, "'%s' is not an unsigned 64-bit number (%s)", text, why);
    return std::nullopt;
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
