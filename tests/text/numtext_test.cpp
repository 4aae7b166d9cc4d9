// Number text against the C library run in the "C" locale: "%.17g", "%lld",
// strtod and strtoll must agree byte for byte and bit for bit.
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
#include <random>
#include <string>

#include "kelvra.h"

namespace {

using kelvra::text::format_double;
using kelvra::text::format_int;
using kelvra::text::parse_double_prefix;
using kelvra::text::parse_int_prefix;

#ifdef NDEBUG
constexpr int random_rounds = 1000000;
#else
constexpr int random_rounds = 150000;
#endif

// Runs a test body in the "C" locale and restores the previous one.
class CLocale : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = std::setlocale(LC_ALL, nullptr);
        std::setlocale(LC_ALL, "C");
    }
    void TearDown() override { std::setlocale(LC_ALL, saved_.c_str()); }

private:
    std::string saved_;
};

std::string ours(double v) {
    char text[kelvra::text::double_text_max];
    return std::string(text, format_double(v, text));
}

std::string libc(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

double from_bits(uint64_t bits) {
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

uint64_t to_bits(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

double ours_parse(const std::string &token) { return parse_double_prefix(token.data(), token.data() + token.size()); }

// Bitwise agreement with strtod (so -0.0 and 0.0 differ).
::testing::AssertionResult parses_like_strtod(const std::string &token) {
    const double expected = std::strtod(token.c_str(), nullptr);
    const double got = ours_parse(token);
    if (to_bits(expected) == to_bits(got)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << token << "\": strtod " << libc(expected) << ", ours " << libc(got);
}

::testing::AssertionResult parses_like_strtoll(const std::string &token) {
    const long long expected = std::strtoll(token.c_str(), nullptr, 10);
    const int64_t got = parse_int_prefix(token.data(), token.data() + token.size());
    if (expected == got) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << token << "\": strtoll " << expected << ", ours " << got;
}

using FormatDouble = CLocale;

TEST_F(FormatDouble, NamedValuesMatchPrintf) {
    const double values[] = {0.0, -0.0, 1.0, 0.1, 2.5, 100.0, 1e16, 1e17, 1e21, 1e23, 1e-4, 1e-5, 1e-7,
                             5e-324, 2.2250738585072009e-308, DBL_MIN, DBL_MAX, -DBL_MAX, 9007199254740993.0,
                             1000000000000000.25, 1000000000000000.75, 4503599627370495.5, 99999999999999999.0};
    for (double v : values) EXPECT_EQ(ours(v), libc(v)) << "bits " << std::hex << to_bits(v);
    EXPECT_EQ(ours(1000000000000000.25), "1000000000000000.2"); // an exact tie goes to even
    EXPECT_EQ(ours(from_bits(0x7FF0000000000000u)), "inf");
    EXPECT_EQ(ours(from_bits(0xFFF0000000000000u)), "-inf");
    EXPECT_EQ(ours(from_bits(0x7FF8000000000000u)), "nan");
    EXPECT_EQ(ours(from_bits(0xFFF0000000000001u)), "-nan"); // the sign bit decides, payload or not
}

TEST_F(FormatDouble, RandomBitPatternsMatchPrintf) {
    std::mt19937_64 rng(20240611);
    int mismatches = 0;
    for (int i = 0; i < random_rounds && mismatches < 10; ++i) {
        uint64_t bits = rng();
        if (i % 4 == 1) bits &= 0x800FFFFFFFFFFFFFu; // subnormals
        if (i % 4 == 2)                               // exponents where fixed notation is used
            bits = (bits & 0x800FFFFFFFFFFFFFu) | (static_cast<uint64_t>(958 + rng() % 130) << 52);
        if (i % 4 == 3) bits &= 0xFFFFFFFFFF000000u; // short significands make exact ties likelier
        const double v = from_bits(bits);
        if (ours(v) != libc(v)) {
            ++mismatches;
            ADD_FAILURE() << "bits " << std::hex << bits << ": ours " << ours(v) << ", printf " << libc(v);
        }
    }
}

TEST_F(FormatDouble, DecimalsAndNeighboursOfPowersMatchPrintf) {
    std::mt19937_64 rng(7);
    for (int i = 0; i < random_rounds / 10; ++i) {
        const double cents = static_cast<double>(static_cast<int64_t>(rng() % 2000001) - 1000000) / 100.0;
        ASSERT_EQ(ours(cents), libc(cents));
    }
    for (int e = -323; e <= 308; ++e) {
        const double p = std::pow(10.0, e);
        for (double v : {std::nextafter(p, 0.0), p, std::nextafter(p, INFINITY)}) ASSERT_EQ(ours(v), libc(v));
    }
    for (int e = -1074; e <= 1023; ++e) ASSERT_EQ(ours(std::ldexp(1.0, e)), libc(std::ldexp(1.0, e)));
}

TEST_F(FormatDouble, IntegersMatchPrintf) {
    std::mt19937_64 rng(11);
    auto check = [](int64_t v) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "%lld", static_cast<long long>(v));
        char text[kelvra::text::int_text_max];
        ASSERT_EQ(std::string(text, format_int(v, text)), expected);
    };
    for (int64_t v : {int64_t{0}, int64_t{9}, int64_t{10}, INT64_MAX, INT64_MIN, int64_t{99999999}}) check(v);
    for (int i = 0; i < 100000; ++i) check(static_cast<int64_t>(rng()) >> (rng() % 64));
}

using ParseNumber = CLocale;

TEST_F(ParseNumber, GrammarEdgesMatchTheCLibrary) {
    const char *tokens[] = {"", "-", "+", ".", "-.", ".e5", "e5", "1e", "1e+", "1e-", "1E5", "1.", ".5", "-.5",
                            "+.5", "--5", "+-5", "1.2.3", "1-2", "1e5e6", "1e+-5", "00012", "-0", "+0", "5.e3",
                            "0e999999999999999999", "1e-99999999999999999999", "9223372036854775807",
                            "9223372036854775808", "-9223372036854775809", "+9223372036854775808", "12abc"};
    for (const char *t : tokens) {
        EXPECT_TRUE(parses_like_strtod(t));
        EXPECT_TRUE(parses_like_strtoll(t));
    }
    const char *digits = "123";
    EXPECT_EQ(parse_int_prefix(digits, digits + 2), 12); // bytes past the end are not read
    EXPECT_EQ(parse_double_prefix(digits, digits + 2), 12.0);
}

TEST_F(ParseNumber, RangeLimitsHalfwaysAndLongMantissasMatchStrtod) {
    const std::string one_and_half_ulp = "1.00000000000000011102230246251565404236316680908203125"; // 1 + 2^-53
    const std::string tokens[] = {
        "1e400", "-1e400", "1e-400", "-1e-400", "1.7976931348623158e308", "1.7976931348623159e308",
        "0.0001e312", "0.1e309", "2.4703282292062327e-324", "2.4703282292062328e-324", "-2.4703282292062328e-324",
        "4.9406564584124654e-324", "2.2250738585072011e-308", "4e-320", "0.1", "1e23", "9007199254740993",
        "9007199254740993.0000000001", one_and_half_ulp, one_and_half_ulp + std::string(800, '0'),
        one_and_half_ulp + std::string(800, '0') + "1", std::string(800, '9'), "0." + std::string(800, '0') + "1e700",
        std::string(400, '0') + "17.5" + std::string(400, '3') + "e-3"};
    for (const std::string &t : tokens) EXPECT_TRUE(parses_like_strtod(t));
    EXPECT_EQ(ours_parse("1e400"), HUGE_VAL);
    EXPECT_EQ(to_bits(ours_parse("-1e-400")), to_bits(-0.0));
}

TEST_F(ParseNumber, RandomTokensMatchTheCLibrary) {
    std::mt19937_64 rng(99);
    const char others[] = ".eE+-";
    int mismatches = 0;
    for (int i = 0; i < random_rounds && mismatches < 10; ++i) {
        std::string token;
        for (int n = 1 + static_cast<int>(rng() % 30); n > 0; --n)
            token += rng() % 100 < 75 ? static_cast<char>('0' + rng() % 10) : others[rng() % 5];
        for (const auto &result : {parses_like_strtod(token), parses_like_strtoll(token)}) {
            if (!result) {
                ++mismatches;
                ADD_FAILURE() << result.message();
            }
        }
    }
}

// A host locale with a decimal comma must not change the numbers' text.
TEST(NumberTextLocale, DecimalCommaLocaleChangesNothing) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 2.5);
    const std::string host_text = probe;
    const std::string text = ours(2.5);
    const double parsed = ours_parse("2.5");

    uint8_t arena[512];
    kelvra_json_builder b;
    ASSERT_EQ(kelvra_json_builder_init(&b, arena, sizeof arena), 0u);
    kelvra_json_value *items[] = {kelvra_json_new_double(&b, 0.5), kelvra_json_new_double(&b, 1e21)};
    kelvra_json_value *root = kelvra_json_new_array(&b, items, 2);
    uint8_t workspace[64];
    uint8_t out[64];
    uint64_t length = 0;
    const kelvra_status status = kelvra_json_write_ws(root, out, sizeof out, &length, workspace, sizeof workspace);
    std::setlocale(LC_ALL, saved.c_str());

    EXPECT_EQ(host_text, "2,5") << "the locale was expected to use a decimal comma";
    EXPECT_EQ(text, "2.5");
    EXPECT_EQ(parsed, 2.5);
    ASSERT_EQ(status, 0u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out), length), "[0.5, 1e+21]");
}

} // namespace
