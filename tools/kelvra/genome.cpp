// kelvra genome SUBCOMMAND: save, read, verify, list and edit genome
// directories, and move chromosomes as bundles.
//
// The library works in a caller arena; the tool sizes one on the heap with
// kelvra_genome_arena_bytes from the sizes it can see (the body, the
// manifest, a bundle, the number of cap records), and tries once or twice
// with a larger one if the library still reports 4. A failed call changes
// nothing on disk, so trying again is safe.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "cli.hpp"
#include "io.hpp"
#include "progress.hpp"

namespace kelvra::cli {

namespace {

int run_genome(Args args);
void help_genome(const Command &self, Args before);

} // namespace

extern const Command genome_command;
const Command genome_command = {"genome", "SUBCOMMAND ...",
                                "save, verify, list and edit genome directories; chromosome bundles", run_genome,
                                help_genome};

namespace {

using Buffer = std::vector<uint8_t>;
namespace fs = std::filesystem;

// ---- Options ------------------------------------------------------------------

struct Options {
    std::vector<const char *> positional;
    const char *body = nullptr;     // --body FILE
    const char *out = nullptr;      // -o FILE
    const char *the_one = nullptr;  // --the-one HEX|@FILE
    const char *leaf_dim = nullptr; // --leaf-dim N
};

struct Subcommand {
    const char *name;
    const char *usage;
    const char *summary;
    size_t positionals;
    int (*run)(const Subcommand &, const Options &);
};

int sub_usage_error(const Subcommand &sub, const char *problem) {
    std::fprintf(stderr, "kelvra genome %s: %s\nusage: kelvra genome %s %s\n", sub.name, problem, sub.name, sub.usage);
    return 2;
}

// Options and operands in any order; "--" ends the options.
bool parse_options(Args args, Options &o, std::string &problem) {
    bool options = true;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (options && a == "--") {
            options = false;
            continue;
        }
        const char **slot = !options                    ? nullptr
                            : a == "--body"             ? &o.body
                            : a == "-o" || a == "--out" ? &o.out
                            : a == "--the-one"          ? &o.the_one
                            : a == "--leaf-dim"         ? &o.leaf_dim
                                                        : nullptr;
        if (slot == nullptr) {
            if (options && a.size() > 1 && a[0] == '-') {
                problem = "unknown option '" + std::string(a) + "'";
                return false;
            }
            o.positional.push_back(args[i]);
            continue;
        }
        if (i + 1 == args.size()) {
            problem = std::string(a) + " needs a value";
            return false;
        }
        *slot = args[++i];
    }
    return true;
}

// ---- Files --------------------------------------------------------------------

bool read_file(const char *path, Buffer &out, bool quiet = false) {
    std::FILE *f = std::fopen(path, "rb");
    if (f == nullptr) {
        if (!quiet) std::fprintf(stderr, "kelvra genome: cannot read %s: %s\n", path, std::strerror(errno));
        return false;
    }
    out.clear();
    uint8_t chunk[1 << 16];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) out.insert(out.end(), chunk, chunk + got);
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    if (!ok && !quiet) std::fprintf(stderr, "kelvra genome: cannot read %s: %s\n", path, path_problem(path).c_str());
    return ok;
}

bool write_file(const char *path, const uint8_t *data, uint64_t length) {
    return cli::write_file("genome", path, data, length);
}

// The size of a regular file; 0 for anything else or when it cannot be seen.
uint64_t file_size(const std::string &path) {
    std::error_code error;
    if (!fs::is_regular_file(path, error)) return 0;
    const uintmax_t size = fs::file_size(path, error);
    return error ? 0 : static_cast<uint64_t>(size);
}

bool exists(const std::string &path) {
    std::error_code error;
    return fs::exists(path, error);
}

bool ensure_directory(const char *path) {
    std::error_code error;
    if (fs::is_directory(path, error)) return true;
    if (fs::create_directory(path, error)) return true;
    if (!error) error = std::make_error_code(std::errc::file_exists);
    std::fprintf(stderr, "kelvra genome: cannot create directory %s: %s\n", path, error.message().c_str());
    return false;
}

