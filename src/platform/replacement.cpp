// What replacements and batches are made of on every platform: one file
// replaced on its own is the replacement of that one file within its
// directory, and a batch is the lock of a replacement with a name of its own.
#include "platform/platform.hpp"
#include "platform/temp_names.hpp"

namespace kelvra::os {

bool replace_file(const char *path, const void *data, std::uint64_t length) noexcept {
    char directory[4096];
    const char *name = nullptr;
    if (!split_path(path, directory, &name)) return false;
    Replacement r;
    const bool done = begin_replacement(directory, &r) && stage_file(&r, name, data, length) && commit_replacement(&r);
    end_replacement(&r);
    return done;
}

bool begin_batch(const char *directory, FileBatch *b) noexcept {
    b->directory = -1;
    Replacement r;
    if (!begin_replacement(directory, &r)) return false;
    b->directory = r.directory;
    name_batch(b);
    return true;
}

} // namespace kelvra::os
