#include "genome/steps.hpp"

#include <cstring>

#include "frame/status.hpp"
#include "genome/format.hpp"
#include "genome/text.hpp"
#include "platform/platform.hpp"

namespace kelvra::genome {
namespace {

const kelvra_json_value *chromosome_list(const kelvra_json_value *manifest, std::uint32_t *count) noexcept {
    const kelvra_json_value *list = member(member(manifest, "data"), "chromosomes");
    return array_count(list, count) ? list : nullptr;
}

} // namespace

bool find_chromosome(const kelvra_json_value *manifest, const void *label, std::size_t label_length,
                     ChromosomeEntry *entry) noexcept {
    std::uint32_t count = 0;
    const kelvra_json_value *list = chromosome_list(manifest, &count);
    if (list == nullptr) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        const kelvra_json_value *element = array_item(list, i);
        if (!string_equals(member(element, "label"), label, label_length)) continue;
        *entry = {member(element, "byte_offset"), member(element, "byte_len"), member(element, "cap_sha256")};
        return entry->byte_offset != nullptr && entry->byte_len != nullptr && entry->cap_sha256 != nullptr;
    }
    return false;
}

kelvra_status require_new_label(const kelvra_json_value *manifest, const void *label,
                                std::size_t label_length) noexcept {
    std::uint32_t count = 0;
    const kelvra_json_value *list = chromosome_list(manifest, &count);
    if (list == nullptr) return KELVRA_ERR_DATA;
    for (std::uint32_t i = 0; i < count; ++i) {
        const kelvra_json_value *stored = member(array_item(list, i), "label");
        Bytes text;
        if (!string_of(stored, &text)) return KELVRA_ERR_DATA;
        if (string_equals(stored, label, label_length)) return KELVRA_ERR_DATA;
    }
    return KELVRA_OK;
}

RecordedDigest recorded_body_digest(const kelvra_json_value *manifest) noexcept {
    RecordedDigest recorded{};
    Bytes text;
    if (string_of(member(member(manifest, "data"), "body_sha256"), &text) && text.length == digest_chars) {
        std::memcpy(recorded.text, text.data, digest_chars);
        recorded.present = true;
    }
    return recorded;
}

kelvra_status read_verified_body(const char *dir, const RecordedDigest &recorded, std::uint8_t *into,
                                 std::uint64_t capacity, std::uint64_t *length) noexcept {
    char path[path_capacity];
    if (!join_path(dir, body_file, path)) return KELVRA_ERR_CAPACITY;
    if (const kelvra_status s = kelvra_plat_file_read(path, into, capacity, length)) return s;
    char digest[digest_capacity];
    digest_hex(into, *length, digest);
    return recorded.present && std::memcmp(digest, recorded.text, digest_chars) == 0 ? KELVRA_OK : KELVRA_ERR_DATA;
}

kelvra_status read_verified_body(const char *dir, const kelvra_json_value *manifest, std::uint8_t *into,
                                 std::uint64_t capacity, std::uint64_t *length) noexcept {
    return read_verified_body(dir, recorded_body_digest(manifest), into, capacity, length);
}

kelvra_status require_same_the_one(const kelvra_json_value *manifest, const std::uint8_t *the_one,
                                   std::uint64_t the_one_len) noexcept {
    char digest[digest_capacity];
    digest_hex(the_one, the_one_len, digest);
    const kelvra_json_value *recorded = member(member(member(manifest, "data"), "the_one"), "sha256");
    return string_equals(recorded, digest, digest_chars) ? KELVRA_OK : KELVRA_ERR_DATA;
}

kelvra_status size_if_present(const char *path, std::uint64_t *size, bool *present) noexcept {
    *present = kelvra_plat_file_size(path, size) == KELVRA_OK;
    if (*present) return KELVRA_OK;
    *size = 0;
    return os::presence_of(path) == os::Presence::absent ? KELVRA_OK : KELVRA_ERR_IO;
}

kelvra_status stored_body_size(const char *dir, std::uint64_t *size) noexcept {
    char path[path_capacity];
    if (!join_path(dir, body_file, path)) return KELVRA_ERR_CAPACITY;
    return kelvra_plat_file_size(path, size);
}

bool region_within(const ChromosomeEntry &entry, std::uint64_t body_length, std::uint64_t *offset,
                   std::uint64_t *length) noexcept {
    std::int64_t at = 0, bytes = 0;
    if (!integer_of(entry.byte_offset, &at) || !integer_of(entry.byte_len, &bytes) || at < 0 || bytes < 0) return false;
    const auto start = static_cast<std::uint64_t>(at);
    const auto size = static_cast<std::uint64_t>(bytes);
    if (start > body_length || size > body_length - start) return false;
    *offset = start;
    *length = size;
    return true;
}

} // namespace kelvra::genome