// ---- the_one --------------------------------------------------------------------

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// HEX digits, or @FILE holding the raw record.
bool parse_the_one(const char *text, Buffer &out) {
    if (text[0] == '@') return read_file(text + 1, out);
    const size_t length = std::strlen(text);
    if (length == 0 || length % 2 != 0) return false;
    out.clear();
    for (size_t i = 0; i < length; i += 2) {
        const int high = hex_digit(text[i]), low = hex_digit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        out.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    return true;
}

// The optional --the-one of a read; false (after a usage message) when malformed.
bool optional_the_one(const Subcommand &sub, const Options &o, Buffer &the_one, int *rc) {
    if (o.the_one == nullptr || parse_the_one(o.the_one, the_one)) return true;
    *rc = sub_usage_error(sub, "--the-one takes hexadecimal digits or @FILE");
    return false;
}

const uint8_t *data_or_null(const Buffer &b) { return b.empty() ? nullptr : b.data(); }

// ---- Arenas ---------------------------------------------------------------------

uint64_t count_caps(const Buffer &body, size_t leaf_dim) {
    uint64_t caps = 0;
    for (size_t at = 0; leaf_dim > 0 && at < body.size(); at += leaf_dim) caps += body[at] == 'C';
    return caps;
}

// What the tool can see of a stored genome before calling the library.
struct Stored {
    uint64_t body = 0, manifest = 0, chromosomes = 0;
};

Stored look_at(const char *dir, const Buffer &the_one) {
    Stored s;
    s.body = file_size(std::string(dir) + "/turns.bin");
    s.manifest = file_size(std::string(dir) + "/manifest.json");
    if (s.manifest > 0) {
        s.chromosomes = s.manifest / 100 + 1; // every chromosome entry takes more than 100 bytes
    } else if (!the_one.empty()) {
        Buffer body; // the manifest will be derived from the body: count its caps
        if (read_file((std::string(dir) + "/turns.bin").c_str(), body, true))
            s.chromosomes = count_caps(body, the_one.size());
    }
    return s;
}

// Calls `op(arena, capacity)` with an arena of `bytes`, then (on 4) with twice
// and four times as much. The arena is kept in `arena` (a catalogue lives there).
// What the running subcommand is doing, for the progress line of its calls.
std::string work_in_progress = "genome";

template <class Op>
kelvra_status with_arena(uint64_t bytes, Op op, Buffer &arena) {
    const Progress progress(work_in_progress);
    kelvra_status status = KELVRA_ERR_CAPACITY;
    for (int attempt = 0; attempt < 3 && status == KELVRA_ERR_CAPACITY; ++attempt, bytes *= 2) {
        arena.assign(bytes, 0);
        status = op(arena.data(), arena.size());
    }
    return status;
}

template <class Op>
kelvra_status with_arena(uint64_t bytes, Op op) {
    Buffer arena;
    return with_arena(bytes, op, arena);
}

uint64_t arena_bytes(uint64_t body, uint64_t chromosomes, uint64_t extra) {
    return kelvra_genome_arena_bytes(body, static_cast<uint32_t>(std::min<uint64_t>(chromosomes, UINT32_MAX)), extra);
}

// ---- Reading manifests ----------------------------------------------------------

const kelvra_json_value *get(const kelvra_json_value *v, std::initializer_list<const char *> path) {
    for (const char *key : path) v = kelvra_json_object_get(v, key);
    return v;
}

std::string text_of(const kelvra_json_value *v) {
    if (v == nullptr || v->kind != KELVRA_JSON_STRING) return {};
    return std::string(reinterpret_cast<const char *>(v->as.string.bytes), v->as.string.length);
}

long long integer_of(const kelvra_json_value *v) {
    return v != nullptr && v->kind == KELVRA_JSON_INT ? static_cast<long long>(v->as.integer) : -1;
}

// A label as a terminal shows it: printable ASCII kept, other bytes as \xNN.
std::string printable(const std::string &label) {
    std::string out;
    for (unsigned char c : label) {
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
        }
    }
    return out.empty() ? "(empty)" : out;
}

struct Chromosome {
    std::string label;
    long long offset, length, leaves;
};

std::vector<Chromosome> chromosome_table(const kelvra_json_value *manifest) {
    std::vector<Chromosome> out;
    const kelvra_json_value *list = get(manifest, {"data", "chromosomes"});
    if (list == nullptr || list->kind != KELVRA_JSON_ARRAY) return out;
    for (uint32_t i = 0; i < list->as.array.count; ++i) {
        const kelvra_json_value *c = list->as.array.items[i];
        out.push_back({text_of(get(c, {"label"})), integer_of(get(c, {"byte_offset"})),
                       integer_of(get(c, {"byte_len"})), integer_of(get(c, {"leaf_count"}))});
    }
    return out;
}

