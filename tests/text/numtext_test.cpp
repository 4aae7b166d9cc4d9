// Number text against the C library in the "C" locale (a program's own until
// it calls setlocale; the one test here that does restores it): "%.17g", "%lld",
// strtod and strtoll must agree byte for byte and bit for bit. Named hard
// cases and boundary sweeps live here; random sweeps are in
// fuzz/numtext_fuzz.cpp, the power-of-ten table against GMP in
// numtext_peer_test.cpp.
//
// The library exports only its C entry points, so the number-text unit is
// compiled into this test program as well (its copy inside the library is
// hidden and does not clash).
#include "text/numtext.cpp" // NOLINT(bugprone-suspicious-include)

#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/bits.hpp"

namespace {

using kelvra::text::format_double;
using kelvra::text::format_int;
using kelvra::text::parse_double_prefix;
using kelvra::text::parse_int_prefix;
using kelvra_test::bits;
using kelvra_test::from_bits;

std::string ours(double v) {
    char text[kelvra::text::double_text_max];
    return std::string(text, format_double(v, text));
}

// "%.17g". Whether a NaN shows its sign is the C library's choice: the text
// here shows it as glibc does ("-nan"), which MinGW's printf does not.
std::string libc(double v) {
    if (std::isnan(v)) return std::signbit(v) ? "-nan" : "nan";
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

double ours_parse(const std::string &token) { return parse_double_prefix(token.data(), token.data() + token.size()); }

// Bitwise agreement with strtod (so -0.0 and 0.0 differ) and with strtoll.
// Where strtod converts nothing it must return zero, which MinGW's returns as
// -0.0 after a minus sign; +0.0 is expected there.
::testing::AssertionResult parses_like_libc(const std::string &token) {
    char *end = nullptr;
    double expected = std::strtod(token.c_str(), &end);
    if (end == token.c_str()) expected = 0.0;
    const double got = ours_parse(token);
    const long long expected_int = std::strtoll(token.c_str(), nullptr, 10);
    const int64_t got_int = parse_int_prefix(token.data(), token.data() + token.size());
    if (bits(expected) == bits(got) && expected_int == got_int) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << token.substr(0, 80) << "\": strtod " << libc(expected) << ", ours "
                                         << libc(got) << "; strtoll " << expected_int << ", ours " << got_int;
}

TEST(FormatDouble, NamedValuesAndPowerBoundariesMatchPrintf) {
    std::vector<double> values = {0.0, -0.0, 1.0, 0.1, 2.5, 100.0, 1e16, 1e17, 1e21, 1e23, 1e-4, 1e-5, 1e-7,
                                  5e-324, 2.2250738585072009e-308, DBL_MIN, DBL_MAX, -DBL_MAX, 9007199254740993.0,
                                  1000000000000000.25, 1000000000000000.75, 4503599627370495.5, 99999999999999999.0,
                                  from_bits(0x7FF0000000000000u), from_bits(0xFFF0000000000000u),
                                  from_bits(0x7FF8000000000000u), from_bits(0xFFF0000000000001u)};
    for (int e = -323; e <= 308; ++e) {
        const double p = std::pow(10.0, e);
        values.insert(values.end(), {std::nextafter(p, 0.0), p, std::nextafter(p, INFINITY)});
    }
    for (int e = -1074; e <= 1023; ++e) values.push_back(std::ldexp(1.0, e));
    // Infinities and NaNs (the sign bit decides "-nan", payload or not) too.
    for (double v : values) ASSERT_EQ(ours(v), libc(v)) << "bits " << std::hex << bits(v);
}

TEST(FormatDouble, IntegersMatchPrintf) { // std::to_string is "%lld"
    for (int64_t v : {int64_t{0}, int64_t{-1}, int64_t{9}, int64_t{10}, INT64_MAX, INT64_MIN, int64_t{99999999},
                      int64_t{1000000000000000000}, int64_t{-999999999999999999}}) {
        char text[kelvra::text::int_text_max];
        EXPECT_EQ(std::string(text, format_int(v, text)), std::to_string(v));
    }
}

// Grammar edges, range limits, halfway points, long mantissas and the usual
// hard cases; each token and its negation against strtod and strtoll.
TEST(ParseNumber, NamedHardCasesMatchTheCLibrary) {
    const std::string one_and_half_ulp = "1.00000000000000011102230246251565404236316680908203125"; // 1 + 2^-53
    const std::string tokens[] = {
        "", "-", "+", ".", "-.", ".e5", "e5", "1e", "1e+", "1e-", "1E5", "1.", ".5", "+.5", "--5", "+-5", "1.2.3",
        "1-2", "1e5e6", "1e+-5", "00012", "+0", "5.e3", "12abc", "0e999999999999999999", "1e-99999999999999999999",
        "9223372036854775807", "9223372036854775808", "+9223372036854775808", "1e400", "1e-400",
        "1.7976931348623158e308", "1.7976931348623159e308", "0.0001e312", "0.1e309", "2.4703282292062327e-324",
        "2.4703282292062328e-324", "4.9406564584124654e-324", "2.2250738585072011e-308", "2.2250738585072012e-308",
        "4e-320", "0.1", "1e23", "1e22", "1e-22", "8.5e-23", "7.7e-324", "1e-323", "3e-324", "1e-342", "1e-343",
        "9.9999999999999999999e-343", "1e308", "1e309", "0.99999999999999999999e309", "9007199254740993",
        "9007199254740993e0", "900719925474099.3e1", "0.9007199254740993e16", "9007199254740991", "9007199254740992",
        "9007199254740994", "9007199254740995", "18014398509481985", "18014398509481986", "4503599627370496.5",
        "4503599627370497.5", "9007199254740993.0000000001", "9007199254740992.99999999999999999999",
        "9007199254740993.00000000000000000001", "8.988465674311580536566680e307", "1.7976931348623157e308",
        "1.79769313486231580793728971405301e308", one_and_half_ulp,
        "1.00000000000000011102230246251565404236316680908203124",
        "1.0000000000000002220446049250313080847263336181640625", "99999999999999999999", "9999999999999999999",
        "18446744073709551615", "18446744073709551616", "123456789012345678901234567890",
        "0.000000000000000000000000000001", "7.2057594037927933e16", "1.0000000000000000000000000000000000001",
        "0.10000000000000000555111512312578270211815834045410156250", one_and_half_ulp + std::string(800, '0'),
        one_and_half_ulp + std::string(800, '0') + "1", std::string(800, '9'), "0." + std::string(800, '0') + "1e700",
        std::string(400, '0') + "17.5" + std::string(400, '3') + "e-3"};
    for (const std::string &t : tokens) {
        EXPECT_TRUE(parses_like_libc(t));
        EXPECT_TRUE(parses_like_libc("-" + t));
    }
    const char *digits = "123";
    EXPECT_EQ(parse_int_prefix(digits, digits + 2), 12); // bytes past the end are not read
    EXPECT_EQ(parse_double_prefix(digits, digits + 2), 12.0);
}

// Compares tokens with strtod and counts those the fast paths (exact double
// arithmetic, the 128-bit product) decided without the exact fallback.
struct StrtodComparison {
    int checked = 0, decided = 0, mismatches = 0;
    void check(const std::string &token) {
        ++checked;
        kelvra::text::Decimal decimal;
        uint64_t out;
        const char *begin = token.data(), *end = begin + token.size();
        decided += kelvra::text::read_decimal(begin, begin + (token[0] == '-' || token[0] == '+'), end, decimal) &&
                   kelvra::text::decimal_to_bits(decimal, out);
        const ::testing::AssertionResult result = parses_like_libc(token);
        if (!result && ++mismatches <= 10) ADD_FAILURE() << result.message();
    }
};

TEST(ParseNumber, PowersOfTenAndRangeBoundariesMatchStrtod) {
    const char *significands[] = {"1", "9.999999999999999999", "1.000000000000000001", "4.9406564584124654",
                                  "2.4703282292062327", "2.4703282292062328", "1.7976931348623157",
                                  "1.7976931348623159", "2.2250738585072011", "2.2250738585072014",
                                  "8.98846567431158", "5"};
    StrtodComparison comparison;
    for (int exponent = -350; exponent <= 320; ++exponent) {
        for (const char *s : significands) comparison.check(std::string(s) + "e" + std::to_string(exponent));
    }
    EXPECT_GT(comparison.decided, comparison.checked * 9 / 10);
}

TEST(ParseNumber, EveryNumberOfTheCanadaDocumentMatchesStrtod) {
    const std::string path = std::string(KELVRA_TEST_CORPUS) + "/nativejson-benchmark/canada.json";
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << path;
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    StrtodComparison comparison;
    bool in_string = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') in_string = !in_string;
        if (in_string || !(c == '-' || (c >= '0' && c <= '9'))) continue;
        const size_t length = std::strspn(text.c_str() + i, "0123456789.eE+-");
        const std::string token = text.substr(i, length);
        if (token.find_first_of(".eE") != std::string::npos) comparison.check(token);
        i += length - 1;
    }
    EXPECT_GT(comparison.checked, 100000);
    EXPECT_EQ(comparison.decided, comparison.checked);
}

// Y is undecided when it or Y + 1 is a halfway point at the rounding bit.
TEST(RoundDecimal, HalfwayNeighboursOfTheProductAreRecognised) {
    using kelvra::text::decimal_round::next_to_halfway;
    using u128 = unsigned __int128;
    const u128 one = 1;
    for (int bit : {73, 74, 100, 127}) {
        const u128 half = one << bit;
        // Higher bits do not matter.
        for (u128 y : {half, half - 1, (half << 2) | half, (half << 2) | (half - 1)}) EXPECT_TRUE(next_to_halfway(y, bit)) << bit;
        for (u128 y : {half + 1, half - 2}) EXPECT_FALSE(next_to_halfway(y, bit)) << bit;
        EXPECT_FALSE(next_to_halfway(half << 1, bit == 127 ? 126 : bit)) << bit; // a representable point
    }
    EXPECT_TRUE(next_to_halfway(~u128{0}, 128)); // Y + 1 = 2^128
    EXPECT_FALSE(next_to_halfway(~u128{0} - 1, 128));
    EXPECT_FALSE(next_to_halfway(~u128{0}, 129));
}

// A host locale with a decimal comma must not change the numbers' text.
TEST(NumberTextLocale, DecimalCommaLocaleChangesNothing) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    bool german = false; // by glibc's name or the Windows C runtime's
    for (const char *name : {"de_DE.UTF-8", "German_Germany.1252"}) german = german || std::setlocale(LC_ALL, name);
    if (!german) GTEST_SKIP() << "no German locale is installed";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 2.5);
    const std::string text = ours(2.5) + " " + ours(1e21);
    const double parsed = ours_parse("2.5");
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_STREQ(probe, "2,5") << "the locale was expected to use a decimal comma";
    EXPECT_EQ(text, "2.5 1e+21");
    EXPECT_EQ(parsed, 2.5);
}

} // namespace
