// kelvra json canon [FILE]: the canonical one-line rendering of a JSON text.
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli.hpp"
#include "io.hpp"

namespace kelvra::cli {

namespace {

// Parses `text` into an arena that grows until the parse no longer runs out
// of room. Every status but 4 is final at once; 4 also means nesting deeper
// than 64 or an over-long number, which no arena size cures, so the growth
// stops at a generous bound.
kelvra_status parse_growing(const std::vector<uint8_t> &text, std::vector<uint8_t> &arena,
                            kelvra_json_value **root) {
    const uint64_t limit = 256 * uint64_t{text.size()} + (uint64_t{1} << 20);
    uint64_t size = 16 * uint64_t{text.size()} + 65536;
    for (;;) {
        arena.resize(size);
        const kelvra_status s = kelvra_json_parse(text.data(), text.size(), arena.data(), arena.size(), root);
        if (s != KELVRA_ERR_CAPACITY || size >= limit) return s;
        size = size * 4 > limit ? limit : size * 4;
    }
}

int run_canon(const Command &self, Args args) {
    if (args.size() > 1) return usage_error(self, "at most one file");
    const char *path = args.empty() ? "-" : args[0];
    std::vector<uint8_t> text, arena;
    if (const kelvra_status s = read_input(path, text)) return fail("reading the input", s);
    kelvra_json_value *root = nullptr;
    if (const kelvra_status s = parse_growing(text, arena, &root)) return fail("kelvra_json_parse", s);

    std::vector<uint8_t> workspace(kelvra_json_write_arena_bytes(root));
    uint64_t length = 0;
    if (const kelvra_status s =
            kelvra_json_write_ws(root, nullptr, 0, &length, workspace.data(), workspace.size())) {
        return fail("kelvra_json_write_ws", s);
    }
    std::vector<uint8_t> out(length + 1);
    if (const kelvra_status s =
            kelvra_json_write_ws(root, out.data(), length, &length, workspace.data(), workspace.size())) {
        return fail("kelvra_json_write_ws", s);
    }
    out[length] = '\n';
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

int run_json(Args args);

} // namespace

const Command json_commands[1] = {
    {"json", "canon [FILE]", "print a JSON text in canonical form: one line, sorted members", run_json},
};

namespace {

int run_json(Args args) {
    if (args.empty() || std::strcmp(args[0], "canon") != 0) return usage_error(json_commands[0], "unknown action");
    return run_canon(json_commands[0], args.subspan(1));
}

} // namespace

} // namespace kelvra::cli
