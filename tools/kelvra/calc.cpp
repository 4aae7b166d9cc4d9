// kelvra calc FUNC ARGS...: the library's exact rationals, continued
// fractions, fixed-point elementary functions and orbital routines from the
// shell, and the calculator section of kelvra demo.
//
// Doubles are printed twice: "%.17g" (enough digits to read the value back)
// and "%a" (the exact bits). Arguments are decimal or hexadecimal
// floating-point numbers, or pi, -pi and pi/N; rationals are N/D, integers
// or exact decimals such as 3.14159265 (read as 314159265/100000000).
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli.hpp"

namespace kelvra::cli {

extern const Command calc_command;
int demo_calc(int section_number);

namespace {

constexpr double kPi = 3.141592653589793;

// ---- reading arguments ---------------------------------------------------------

std::optional<double> parse_plain_double(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    auto format = std::chars_format::general;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        format = std::chars_format::hex;
    }
    if (text.empty() || text[0] == '-' || text[0] == '+') return std::nullopt;
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, format);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return negative ? -value : value;
}

// A number, or pi, -pi, pi/N, -pi/N.
std::optional<double> parse_double(std::string_view text) {
    bool negative = false;
    std::string_view rest = text;
    if (!rest.empty() && rest[0] == '-') {
        negative = true;
        rest.remove_prefix(1);
    }
    if (rest.substr(0, 2) == "pi") {
        double value = kPi;
        if (rest.size() > 2) {
            if (rest[2] != '/') return std::nullopt;
            const auto divisor = parse_plain_double(rest.substr(3));
            if (!divisor || *divisor == 0) return std::nullopt;
            value = kPi / *divisor;
        }
        return negative ? -value : value;
    }
    return parse_plain_double(text);
}

struct Rational {
    int64_t num;
    uint64_t den;
};

