// The block scans of the byte searches (bytes.cpp): the needle's first and
// last bytes compared at 16 start positions per step, and only the candidates
// checked in full. When the checks cost more than the allowance below
// (periodic text), a scan stops and the search goes on with Two-Way from
// where it stopped. byte_scan_sse2.cpp holds them: SSE2 on x86-64 (part of
// the baseline, so no processor query is needed), the same steps with a
// byte-by-byte comparison elsewhere, with the same results.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kelvra::text {

// Internal linkage: each including file keeps its own copy.
namespace {

// Bytes spent on candidate checks before the scan hands over to Two-Way:
// a fixed allowance plus a few times the distance covered.
constexpr uint64_t check_allowance = 4096;
constexpr uint64_t check_per_byte = 4;

inline bool middle_matches(const uint8_t *at, const uint8_t *needle, uint32_t m) noexcept {
    return m <= 2 || std::memcmp(at + 1, needle + 1, m - 2) == 0;
}

} // namespace

// Where a scan stopped: the first match, or (found false) how far it got.
struct ScanState {
    uint64_t spent = 0; // bytes spent on candidate checks
    uint64_t done = 0;  // start positions tried (from the front, or from the back)
    bool found = false;
    uint64_t at = 0; // the match, when found
};

// Start positions 0, 1, ... of needle[0, m) in hay, while 16 of the `starts`
// remain and the allowance holds.
ScanState scan_blocks_forward(const uint8_t *hay, uint64_t starts, const uint8_t *needle, uint32_t m) noexcept;

// Start positions starts - 1, starts - 2, ..., under the same conditions.
ScanState scan_blocks_backward(const uint8_t *hay, uint64_t starts, const uint8_t *needle, uint32_t m) noexcept;

} // namespace kelvra::text
