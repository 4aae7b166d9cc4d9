// Explode: one bundle per chromosome, written into a directory. The manifest
// is read once into a table of what each bundle needs and the body is read
// and verified once, so the work grows with the genome's size, not with its
// size times its chromosome count. A genome whose labels repeat is refused
// before anything is written: its bundles would overwrite one another.
#include <cstring>

#include "frame/status.hpp"
#include "genome/bundle.hpp"
#include "genome/format.hpp"
#include "genome/label_set.hpp"
#include "genome/manifest.hpp"
#include "genome/steps.hpp"
#include "genome/text.hpp"
#include "platform/platform.hpp"

namespace kelvra::genome {
namespace {

// What one bundle is written from, copied out of the manifest. Byte arrays
// only: the table sits at the arena's start, at any address.
struct ExplodeEntry {
    char label[label_capacity];
    char cap_sha256[digest_capacity];
    std::uint8_t status; // the manifest's fault for this chromosome, reported when its turn comes
    std::uint8_t offset[8];
    std::uint8_t length[8];
    std::uint8_t leaf_count[8];
};

template <typename T>
T load(const std::uint8_t (&cell)[8]) noexcept {
    T value;
    std::memcpy(&value, cell, sizeof value);
    return value;
}

template <typename T>
void store(std::uint8_t (&cell)[8], T value) noexcept {
    std::memcpy(cell, &value, sizeof value);
}

kelvra_status chromosome_list(const kelvra_json_value *manifest, const kelvra_json_value **list,
                              std::uint32_t *count) noexcept {
    const kelvra_json_value *data = member(manifest, "data");
    if (data == nullptr) return KELVRA_ERR_DATA;
    *list = member(data, "chromosomes");
    return array_count(*list, count) ? KELVRA_OK : KELVRA_ERR_DATA;
}

// A label becomes a file name: it must be a usable, non-empty name that stays
// inside the output directory.
bool usable_as_file_name(const Bytes &label) noexcept {
    if (label.length == 0 || label.length > max_label_bytes) return false;
    if (label.length == 1 && label.data[0] == '.') return false;
    if (label.length == 2 && label.data[0] == '.' && label.data[1] == '.') return false;
    for (std::uint32_t i = 0; i < label.length; ++i) {
        const std::uint8_t c = label.data[i];
        if (c == '/' || c == '\\' || c == '\0') return false;
    }
    return true;
}

// Every label, in array order, before anything else: each must make a file name.
kelvra_status copy_labels(const kelvra_json_value *list, std::uint32_t count, ExplodeEntry *table) noexcept {
    for (std::uint32_t i = 0; i < count; ++i) {
        Bytes label;
        if (!string_of(member(array_item(list, i), "label"), &label)) return KELVRA_ERR_DATA;
        if (!usable_as_file_name(label)) return KELVRA_ERR_DATA;
        std::memcpy(table[i].label, label.data, label.length);
        table[i].label[label.length] = '\0';
    }
    return KELVRA_OK;
}

kelvra_status refuse_repeated_labels(const ExplodeEntry *table, std::uint32_t count, Area area) noexcept {
    LabelSet labels;
    if (!labels.place(area, count)) return KELVRA_ERR_CAPACITY;
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto *label = reinterpret_cast<const std::uint8_t *>(table[i].label);
        if (labels.add(label, static_cast<std::uint32_t>(std::strlen(table[i].label))) != LabelSet::Added::added)
            return KELVRA_ERR_DATA;
    }
    return KELVRA_OK;
}

// The rest of each entry. A chromosome whose figures are malformed keeps its
// status, so the bundles before it are still written, as exporting them one
// by one would.
void copy_figures(const kelvra_json_value *list, std::uint32_t count, const kelvra_bundle_desc &genome,
                  ExplodeEntry *table) noexcept {
    for (std::uint32_t i = 0; i < count; ++i) {
        kelvra_bundle_desc desc{};
        RegionPlace place{};
        ExplodeEntry &e = table[i];
        e.status = static_cast<std::uint8_t>(bundle_chromosome_fields(array_item(list, i), genome, desc, &place));
        std::memcpy(e.cap_sha256, desc.cap_sha256, sizeof e.cap_sha256);
        store(e.offset, place.offset);
        store(e.length, place.length);
        store(e.leaf_count, desc.leaf_count);
    }
}

// "<label>.chr"
void bundle_file_name(const ExplodeEntry &e, char (&name)[label_capacity + bundle_suffix_length]) noexcept {
    const std::size_t length = std::strlen(e.label);
    std::memcpy(name, e.label, length);
    std::memcpy(name + length, bundle_suffix, sizeof bundle_suffix);
}

// Renders and writes the bundles in order, under temporary names, until one
// fails; `*written` counts those written.
kelvra_status write_each(os::FileBatch &batch, const char *out_dir, const ExplodeEntry *table, std::uint32_t count,
                         const kelvra_bundle_desc &genome, const std::uint8_t *body, std::uint64_t body_length,
                         Area scratch, std::uint32_t *written) noexcept {
    for (*written = 0; *written < count; ++*written) {
        const ExplodeEntry &e = table[*written];
        if (e.status != KELVRA_OK) return e.status;
        char file_name[label_capacity + bundle_suffix_length];
        bundle_file_name(e, file_name);
        char path[path_capacity];
        if (!join_path(out_dir, file_name, path)) return KELVRA_ERR_CAPACITY;
        kelvra_bundle_desc desc = genome;
        std::memcpy(desc.label, e.label, std::strlen(e.label) + 1);
        std::memcpy(desc.cap_sha256, e.cap_sha256, sizeof desc.cap_sha256);
        desc.leaf_count = load<std::int64_t>(e.leaf_count);
        const RegionPlace place{load<std::uint64_t>(e.offset), load<std::uint64_t>(e.length)};
        const std::uint8_t *line = nullptr;
        std::uint64_t line_length = 0;
        if (const kelvra_status s = render_bundle(desc, body, body_length, place, scratch, &line, &line_length))
            return s;
        if (!os::batch_write(&batch, file_name, line, line_length)) return KELVRA_ERR_IO;
    }
    return KELVRA_OK;
}

// Every bundle written before the first failure is flushed and renamed into
// place, so a failure keeps the bundles before it, each one whole.
kelvra_status write_bundles(const char *out_dir, const ExplodeEntry *table, std::uint32_t count,
                            const kelvra_bundle_desc &genome, const std::uint8_t *body, std::uint64_t body_length,
                            Area scratch) noexcept {
    os::FileBatch batch;
    if (!os::begin_batch(out_dir, &batch)) return KELVRA_ERR_IO;
    std::uint32_t written = 0;
    kelvra_status status = write_each(batch, out_dir, table, count, genome, body, body_length, scratch, &written);
    bool committing = written == 0 || os::batch_flush(&batch);
    if (!committing) status = KELVRA_ERR_IO;
    for (std::uint32_t i = 0; i < written; ++i) {
        char file_name[label_capacity + bundle_suffix_length];
        bundle_file_name(table[i], file_name);
        if (committing && os::batch_commit(&batch, file_name)) continue;
        if (committing) status = KELVRA_ERR_IO; // this bundle and the ones after it stay unwritten
        committing = false;
        os::batch_discard(&batch, file_name);
    }
    if (!os::end_batch(&batch) && status == KELVRA_OK) status = KELVRA_ERR_IO;
    return status;
}

} // namespace
} // namespace kelvra::genome