// The catalogue in `arena` (kept by the caller while the tree is read).
kelvra_status catalog(const char *dir, const Buffer &the_one, Buffer &arena, const kelvra_json_value **root) {
    const Stored s = look_at(dir, the_one);
    return with_arena(
        arena_bytes(s.manifest > 0 ? 0 : s.body, s.chromosomes, s.manifest),
        [&](uint8_t *a, uint64_t c) {
            return kelvra_genome_catalog(dir, data_or_null(the_one), the_one.size(), a, c, root);
        },
        arena);
}

// Reports a failed catalogue, with a hint when the manifest is missing and no
// --the-one was given to derive it.
int genome_failed(const char *call, kelvra_status status, const char *dir, const Buffer &the_one, const char *label);

int catalog_failed(const char *dir, const Buffer &the_one, kelvra_status status,
                   const char *what = "kelvra_genome_catalog") {
    return genome_failed(what, status, dir, the_one, nullptr);
}

// After a failed call: says why where it is cheap to see (a missing
// directory or file, a label not in the catalogue, a body that does not
// match the manifest's digest, another the_one), then the status. Returns
// the exit code.
int genome_failed(const char *call, kelvra_status status, const char *dir, const Buffer &the_one,
                  const char *label = nullptr) {
    const std::string body = std::string(dir) + "/turns.bin", manifest_path = std::string(dir) + "/manifest.json";
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        const std::string why = path_problem(dir);
        error("genome", exit_io, "%s: %s", dir, why.empty() ? "not a directory" : why.c_str());
        fail(call, status);
        return exit_io;
    }
    if (!exists(body) && !exists(manifest_path)) {
        error("genome", exit_io, "%s holds no genome (no turns.bin, no manifest.json)", dir);
        fail(call, status);
        return exit_io;
    }
    if (status == KELVRA_ERR_IO) {
        for (const std::string &path : {body, manifest_path}) {
            const std::string why = path_problem(path.c_str());
            if (!why.empty()) error("genome", exit_io, "cannot read %s: %s", path.c_str(), why.c_str());
        }
        return fail(call, status);
    }
    if (status == KELVRA_ERR_DATA && the_one.empty() && !exists(manifest_path)) {
        error("genome", exit_data, "%s has no manifest.json; pass --the-one to derive it from the body", dir);
        return fail(call, status);
    }
    Buffer arena, manifest_text;
    const kelvra_json_value *manifest = nullptr;
    if (status == KELVRA_ERR_DATA && read_file(manifest_path.c_str(), manifest_text, true)) {
        while (!manifest_text.empty() && (manifest_text.back() == '\n' || manifest_text.back() == '\r'))
            manifest_text.pop_back();
        arena.assign(4 * manifest_text.size() + 65536, 0);
        kelvra_json_value *root = nullptr;
        if (kelvra_json_parse(manifest_text.data(), manifest_text.size(), arena.data(), arena.size(), &root) ==
            KELVRA_OK)
            manifest = root;
        else error("genome", exit_data, "%s is not valid JSON", manifest_path.c_str());
    }
    if (manifest != nullptr) {
        bool said = false;
        if (label != nullptr) {
            bool found = false;
            for (const Chromosome &c : chromosome_table(manifest)) found = found || c.label == label;
            if (!found) {
                error("genome", exit_data, "no chromosome labelled %s in %s (kelvra genome ls %s lists them)",
                      printable(label).c_str(), dir, dir);
                said = true;
            }
        }
        const std::string recorded = text_of(get(manifest, {"data", "body_sha256"}));
        Buffer bytes;
        char actual[65] = "";
        if (!recorded.empty() && read_file(body.c_str(), bytes, true) &&
            kelvra_sha256_hex(data_or_null(bytes), bytes.size(), actual) == KELVRA_OK && recorded != actual) {
            error("genome", exit_data,
                  "%s does not match its manifest: its SHA-256 is %s, %s records %s (restore from a copy or "
                  "from bundles)",
                  body.c_str(), actual, manifest_path.c_str(), recorded.c_str());
            said = true;
        }
        const std::string one_digest = text_of(get(manifest, {"data", "the_one", "sha256"}));
        char given[65] = "";
        if (!said && !the_one.empty() && !one_digest.empty() &&
            kelvra_sha256_hex(the_one.data(), the_one.size(), given) == KELVRA_OK && one_digest != given)
            error("genome", exit_data, "--the-one is not this genome's the_one (its SHA-256 is %s, %s records %s)",
                  given, manifest_path.c_str(), one_digest.c_str());
    }
    return fail(call, status);
}

// ---- Subcommands ----------------------------------------------------------------