std::optional<uint64_t> parse_unsigned(std::string_view text) {
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// N/D, an integer, or an exact decimal; empty when it does not fit.
std::optional<Rational> parse_rational(std::string_view text) {
    bool negative = false;
    if (!text.empty() && text[0] == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    uint64_t magnitude = 0, den = 1;
    if (const size_t slash = text.find('/'); slash != std::string_view::npos) {
        const auto n = parse_unsigned(text.substr(0, slash));
        const auto d = parse_unsigned(text.substr(slash + 1));
        if (!n || !d) return std::nullopt;
        magnitude = *n;
        den = *d;
    } else {
        const size_t point = text.find('.');
        const std::string digits = point == std::string_view::npos
                                       ? std::string(text)
                                       : std::string(text.substr(0, point)) + std::string(text.substr(point + 1));
        const auto n = parse_unsigned(digits);
        if (!n) return std::nullopt;
        magnitude = *n;
        for (size_t i = point == std::string_view::npos ? 0 : text.size() - point - 1; i > 0; --i) {
            if (den > UINT64_MAX / 10) return std::nullopt;
            den *= 10;
        }
    }
    if (magnitude > static_cast<uint64_t>(INT64_MAX) + (negative ? 1 : 0)) return std::nullopt;
    const int64_t num = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    return Rational{num, den};
}

// ---- printing -------------------------------------------------------------------------

void print_double(const char *label, double value) { std::printf("%s = %.17g  (%a)\n", label, value, value); }

void print_rational(const char *label, int64_t num, uint64_t den) {
    const double approx = static_cast<double>(num) / static_cast<double>(den);
    std::printf("%s = %" PRId64 "/%" PRIu64 " = %.17g  (%a)\n", label, num, den, approx, approx);
}

std::string double_text(double x) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", x);
    return text;
}

// ---- the functions ----------------------------------------------------------------------

struct Function {
    const char *name;
    const char *arguments;
    int arity_min, arity_max;
    int (*run)(const Function &f, Args args);
};

int bad_argument(const char *name, const char *text) {
    std::fprintf(stderr, "kelvra calc %s: cannot read '%s' as a number of this argument (kelvra calc %s --help)\n",
                 name, text, name);
    return exit_usage;
}

// Reads argument i as a double into `out`, or returns the usage exit code.
#define CALC_DOUBLE(out, i)                                                                                            \
    double out;                                                                                                        \
    if (const auto parsed_ = parse_double(args[i]); parsed_) {                                                         \
        out = *parsed_;                                                                                                \
    } else {                                                                                                           \
        return bad_argument(f.name, args[i]);                                                                          \
    }

#define CALC_RATIONAL(out, i)                                                                                          \
    Rational out;                                                                                                      \
    if (const auto parsed_ = parse_rational(args[i]); parsed_) {                                                       \
        out = *parsed_;                                                                                                \
    } else {                                                                                                           \
        return bad_argument(f.name, args[i]);                                                                          \
    }

// A value written together with a status: printed either way, then the
// failure reported.
int report(const char *label, const char *call, double value, kelvra_status status) {
    print_double(label, value);
    std::fflush(stdout); // the value first, then the failure on stderr
    return status == KELVRA_OK ? 0 : fail(call, status);
}

int run_unary(const Function &f, Args args) {
    CALC_DOUBLE(x, 0);
    struct Entry {
        const char *name;
        const char *call;
        kelvra_status (*fn)(double, double *);
    };
    static const Entry entries[] = {
        {"exp", "kelvra_exp", kelvra_exp},    {"log", "kelvra_log", kelvra_log},
        {"sin", "kelvra_sin", kelvra_sin},    {"cos", "kelvra_cos", kelvra_cos},
        {"atan", "kelvra_atan", kelvra_atan}, {"sqrt", "kelvra_rational_sqrt", kelvra_rational_sqrt},
    };
    for (const Entry &e : entries) {
        if (std::strcmp(e.name, f.name) != 0) continue;
        double out = 0;
        const kelvra_status status = e.fn(x, &out);
        const std::string label = std::string(f.name) + "(" + double_text(x) + ")";
        return report(label.c_str(), e.call, out, status);
    }
    return 2;
}

int run_atan2(const Function &f, Args args) {
    CALC_DOUBLE(y, 0);
    CALC_DOUBLE(x, 1);
    double out = 0;
    const kelvra_status status = kelvra_atan2(y, x, &out);
    const std::string label = "atan2(" + double_text(y) + ", " + double_text(x) + ")";
    return report(label.c_str(), "kelvra_atan2", out, status);
}

int run_kepler(const Function &f, Args args) {
    CALC_DOUBLE(m, 0);
    CALC_DOUBLE(e, 1);
    double tolerance = 1e-15;
    uint32_t iterations = 50;
    if (args.size() > 2) {
        CALC_DOUBLE(t, 2);
        tolerance = t;
    }
    if (args.size() > 3) {
        const auto n = parse_unsigned(args[3]);
        if (!n || *n > UINT32_MAX) return bad_argument(f.name, args[3]);
        iterations = static_cast<uint32_t>(*n);
    }
    double out = 0;
    const kelvra_status status = kelvra_kepler_solve(m, e, tolerance, iterations, &out);
    const std::string label = "E(M = " + double_text(m) + ", e = " + double_text(e) + ")";
    return report(label.c_str(), "kelvra_kepler_solve", out, status);
}

int run_equation_of_centre(const Function &f, Args args) {
    CALC_DOUBLE(m, 0);
    CALC_DOUBLE(e, 1);
    const auto order = parse_unsigned(args[2]);
    if (!order || *order > 1000) return bad_argument(f.name, args[2]);
    double out = 0;
    const kelvra_status status = kelvra_equation_of_centre(m, e, static_cast<int32_t>(*order), &out);
    if (status != KELVRA_OK) return fail("kelvra_equation_of_centre", status);
    print_double("true - mean anomaly", out);
    return 0;
}

int run_pin_slot(const Function &f, Args args) {
    CALC_DOUBLE(theta, 0);
    CALC_DOUBLE(r, 1);
    CALC_DOUBLE(d, 2);
    double out = 0;
    const kelvra_status status = kelvra_pin_slot(theta, r, d, &out);
    if (status != KELVRA_OK) return fail("kelvra_pin_slot", status);
    print_double("slot angle", out);
    return 0;
}

int run_rational_binary(const Function &f, Args args) {
    CALC_RATIONAL(a, 0);
    CALC_RATIONAL(b, 1);
    int64_t num = 0;
    uint64_t den = 0;
    kelvra_status status;
    const char *call;
    const char *symbol;
    if (std::strcmp(f.name, "rational-add") == 0) {
        status = kelvra_rational_add(a.num, a.den, b.num, b.den, &num, &den);
        call = "kelvra_rational_add";
        symbol = "+";
    } else if (std::strcmp(f.name, "rational-mul") == 0) {
        status = kelvra_rational_mul(a.num, a.den, b.num, b.den, &num, &den);
        call = "kelvra_rational_mul";
        symbol = "*";
    } else {
        status = kelvra_rational_div(a.num, a.den, b.num, b.den, &num, &den);
        call = "kelvra_rational_div";
        symbol = "/";
    }
    if (status != KELVRA_OK) return fail(call, status);
    char label[128];
    std::snprintf(label, sizeof label, "%" PRId64 "/%" PRIu64 " %s %" PRId64 "/%" PRIu64, a.num, a.den, symbol, b.num,
                  b.den);
    print_rational(label, num, den);
    return 0;
}

int run_rational_pow(const Function &f, Args args) {
    CALC_RATIONAL(a, 0);
    const auto e = parse_unsigned(args[1]);
    if (!e || *e > UINT32_MAX) return bad_argument(f.name, args[1]);
    int64_t num = 0;
    uint64_t den = 0;
    const kelvra_status status = kelvra_rational_pow_uint(a.num, a.den, static_cast<uint32_t>(*e), &num, &den);
    if (status != KELVRA_OK) return fail("kelvra_rational_pow_uint", status);
    char label[96];
    std::snprintf(label, sizeof label, "(%" PRId64 "/%" PRIu64 ")^%" PRIu64, a.num, a.den, *e);
    print_rational(label, num, den);
    return 0;
}

int run_exp_series(const Function &f, Args args) {
    CALC_RATIONAL(x, 0);
    const auto order = parse_unsigned(args[1]);
    if (!order || *order > UINT32_MAX) return bad_argument(f.name, args[1]);
    int64_t num = 0;
    uint64_t den = 0;
    const kelvra_status status = kelvra_exp_series_truncate(x.num, x.den, static_cast<uint32_t>(*order), &num, &den);
    if (status != KELVRA_OK) return fail("kelvra_exp_series_truncate", status);
    char label[96];
    std::snprintf(label, sizeof label, "sum_{k<=%" PRIu64 "} (%" PRId64 "/%" PRIu64 ")^k/k!", *order, x.num, x.den);
    print_rational(label, num, den);
    return 0;
}

// Non-negative rationals for the continued-fraction commands.
std::optional<Rational> parse_non_negative(const char *text) {
    const auto r = parse_rational(text);
    if (!r || r->num < 0) return std::nullopt;
    return r;
}

int run_continued_fraction(const Function &f, Args args) {
    const auto x = parse_non_negative(args[0]);
    if (!x) return bad_argument(f.name, args[0]);
    uint64_t terms[128];
    uint32_t count = 0;
    const kelvra_status status = kelvra_continued_fraction(static_cast<uint64_t>(x->num), x->den, terms, 128, &count);
    if (status != KELVRA_OK) return fail("kelvra_continued_fraction", status);
    std::printf("%" PRId64 "/%" PRIu64 " = [", x->num, x->den);
    for (uint32_t i = 0; i < count; ++i)
        std::printf(i == 0 ? "%" PRIu64 : i == 1 ? "; %" PRIu64 : ", %" PRIu64, terms[i]);
    std::printf("]\n");
    // Convergents in signed 64-bit arithmetic (a term or convergent past
    // 2^63 - 1 cannot be shown that way).
    int64_t signed_terms[128], p[128], q[128];
    bool representable = true;
    for (uint32_t i = 0; i < count; ++i) {
        representable = representable && terms[i] <= static_cast<uint64_t>(INT64_MAX);
        signed_terms[i] = static_cast<int64_t>(terms[i]);
    }
    if (!representable || kelvra_cf_convergents_int64(signed_terms, count, p, q) != KELVRA_OK) {
        std::printf("convergents: beyond the signed 64-bit range\n");
        return 0;
    }
    std::printf("convergents:");
    for (uint32_t i = 0; i < count; ++i) std::printf(" %" PRId64 "/%" PRId64, p[i], q[i]);
    std::printf("\n");
    return 0;
}

int run_best_rational(const Function &f, Args args) {
    const auto x = parse_non_negative(args[0]);
    if (!x) return bad_argument(f.name, args[0]);
    const auto max_den = parse_unsigned(args[1]);
    if (!max_den) return bad_argument(f.name, args[1]);
    uint64_t num = 0, den = 0;
    const kelvra_status status = kelvra_best_rational(static_cast<uint64_t>(x->num), x->den, *max_den, &num, &den);
    if (status != KELVRA_OK) return fail("kelvra_best_rational", status);
    const double approx = static_cast<double>(num) / static_cast<double>(den);
    std::printf("best rational for %" PRId64 "/%" PRIu64 " with denominator <= %" PRIu64 ": %" PRIu64 "/%" PRIu64
                " = %.17g  (%a)\n",
                x->num, x->den, *max_den, num, den, approx, approx);
    return 0;
}

#undef CALC_DOUBLE
#undef CALC_RATIONAL

const Function functions[] = {
    {"exp", "X", 1, 1, run_unary},
    {"log", "X", 1, 1, run_unary},
    {"sin", "X", 1, 1, run_unary},
    {"cos", "X", 1, 1, run_unary},
    {"atan", "X", 1, 1, run_unary},
    {"atan2", "Y X", 2, 2, run_atan2},
    {"sqrt", "X", 1, 1, run_unary},
    {"kepler", "M E [TOLERANCE [ITERATIONS]]", 2, 4, run_kepler},
    {"equation-of-centre", "M E ORDER", 3, 3, run_equation_of_centre},
    {"pin-slot", "THETA R D", 3, 3, run_pin_slot},
    {"rational-add", "A B", 2, 2, run_rational_binary},
    {"rational-mul", "A B", 2, 2, run_rational_binary},
    {"rational-div", "A B", 2, 2, run_rational_binary},
    {"rational-pow", "A N", 2, 2, run_rational_pow},
    {"exp-series", "X ORDER", 2, 2, run_exp_series},
    {"cf", "X", 1, 1, run_continued_fraction},
    {"best-rational", "X MAX_DEN", 2, 2, run_best_rational},
};

void list_functions(FILE *to) {
    std::fprintf(to, "functions:\n");
    for (const Function &f : functions) std::fprintf(to, "  %-20s %s\n", f.name, f.arguments);
    std::fprintf(to, "X, Y, M, E, THETA, R, D: numbers (also 0x1.8p+1, pi, pi/4); A, B, X of the rational\n"
                     "functions: N/D, integers or exact decimals.\n");
}

void help_calc(const Command &self, Args before) {
    for (const Function &f : functions) {
        if (before.empty() || std::strcmp(before[0], f.name) != 0) continue;
        std::printf("usage: kelvra calc %s %s\n", f.name, f.arguments);
        return;
    }
    std::printf("usage: kelvra calc %s\n\n%s\n\n", self.usage, self.summary);
    list_functions(stdout);
}

int run_calc(Args all) {
    const std::vector<char *> operand_list = operands(all);
    const Args args(operand_list.data(), operand_list.size());
    if (args.empty()) {
        const int code = usage_error(calc_command, "no function given");
        list_functions(stderr);
        return code;
    }
    if (std::strcmp(args[0], "help") == 0 || std::strcmp(args[0], "--help") == 0) {
        list_functions(stdout);
        return 0;
    }
    for (const Function &f : functions) {
        if (std::strcmp(f.name, args[0]) != 0) continue;
        const Args rest = args.subspan(1);
        if (static_cast<int>(rest.size()) < f.arity_min || static_cast<int>(rest.size()) > f.arity_max) {
            std::fprintf(stderr, "kelvra calc %s: takes %s, not %zu argument%s\nusage: kelvra calc %s %s\n", f.name,
                         f.arguments, rest.size(), rest.size() == 1 ? "" : "s", f.name, f.arguments);
            return exit_usage;
        }
        return f.run(f, rest);
    }
    const std::string problem = "unknown function '" + std::string(args[0]) + "'";
    const int code = usage_error(calc_command, problem.c_str());
    list_functions(stderr);
    return code;
}

// ---- the demo ----------------------------------------------------------------------------

int demo_rationals() {
    int64_t n = 0;
    uint64_t d = 0;
    DEMO_CALL(kelvra_rational_add(1, 2, 1, 3, &n, &d));
    std::printf("   1/2 + 1/3 = %" PRId64 "/%" PRIu64 "\n", n, d);
    DEMO_CALL(kelvra_rational_pow_uint(-2, 3, 13, &n, &d));
    std::printf("   (-2/3)^13 = %" PRId64 "/%" PRIu64 "\n", n, d);
    const kelvra_status overflow = kelvra_rational_pow_uint(2, 3, 41, &n, &d);
    std::printf("   (2/3)^41 does not fit in 64 bits: status %u (%s)\n", overflow, status_name(overflow));
    DEMO_CALL(kelvra_exp_series_truncate(1, 1, 20, &n, &d));
    std::printf("   sum of 1/k! for k <= 20 = %" PRId64 "/%" PRIu64 "\n", n, d);
    std::printf("                           = %.17g (e rounds to %.17g)\n",
                static_cast<double>(n) / static_cast<double>(d), 2.718281828459045);
    return 0;
}

int demo_pi_fraction() {
    // pi's double is exactly 884279719003555 / 2^48.
    const uint64_t num = 884279719003555u, den = uint64_t{1} << 48;
    uint64_t terms[128];
    uint32_t count = 0;
    DEMO_CALL(kelvra_continued_fraction(num, den, terms, 128, &count));
    std::printf("   pi as a double = %" PRIu64 "/2^48 = [%" PRIu64 ";", num, terms[0]);
    for (uint32_t i = 1; i < count && i < 13; ++i) std::printf(" %" PRIu64 "%s", terms[i], i + 1 < count ? "," : "");
    std::printf(" ...] (%u terms)\n", count);
    for (const uint64_t max_den : {10u, 100u, 1000u, 100000u, 100000000u}) {
        uint64_t p = 0, q = 0;
        DEMO_CALL(kelvra_best_rational(num, den, max_den, &p, &q));
        const double value = static_cast<double>(p) / static_cast<double>(q);
        std::printf("   best with denominator <= %-9" PRIu64 " %" PRIu64 "/%" PRIu64 " = %.17g\n", max_den, p, q,
                    value);
    }
    return 0;
}

// Units in the last place between two doubles of the same sign.
long long ulps_apart(double a, double b) {
    int64_t ia, ib;
    std::memcpy(&ia, &a, sizeof ia);
    std::memcpy(&ib, &b, sizeof ib);
    return ia > ib ? ia - ib : ib - ia;
}

int demo_fixed_point() {
    std::printf("   fixed-point series, the same bits on every processor (this libm beside them):\n");
    struct Row {
        const char *name;
        kelvra_status (*fn)(double, double *);
        double x;
        double (*platform)(double);
    };
    const Row rows[] = {
        {"sin(1)  ", kelvra_sin, 1.0, [](double x) { return std::sin(x); }},
        {"exp(1)  ", kelvra_exp, 1.0, [](double x) { return std::exp(x); }},
        {"log(10) ", kelvra_log, 10.0, [](double x) { return std::log(x); }},
        {"atan(2) ", kelvra_atan, 2.0, [](double x) { return std::atan(x); }},
        {"sqrt(2) ", kelvra_rational_sqrt, 2.0, [](double x) { return std::sqrt(x); }},
    };
    for (const Row &row : rows) {
        double value = 0;
        if (const kelvra_status status = row.fn(row.x, &value)) return fail(row.name, status);
        const double platform = row.platform(row.x);
        const long long apart = ulps_apart(value, platform);
        std::printf("   %s = %.17g  %-22a libm: %s\n", row.name, value, value,
                    apart == 0   ? "same"
                    : apart == 1 ? "1 unit apart"
                                 : "further apart");
    }
    std::printf("   (the square root is truncated, then rounded: one unit below for about a quarter of arguments)\n");
    return 0;
}

int demo_kepler() {
    double big_e = 0, centre = 0, angle = 0;
    DEMO_CALL(kelvra_kepler_solve(1.0, 0.5, 1e-15, 50, &big_e));
    std::printf("   Kepler: E - 0.5 sin E = 1 gives E = %.17g\n", big_e);
    DEMO_CALL(kelvra_equation_of_centre(1.0, 0.0167, 2, &centre));
    std::printf("   equation of the centre, Earth (e = 0.0167, M = 1): %.12f rad\n", centre);
    DEMO_CALL(kelvra_pin_slot(kPi / 3, 1.0, 2.0, &angle));
    std::printf("   pin at radius 1, 60 degrees, pivot 2 away: slot at %.12f rad\n", angle);
    return 0;
}

#undef CALC_DEMO_CALL

} // namespace

const Command calc_command = {
    "calc", "FUNC ARGS...", "exact rationals, continued fractions and the fixed-point functions", run_calc, help_calc};

int demo_calc(int section_number) {
    std::printf("\n%d. Exact rationals and bit-reproducible functions\n", section_number);
    if (int rc = demo_rationals()) return rc;
    if (int rc = demo_pi_fraction()) return rc;
    if (int rc = demo_fixed_point()) return rc;
    return demo_kepler();
}

} // namespace kelvra::cli