using namespace kelvra;
using namespace kelvra::genome;

extern "C" KELVRA_API kelvra_status kelvra_genome_explode(const char *dir, const char *out_dir, const uint8_t *the_one,
                                                          uint64_t the_one_len, uint8_t *arena,
                                                          uint64_t arena_cap) noexcept {
    if (dir == nullptr || out_dir == nullptr || arena == nullptr) return KELVRA_ERR_ARG;
    if (the_one_out_of_range(the_one, the_one_len)) return KELVRA_ERR_DATA;
    const kelvra_json_value *manifest = nullptr, *list = nullptr;
    std::uint32_t count = 0;
    if (const kelvra_status s = obtain_manifest(dir, the_one, the_one_len, {arena, arena_cap}, &manifest)) return s;
    if (const kelvra_status s = chromosome_list(manifest, &list, &count)) return s;

    // The first reading only counts the chromosomes; the second lies after
    // the table that receives what the bundles need.
    const std::uint64_t table_bytes = std::uint64_t{count > 0 ? count : 1} * sizeof(ExplodeEntry);
    if (table_bytes > arena_cap) return KELVRA_ERR_CAPACITY;
    auto *table = reinterpret_cast<ExplodeEntry *>(arena);
    const Area rest = area_from({arena, arena_cap}, rounded_within(table_bytes, arena_cap));
    std::uint32_t listed = 0;
    if (const kelvra_status s = obtain_manifest(dir, the_one, the_one_len, rest, &manifest)) return s;
    if (const kelvra_status s = chromosome_list(manifest, &list, &listed)) return s;
    if (listed > count) return KELVRA_ERR_CAPACITY; // the manifest grew between the two readings
    if (const kelvra_status s = copy_labels(list, listed, table)) return s;
    if (listed == 0) return KELVRA_OK;
    kelvra_bundle_desc genome{};
    if (const kelvra_status s = bundle_genome_fields(manifest, genome)) return s;
    copy_figures(list, listed, genome, table);
    const RecordedDigest recorded = recorded_body_digest(manifest);

    // From here on the manifest is not needed: the area after the table holds
    // the label set for a moment, then the body.
    if (const kelvra_status s = refuse_repeated_labels(table, listed, rest)) return s;
    std::uint64_t body_length = 0;
    if (const kelvra_status s = read_body_for_bundles(dir, recorded, rest, &body_length)) return s;
    const Area scratch = area_from(rest, rounded_within(body_length > 0 ? body_length : 1, rest.capacity));
    return write_bundles(out_dir, table, listed, genome, rest.base, body_length, scratch);
}
