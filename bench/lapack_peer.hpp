// Loading a LAPACK build as a benchmark peer. Each build is loaded with its
// dependencies into a link-map namespace of its own (dlmopen), so reference
// LAPACK really runs on reference BLAS and OpenBLAS on itself, side by side in
// one process.
#pragma once

#include <dlfcn.h>
#include <link.h>

#include <cstdio>
#include <string>
#include <vector>

namespace kelvra_bench {

inline constexpr const char *kLibraryDir = "/usr/lib/x86_64-linux-gnu/";

// Loads `libraries` in order into one fresh namespace and returns the handle
// of the last one (its dependencies resolve to the earlier ones first), or
// null with a note on stderr.
inline void *load_lapack(const char *name, const std::vector<std::string> &libraries) {
    Lmid_t namespace_id = LM_ID_NEWLM;
    void *handle = nullptr;
    for (const std::string &lib : libraries) {
        handle = dlmopen(namespace_id, (kLibraryDir + lib).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            std::fprintf(stderr, "skipping %s: %s\n", name, dlerror());
            return nullptr;
        }
        dlinfo(handle, RTLD_DI_LMID, &namespace_id);
    }
    return handle;
}

} // namespace kelvra_bench
