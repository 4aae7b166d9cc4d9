// Number text against the C library in the "C" locale: the library's "%.17g"
// and "%lld" writers must match snprintf byte for byte, its parsers strtod and
// strtoll (base 10) bit for bit, on doubles and tokens built from the input.
//
// The number-text unit is compiled in (the library hides its own copy), and
// one-number JSON documents go through kelvra_json_parse and
// kelvra_json_write_ws as well, so the exported path is held to the same
// answers.
//
// The first input byte picks a mode; the rest feeds it:
//   0: 8 bytes as a double's bits (with masks that favour subnormals, the
//      fixed-notation exponents and short significands, where ties are likely)
//   1: 8 bytes as an int64, shifted right by the ninth byte
//   2: the bytes as a token over "0123456789.eE+-" (the parsers' alphabet)
//   3: a halfway point between neighbouring doubles, written out exactly, cut
//      short and nudged
//   4: digits with a point and a decimal exponent over the whole range
#include "text/numtext.cpp" // NOLINT(bugprone-suspicious-include)

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kelvra.h"
#include "text/json_record.hpp"

namespace {

namespace rec = kelvra::text::json_record;
using kelvra::text::format_double;
using kelvra::text::format_int;
using kelvra::text::parse_double_prefix;
using kelvra::text::parse_int_prefix;

struct Input {
    const uint8_t *data;
    size_t size;
    size_t at = 0;
    uint64_t take(int bytes) {
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) v = v << 8 | (at < size ? data[at++] : 0);
        return v;
    }
};

double from_bits(uint64_t b) {
    double v;
    std::memcpy(&v, &b, sizeof v);
    return v;
}

