// kelvra hdc demo, kelvra hamming encode|decode BITS: hypervectors and the
// Hamming code from the shell, and the hypervector section of kelvra demo.
//
// The demo stores a record in one binary hypervector: each field's role is
// bound (XOR) to its filler, the bound pairs are bundled (bitwise majority),
// and a field is read back by binding the record with the role again and
// asking which known filler is most similar. Symbols get pseudo-random
// vectors seeded from their names, so every run prints the same numbers.
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "cli.hpp"

namespace kelvra::cli {

namespace {

// 8192 bits: two unrelated random vectors agree on about half of them
// (similarity near 0), and a bundle of three stays clearly closer to each
// of its members than to anything else.
constexpr uint32_t kBytes = 1024;

using Vector = std::vector<uint8_t>;

// A vector for a symbol: splitmix64 seeded with the FNV-1a hash of its name.
Vector symbol_vector(std::string_view name) {
    uint64_t state = 0xcbf29ce484222325u;
    for (char c : name) state = (state ^ static_cast<uint8_t>(c)) * 0x100000001b3u;
    Vector v(kBytes);
    for (uint32_t i = 0; i < kBytes; i += 8) {
        state += 0x9e3779b97f4a7c15u;
        uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
        z ^= z >> 31;
        std::memcpy(v.data() + i, &z, 8);
    }
    return v;
}

struct Field {
    const char *role, *filler;
};

constexpr Field kRecord[] = {{"country", "France"}, {"capital", "Paris"}, {"currency", "euro"}};
constexpr const char *kFillers[] = {"France", "Paris", "euro", "Mexico", "Mexico City", "peso"};

#define HDC_CALL(call)                                                                                                 \
    do {                                                                                                               \
        if (const kelvra_status status_ = (call)) {                                                                    \
            return fail(#call, status_);                                                                               \
        }                                                                                                              \
    } while (0)

// The record: bundle of role XOR filler over the three fields.
int build_record(Vector &record) {
    std::vector<Vector> pairs;
    for (const Field &f : kRecord) {
        Vector pair(kBytes);
        HDC_CALL(kelvra_hdc_bind(symbol_vector(f.role).data(), symbol_vector(f.filler).data(), kBytes, pair.data()));
        pairs.push_back(pair);
    }
    const uint8_t *members[] = {pairs[0].data(), pairs[1].data(), pairs[2].data()};
    record.assign(kBytes, 0);
    HDC_CALL(kelvra_hdc_bundle(members, 3, kBytes, record.data()));
    return 0;
}

// Unbinds `role` from the record and prints each filler's similarity to the
// result, marking the best.
int query(const Vector &record, const char *role, const char *indent) {
    Vector probe(kBytes);
    HDC_CALL(kelvra_hdc_bind(record.data(), symbol_vector(role).data(), kBytes, probe.data()));
    double scores[std::size(kFillers)];
    size_t best = 0;
    for (size_t i = 0; i < std::size(kFillers); ++i) {
        HDC_CALL(kelvra_hdc_similarity(probe.data(), symbol_vector(kFillers[i]).data(), kBytes, &scores[i]));
        if (scores[i] > scores[best]) best = i;
    }
    std::printf("%s%-9s ->", indent, role);
    for (size_t i = 0; i < std::size(kFillers); ++i) {
        std::printf(" %s%s %+.3f", i == best ? "*" : "", kFillers[i], scores[i]);
        if (i + 1 < std::size(kFillers)) std::printf(",");
    }
    std::printf("\n");
    return 0;
}

int run_record_demo(const char *indent) {
    std::printf("%srecord = bundle(country^France, capital^Paris, currency^euro), %u bits\n", indent, kBytes * 8);
    Vector record;
    if (int rc = build_record(record)) return rc;
    std::printf("%squery: similarity of record^role to each filler (* = best)\n", indent);
    for (const Field &f : kRecord) {
        if (int rc = query(record, f.role, indent)) return rc;
    }
    return 0;
}

// ---- Hamming ---------------------------------------------------------------

bool parse_bits(const char *text, Vector &bits) {
    bits.clear();
    for (const char *p = text; *p; ++p) {
        if (*p != '0' && *p != '1') return false;
        bits.push_back(static_cast<uint8_t>(*p - '0'));
    }
    return !bits.empty();
}

std::string bits_text(const uint8_t *bits, uint64_t n) {
    std::string s;
    for (uint64_t i = 0; i < n; ++i) s.push_back(static_cast<char>('0' + bits[i]));
    return s;
}

uint64_t data_bits_for(int r) { return (uint64_t{1} << r) - 1 - static_cast<uint64_t>(r); }

// The smallest code whose data part holds `length` bits (0 when none does).
int parity_bits_for_data(uint64_t length) {
    for (int r = 2; r <= 16; ++r) {
        if (data_bits_for(r) >= length) return r;
    }
    return 0;
}

int run_encode(const Vector &data) {
    const int r = parity_bits_for_data(data.size());
    if (r == 0) return usage_error(hdc_commands[1], "at most 65519 data bits");
    Vector padded = data;
    padded.resize(data_bits_for(r), 0);
    Vector code((uint64_t{1} << r) - 1);
    HDC_CALL(kelvra_hamming_encode(padded.data(), padded.size(), r, code.data()));
    std::printf("r = %d: %zu code bits for %zu data bits", r, code.size(), padded.size());
    if (padded.size() > data.size()) std::printf(" (%zu zero bits appended)", padded.size() - data.size());
    std::printf("\n%s\n", bits_text(code.data(), code.size()).c_str());
    return 0;
}

int run_decode(const Vector &code) {
    Vector data(code.size());
    uint32_t syndrome = 0;
    const kelvra_status s = kelvra_hamming_decode_correct(code.data(), code.size(), data.data(), &syndrome);
    if (s == KELVRA_ERR_DATA)
        return usage_error(hdc_commands[1], "a code word has 2^r - 1 bits (3, 7, 15, ..., 65535)");
    if (s != KELVRA_OK) return fail("kelvra_hamming_decode_correct", s);
    int r = 0;
    while ((uint64_t{1} << r) - 1 < code.size()) ++r;
    const uint64_t k = code.size() - static_cast<uint64_t>(r);
    std::printf("data     %s\n", bits_text(data.data(), k).c_str());
    if (syndrome == 0) {
        std::printf("syndrome 0: no error\n");
    } else {
        const bool parity = (syndrome & (syndrome - 1)) == 0;
        std::printf("syndrome %u: bit %u was flipped (%s)\n", syndrome, syndrome,
                    parity ? "a parity bit; the data was intact" : "a data bit; corrected");
    }
    return 0;
}

int run_hdc(Args all) {
    const std::vector<char *> args = operands(all);
    if (args.size() != 1 || std::strcmp(args[0], "demo") != 0)
        return usage_error(hdc_commands[0], args.empty() ? "no action given (demo)" : "expected just 'demo'");
    return run_record_demo("");
}

int run_hamming(Args all) {
    const std::vector<char *> args = operands(all);
    if (args.empty() || (std::strcmp(args[0], "encode") != 0 && std::strcmp(args[0], "decode") != 0))
        return usage_error(hdc_commands[1],
                           args.empty() ? "no action given (encode or decode)" : "unknown action (encode or decode)");
    if (args.size() != 2) return usage_error(hdc_commands[1], "one bit string");
    Vector bits;
    if (!parse_bits(args[1], bits)) {
        const std::string problem = "'" + std::string(args[1]) + "' is not a string of 0s and 1s";
        return usage_error(hdc_commands[1], problem.c_str());
    }
    return std::strcmp(args[0], "encode") == 0 ? run_encode(bits) : run_decode(bits);
}

} // namespace

const Command hdc_commands[2] = {
    {"hdc", "demo", "store a record in one binary hypervector and query it by similarity", run_hdc},
    {"hamming", "encode|decode BITS", "Hamming-encode data bits, or correct and decode a code word", run_hamming},
};

int demo_hdc(int section_number) {
    std::printf("\n%d. Hypervectors and the Hamming code\n", section_number);
    if (int rc = run_record_demo("   ")) return rc;

    const uint8_t data[4] = {1, 0, 1, 1};
    uint8_t code[7], decoded[4];
    uint32_t syndrome = 0;
    HDC_CALL(kelvra_hamming_encode(data, 4, 3, code));
    std::printf("   Hamming(7,4): data 1011 -> code %s\n", bits_text(code, 7).c_str());
    code[4] ^= 1;
    HDC_CALL(kelvra_hamming_decode_correct(code, 7, decoded, &syndrome));
    std::printf("   bit 5 flipped -> %s: syndrome %u, data %s restored\n", bits_text(code, 7).c_str(), syndrome,
                bits_text(decoded, 4).c_str());
    return 0;
}

#undef HDC_CALL

} // namespace kelvra::cli
