// Number text against the C library run in the "C" locale: "%.17g", "%lld",
// strtod and strtoll must agree byte for byte and bit for bit.
//
// The library exports only its C entry points, so the number-text unit is
// compiled into this test program as well (its copy inside the library is
// hidden and does not clash).
#include "text/numtext.cpp" // NOLINT(bugprone-suspicious-include)

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

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

// --- The fast conversion paths (exact double arithmetic and the 128-bit
// product) against strtod ---

#ifdef NDEBUG
constexpr int fast_path_rounds = 300000;
constexpr int halfway_rounds = 20000;
#else
constexpr int fast_path_rounds = 40000;
constexpr int halfway_rounds = 3000;
#endif

// Whether the fast paths decide the token without the exact fallback.
bool decided_without_fallback(const std::string &token) {
    const char *begin = token.data();
    const char *end = begin + token.size();
    const char *p = begin + (token[0] == '-' || token[0] == '+');
    kelvra::text::Decimal decimal;
    uint64_t bits;
    return kelvra::text::read_decimal(begin, p, end, decimal) && kelvra::text::decimal_to_bits(decimal, bits);
}

// Compares tokens with strtod, reporting the first few mismatches, and counts
// the tokens the fast paths decided on their own.
struct StrtodComparison {
    int checked = 0;
    int decided = 0;
    int mismatches = 0;

    void check(const std::string &token) {
        ++checked;
        decided += decided_without_fallback(token) ? 1 : 0;
        const ::testing::AssertionResult result = parses_like_strtod(token);
        if (!result && ++mismatches <= 10) ADD_FAILURE() << result.message();
    }
};

