// Small helpers for building the manifest and bundle documents with the JSON
// builder: constant and NUL-terminated texts, and objects from fixed tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kelvra.h"

namespace kelvra::genome {

// A string value referring to a NUL-terminated text (not copied).
inline kelvra_json_value *text_value(kelvra_json_builder &b, const char *text) noexcept {
    return kelvra_json_new_string(&b, reinterpret_cast<const std::uint8_t *>(text),
                                  static_cast<std::uint32_t>(std::strlen(text)));
}

// An object whose keys and values come as two arrays of the same length.
template <std::size_t N>
kelvra_json_value *object_of(kelvra_json_builder &b, const char *const (&keys)[N],
                             kelvra_json_value *const (&values)[N]) noexcept {
    return kelvra_json_new_object(&b, keys, values, N);
}

} // namespace kelvra::genome
