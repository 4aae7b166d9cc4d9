// kelvra sha256 [--tier N] [FILE...]: digests in sha256sum's format, and
// kelvra sha256 -c LISTING...: checks such a listing as sha256sum -c does.
//
// Files are mapped, not read into memory (Input), so hashing a file of any
// size takes no more of the process's own memory than a small one; standard
// input and other unmappable inputs are read whole.
//
// Which form hashes a file (measured with bench/bench_sha256 and thread CPU
// time on a 2-core AMD EPYC VM with AVX2 and the SHA extensions):
// - kelvra_sha256_shani asks the processor for the extensions on every call,
//   and that CPUID costs about 1.4 us here (a hypervisor traps it), about as
//   long as hashing 2 KiB with the extensions. kelvra_sha256_batch asks once
//   per call for the whole batch, and its 8-lane AVX2 form hashes 1.05-1.23
//   GB/s summed over the lanes on 4 KiB messages (0.4-0.55 GB/s on 64-byte
//   ones), against 0.85-1.0 GB/s (0.035 GB/s) for the extensions one by one
//   with the query included.
// - On long files the extensions win: about 1.55 GB/s on one core, and the
//   query vanishes against the work. The two meet near 6 KiB.
// So, where the processor has AVX2 (or lacks the extensions), files shorter
// than kBatchBelow are collected, up to kBatchFiles at a time, and hashed
// eight to a group with one batch call; longer files, and the fewer than
// eight left over at a flush (the batch would hash those with the scalar
// core), go one by one through kelvra_sha256_shani. The digests are the same
// bytes either way; the output keeps the order of the arguments.
//
// --tier N hashes every file through the batch form on batch tier N (it sets
// KELVRA_SHA256_FORCE_TIER for this process; a tier the processor lacks is
// lowered as everywhere else).
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli.hpp"
#include "io.hpp"
#include "system.hpp"

namespace kelvra::cli {

namespace {

constexpr uint64_t kBatchBelow = 8 * 1024;
constexpr size_t kBatchFiles = 64;

// A name as sha256sum writes it: a name holding a backslash or a line break
// is escaped, and its line then starts with a backslash.
std::string listed_name(std::string_view name, bool &escaped) {
    escaped = name.find_first_of("\\\n\r") != std::string_view::npos;
    if (!escaped) return std::string(name);
    std::string out;
    for (const char c : name) {
        if (c == '\\' || c == '\n' || c == '\r') out.push_back('\\');
        out.push_back(c == '\n' ? 'n' : c == '\r' ? 'r' : c);
    }
    return out;
}

void print_digest(const uint8_t *digest, const char *path) {
    char text[65];
    for (int i = 0; i < 32; ++i) std::snprintf(text + 2 * i, 3, "%02x", digest[i]);
    bool escaped = false;
    const std::string name = listed_name(path, escaped);
    std::printf("%s%s  %s\n", escaped ? "\\" : "", text, name.c_str());
}

int report(const char *path, kelvra_status s) {
    if (s == KELVRA_ERR_IO) return input_failed("sha256", path, s);
    return error("sha256", exit_code_for(s), "%s: status %u (%s)", path, s, status_name(s));
}

int hash_one(const uint8_t *data, uint64_t length, const char *path) {
    uint8_t digest[32];
    const kelvra_status s = kelvra_sha256_shani(length == 0 ? nullptr : data, length, digest);
    if (s != KELVRA_OK) return report(path, s);
    print_digest(digest, path);
    return 0;
}

// Files read but not yet hashed, in argument order.
struct Pending {
    std::vector<const char *> paths;
    std::vector<std::vector<uint8_t>> contents;
    bool whole_batch = false; // --tier: the leftovers go through the batch too

