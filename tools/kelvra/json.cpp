// kelvra json canon [--lenient] [FILE]: the canonical one-line rendering of a
// JSON text.
//
// The library's parser is lenient: it reads some texts that are not JSON
// (leading zeros, "--5" as 0) and turns numbers it cannot hold into others
// (1e999, integers past 64 bits). By default the tool first checks the text
// with a small scanner of its own: strict JSON (RFC 8259) whose every number
// keeps its value in the canonical form; anything else is refused with its
// byte offset, line and column. --lenient skips the check and warns about
// each number whose value the canonical form changes. Strict texts are
// written while they are scanned (json_emit.hpp); --lenient texts that are
// not strict go through the library's parsed tree.
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "cli.hpp"
#include "io.hpp"
#include "json_emit.hpp"

namespace kelvra::cli {

namespace {

// The deepest nesting the library's parser accepts.
constexpr int kMaxDepth = 64;

// Parses `text` into an arena that grows until the parse no longer runs out
// of room. Every status but 4 is final at once; 4 also means nesting deeper
// than 64 or an over-long number, which no arena size cures, so the growth
// stops at a generous bound.
kelvra_status parse_growing(const uint8_t *text, uint64_t length, std::vector<uint8_t> &arena,
                            kelvra_json_value **root) {
    const uint64_t limit = 256 * length + (uint64_t{1} << 20);
    uint64_t size = 16 * length + 65536;
    for (;;) {
        arena.resize(size);
        const kelvra_status s = kelvra_json_parse(text, length, arena.data(), arena.size(), root);
        if (s != KELVRA_ERR_CAPACITY || size >= limit) return s;
        size = size * 4 > limit ? limit : size * 4;
    }
}

kelvra_status render(const kelvra_json_value *root, std::vector<uint8_t> &out) {
    std::vector<uint8_t> workspace(kelvra_json_write_arena_bytes(root) + 1);
    uint64_t length = 0;
    if (const kelvra_status s = kelvra_json_write_ws(root, nullptr, 0, &length, workspace.data(), workspace.size()))
        return s;
    out.resize(length + 1);
    const kelvra_status s = kelvra_json_write_ws(root, out.data(), length, &length, workspace.data(), workspace.size());
    out.resize(s == KELVRA_OK ? length : 0);
    return s;
}

// ---- the strict scanner ------------------------------------------------------

struct Problem {
    uint64_t at = 0;
    std::string what; // empty: no problem
};

// A JSON number token at [begin, end): "" when it is strict JSON and its value
// survives the canonical form, else why not.
std::string number_problem(std::string_view t) {
    size_t i = 0;
    auto digits = [&] {
        const size_t from = i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
        return i - from;
    };
    if (i < t.size() && t[i] == '-') ++i;
    const size_t int_start = i;
    const size_t int_digits = digits();
    if (int_digits == 0) return "'" + std::string(t) + "' is not a number: a digit must follow the sign";
    if (int_digits > 1 && t[int_start] == '0') return "'" + std::string(t) + "' is not a JSON number: leading zeros";
    bool integer = true;
    if (i < t.size() && t[i] == '.') {
        ++i;
        integer = false;
        if (digits() == 0)
            return "'" + std::string(t) + "' is not a JSON number: a digit must follow the decimal point";
    }
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        integer = false;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        if (digits() == 0) return "'" + std::string(t) + "' is not a JSON number: a digit must follow the exponent";
    }
    if (i != t.size()) return "'" + std::string(t) + "' is not a JSON number";
    const std::string text(t);
    if (integer) {
        int64_t value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc{}) return "the integer " + text + " is outside the signed 64-bit range";
        return "";
    }
    errno = 0;
    const double value = std::strtod(text.c_str(), nullptr);
    if (std::isinf(value)) return "the number " + text + " is too large for a double";
    if (value == 0 && text.find_first_of("123456789") < text.find_first_of("eE"))
        return "the number " + text + " is too small for a double and would become 0";
    return "";
}