uint64_t to_bits(double v) {
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

[[noreturn]] void fail(const char *what, const std::string &detail) {
    std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
    std::abort();
}

// One number token as a JSON document, parsed by the exported function.
void check_json_document(const std::string &token, const std::string &document) {
    alignas(8) uint8_t arena[4096];
    kelvra_json_value *root = nullptr;
    const kelvra_status s = kelvra_json_parse(reinterpret_cast<const uint8_t *>(document.data()), document.size(),
                                              arena, sizeof arena, &root);
    if (token.empty() || token.size() > 62 || !(token[0] == '-' || (token[0] >= '0' && token[0] <= '9'))) return;
    if (s != 0) fail("kelvra_json_parse refused a number token", token);
    if (rec::load_kind(root) == KELVRA_JSON_ARRAY) root = rec::load_value_at(rec::load_array(root).items, 0);
    const bool real = token.find_first_of(".eE") != std::string::npos;
    if (rec::load_kind(root) != (real ? KELVRA_JSON_DOUBLE : KELVRA_JSON_INT)) fail("json kind", token);
    if (real) {
        if (to_bits(rec::load_double(root)) != to_bits(std::strtod(token.c_str(), nullptr))) fail("json double", token);
    } else if (rec::load_int(root) != std::strtoll(token.c_str(), nullptr, 10)) {
        fail("json int", token);
    }
}

// A one-number JSON document, parsed and written by the exported functions:
// the token alone (read by the general reader, as nothing follows it) and as
// the item of an array with room after it (read in one pass when usual).
void check_json(const std::string &token) {
    check_json_document(token, token);
    check_json_document(token, "[" + token + "]" + std::string(80, ' '));
}

void check_format(double v) {
    char ours[kelvra::text::double_text_max], libc[64];
    const size_t n = format_double(v, ours);
    std::snprintf(libc, sizeof libc, "%.17g", v);
    if (std::string(ours, n) != libc) fail("format_double", libc);
    if (!std::isfinite(v)) return;
    // Through the writer, then back through the parser: the same bits.
    alignas(8) uint8_t arena[64];
    uint8_t workspace[64], out[64];
    kelvra_json_builder b;
    kelvra_json_builder_init(&b, arena, sizeof arena);
    const kelvra_json_value *value = kelvra_json_new_double(&b, v);
    uint64_t length = 0;
    if (kelvra_json_write_ws(value, out, sizeof out, &length, workspace, sizeof workspace) != 0) fail("write", libc);
    const std::string text(reinterpret_cast<char *>(out), length);
    kelvra_json_value *root = nullptr;
    if (kelvra_json_parse(out, length, arena, sizeof arena, &root) != 0 ||
        to_bits(rec::load_double(root)) != to_bits(v)) {
        fail("written double does not read back", text);
    }
}

void check_parse(const std::string &token) {
    const double want = std::strtod(token.c_str(), nullptr);
    const double got = parse_double_prefix(token.data(), token.data() + token.size());
    if (to_bits(want) != to_bits(got)) fail("parse_double_prefix", token);
    if (parse_int_prefix(token.data(), token.data() + token.size()) != std::strtoll(token.c_str(), nullptr, 10))
        fail("parse_int_prefix", token);
    check_json(token);
}

// digits with the point after `point` of them (none when point == size) and
// the decimal exponent, spelled in one of strtod's ways.
std::string spell(const std::string &digits, size_t point, int exponent, uint64_t style) {
    std::string token = digits.substr(0, point);
    if (point < digits.size()) token += "." + digits.substr(point);
    if (exponent == 0 && style % 5 == 0) return token;
    token += style % 2 == 0 ? "e" : "E";
    if (exponent >= 0 && style % 3 == 0) token += "+";
    if (style % 7 == 0) token += exponent < 0 ? "-0" : "0";
    return token + std::to_string(exponent < 0 && style % 7 == 0 ? -exponent : exponent);
}

void halfway(Input &in) {
    const uint64_t style = in.take(1);
    uint64_t bits = in.take(8) & 0x7FFFFFFFFFFFFFFFu;
    if ((bits >> 52) == 0x7FF) bits ^= uint64_t{1} << 62;
    const double low = from_bits(bits);
    const double high = std::nextafter(low, INFINITY);
    if (!std::isfinite(high)) return; // no midpoint above the largest double
    const long double midpoint = (static_cast<long double>(low) + high) / 2;
    char text[1200];
    std::snprintf(text, sizeof text, "%.1100Le", midpoint);
    std::string mantissa(text, std::strchr(text, 'e'));
    const int exponent = std::atoi(std::strchr(text, 'e') + 1);
    while (mantissa.back() == '0') mantissa.pop_back();
    const std::string tail = "e" + std::to_string(exponent);
    check_parse(mantissa + tail);
    for (size_t cut : {17, 18, 19, 20, 21, 24}) {
        if (cut + 1 >= mantissa.size()) continue;
        const std::string prefix = mantissa.substr(0, cut + 1);
        check_parse(prefix + tail);
        check_parse(prefix + "1" + tail);
        check_parse(prefix + "99999" + tail);
    }
    // An odd 54-bit significand times 2^j, and its neighbours, as integers.
    const uint64_t odd = ((uint64_t{1} << 53) | (bits & ((uint64_t{1} << 53) - 1)) | 1) << (style % 10);
    for (uint64_t n : {odd - 1, odd, odd + 1}) {
        const std::string digits = std::to_string(n);
        check_parse(spell(digits, digits.size(), 0, style));
        check_parse(spell(digits, 1, static_cast<int>(digits.size()) - 1, style >> 3));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    std::setlocale(LC_ALL, "C");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    Input in{data + 1, size - 1};
    switch (data[0] % 5) {
    case 0: {
        uint64_t bits = in.take(8);
        const uint64_t mask = in.take(1);
        if (mask % 4 == 1) bits &= 0x800FFFFFFFFFFFFFu;
        if (mask % 4 == 2) bits = (bits & 0x800FFFFFFFFFFFFFu) | ((958 + (bits >> 52) % 130) << 52);
        if (mask % 4 == 3) bits &= 0xFFFFFFFFFF000000u;
        check_format(from_bits(bits));
        break;
    }
    case 1: {
        const int64_t v = static_cast<int64_t>(in.take(8)) >> (in.take(1) % 64);
        char ours[kelvra::text::int_text_max], libc[32];
        std::snprintf(libc, sizeof libc, "%lld", static_cast<long long>(v));
        if (std::string(ours, format_int(v, ours)) != libc) fail("format_int", libc);
        break;
    }
    case 2: {
        static const char alphabet[] = "0123456789.eE+-";
        std::string token;
        while (in.at < in.size && token.size() < 900) token += alphabet[in.take(1) % 15];
        check_parse(token);
        break;
    }
    case 3:
        halfway(in);
        break;
    default: {
        const size_t count = 1 + in.take(1) % 40;
        std::string digits(1, static_cast<char>('1' + in.take(1) % 9));
        while (digits.size() < count) digits += static_cast<char>('0' + in.take(1) % 10);
        const size_t point = in.take(1) % (digits.size() + 1);
        const int exponent = static_cast<int>(in.take(2) % 760) - 400;
        const std::string sign = in.take(1) % 4 == 0 ? "-" : "";
        check_parse(sign + spell(digits, point, exponent, in.take(1)));
        break;
    }
    }
    return 0;
}