int run_save(const Subcommand &sub, const Options &o) {
    if (o.body == nullptr || o.leaf_dim == nullptr || o.the_one == nullptr)
        return sub_usage_error(sub, "--body, --leaf-dim and --the-one are required");
    const auto leaf_dim = parse_u64(o.leaf_dim);
    Buffer the_one, body;
    if (!leaf_dim || *leaf_dim > UINT32_MAX) return sub_usage_error(sub, "--leaf-dim takes a record width in bytes");
    if (!parse_the_one(o.the_one, the_one)) return sub_usage_error(sub, "--the-one takes hexadecimal digits or @FILE");
    if (!read_file(o.body, body)) return exit_io;
    const char *dir = o.positional[0];
    if (!ensure_directory(dir)) return exit_io;
    const uint64_t caps = count_caps(body, *leaf_dim);
    const kelvra_status s = with_arena(arena_bytes(body.size(), caps, 0), [&](uint8_t *arena, uint64_t cap) {
        return kelvra_genome_save(dir, data_or_null(body), body.size(), static_cast<uint32_t>(*leaf_dim),
                                  the_one.data(), the_one.size(), arena, cap);
    });
    if (s != KELVRA_OK) {
        if (s == KELVRA_ERR_ARG || s == KELVRA_ERR_DATA)
            error("genome save", exit_data,
                  "%s: %zu bytes of records of %llu bytes, each cap record 'C' then its "
                  "label; --the-one must be one record",
                  o.body, body.size(), static_cast<unsigned long long>(*leaf_dim));
        return fail("kelvra_genome_save", s);
    }
    std::printf("saved %s: %zu bytes, %llu records, %llu chromosomes\n", dir, body.size(),
                static_cast<unsigned long long>(*leaf_dim ? body.size() / *leaf_dim : 0),
                static_cast<unsigned long long>(caps));
    return 0;
}

// Loads and verifies the body into `body`.
kelvra_status load_body(const char *dir, const Buffer &the_one, Buffer &body) {
    const Stored s = look_at(dir, the_one);
    body.assign(s.body + 1, 0); // never empty: the library wants a buffer even for an empty body
    uint64_t length = 0;
    const kelvra_status status =
        with_arena(arena_bytes(s.manifest > 0 ? 0 : s.body, s.chromosomes, s.manifest), [&](uint8_t *a, uint64_t c) {
            return kelvra_genome_load(dir, body.data(), s.body, &length, data_or_null(the_one), the_one.size(), a, c);
        });
    body.resize(status == KELVRA_OK ? length : 0);
    return status;
}

int run_load(const Subcommand &sub, const Options &o) {
    if (o.out == nullptr) return sub_usage_error(sub, "-o FILE is required");
    Buffer the_one, body;
    int rc = 0;
    if (!optional_the_one(sub, o, the_one, &rc)) return rc;
    if (const kelvra_status s = load_body(o.positional[0], the_one, body))
        return genome_failed("kelvra_genome_load", s, o.positional[0], the_one);
    if (!write_file(o.out, body.data(), body.size())) return exit_io;
    std::printf("loaded %zu verified bytes into %s\n", body.size(), o.out);
    return 0;
}

int run_verify(const Subcommand &sub, const Options &o) {
    Buffer the_one, body, arena;
    int rc = 0;
    if (!optional_the_one(sub, o, the_one, &rc)) return rc;
    const char *dir = o.positional[0];
    if (const kelvra_status s = load_body(dir, the_one, body))
        return genome_failed("kelvra_genome_load", s, dir, the_one);
    const kelvra_json_value *manifest = nullptr;
    if (const kelvra_status s = catalog(dir, the_one, arena, &manifest)) return catalog_failed(dir, the_one, s);
    // The library derives nothing from a the_one when the manifest is there,
    // so a given one is compared here: verify vouches for the pair.
    const std::string recorded = text_of(get(manifest, {"data", "the_one", "sha256"}));
    char given[65] = "";
    if (!the_one.empty() && kelvra_sha256_hex(the_one.data(), the_one.size(), given) == KELVRA_OK && recorded != given)
        return error("genome", exit_data,
                     "%s: --the-one is not this genome's the_one (its SHA-256 is %s, the manifest "
                     "records %s)",
                     dir, given, recorded.c_str());
    std::printf("%s: ok, %zu bytes in %zu chromosomes, body sha256 %s\n", dir, body.size(),
                chromosome_table(manifest).size(), text_of(get(manifest, {"data", "body_sha256"})).c_str());
    return 0;
}