    int flush() {
        const size_t batched = whole_batch ? paths.size() : paths.size() / 8 * 8;
        int exit_code = 0;
        if (batched != 0) {
            std::vector<const uint8_t *> pointers;
            std::vector<uint64_t> lengths;
            for (size_t i = 0; i < batched; ++i) {
                pointers.push_back(contents[i].data());
                lengths.push_back(contents[i].size());
            }
            std::vector<uint8_t> digests(32 * batched);
            const kelvra_status s = kelvra_sha256_batch(pointers.data(), lengths.data(), batched, digests.data());
            for (size_t i = 0; i < batched; ++i) {
                if (s == KELVRA_OK) print_digest(digests.data() + 32 * i, paths[i]);
                else exit_code = std::max(exit_code, report(paths[i], s));
            }
        }
        for (size_t i = batched; i < paths.size(); ++i)
            exit_code = std::max(exit_code, hash_one(contents[i].data(), contents[i].size(), paths[i]));
        paths.clear();
        contents.clear();
        return exit_code;
    }
};

int hash_files(Args files, const char *tier) {
    Pending pending;
    uint64_t batch_below = kelvra_simd_has_avx2() != 0 || kelvra_simd_has_shani() == 0 ? kBatchBelow : 0;
    if (tier != nullptr) {
        set_environment("KELVRA_SHA256_FORCE_TIER", tier);
        batch_below = UINT64_MAX;
        pending.whole_batch = true;
    }
    int exit_code = 0;
    Input input;
    for (const char *path : files) {
        if (const kelvra_status s = input.open(path)) {
            exit_code = std::max(exit_code, pending.flush());
            exit_code = std::max(exit_code, report(path, s));
            continue;
        }
        if (input.size() < batch_below) {
            pending.paths.push_back(path);
            pending.contents.emplace_back(input.data(), input.data() + input.size());
            if (pending.paths.size() == kBatchFiles) exit_code = std::max(exit_code, pending.flush());
            continue;
        }
        exit_code = std::max(exit_code, pending.flush());
        exit_code = std::max(exit_code, hash_one(input.data(), input.size(), path));
    }
    return std::max(exit_code, pending.flush());
}

// ---- sha256 -c --------------------------------------------------------------

struct CheckOptions {
    bool quiet = false;  // no "OK" lines
    bool status = false; // no output at all; the exit code tells
    bool strict = false; // a malformed line fails the check
};

struct Tally {
    uint64_t malformed = 0, unreadable = 0, mismatched = 0, checked = 0;
    bool empty_listing = false; // a listing without one checksum line
};

// One listing line, "HEX  NAME" or "HEX *NAME" (a leading backslash: NAME is
// escaped) or "SHA256 (NAME) = HEX"; false when it is neither.
bool parse_listing_line(std::string_view line, std::string &hex, std::string &name) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const bool escaped = !line.empty() && line[0] == '\\';
    if (escaped) line.remove_prefix(1);
    std::string_view raw;
    if (line.starts_with("SHA256 (")) {
        const size_t close = line.rfind(") = ");
        if (close == std::string_view::npos || close < 8) return false;
        raw = line.substr(8, close - 8);
        hex = std::string(line.substr(close + 4));
    } else {
        if (line.size() < 66 || line[64] != ' ' || (line[65] != ' ' && line[65] != '*')) return false;
        hex = std::string(line.substr(0, 64));
        raw = line.substr(66);
    }
    if (hex.size() != 64 || raw.empty()) return false;
    for (char &c : hex) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    name.clear();
    for (size_t i = 0; i < raw.size(); ++i) {
        if (!escaped || raw[i] != '\\') {
            name += raw[i];
            continue;
        }
        if (++i == raw.size()) return false;
        if (raw[i] == '\\') name += '\\';
        else if (raw[i] == 'n') name += '\n';
        else if (raw[i] == 'r') name += '\r';
        else return false;
    }
    return true;
}

void check_entry(const std::string &hex, const std::string &name, const CheckOptions &o, Tally &tally) {
    Input input;
    uint8_t digest[32];
    kelvra_status s = input.open(name.c_str());
    if (s == KELVRA_OK) s = kelvra_sha256_shani(input.size() == 0 ? nullptr : input.data(), input.size(), digest);
    bool escaped = false;
    const std::string shown = listed_name(name, escaped);
    const char *mark = escaped ? "\\" : "";
    ++tally.checked;
    if (s != KELVRA_OK) {
        ++tally.unreadable;
        if (!o.status) {
            const std::string why = path_problem(name.c_str());
            std::fprintf(stderr, "kelvra sha256: %s: %s\n", shown.c_str(), why.empty() ? status_name(s) : why.c_str());
            std::printf("%s%s: FAILED open or read\n", mark, shown.c_str());
        }
        return;
    }
    char actual[65];
    for (int i = 0; i < 32; ++i) std::snprintf(actual + 2 * i, 3, "%02x", digest[i]);
    const bool same = hex == actual;
    if (!same) ++tally.mismatched;
    if (!o.status && (!same || !o.quiet)) std::printf("%s%s: %s\n", mark, shown.c_str(), same ? "OK" : "FAILED");
}

// Checks one listing; returns false when it cannot be read.
bool check_listing(const char *path, const CheckOptions &o, Tally &tally) {
    Input listing;
    if (const kelvra_status s = listing.open(path)) {
        input_failed("sha256", path, s);
        return false;
    }
    const std::string_view text(reinterpret_cast<const char *>(listing.data()), listing.size());
    const uint64_t checked_before = tally.checked;
    std::string hex, name;
    uint64_t line_number = 0;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        ++line_number;
        if (line.empty() || line[0] == '#') continue;
        if (parse_listing_line(line, hex, name)) {
            check_entry(hex, name, o, tally);
        } else {
            ++tally.malformed;
            if (o.strict && !o.status)
                std::fprintf(stderr, "kelvra sha256: %s: line %llu is not a SHA-256 checksum line\n", path,
                             static_cast<unsigned long long>(line_number));
        }
    }
    if (tally.checked == checked_before) {
        std::fprintf(stderr, "kelvra sha256: %s: no properly formatted SHA-256 checksum lines found\n", path);
        tally.empty_listing = true;
    }
    return true;
}