// Checks that a text is strict JSON and, given an emitter, hands it every
// token in order.
class Scanner {
public:
    Scanner(const uint8_t *text, uint64_t length, CanonicalEmitter *emit = nullptr)
            : p_(text), begin_(text), end_(text + length), emit_(emit) {}

    // The library's status when it could not render a token (0 otherwise).
    kelvra_status emit_status() const { return emit_status_; }

    Problem run() {
        space();
        if (value(0)) {
            space();
            if (p_ != end_) fail("unexpected text after the JSON value");
        }
        return problem_;
    }

private:
    const uint8_t *p_, *begin_, *end_;
    CanonicalEmitter *emit_;
    kelvra_status emit_status_ = KELVRA_OK;
    Problem problem_;

    bool emitted(kelvra_status s, const uint8_t *at) {
        if (s == KELVRA_OK) return true;
        emit_status_ = s;
        return fail("the library cannot render this token", at);
    }
    // The token that ends at p_ (it started at `start`) goes to the emitter.
    bool token(const uint8_t *start) {
        return emit_ == nullptr || emitted(emit_->scalar(start, static_cast<uint64_t>(p_ - start)), start);
    }

    bool fail(std::string what, const uint8_t *at = nullptr) {
        problem_.at = static_cast<uint64_t>((at != nullptr ? at : p_) - begin_);
        problem_.what = std::move(what);
        return false;
    }
    void space() {
        while (p_ != end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r')) ++p_;
    }
    bool literal(const char *word) {
        const size_t n = std::strlen(word);
        if (static_cast<size_t>(end_ - p_) < n || std::memcmp(p_, word, n) != 0) return fail("unexpected character");
        p_ += n;
        return true;
    }
    bool value(int depth) {
        if (p_ == end_) return fail("unexpected end of the text");
        const uint8_t *start = p_;
        switch (*p_) {
        case '{':
            return container(depth, '}');
        case '[':
            return container(depth, ']');
        case '"':
            return string() && token(start);
        case 't':
            return literal("true") && token(start);
        case 'f':
            return literal("false") && token(start);
        case 'n':
            return literal("null") && token(start);
        default:
            return number() && token(start);
        }
    }
    bool container(int depth, char close) {
        if (depth == kMaxDepth) return fail("nesting deeper than 64 levels");
        ++p_;
        if (emit_ != nullptr) emit_->open(close == '}');
        space();
        if (p_ != end_ && *p_ == close) return ended();
        for (;;) {
            if (close == '}') {
                if (p_ == end_ || *p_ != '"')
                    return fail(p_ == end_ ? "unexpected end of the text" : "expected a member name in double quotes");
                const uint8_t *name = p_;
                if (!string()) return false;
                if (emit_ != nullptr && !emitted(emit_->name(name, static_cast<uint64_t>(p_ - name)), name))
                    return false;
                space();
                if (p_ == end_ || *p_ != ':') return fail("expected ':' after the member name");
                ++p_;
                space();
            }
            if (!value(depth + 1)) return false;
            space();
            if (p_ == end_) return fail("unexpected end of the text");
            if (*p_ == close) return ended();
            if (*p_ != ',') return fail(close == '}' ? "expected ',' or '}'" : "expected ',' or ']'");
            ++p_;
            space();
            if (p_ != end_ && *p_ == close) return fail("a trailing comma is not allowed");
        }
    }
    bool ended() {
        ++p_;
        if (emit_ != nullptr) emit_->close();
        return true;
    }
    bool number() {
        const uint8_t *start = p_;
        if (*p_ != '-' && (*p_ < '0' || *p_ > '9')) return fail("unexpected character");
        while (p_ != end_ && std::strchr("+-.0123456789eE", *p_) != nullptr && *p_ != 0) ++p_;
        const std::string why =
            number_problem(std::string_view(reinterpret_cast<const char *>(start), static_cast<size_t>(p_ - start)));
        return why.empty() || fail(why, start);
    }
    bool hex4(uint32_t &out) {
        out = 0;
        for (int k = 0; k < 4; ++k, ++p_) {
            if (p_ == end_ || !std::isxdigit(*p_)) return fail("\\u needs four hexadecimal digits");
            out = out * 16 + static_cast<uint32_t>(*p_ <= '9' ? *p_ - '0' : (*p_ | 0x20) - 'a' + 10);
        }
        return true;
    }
    bool string() {
        ++p_;
        for (;;) {
            if (p_ == end_) return fail("unterminated string");
            const uint8_t c = *p_;
            if (c == '"') return ++p_, true;
            if (c < 0x20) return fail("a control character must be escaped in a string");
            if (c == '\\') {
                const uint8_t *escape = p_++;
                if (p_ == end_) return fail("unterminated string");
                if (std::strchr("\"\\/bfnrt", *p_) != nullptr && *p_ != 0) {
                    ++p_;
                    continue;
                }
                if (*p_ != 'u') return fail("unknown escape sequence", escape);
                ++p_;
                uint32_t unit = 0;
                if (!hex4(unit)) return false;
                if (unit >= 0xDC00 && unit <= 0xDFFF) return fail("a low surrogate without a high one", escape);
                if (unit >= 0xD800 && unit <= 0xDBFF) {
                    uint32_t low = 0;
                    if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u')
                        return fail("a high surrogate without a low one", escape);
                    p_ += 2;
                    if (!hex4(low)) return false;
                    if (low < 0xDC00 || low > 0xDFFF) return fail("a high surrogate without a low one", escape);
                }
                continue;
            }
            if (c < 0x80) {
                ++p_;
                continue;
            }
            if (!utf8()) return false;
        }
    }
    // One multi-byte UTF-8 sequence (shortest form, no surrogates, up to U+10FFFF).
    bool utf8() {
        const uint8_t c = *p_;
        const int n = c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF4 ? 3 : -1;
        if (n < 0 || end_ - p_ <= n) return fail("invalid UTF-8");
        const uint8_t lo = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
        const uint8_t hi = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
        if (p_[1] < lo || p_[1] > hi) return fail("invalid UTF-8");
        for (int k = 2; k <= n; ++k)
            if ((p_[k] & 0xC0) != 0x80) return fail("invalid UTF-8");
        p_ += n + 1;
        return true;
    }
};

struct Place {
    uint64_t line = 1, column = 1;
};

// Line and column (in bytes, from 1) of byte `offset`.
Place place_of(const Input &text, uint64_t offset) {
    Place place;
    for (uint64_t i = 0; i < offset && i < text.size(); ++i) {
        if (text.data()[i] == '\n') {
            ++place.line;
            place.column = 1;
        } else {
            ++place.column;
        }
    }
    return place;
}

std::string where(const char *path, const Input &text, uint64_t offset) {
    const Place place = place_of(text, offset);
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, "%s:%llu:%llu (byte %llu)", std::strcmp(path, "-") == 0 ? "<stdin>" : path,
                  static_cast<unsigned long long>(place.line), static_cast<unsigned long long>(place.column),
                  static_cast<unsigned long long>(offset));
    return buffer;
}