int run_ls(const Subcommand &sub, const Options &o) {
    Buffer the_one, arena;
    int rc = 0;
    if (!optional_the_one(sub, o, the_one, &rc)) return rc;
    const kelvra_json_value *manifest = nullptr;
    if (const kelvra_status s = catalog(o.positional[0], the_one, arena, &manifest))
        return catalog_failed(o.positional[0], the_one, s);
    const std::vector<Chromosome> table = chromosome_table(manifest);
    std::printf("%s: leaf_dim %lld, %lld records, %zu chromosomes\nbody sha256 %s\n", o.positional[0],
                integer_of(get(manifest, {"data", "leaf_dim"})), integer_of(get(manifest, {"data", "n_turns"})),
                table.size(), text_of(get(manifest, {"data", "body_sha256"})).c_str());
    std::printf("%-24s %12s %12s %10s\n", "label", "offset", "length", "leaves");
    for (const Chromosome &c : table)
        std::printf("%-24s %12lld %12lld %10lld\n", printable(c.label).c_str(), c.offset, c.length, c.leaves);
    return 0;
}

int run_window(const Subcommand &sub, const Options &o) {
    if (o.out == nullptr) return sub_usage_error(sub, "-o FILE is required");
    Buffer the_one;
    int rc = 0;
    if (!optional_the_one(sub, o, the_one, &rc)) return rc;
    const char *dir = o.positional[0];
    const Stored s = look_at(dir, the_one);
    Buffer region(s.body + 1);
    uint64_t length = 0;
    const kelvra_status status =
        with_arena(arena_bytes(s.manifest > 0 ? 0 : s.body, s.chromosomes, s.manifest), [&](uint8_t *a, uint64_t c) {
            return kelvra_genome_window(dir, o.positional[1], region.data(), s.body, &length, data_or_null(the_one),
                                        the_one.size(), a, c);
        });
    if (status != KELVRA_OK) return genome_failed("kelvra_genome_window", status, dir, the_one, o.positional[1]);
    if (!write_file(o.out, region.data(), length)) return exit_io;
    std::printf("wrote %llu bytes of chromosome %s to %s\n", static_cast<unsigned long long>(length),
                printable(o.positional[1]).c_str(), o.out);
    return 0;
}

// A chromosome takes the label written in its own cap record, whatever the
// LABEL argument says; records whose cap carries another label would add a
// chromosome the user did not name (possibly a second one with an existing
// label), so the tool refuses them.
bool caps_match_label(const Buffer &body, size_t leaf_dim, std::string_view label) {
    for (size_t at = 0; leaf_dim > 0 && at + leaf_dim <= body.size(); at += leaf_dim) {
        if (body[at] != 'C') continue;
        const auto *rest = reinterpret_cast<const char *>(body.data() + at + 1);
        const std::string_view cap(rest, strnlen(rest, leaf_dim - 1));
        if (cap == label) continue;
        std::fprintf(stderr,
                     "kelvra genome: the cap record at byte %zu is labelled %s, but the label argument is %s "
                     "(a chromosome takes the label of its cap record)\n",
                     at, printable(std::string(cap)).c_str(), printable(std::string(label)).c_str());
        return false;
    }
    return true;
}

// append and replace: DIR LABEL --body FILE --the-one X.
int run_insertion(const Subcommand &sub, const Options &o, bool replacing) {
    if (o.body == nullptr || o.the_one == nullptr) return sub_usage_error(sub, "--body and --the-one are required");
    Buffer the_one, body;
    if (!parse_the_one(o.the_one, the_one)) return sub_usage_error(sub, "--the-one takes hexadecimal digits or @FILE");
    if (!read_file(o.body, body)) return exit_io;
    const char *dir = o.positional[0], *label = o.positional[1];
    if (!caps_match_label(body, the_one.size(), label)) return exit_data;
    const Stored s = look_at(dir, the_one);
    const uint64_t bytes = arena_bytes(s.body + body.size(), s.chromosomes + count_caps(body, the_one.size()), 0);
    const auto leaf_dim = static_cast<uint32_t>(the_one.size());
    const kelvra_status status = with_arena(bytes, [&](uint8_t *a, uint64_t c) {
        return replacing ? kelvra_genome_replace(dir, label, data_or_null(body), body.size(), leaf_dim, the_one.data(),
                                                 the_one.size(), a, c)
                         : kelvra_genome_append(dir, label, data_or_null(body), body.size(), leaf_dim, the_one.data(),
                                                the_one.size(), a, c);
    });
    if (status != KELVRA_OK)
        return genome_failed(replacing ? "kelvra_genome_replace" : "kelvra_genome_append", status, dir, the_one,
                             replacing ? label : nullptr);
    if (replacing)
        std::printf("replaced chromosome %s of %s with %zu bytes\n", printable(label).c_str(), dir, body.size());
    else std::printf("appended %zu bytes to %s\n", body.size(), dir);
    return 0;
}

