#include "genome/index.hpp"

#include <cstring>

#include "frame/status.hpp"
#include "genome/text.hpp"

namespace kelvra::genome {
namespace {

std::uint64_t count_caps(const std::uint8_t *body, std::uint64_t length, std::uint32_t leaf_dim) noexcept {
    std::uint64_t caps = 0;
    for (std::uint64_t at = 0; at < length; at += leaf_dim) caps += body[at] == cap_kind;
    return caps;
}

bool allocate_arrays(kelvra_genome_arena &cursor, std::uint32_t n, kelvra_genome_desc &desc) noexcept {
    std::uint8_t *digests = allocate(cursor, std::uint64_t{n} * digest_capacity);
    if (digests == nullptr) return false;
    desc.byte_offsets = allocate(cursor, std::uint64_t{n} * 4);
    if (desc.byte_offsets == nullptr) return false;
    desc.byte_lengths = allocate(cursor, std::uint64_t{n} * 4);
    if (desc.byte_lengths == nullptr) return false;
    std::uint8_t *labels = allocate(cursor, std::uint64_t{n} * label_capacity);
    if (labels == nullptr) return false;
    desc.leaf_counts = allocate(cursor, std::uint64_t{n} * 4);
    if (desc.leaf_counts == nullptr) return false;
    desc.cap_sha256 = reinterpret_cast<char(*)[digest_capacity]>(digests);
    desc.labels = reinterpret_cast<char(*)[label_capacity]>(labels);
    desc.capacity = n;
    desc.count = 0;
    return true;
}

void fill_texts(const std::uint8_t *body, std::uint64_t length, std::uint32_t leaf_dim, const std::uint8_t *the_one,
                ManifestTexts &texts) noexcept {
    digest_hex(body, length, texts.body_sha256);
    digest_hex(the_one, leaf_dim, texts.the_one_sha256);
    write_hex(the_one, leaf_dim, texts.the_one_hex);
    digest_hex(reinterpret_cast<const std::uint8_t *>(manifest_rule), sizeof manifest_rule - 1, texts.rule_sha256);
    digest_hex(reinterpret_cast<const std::uint8_t *>(manifest_schema_id), sizeof manifest_schema_id - 1,
               texts.schema_sha256);
    std::memcpy(texts.parser_version, parser_version, sizeof parser_version);
}

// A cap record opens entry `count`: its digest, label, position and length.
bool open_chromosome(const std::uint8_t *record, std::uint64_t at, std::uint32_t leaf_dim,
                     kelvra_genome_desc &desc) noexcept {
    const std::uint32_t i = desc.count;
    const std::uint8_t *label = record + 1;
    const void *nul = std::memchr(label, 0, leaf_dim - 1);
    const std::size_t label_length =
        nul != nullptr ? static_cast<std::size_t>(static_cast<const std::uint8_t *>(nul) - label) : leaf_dim - 1;
    if (label_length > max_label_bytes) return false;
    digest_hex(record, leaf_dim, desc.cap_sha256[i]);
    std::memcpy(desc.labels[i], label, label_length);
    desc.labels[i][label_length] = '\0';
    store_u32(desc.byte_offsets, i, static_cast<std::uint32_t>(at));
    store_u32(desc.byte_lengths, i, leaf_dim);
    store_u32(desc.leaf_counts, i, 0);
    desc.count = i + 1;
    return true;
}

kelvra_status fill_chromosomes(const std::uint8_t *body, std::uint64_t length, std::uint32_t leaf_dim,
                               kelvra_genome_desc &desc) noexcept {
    bool open = false;
    for (std::uint64_t at = 0; at < length; at += leaf_dim) {
        const std::uint8_t kind = body[at];
        if (kind == cap_kind) {
            if (desc.count == desc.capacity) return KELVRA_ERR_CAPACITY;
            if (!open_chromosome(body + at, at, leaf_dim, desc)) return KELVRA_ERR_DATA;
            open = true;
            continue;
        }
        if (!open) return KELVRA_ERR_DATA;
        const std::uint32_t i = desc.count - 1;
        store_u32(desc.byte_lengths, i, load_u32(desc.byte_lengths, i) + leaf_dim);
        if (kind != non_leaf_kind) store_u32(desc.leaf_counts, i, load_u32(desc.leaf_counts, i) + 1);
    }
    return KELVRA_OK;
}

} // namespace

kelvra_status index_body(const std::uint8_t *body, std::uint64_t length, std::uint32_t leaf_dim,
                         const std::uint8_t *the_one, kelvra_genome_arena &cursor, kelvra_genome_desc &desc) noexcept {
    if (leaf_dim == 0 || length % leaf_dim != 0) return KELVRA_ERR_DATA;
    const std::uint64_t caps = count_caps(body, length, leaf_dim);
    if (caps > UINT32_MAX) return KELVRA_ERR_CAPACITY;
    if (!allocate_arrays(cursor, static_cast<std::uint32_t>(caps), desc)) return KELVRA_ERR_CAPACITY;
    if (desc.texts == nullptr) {
        desc.texts = reinterpret_cast<ManifestTexts *>(allocate(cursor, sizeof(ManifestTexts)));
        if (desc.texts == nullptr) return KELVRA_ERR_CAPACITY;
    }
    fill_texts(body, length, leaf_dim, the_one, *desc.texts);
    return fill_chromosomes(body, length, leaf_dim, desc);
}

} // namespace kelvra::genome