// --lenient: one warning per number token whose canonical form reads differently.
void warn_changed_numbers(const char *path, const Input &input) {
    const uint8_t *text = input.data();
    bool in_string = false;
    for (size_t i = 0; i < input.size(); ++i) {
        const uint8_t c = text[i];
        if (in_string) {
            if (c == '\\') ++i;
            else if (c == '"') in_string = false;
            continue;
        }
        if (c == '"') {
            in_string = true;
            continue;
        }
        if (std::strchr("+-.0123456789", c) == nullptr || c == 0) continue;
        size_t j = i;
        while (j < input.size() && std::strchr("+-.0123456789eE", text[j]) != nullptr && text[j] != 0) ++j;
        const std::string token(reinterpret_cast<const char *>(text + i), j - i);
        if (!number_problem(token).empty()) {
            std::vector<uint8_t> arena, out;
            kelvra_json_value *root = nullptr;
            const bool read =
                parse_growing(text + i, j - i, arena, &root) == KELVRA_OK && render(root, out) == KELVRA_OK;
            const std::string becomes = read ? std::string(out.begin(), out.end()) : "something else";
            std::fprintf(stderr, "kelvra json canon: warning: %s: %s becomes %s; %s\n", where(path, input, i).c_str(),
                         token.c_str(), becomes.c_str(), number_problem(token).c_str());
        }
        i = j - 1;
    }
}