int run_append(const Subcommand &sub, const Options &o) { return run_insertion(sub, o, false); }
int run_replace(const Subcommand &sub, const Options &o) { return run_insertion(sub, o, true); }

int run_remove(const Subcommand &sub, const Options &o) {
    if (o.the_one == nullptr) return sub_usage_error(sub, "--the-one is required");
    Buffer the_one;
    if (!parse_the_one(o.the_one, the_one)) return sub_usage_error(sub, "--the-one takes hexadecimal digits or @FILE");
    const char *dir = o.positional[0], *label = o.positional[1];
    const Stored s = look_at(dir, the_one);
    const kelvra_status status = with_arena(arena_bytes(s.body, s.chromosomes, 0), [&](uint8_t *a, uint64_t c) {
        return kelvra_genome_remove(dir, label, the_one.data(), the_one.size(), a, c);
    });
    if (status != KELVRA_OK) return genome_failed("kelvra_genome_remove", status, dir, the_one, label);
    std::printf("removed chromosome %s from %s\n", printable(label).c_str(), dir);
    return 0;
}

kelvra_status export_one(const char *dir, const char *label, const char *path, const Buffer &the_one, const Stored &s) {
    return with_arena(arena_bytes(s.body, s.chromosomes, s.body + s.manifest), [&](uint8_t *a, uint64_t c) {
        return kelvra_genome_export(dir, label, path, data_or_null(the_one), the_one.size(), a, c);
    });
}

int run_export(const Subcommand &sub, const Options &o) {
    if (o.out == nullptr) return sub_usage_error(sub, "-o FILE is required");
    Buffer the_one;
    int rc = 0;
    if (!optional_the_one(sub, o, the_one, &rc)) return rc;
    const char *dir = o.positional[0];
    const kelvra_status status = export_one(dir, o.positional[1], o.out, the_one, look_at(dir, the_one));
    if (status != KELVRA_OK) return genome_failed("kelvra_genome_export", status, dir, the_one, o.positional[1]);
    std::printf("exported chromosome %s to %s\n", printable(o.positional[1]).c_str(), o.out);
    return 0;
}

kelvra_status import_one(const char *bundle, const char *dir, const Buffer &the_one) {
    const Stored s = look_at(dir, the_one);
    return with_arena(arena_bytes(s.body, s.chromosomes + 1, file_size(bundle) + s.manifest),
                      [&](uint8_t *a, uint64_t c) {
                          return kelvra_genome_import(bundle, dir, data_or_null(the_one), the_one.size(), a, c);
                      });
}

int run_import(const Subcommand &sub, const Options &o) {
    Buffer the_one;
    int rc = 0;
    if (!optional_the_one(sub, o, the_one, &rc)) return rc;
    if (const std::string why = path_problem(o.positional[0]); !why.empty())
        return error("genome import", exit_io, "cannot read %s: %s", o.positional[0], why.c_str());
    if (!ensure_directory(o.positional[1])) return exit_io;
    if (const kelvra_status s = import_one(o.positional[0], o.positional[1], the_one)) {
        if (s == KELVRA_ERR_DATA)
            error("genome import", exit_data,
                  "%s was refused: a damaged bundle, a label already in %s, or another "
                  "the_one or leaf_dim",
                  o.positional[0], o.positional[1]);
        return fail("kelvra_genome_import", s);
    }
    std::printf("imported %s into %s\n", o.positional[0], o.positional[1]);
    return 0;
}

