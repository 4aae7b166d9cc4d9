// kelvra ndjson check FILE, kelvra template render TEMPLATE KEY=VALUE...:
// line-by-line JSON checking and {name} templates from the shell, and the
// text section of kelvra demo.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli.hpp"
#include "io.hpp"
#include "progress.hpp"

namespace kelvra::cli {

namespace {

// What the line callback of `ndjson check` carries from line to line.
struct Check {
    std::vector<uint8_t> arena;
    uint64_t lines = 0, bytes = 0;
    uint64_t bad_line = 0;
    kelvra_status bad_status = 0;
    uint64_t total = 0;
    Progress *progress = nullptr;
};

// Parses one line, growing the arena while the parser only runs out of room;
// 4 from an arena of 256 times the line is a nesting or number limit.
kelvra_status check_line(const uint8_t *line, uint64_t length, uint64_t number, void *context) {
    auto *check = static_cast<Check *>(context);
    const uint64_t limit = 256 * length + (uint64_t{1} << 20);
    if (check->arena.size() < 16 * length + 65536) check->arena.resize(16 * length + 65536);
    kelvra_json_value *root = nullptr;
    kelvra_status s;
    while ((s = kelvra_json_parse(line, length, check->arena.data(), check->arena.size(), &root)) ==
               KELVRA_ERR_CAPACITY &&
           check->arena.size() < limit) {
        check->arena.resize(std::min<uint64_t>(check->arena.size() * 4, limit));
    }
    if (s != KELVRA_OK) {
        check->bad_line = number;
        check->bad_status = s;
        return s;
    }
    ++check->lines;
    check->bytes += length;
    check->progress->update(check->bytes >> 20, check->total >> 20, "MiB");
    return KELVRA_OK;
}

int run_check(const Command &self, Args all) {
    const std::vector<char *> args = operands(all);
    if (args.size() != 1) return usage_error(self, args.empty() ? "no file given" : "one file only");
    const char *path = args[0];
    Check check;
    kelvra_plat_file_size(path, &check.total);
    kelvra_status s;
    {
        Progress progress(std::string("ndjson check ") + path);
        check.progress = &progress;
        s = kelvra_ndjson_iter(path, check_line, &check);
    }
    if (check.bad_line != 0) {
        std::printf("%s:%" PRIu64 ": not JSON: status %u (%s)\n", path, check.bad_line, check.bad_status,
                    status_name(check.bad_status));
        return 1;
    }
    if (s == KELVRA_ERR_IO) return input_failed("ndjson check", path, s);
    if (s != KELVRA_OK) return fail("kelvra_ndjson_iter", s);
    std::printf("%s: %" PRIu64 " JSON lines, all valid\n", path, check.lines);
    return 0;
}

// A catalog in the library's parallel-array form, from KEY=VALUE pairs.
struct Catalog {
    std::string keys, values;
    std::vector<uint32_t> key_offsets, key_lengths, value_offsets, value_lengths;