std::string random_digits(std::mt19937_64 &rng, int count) {
    std::string digits(1, static_cast<char>('1' + rng() % 9));
    while (static_cast<int>(digits.size()) < count) digits += static_cast<char>('0' + rng() % 10);
    return digits;
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

TEST_F(ParseNumber, LongSignificandsOverTheWholeExponentRangeMatchStrtod) {
    std::mt19937_64 rng(2021);
    StrtodComparison comparison;
    for (int i = 0; i < fast_path_rounds && comparison.mismatches < 10; ++i) {
        const std::string digits = random_digits(rng, 15 + static_cast<int>(rng() % 5));
        const size_t point = rng() % (digits.size() + 1);
        const int exponent = static_cast<int>(rng() % 700) - 365; // w * 10^q with q from -384 to 334
        const std::string sign = rng() % 4 == 0 ? "-" : "";
        comparison.check(sign + spell(digits, point, exponent, rng()));
    }
    // Out-of-range exponents and the rare undecided products aside, the fast
    // paths decide.
    EXPECT_GT(comparison.decided, comparison.checked * 99 / 100);
}

TEST_F(ParseNumber, ShortDecimalsMatchStrtod) {
    std::mt19937_64 rng(22);
    StrtodComparison comparison;
    for (int i = 0; i < fast_path_rounds && comparison.mismatches < 10; ++i) {
        const std::string digits = random_digits(rng, 1 + static_cast<int>(rng() % 16));
        const int exponent = static_cast<int>(rng() % 61) - 30; // around the exact powers 10^-22..10^22
        comparison.check(spell(digits, rng() % (digits.size() + 1), exponent, rng()));
    }
    EXPECT_EQ(comparison.decided, comparison.checked);
}

// Halfway points between neighbouring doubles, written exactly, cut short and
// nudged: ties to even, truncated significands whose bounds round apart, and
// the products that sit next to a rounding boundary.
TEST_F(ParseNumber, HalfwayPointsAndTheirNeighboursMatchStrtod) {
    std::mt19937_64 rng(53);
    StrtodComparison comparison;
    for (int i = 0; i < halfway_rounds && comparison.mismatches < 10; ++i) {
        // An odd 54-bit significand is a halfway point; times 2^j it stays one.
        const uint64_t odd = (uint64_t{1} << 53) | (rng() & ((uint64_t{1} << 53) - 1)) | 1;
        const uint64_t integer = odd << (rng() % 10);
        for (int delta = -1; delta <= 1; ++delta) {
            std::string digits = std::to_string(integer + static_cast<uint64_t>(delta));
            int exponent = 0;
            while (digits.size() > 1 && digits.back() == '0') {
                digits.pop_back();
                ++exponent;
            }
            comparison.check(spell(digits, digits.size(), exponent, rng()));
            comparison.check(spell(digits, 1, exponent + static_cast<int>(digits.size()) - 1, rng()));
        }
        // odd / 2^j = odd * 5^j / 10^j: halfway points with a fraction (j <= 3
        // keeps 19 digits).
        const int j = 1 + static_cast<int>(rng() % 3);
        uint64_t scaled = odd;
        for (int k = 0; k < j; ++k) scaled *= 5;
        const std::string fraction = std::to_string(scaled);
        comparison.check(spell(fraction, fraction.size() - static_cast<size_t>(j), 0, 5));
        // The exact midpoint of random neighbours, anywhere in the range
        // (subnormals included), and its truncations.
        uint64_t bits = rng() & 0x7FFFFFFFFFFFFFFFu;
        if (i % 8 == 0) bits &= 0x000FFFFFFFFFFFFFu;
        if ((bits >> 52) == 0x7FF) bits ^= uint64_t{1} << 62;
        const double low = from_bits(bits);
        const long double midpoint = (static_cast<long double>(low) + std::nextafter(low, INFINITY)) / 2;
        char text[1200];
        std::snprintf(text, sizeof text, "%.1100Le", midpoint);
        std::string mantissa(text, std::strchr(text, 'e'));
        const int exponent = std::atoi(std::strchr(text, 'e') + 1);
        while (mantissa.back() == '0') mantissa.pop_back();
        const std::string tail = "e" + std::to_string(exponent);
        comparison.check(mantissa + tail);
        for (size_t cut : {17, 18, 19, 20, 21, 24}) {
            if (cut + 1 >= mantissa.size()) continue;
            const std::string prefix = mantissa.substr(0, cut + 1); // "d." and cut - 1 digits
            comparison.check(prefix + tail);
            comparison.check(prefix + "1" + tail);
            comparison.check(prefix + "99999" + tail);
        }
    }
}

TEST_F(ParseNumber, PowersOfTenAndRangeBoundariesMatchStrtod) {
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

TEST_F(ParseNumber, NamedHardCasesMatchStrtod) {
    const std::string tokens[] = {
        "9007199254740993", "9007199254740993e0", "900719925474099.3e1", "0.9007199254740993e16",
        "9007199254740991", "9007199254740992", "9007199254740994", "9007199254740995", "18014398509481985",
        "18014398509481986", "4503599627370496.5", "4503599627370497.5", "1e23", "1e22", "1e-22", "8.5e-23",
        "8.988465674311580536566680e307", "2.2250738585072011e-308", "2.2250738585072012e-308",
        "4.9406564584124654e-324", "7.7e-324", "2.4703282292062327e-324", "1e-323", "3e-324",
        "1.7976931348623157e308", "1.79769313486231580793728971405301e308", "9007199254740992.99999999999999999999",
        "9007199254740993.00000000000000000001", "1.00000000000000011102230246251565404236316680908203125",
        "1.00000000000000011102230246251565404236316680908203124", "1.0000000000000002220446049250313080847263336181640625",
        "99999999999999999999", "9999999999999999999", "18446744073709551615", "18446744073709551616",
        "123456789012345678901234567890", "0.000000000000000000000000000001", "7.2057594037927933e16",
        "1.0000000000000000000000000000000000001", "0.10000000000000000555111512312578270211815834045410156250",
        "1e-342", "1e-343", "9.9999999999999999999e-343", "1e308", "1e309", "0.99999999999999999999e309"};
    StrtodComparison comparison;
    for (const std::string &t : tokens) {
        comparison.check(t);
        comparison.check("-" + t);
    }
}

TEST_F(ParseNumber, EveryNumberOfTheCanadaDocumentMatchesStrtod) {
    const std::string path = std::string(KELVRA_TEST_CORPUS) + "/nativejson-benchmark/canada.json";
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << path;
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string text = buffer.str();
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

// The power-of-five table against big-integer arithmetic: the entries are
// built as the table's header describes, and binary_exponent(q) is
// floor(q * log2(10)).
using Big = std::vector<uint32_t>; // little-endian limbs

Big big_from(unsigned __int128 v) {
    Big b;
    for (; v != 0; v >>= 32) b.push_back(static_cast<uint32_t>(v));
    return b;
}

Big times(const Big &a, const Big &b) {
    Big r(a.size() + b.size(), 0);
    for (size_t i = 0; i < a.size(); ++i) {
        uint64_t carry = 0;
        for (size_t j = 0; j < b.size(); ++j) {
            const uint64_t t = static_cast<uint64_t>(a[i]) * b[j] + r[i + j] + carry;
            r[i + j] = static_cast<uint32_t>(t);
            carry = t >> 32;
        }
        r[i + b.size()] = static_cast<uint32_t>(carry);
    }
    while (!r.empty() && r.back() == 0) r.pop_back();
    return r;
}

Big plus(const Big &a, const Big &b) {
    Big r(std::max(a.size(), b.size()) + 1, 0);
    uint64_t carry = 0;
    for (size_t i = 0; i < r.size(); ++i) {
        carry += (i < a.size() ? a[i] : 0u) + static_cast<uint64_t>(i < b.size() ? b[i] : 0u);
        r[i] = static_cast<uint32_t>(carry);
        carry >>= 32;
    }
    while (!r.empty() && r.back() == 0) r.pop_back();
    return r;
}

Big power_of_two(int k) {
    Big b(static_cast<size_t>(k / 32) + 1, 0);
    b.back() = uint32_t{1} << (k % 32);
    return b;
}

int bit_length(const Big &b) { return b.empty() ? 0 : 32 * static_cast<int>(b.size() - 1) + 32 - __builtin_clz(b.back()); }

int compare(const Big &a, const Big &b) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    for (size_t i = a.size(); i-- > 0;) {
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    }
    return 0;
}

TEST(Pow5Table, EntriesAreBuiltAsDocumented) {
    namespace pow5 = kelvra::text::pow5;
    std::vector<Big> powers{Big{1}};
    for (int p = 1; p <= -pow5::pow5_min; ++p) powers.push_back(times(powers.back(), Big{5}));
    for (int q = pow5::pow5_min; q <= pow5::pow5_max; ++q) {
        const pow5::Significand128 entry = pow5::table[q - pow5::pow5_min];
        const unsigned __int128 c = (static_cast<unsigned __int128>(entry.hi) << 64) | entry.lo;
        ASSERT_EQ(entry.hi >> 63, 1u) << q;
        const Big &five = powers[static_cast<size_t>(q < 0 ? -q : q)];
        const int z = bit_length(five);
        // 2^e <= 10^q < 2^(e + 1), and 10^q = 5^q * 2^q; 5^-q is never a power of two.
        ASSERT_EQ(pow5::binary_exponent(q), q >= 0 ? z + q - 1 : q - z) << q;
        if (q >= 0) {
            const int s = z - 128; // c = floor(5^q / 2^s), or 5^q * 2^-s exactly
            if (s <= 0) {
                ASSERT_EQ(compare(times(five, power_of_two(-s)), big_from(c)), 0) << q;
            } else {
                ASSERT_LE(compare(times(big_from(c), power_of_two(s)), five), 0) << q;
                ASSERT_GT(compare(times(big_from(c + 1), power_of_two(s)), five), 0) << q;
            }
            continue;
        }
        // c = floor((floor(2^b / 5^-q) + 1) / 2^t), which holds exactly when
        // c * 2^t * 5^-q <= 2^b + 5^-q < (c + 1) * 2^t * 5^-q.
        const int b = q >= -27 ? z + 127 : 2 * z + 128;
        const int t = q >= -27 ? 0 : z + 1;
        const Big bound = plus(power_of_two(b), five);
        ASSERT_LE(compare(times(times(big_from(c), power_of_two(t)), five), bound), 0) << q;
        ASSERT_GT(compare(times(times(big_from(c + 1), power_of_two(t)), five), bound), 0) << q;
    }
}

// Y is undecided when it or Y + 1 is a halfway point at the rounding bit.
TEST(RoundDecimal, HalfwayNeighboursOfTheProductAreRecognised) {
    using kelvra::text::next_to_halfway;
    using u128 = unsigned __int128;
    const u128 one = 1;
    for (int bit : {73, 74, 100, 127}) {
        const u128 half = one << bit;
        EXPECT_TRUE(next_to_halfway(half, bit)) << bit;
        EXPECT_TRUE(next_to_halfway(half - 1, bit)) << bit;
        EXPECT_TRUE(next_to_halfway((half << 2) | half, bit)) << bit; // higher bits do not matter
        EXPECT_TRUE(next_to_halfway((half << 2) | (half - 1), bit)) << bit;
        EXPECT_FALSE(next_to_halfway(half + 1, bit)) << bit;
        EXPECT_FALSE(next_to_halfway(half - 2, bit)) << bit;
        EXPECT_FALSE(next_to_halfway(half << 1, bit == 127 ? 126 : bit)) << bit; // a representable point
    }
    EXPECT_TRUE(next_to_halfway(~u128{0}, 128)); // Y + 1 = 2^128
    EXPECT_FALSE(next_to_halfway(~u128{0} - 1, 128));
    EXPECT_FALSE(next_to_halfway(~u128{0}, 129));
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