// Explode checks every label before it writes the first bundle, as the library does.
bool usable_file_name(const std::string &label) {
    return !label.empty() && label.size() < 256 && label != "." && label != ".." &&
           label.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

int run_explode(const Subcommand &sub, const Options &o) {
    Buffer the_one, arena;
    int rc = 0;
    if (!optional_the_one(sub, o, the_one, &rc)) return rc;
    const char *dir = o.positional[0], *out_dir = o.positional[1];
    const kelvra_json_value *manifest = nullptr;
    if (const kelvra_status s = catalog(dir, the_one, arena, &manifest)) return catalog_failed(dir, the_one, s);
    const std::vector<Chromosome> table = chromosome_table(manifest);
    for (const Chromosome &c : table) {
        if (!usable_file_name(c.label)) {
            std::fprintf(stderr, "kelvra genome explode: label %s cannot name a file; nothing written\n",
                         printable(c.label).c_str());
            return fail("explode", KELVRA_ERR_DATA);
        }
    }
    std::vector<std::string> labels;
    for (const Chromosome &c : table) labels.push_back(c.label);
    std::sort(labels.begin(), labels.end());
    const auto repeated = std::adjacent_find(labels.begin(), labels.end());
    if (repeated != labels.end()) {
        std::fprintf(stderr,
                     "kelvra genome explode: two chromosomes are labelled %s and their bundles would "
                     "overwrite each other; nothing written\n",
                     printable(*repeated).c_str());
        return fail("explode", KELVRA_ERR_DATA);
    }
    if (!ensure_directory(out_dir)) return exit_io;
    const Stored s = look_at(dir, the_one);
    const kelvra_status status =
        with_arena(arena_bytes(s.body, s.chromosomes, s.body + s.manifest), [&](uint8_t *a, uint64_t c) {
            return kelvra_genome_explode(dir, out_dir, data_or_null(the_one), the_one.size(), a, c);
        });
    if (status != KELVRA_OK) return genome_failed("kelvra_genome_explode", status, dir, the_one);
    std::printf("exploded %zu chromosomes of %s into %s\n", table.size(), dir, out_dir);
    return 0;
}

// A bundle's "data"."label", as pack sorts by it.
bool bundle_label(const std::string &path, std::string &label) {
    Buffer text;
    if (!read_file(path.c_str(), text)) return false;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    Buffer arena(4 * text.size() + 65536);
    kelvra_json_value *root = nullptr;
    if (kelvra_json_parse(text.data(), text.size(), arena.data(), arena.size(), &root) != KELVRA_OK) return false;
    const kelvra_json_value *value = get(root, {"data", "label"});
    if (value == nullptr || value->kind != KELVRA_JSON_STRING) return false;
    label = text_of(value);
    return true;
}

struct Bundle {
    std::string label, name;
};

// The *.chr bundles of in_dir, in label order. 3 when the directory cannot
// be listed, 2 when a bundle has no label.
kelvra_status list_bundles(const char *in_dir, std::vector<Bundle> &bundles) {
    std::error_code error;
    for (fs::directory_iterator entry(in_dir, error), end; !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.size() >= 5 && name.compare(name.size() - 4, 4, ".chr") == 0) bundles.push_back({{}, name});
    }
    if (error) {
        std::fprintf(stderr, "kelvra genome pack: cannot list directory %s: %s\n", in_dir, error.message().c_str());
        return KELVRA_ERR_IO;
    }
    for (Bundle &b : bundles) {
        if (!bundle_label(std::string(in_dir) + "/" + b.name, b.label)) {
            std::fprintf(stderr, "kelvra genome pack: %s/%s is not a chromosome bundle; nothing imported\n", in_dir,
                         b.name.c_str());
            return KELVRA_ERR_DATA;
        }
    }
    std::stable_sort(bundles.begin(), bundles.end(), [](const Bundle &a, const Bundle &b) {
        return std::strcmp(a.label.c_str(), b.label.c_str()) < 0;
    });
    return KELVRA_OK;
}

int run_pack(const Subcommand &sub, const Options &o) {
    Buffer the_one;
    int rc = 0;
    if (!optional_the_one(sub, o, the_one, &rc)) return rc;
    const char *in_dir = o.positional[0], *out_dir = o.positional[1];
    std::vector<Bundle> bundles;
    if (const kelvra_status s = list_bundles(in_dir, bundles)) return fail("pack", s);
    if (bundles.empty()) {
        std::fprintf(stderr, "kelvra genome pack: no *.chr bundles in %s\n", in_dir);
        return fail("pack", KELVRA_ERR_DATA);
    }
    if (!ensure_directory(out_dir)) return exit_io;
    // The genome is built in the arena: room for what is stored, every
    // bundle's region (half its hex), and the largest bundle read whole.
    const Stored s = look_at(out_dir, the_one);
    uint64_t regions = 0, largest = 0, caps = 0;
    for (const Bundle &b : bundles) {
        const uint64_t size = file_size((std::string(in_dir) + "/" + b.name).c_str());
        regions += size / 2;
        largest = std::max(largest, size);
        caps += 1;
    }
    const kelvra_status status = with_arena(
        arena_bytes(s.body + regions, s.chromosomes + caps, largest + s.manifest), [&](uint8_t *a, uint64_t c) {
            return kelvra_genome_pack(in_dir, out_dir, data_or_null(the_one), the_one.size(), a, c);
        });
    if (status != KELVRA_OK) return fail("kelvra_genome_pack", status);
    std::printf("packed %zu bundles from %s into %s\n", bundles.size(), in_dir, out_dir);
    return 0;
}