    // Sorts the pairs into catalog order (std::string compares bytes as
    // unsigned values, a prefix first); false when a key repeats.
    bool build(std::vector<std::pair<std::string, std::string>> pairs) {
        std::sort(pairs.begin(), pairs.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
        for (size_t i = 0; i < pairs.size(); ++i) {
            if (i > 0 && pairs[i].first == pairs[i - 1].first) return false;
            key_offsets.push_back(static_cast<uint32_t>(keys.size()));
            key_lengths.push_back(static_cast<uint32_t>(pairs[i].first.size()));
            keys += pairs[i].first;
            value_offsets.push_back(static_cast<uint32_t>(values.size()));
            value_lengths.push_back(static_cast<uint32_t>(pairs[i].second.size()));
            values += pairs[i].second;
        }
        return true;
    }

    // Renders into `out`, growing it while the output does not fit.
    kelvra_status render(std::string_view tmpl, std::vector<uint8_t> &out) const {
        uint64_t capacity = tmpl.size() + values.size() + 64;
        for (;;) {
            out.resize(capacity);
            uint32_t length = 0;
            const kelvra_status s = kelvra_template_render(
                reinterpret_cast<const uint8_t *>(tmpl.data()), static_cast<uint32_t>(tmpl.size()),
                reinterpret_cast<const uint8_t *>(keys.data()), key_offsets.data(), key_lengths.data(),
                reinterpret_cast<const uint8_t *>(values.data()), value_offsets.data(), value_lengths.data(),
                static_cast<uint32_t>(key_offsets.size()), out.data(), static_cast<uint32_t>(capacity), &length);
            if (s != KELVRA_ERR_CAPACITY || capacity == UINT32_MAX) {
                out.resize(s == KELVRA_OK ? length : 0);
                return s;
            }
            capacity = std::min<uint64_t>(capacity * 4, UINT32_MAX);
        }
    }
};

int run_render(const Command &self, Args all) {
    const std::vector<char *> args = operands(all);
    if (args.empty()) return usage_error(self, "no template given");
    std::vector<std::pair<std::string, std::string>> pairs;
    for (size_t i = 1; i < args.size(); ++i) {
        const char *eq = std::strchr(args[i], '=');
        if (eq == nullptr) {
            const std::string problem = "'" + std::string(args[i]) + "' is not KEY=VALUE";
            return usage_error(self, problem.c_str());
        }
        pairs.emplace_back(std::string(args[i], static_cast<size_t>(eq - args[i])), std::string(eq + 1));
    }
    Catalog catalog;
    if (!catalog.build(std::move(pairs))) return usage_error(self, "a key is given twice");
    std::vector<uint8_t> out;
    if (const kelvra_status s = catalog.render(args[0], out)) {
        if (s == KELVRA_ERR_DATA)
            error("template render", exit_data, "the template names a key with no KEY=VALUE, or has an unclosed {");
        return fail("kelvra_template_render", s);
    }
    out.push_back('\n');
    write_out(out.data(), out.size());
    return 0;
}

int run_ndjson(Args args);
int run_template(Args args);

const Usage ndjson_actions[] = {
    {"check", "FILE", "parse every line of a JSON-lines file; name the first bad line (exit 1)"},
};
const Usage template_actions[] = {
    {"render", "TEMPLATE KEY=VALUE...", "print TEMPLATE with each {KEY} replaced by its VALUE"},
};
void help_ndjson(const Command &self, Args before) { print_usage_table(self, ndjson_actions, before); }
void help_template(const Command &self, Args before) { print_usage_table(self, template_actions, before); }

} // namespace

const Command text_commands[2] = {
    {"ndjson", "check FILE", "parse every line of a JSON-lines file; report the first bad one", run_ndjson,
     help_ndjson},
    {"template", "render TEMPLATE KEY=VALUE...", "fill the {KEY} placeholders of a template", run_template,
     help_template},
};

namespace {

int run_ndjson(Args args) {
    if (args.empty() || std::strcmp(args[0], "check") != 0)
        return usage_error(text_commands[0], args.empty() ? "no action given (check)" : "unknown action (check)");
    return run_check(text_commands[0], args.subspan(1));
}

int run_template(Args args) {
    if (args.empty() || std::strcmp(args[0], "render") != 0)
        return usage_error(text_commands[1], args.empty() ? "no action given (render)" : "unknown action (render)");
    return run_render(text_commands[1], args.subspan(1));
}

} // namespace

// The demo: a greeting from a catalog, a framed record, and a dispatch table.
int demo_text(int section_number) {
    std::printf("\n%d. Templates, TLV records and byte search\n", section_number);
    Catalog catalog;
    catalog.build({{"name", "World"}, {"lib", "kelvra"}});
    std::vector<uint8_t> out;
    const char *tmpl = "Hello, {name}! Greetings from {lib}.";
    if (const kelvra_status s = catalog.render(tmpl, out)) return fail("kelvra_template_render", s);
    std::printf("   template:  %s\n   rendered:  %.*s\n", tmpl, static_cast<int>(out.size()),
                reinterpret_cast<const char *>(out.data()));

    uint8_t record[16];
    uint32_t length = 0;
    if (const kelvra_status s =
            kelvra_tlv_pack(0x07, reinterpret_cast<const uint8_t *>("abc"), 3, record, sizeof record, &length)) {
        return fail("kelvra_tlv_pack", s);
    }
    std::printf("   TLV of tag 7, \"abc\":");
    for (uint32_t i = 0; i < length; ++i) std::printf(" %02x", record[i]);
    std::printf("\n");

    static const char text[] = "GET /index.html HTTP/1.1";
    static const char blob[] = "POSTHTTP/GET";
    const uint32_t offsets[] = {0, 4, 9}, lengths[] = {4, 5, 3}, handlers[] = {10, 20, 30};
    uint8_t matched = 0;
    uint32_t handler = 0, first = 0;
    if (const kelvra_status s = kelvra_dispatch_match(reinterpret_cast<const uint8_t *>(text), sizeof text - 1,
                                                      reinterpret_cast<const uint8_t *>(blob), offsets, lengths,
                                                      handlers, 3, &matched, &handler)) {
        return fail("kelvra_dispatch_match", s);
    }
    if (const kelvra_status s = kelvra_byte_search(reinterpret_cast<const uint8_t *>(text), sizeof text - 1,
                                                   reinterpret_cast<const uint8_t *>("HTTP/"), 5, &first)) {
        return fail("kelvra_byte_search", s);
    }
    std::printf("   \"%s\": \"HTTP/\" at byte %u; table (POST, HTTP/, GET) picks handler %u"
                " (the first entry that occurs)\n",
                text, first, matched ? handler : 0);
    return 0;
}

} // namespace kelvra::cli