void warn(uint64_t n, const char *one, const char *many) {
    if (n != 0)
        std::fprintf(stderr, "kelvra sha256: WARNING: %llu %s\n", static_cast<unsigned long long>(n),
                     n == 1 ? one : many);
}

int check_listings(Args listings, const CheckOptions &o) {
    Tally tally;
    int exit_code = exit_ok;
    for (const char *path : listings)
        if (!check_listing(path, o, tally)) exit_code = exit_io;
    if (!o.status) {
        warn(tally.malformed, "line is improperly formatted", "lines are improperly formatted");
        warn(tally.unreadable, "listed file could not be read", "listed files could not be read");
        warn(tally.mismatched, "computed checksum did NOT match", "computed checksums did NOT match");
    }
    if (tally.unreadable != 0) exit_code = exit_io;
    if (exit_code == exit_ok && (tally.mismatched != 0 || tally.empty_listing || (o.strict && tally.malformed != 0)))
        exit_code = exit_data;
    return exit_code;
}

int run_sha256(Args all) {
    static char dash[] = "-";
    static char *const standard_input[] = {dash};
    // Options come before the files; "--" ends them ("-" alone is standard input).
    const char *tier = nullptr;
    bool check = false;
    CheckOptions check_options;
    std::vector<char *> files;
    bool options = true;
    for (size_t i = 0; i < all.size(); ++i) {
        const std::string_view a = all[i];
        if (options && a == "--") {
            options = false;
        } else if (options && a == "--tier") {
            if (i + 1 == all.size()) return usage_error(hash_commands[0], "--tier takes 0, 1 or 2");
            tier = all[++i];
        } else if (options && (a == "-c" || a == "--check")) {
            check = true;
        } else if (options && (a == "--quiet" || a == "--status" || a == "--strict")) {
            (a == "--quiet"    ? check_options.quiet
             : a == "--status" ? check_options.status
                               : check_options.strict) = true;
        } else if (options && a.size() > 1 && a[0] == '-') {
            const std::string problem = "unknown option '" + std::string(a) + "' (a file named so: put -- before it)";
            return usage_error(hash_commands[0], problem.c_str());
        } else {
            files.push_back(all[i]);
        }
    }
    if (tier != nullptr) {
        const std::string_view t(tier);
        if (t != "0" && t != "1" && t != "2") {
            const std::string problem = "--tier takes 0, 1 or 2, not '" + std::string(t) + "'";
            return usage_error(hash_commands[0], problem.c_str());
        }
    }
    if (!check && (check_options.quiet || check_options.status || check_options.strict))
        return usage_error(hash_commands[0], "--quiet, --status and --strict go with -c");
    Args args(files.data(), files.size());
    if (args.empty()) args = Args(standard_input, 1);
    return check ? check_listings(args, check_options) : hash_files(args, tier);
}

void help_sha256(const Command &self, Args) {
    std::printf("usage: kelvra sha256 %s\n\n%s\n\n"
                "  --tier N      hash every file with the batch form on tier N (0 scalar, 1 SSE2, 2 AVX2);\n"
                "                sets KELVRA_SHA256_FORCE_TIER for this run\n"
                "  -c, --check   read SHA-256 listings (this command's or sha256sum's output, or\n"
                "                'SHA256 (NAME) = HEX' lines) and check the files they name\n"
                "  --quiet       with -c: print only the files that fail\n"
                "  --status      with -c: print nothing; the exit status tells\n"
                "  --strict      with -c: a line that is not a checksum line fails the check\n"
                "  --            the rest are files, even when they start with -\n"
                "Files are mapped, not read into memory. Exit status 3 when a file cannot be\n"
                "read (its digest line is left out; with -c: 'FAILED open or read'), 1 when a\n"
                "checked file does not match or a listing has no checksum lines.\n",
                self.usage, self.summary);
}

} // namespace

const Command hash_commands[1] = {
    {"sha256", "[--tier N] [FILE...] | -c [--quiet|--status|--strict] [LISTING...]",
     "SHA-256 digests in sha256sum's format, or check a listing ('-' or none: standard input)", run_sha256,
     help_sha256},
};

} // namespace kelvra::cli