const Subcommand subcommands[] = {
    {"save", "DIR --body FILE --leaf-dim N --the-one HEX|@FILE", "write a genome directory from a body file", 1,
     run_save},
    {"load", "DIR -o FILE [--the-one HEX|@FILE]", "write the verified body to FILE", 1, run_load},
    {"verify", "DIR [--the-one HEX|@FILE]", "check the body against its manifest", 1, run_verify},
    {"ls", "DIR [--the-one HEX|@FILE]", "list the chromosomes (label, offset, length, leaves)", 1, run_ls},
    {"window", "DIR LABEL -o FILE [--the-one HEX|@FILE]", "write one chromosome's region to FILE", 2, run_window},
    {"append", "DIR LABEL --body FILE --the-one HEX|@FILE", "add records at the end (LABEL must be new)", 2,
     run_append},
    {"remove", "DIR LABEL --the-one HEX|@FILE", "delete one chromosome", 2, run_remove},
    {"replace", "DIR LABEL --body FILE --the-one HEX|@FILE", "put new records in place of a chromosome", 2,
     run_replace},
    {"export", "DIR LABEL -o FILE [--the-one HEX|@FILE]", "write one chromosome as a bundle", 2, run_export},
    {"import", "BUNDLE DIR [--the-one HEX|@FILE]", "verify a bundle and add it (creates DIR's genome)", 2, run_import},
    {"explode", "DIR OUT_DIR [--the-one HEX|@FILE]", "write one bundle per chromosome", 2, run_explode},
    {"pack", "IN_DIR OUT_DIR [--the-one HEX|@FILE]", "import every bundle of IN_DIR, in label order", 2, run_pack},
};

void print_subcommands(std::FILE *to) {
    std::fprintf(to, "subcommands (kelvra genome SUBCOMMAND --help for one):\n");
    for (const Subcommand &s : subcommands) std::fprintf(to, "  %-8s %-46s %s\n", s.name, s.usage, s.summary);
}

void help_genome(const Command &, Args before) {
    for (const Subcommand &sub : subcommands) {
        if (before.empty() || std::strcmp(before[0], sub.name) != 0) continue;
        std::printf("usage: kelvra genome %s %s\n\n%s\n", sub.name, sub.usage, sub.summary);
        std::printf("\n--the-one takes the identifying record as hexadecimal digits or @FILE (its raw bytes);\n"
                    "its length is the genome's leaf_dim. Exit status 1 when verification fails or a label\n"
                    "is unknown, 3 when a file or directory cannot be used.\n");
        return;
    }
    std::printf("usage: kelvra genome SUBCOMMAND ARGS...\n\n%s\n\n", genome_command.summary);
    print_subcommands(stdout);
}

int run_genome(Args args) {
    if (args.empty() || std::strcmp(args[0], "help") == 0) {
        std::FILE *to = args.empty() ? stderr : stdout;
        std::fprintf(to, "usage: kelvra genome SUBCOMMAND ARGS...\n\n");
        print_subcommands(to);
        return args.empty() ? exit_usage : exit_ok;
    }
    for (const Subcommand &sub : subcommands) {
        if (std::strcmp(args[0], sub.name) != 0) continue;
        Options options;
        std::string problem;
        if (!parse_options(args.subspan(1), options, problem)) return sub_usage_error(sub, problem.c_str());
        if (options.positional.size() != sub.positionals) {
            if (options.positional.size() > sub.positionals)
                problem = std::string("unexpected argument '") + options.positional[sub.positionals] + "'";
            return sub_usage_error(sub,
                                   options.positional.size() < sub.positionals ? "missing argument" : problem.c_str());
        }
        work_in_progress = std::string("genome ") + sub.name + (options.positional.empty() ? "" : " ") +
                           (options.positional.empty() ? "" : options.positional[0]);
        return sub.run(sub, options);
    }
    const std::string problem = "unknown subcommand '" + std::string(args[0]) + "'";
    const int rc = usage_error(genome_command, problem.c_str());
    print_subcommands(stderr);
    return rc;
}

} // namespace

} // namespace kelvra::cli
