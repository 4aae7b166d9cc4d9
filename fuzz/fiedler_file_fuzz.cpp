// The sparse Fiedler solver's edge file on arbitrary bytes: the input is
// written as the file and solved from disk, and the same records are solved
// from memory. The statuses must agree (a file whose length is not a multiple
// of 16 gives 2 on its own), both outputs are zero on every failure, and on
// success the two vectors are equal bit for bit and finite.
//
// The vertex count and iteration budget come from the input's length, so the
// fuzzer reaches n < 2, out-of-range endpoints and the early stop alike; a
// first byte of 0xff multiplies n by 64, so that the file is read into the
// workspace rather than into the buffer on the stack.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "kelvra.h"

namespace {

// One file per process, removed after each input (libFuzzer may end the
// process without running exit handlers).
const std::string &edge_path() {
    static const std::string path = "/tmp/kelvra-fiedler-fuzz-" + std::to_string(getpid());
    return path;
}

bool all_zero(const std::vector<double> &v) {
    for (double e : v)
        if (e != 0.0) return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const uint32_t n = static_cast<uint32_t>(size % 67) * (size > 0 && data[0] == 0xff ? 64 : 1);
    const uint32_t iterations = static_cast<uint32_t>((size / 7) % 40);
    const std::string &path = edge_path();
    if (kelvra_plat_file_write(path.c_str(), 0, data, size) != KELVRA_OK) std::abort();

    const size_t count = size / 16;
    std::vector<uint32_t> src(count), dst(count);
    std::vector<double> weights(count);
    for (size_t e = 0; e < count; ++e) {
        std::memcpy(&src[e], data + 16 * e, 4);
        std::memcpy(&dst[e], data + 16 * e + 4, 4);
        std::memcpy(&weights[e], data + 16 * e + 8, 8);
    }

    // One spare element each, so that no pointer is null even for n = 0.
    std::vector<double> from_memory(n + 1, 7.0), from_file(n + 1, 7.0), workspace(8 * size_t{n} + 1);
    const uint64_t room = 8 * uint64_t{n};
    const kelvra_status memory_status =
        kelvra_laplacian_fiedler_sparse(n, static_cast<uint32_t>(count), src.data(), dst.data(), weights.data(),
                                        iterations, from_memory.data(), workspace.data(), room);
    const kelvra_status file_status =
        kelvra_laplacian_fiedler_sparse_file(n, path.c_str(), iterations, from_file.data(), workspace.data(), room);
    unlink(path.c_str());
    from_memory.pop_back(), from_file.pop_back();

    const kelvra_status expected = n >= 2 && size % 16 != 0 ? KELVRA_ERR_DATA : memory_status;
    if (memory_status != KELVRA_OK && memory_status != KELVRA_ERR_DATA) __builtin_trap();
    if (file_status != expected) __builtin_trap();
    if (memory_status != KELVRA_OK && !all_zero(from_memory)) __builtin_trap();
    if (file_status != KELVRA_OK && !all_zero(from_file)) __builtin_trap();
    if (memory_status == KELVRA_OK && file_status == KELVRA_OK) {
        if (std::memcmp(from_memory.data(), from_file.data(), n * sizeof(double)) != 0) __builtin_trap();
        for (double e : from_file)
            if (!std::isfinite(e)) __builtin_trap();
    }
    return 0;
}
