#include "genome/text.hpp"

#include <cstring>

#include "hash/sha256_core.hpp"
#include "text/json_record.hpp"

namespace kelvra::genome {

namespace rec = text::json_record;

void digest_hex(const std::uint8_t *data, std::uint64_t length, char *out) noexcept {
    hash::sha256_write_hex(hash::sha256_message(data, length), out);
}

void write_hex(const std::uint8_t *data, std::uint64_t length, char *out) noexcept {
    static constexpr char digits[] = "0123456789abcdef";
    for (std::uint64_t i = 0; i < length; ++i) {
        out[2 * i] = digits[data[i] >> 4];
        out[2 * i + 1] = digits[data[i] & 15u];
    }
    out[2 * length] = '\0';
}

bool join_path(const char *dir, const char *name, char (&out)[path_capacity]) noexcept {
    const std::size_t dir_length = std::strlen(dir);
    const std::size_t name_length = std::strlen(name);
    if (dir_length + name_length + 2 > path_capacity) return false;
    std::memcpy(out, dir, dir_length);
    out[dir_length] = '/';
    std::memcpy(out + dir_length + 1, name, name_length + 1);
    return true;
}

std::uint64_t without_line_ends(const std::uint8_t *text, std::uint64_t length) noexcept {
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r')) --length;
    return length;
}

const kelvra_json_value *member(const kelvra_json_value *object, const char *key) noexcept {
    return kelvra_json_object_get(object, key);
}

bool is_object(const kelvra_json_value *value) noexcept {
    return value != nullptr && rec::load_kind(value) == KELVRA_JSON_OBJECT;
}

bool array_count(const kelvra_json_value *value, std::uint32_t *count) noexcept {
    if (value == nullptr || rec::load_kind(value) != KELVRA_JSON_ARRAY) return false;
    *count = rec::load_array(value).count;
    return true;
}

const kelvra_json_value *array_item(const kelvra_json_value *array, std::uint32_t i) noexcept {
    return rec::load_value_at(rec::load_array(array).items, i);
}

bool string_of(const kelvra_json_value *value, Bytes *out) noexcept {
    if (value == nullptr || rec::load_kind(value) != KELVRA_JSON_STRING) return false;
    const rec::StringField field = rec::load_string(value);
    *out = {field.bytes, field.length};
    return true;
}

bool integer_of(const kelvra_json_value *value, std::int64_t *out) noexcept {
    if (value == nullptr || rec::load_kind(value) != KELVRA_JSON_INT) return false;
    *out = rec::load_int(value);
    return true;
}

bool string_equals(const kelvra_json_value *value, const void *bytes, std::size_t length) noexcept {
    Bytes text;
    return string_of(value, &text) && text.length == length &&
           (length == 0 || std::memcmp(text.data, bytes, length) == 0);
}

} // namespace kelvra::genome