int run_canon(Args args) {
    bool lenient = false, options = true;
    const char *path = nullptr;
    for (const char *a : args) {
        const std::string_view arg(a);
        if (options && arg == "--") options = false;
        else if (options && arg == "--lenient") lenient = true;
        else if (options && arg.size() > 1 && arg[0] == '-') {
            const std::string problem = "unknown option '" + std::string(arg) + "'";
            return usage_error(json_commands[0], problem.c_str());
        } else if (path == nullptr) path = a;
        else return usage_error(json_commands[0], "at most one file");
    }
    if (path == nullptr) path = "-";
    Input text;
    if (const kelvra_status s = text.open(path)) return input_failed("json canon", path, s);
    const Problem strict = Scanner(text.data(), text.size()).run();
    if (strict.what.empty()) {
        // Strict JSON: written as it is scanned again, in memory bounded by
        // the text, never by a parsed tree.
        CanonicalEmitter emit;
        Scanner writer(text.data(), text.size(), &emit);
        const Problem rendered = writer.run();
        if (writer.emit_status() != KELVRA_OK) {
            error("json canon", exit_data, "%s: %s", where(path, text, rendered.at).c_str(), rendered.what.c_str());
            return fail("kelvra_json_parse", writer.emit_status());
        }
        return emit.finish() ? exit_ok : exit_io;
    }
    if (!lenient) {
        return error("json canon", exit_data,
                     "%s: %s; not strict JSON, nothing written (--lenient reads it "
                     "by the library's rules)",
                     where(path, text, strict.at).c_str(), strict.what.c_str());
    }
    std::vector<uint8_t> arena, out;
    kelvra_json_value *root = nullptr;
    if (const kelvra_status s = parse_growing(text.data(), text.size(), arena, &root)) {
        error("json canon", exit_data, "%s: %s (the first departure from strict JSON)",
              where(path, text, strict.at).c_str(), strict.what.c_str());
        return fail("kelvra_json_parse", s);
    }
    warn_changed_numbers(path, text);
    if (const kelvra_status s = render(root, out)) return fail("kelvra_json_write_ws", s);
    out.push_back('\n');
    write_out(out.data(), out.size());
    return exit_ok;
}

int run_json(Args args);

const Usage json_actions[] = {
    {"canon", "[--lenient] [FILE]",
     "print the canonical form of a JSON text ('-' or no FILE: standard input). By default\n"
     "only strict JSON (RFC 8259) whose numbers keep their value is accepted; an error names\n"
     "FILE:LINE:COLUMN and the byte offset. --lenient reads the text by the library's rules\n"
     "(leading zeros, '--5' as 0, out-of-range numbers) and warns on standard error about\n"
     "each number whose value changes."},
};

void help_json(const Command &self, Args before) { print_usage_table(self, json_actions, before); }

} // namespace

const Command json_commands[1] = {
    {"json", "canon [--lenient] [FILE]", "print a JSON text in canonical form: one line, sorted members", run_json,
     help_json},
};

namespace {

int run_json(Args args) {
    if (args.empty()) return usage_error(json_commands[0], "no action given (canon)");
    if (std::strcmp(args[0], "canon") != 0) {
        const std::string problem = "unknown action '" + std::string(args[0]) + "' (canon)";
        return usage_error(json_commands[0], problem.c_str());
    }
    return run_canon(args.subspan(1));
}

} // namespace

} // namespace kelvra::cli
