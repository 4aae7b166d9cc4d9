// Paths past MAX_PATH. The ANSI file functions refuse them, so a path in the
// runtime's code page is made absolute (which also folds repeated and forward
// slashes) and given the "\\?\" prefix ("\\?\UNC\" for a share) in UTF-16.
#pragma once

#include <cstddef>

namespace kelvra::os {

// Room for any path the layer takes once the current directory is put in
// front of a relative one, with its prefix.
inline constexpr std::size_t long_path_capacity = 4096 + 16;

// `path` as an absolute, prefixed UTF-16 path in out[0, long_path_capacity);
// its length, or 0 when it cannot be made or does not fit.
std::size_t long_path(const char *path, wchar_t (&out)[long_path_capacity]) noexcept;

} // namespace kelvra::os
