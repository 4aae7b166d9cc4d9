/**
 * @file kelvra.h
 * @brief The public interface of the kelvra library.
 *
 * Every function returns a status (#kelvra_status) unless it is a query that
 * answers a truth value, a size or a value directly. Results travel through
 * out-parameters and caller buffers; the library keeps no pointer into caller
 * memory after a call returns. Checks run in one order: null pointers (1),
 * argument domains (2), capacities (4), then the work. Every family tests its
 * pointer arguments for null except the file layer (`kelvra_plat_file_*`,
 * `kelvra_plat_dir_*`, `kelvra_plat_rstream_*`), which, like the C runtime it
 * wraps, expects valid pointers.
 *
 * Threads: every function may run on several threads at once when the calls
 * share no caller memory that one of them writes (builders, arenas, records,
 * outputs). A record such as a builder, directory listing, stream, connection,
 * bus client or bus server is used by one thread at a time. The exceptions are
 * noted on the functions: the process-wide Hermitian node limit (set by the
 * configuration calls), the environment read by kelvra_simd_tier(), NDJSON's
 * per-thread line buffer, the bus server's stop, the stream server's close and
 * the parallel sector dispatch. Tiered kernels read their override variable with
 * getenv on every call, so the host must not change the environment while they
 * run; the processor tests they use are made once per process.
 *
 * Valid C99 and C++. Link with -lkelvra.
 */
#ifndef KELVRA_H
#define KELVRA_H

#include <stddef.h>
#include <stdint.h>

/**
 * @def KELVRA_API
 * Marks an exported function: dllexport/dllimport on Windows, default visibility with GCC and Clang.
 */
/**
 * @def KELVRA_NOEXCEPT
 * `noexcept` in C++ (no export throws), empty in C.
 */
#if defined(_WIN32)
#if defined(KELVRA_BUILDING_LIBRARY)
#define KELVRA_API __declspec(dllexport)
#else
#define KELVRA_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define KELVRA_API __attribute__((visibility("default")))
#else
#define KELVRA_API
#endif

#if defined(__cplusplus)
#define KELVRA_NOEXCEPT noexcept
extern "C" {
#else
#define KELVRA_NOEXCEPT
#endif

/**
 * @defgroup kv_frame Frame: statuses, version, workspace sizes
 * @brief Statuses every family shares, the version, and the sizes of workspaces and arenas.
 */
/** @{ */

/** Result of every fallible call: one of the `KELVRA_OK` / `KELVRA_ERR_*` values. 5 is never returned. */
typedef uint32_t kelvra_status;

#define KELVRA_OK 0u           /**< success; out-parameters hold the results */
#define KELVRA_ERR_ARG 1u      /**< null pointer, or null data with a non-zero length */
#define KELVRA_ERR_DATA 2u     /**< input outside the domain, malformed, or failed verification */
#define KELVRA_ERR_IO 3u       /**< a file, directory or stream operation failed */
#define KELVRA_ERR_CAPACITY 4u /**< a buffer, workspace, table or integer width is too small */
#define KELVRA_ERR_RESOURCE 6u /**< memory, thread or iteration budget exhausted */

/** Major version of the headers. */
#define KELVRA_VERSION_MAJOR 0
/** Minor version of the headers. */
#define KELVRA_VERSION_MINOR 8
/** Patch version of the headers. */
#define KELVRA_VERSION_PATCH 2
/** ABI number of the headers; compare with kelvra_abi_version(). */
#define KELVRA_ABI 3

/** The library's version text. @return The static text "0.8.2"; never free or modify it. */
KELVRA_API const char *kelvra_version(void) KELVRA_NOEXCEPT;
/** The ABI number of the loaded library. @return 3. */
KELVRA_API uint32_t kelvra_abi_version(void) KELVRA_NOEXCEPT;
/**
 * Workspace size for kelvra_dense_solve_f64_ws().
 * @return (n + m) * n * 8 + 8 bytes, for n unknowns and m right-hand sides, modulo 2^64.
 */
KELVRA_API uint64_t kelvra_dense_solve_arena_bytes(uint32_t n, uint32_t m) KELVRA_NOEXCEPT;
/**
 * Arena size for the genome operations.
 * @param body_bytes Size of the body the call handles.
 * @param n_chromosomes Number of chromosomes.
 * @param extra_bytes Further input bytes, such as the bundle's size for an import (often 0).
 * @return 2033 * n_chromosomes + 2 * (body_bytes + 3 * extra_bytes + 38912) bytes, in unsigned 64-bit
 * arithmetic with no overflow check.
 */
KELVRA_API uint64_t kelvra_genome_arena_bytes(uint64_t body_bytes, uint32_t n_chromosomes,
                                              uint64_t extra_bytes) KELVRA_NOEXCEPT;

/** @} */

/**
 * @defgroup kv_tiers Processor tiers
 * @brief Processor feature queries and the tier override rule of the vector kernels.
 *
 * The queries execute CPUID (and XGETBV) on every call. Kernels make the same
 * tests once per process and choose their implementation with kelvra_simd_tier().
 */
/** @{ */

/** Whether the processor has SSE2. @return 1 on x86-64, where SSE2 is part of the baseline; 0 elsewhere. */
KELVRA_API uint32_t kelvra_simd_has_sse2(void) KELVRA_NOEXCEPT;
/** Whether AVX is usable. @return 1 when the processor has AVX and the operating system saves its registers, else 0. */
KELVRA_API uint32_t kelvra_simd_has_avx(void) KELVRA_NOEXCEPT;
/** Whether AVX2 is usable. @return 1 when AVX is usable and the processor has AVX2, else 0. */
KELVRA_API uint32_t kelvra_simd_has_avx2(void) KELVRA_NOEXCEPT;
/** Whether the processor has the SHA extensions. @return 1 when the processor reports the SHA extensions, else 0. */
KELVRA_API uint32_t kelvra_simd_has_shani(void) KELVRA_NOEXCEPT;
/**
 * The tier a kernel uses.
 * @param name Environment variable that overrides the tier; may be null (no override).
 * @param detected Tier chosen from the processor.
 * @param max_tier Highest tier of the kernel.
 * @return `detected`, or the value of `name` when set (read like atoi, saturating), clamped to
 * 0..max_tier. Kernels further clamp it to what the processor supports.
 * @note Reads the environment with getenv: not safe while another thread changes it (setenv, putenv).
 */
KELVRA_API uint32_t kelvra_simd_tier(const char *name, int32_t detected, int32_t max_tier) KELVRA_NOEXCEPT;

/** @} */

/**
 * @defgroup kv_config Configuration
 * @brief The Hermitian node limit (1..2147483647, default 2048), read by kelvra_hermitian_eigendecompose_ws().
 *
 * The limit is one process-wide word with relaxed atomic access: concurrent
 * readers and writers are well defined, but nothing orders them, so set it before
 * starting work that reads it. A TOML source sets it from the integer at table
 * `hermitian`, key `max_nodes`; a missing table or key, another kind, or a number
 * outside 1..2147483647 leaves it as it was and succeeds.
 */
/** @{ */

/** The configured Hermitian node limit. */
KELVRA_API uint32_t kelvra_config_hermitian_max_nodes(void) KELVRA_NOEXCEPT;
/** Sets the Hermitian node limit back to 2048. @note Changes process-wide state; see @ref kv_config. */
KELVRA_API void kelvra_config_reset_defaults(void) KELVRA_NOEXCEPT;
/**
 * Applies `[hermitian] max_nodes` from TOML text.
 * @param text TOML text (not NUL-terminated).
 * @param text_len Length of `text` in bytes.
 * @param arena The parser's arena (see kelvra_toml_parse()).
 * @param arena_cap Size of `arena` in bytes.
 * @return 0, or the TOML parser's 1, 2 or 4.
 * @note Changes process-wide state; see @ref kv_config.
 */
KELVRA_API kelvra_status kelvra_config_load_toml(const uint8_t *text, uint64_t text_len, uint8_t *arena,
                                                 uint64_t arena_cap) KELVRA_NOEXCEPT;
/**
 * Applies `[hermitian] max_nodes` from a TOML file.
 * @param path File to read.
 * @param buf Buffer whose first half (rounded down) holds the file, the rest the parse.
 * @param buf_cap Size of `buf` in bytes; a half too small for its contents gives 4.
 * @return 0; 1 null path or buf; 3 unreadable file; 4 file larger than the first half; or the parser's status.
 * @note Changes process-wide state; see @ref kv_config.
 */
KELVRA_API kelvra_status kelvra_config_load_file(const char *path, uint8_t *buf, uint64_t buf_cap) KELVRA_NOEXCEPT;

/** @} */

/**
 * @defgroup kv_json JSON
 * @brief JSON value records, builder, canonical writer and parser.
 *
 * Trees live in caller arenas. Records are 32 bytes and may sit at any address
 * in an arena filled by the parser.
 */
/** @{ */

/** Kind of a JSON null. */
#define KELVRA_JSON_NULL 0u
/** Kind of a JSON boolean (`as.boolean`). */
#define KELVRA_JSON_BOOL 1u
/** Kind of a JSON integer (`as.integer`). */
#define KELVRA_JSON_INT 2u
/** Kind of a JSON number with a fraction or exponent (`as.number`). */
#define KELVRA_JSON_DOUBLE 3u
/** Kind of a JSON string (`as.string`). */
#define KELVRA_JSON_STRING 4u
/** Kind of a JSON array (`as.array`). */
#define KELVRA_JSON_ARRAY 5u
/** Kind of a JSON object (`as.object`). */
#define KELVRA_JSON_OBJECT 6u

/** A JSON value record. */
typedef struct kelvra_json_value kelvra_json_value;

/**
 * A JSON value: 32 bytes, the kind first. Strings are byte spans (not
 * NUL-terminated); object keys are NUL-terminated; members keep their order.
 */
struct kelvra_json_value {
    uint32_t kind; /**< KELVRA_JSON_* */
    union {
        uint32_t boolean; /**< 0 or 1; non-zero counts as true */
        int64_t integer;
        double number;
        struct {
            const uint8_t *bytes;
            uint32_t length;
        } string;
        struct {
            kelvra_json_value **items;
            uint32_t count;
        } array;
        struct {
            const char **keys;
            kelvra_json_value **values;
            uint32_t count;
        } object;
    } as; /**< the value, selected by `kind` */
};

/** Arena cursor of the builder; callers read these fields directly. */
typedef struct kelvra_json_builder {
    uint8_t *base;     /**< first byte of the arena */
    uint64_t capacity; /**< arena size in bytes */
    uint64_t used;     /**< bytes consumed, alignment padding included */
    uint32_t failed;   /**< 1 once a reservation did not fit; sticky */
} kelvra_json_builder;

/** Starts a builder over an arena. @return 0; 1 for a null builder or a null arena with a non-zero capacity. */
KELVRA_API kelvra_status kelvra_json_builder_init(kelvra_json_builder *b, uint8_t *arena,
                                                  uint64_t capacity) KELVRA_NOEXCEPT;
/** A null record in the builder's arena. @return The record, or null (and `failed` = 1) when the arena is full. */
KELVRA_API kelvra_json_value *kelvra_json_new_null(kelvra_json_builder *b) KELVRA_NOEXCEPT;
/**
 * A boolean record (`value` non-zero is true).
 * @return The record, or null (and `failed` = 1) when the arena is full.
 */
KELVRA_API kelvra_json_value *kelvra_json_new_bool(kelvra_json_builder *b, uint32_t value) KELVRA_NOEXCEPT;
/** An integer record. @return The record, or null (and `failed` = 1) when the arena is full. */
KELVRA_API kelvra_json_value *kelvra_json_new_int(kelvra_json_builder *b, int64_t value) KELVRA_NOEXCEPT;
/** A number record. @return The record, or null (and `failed` = 1) when the arena is full. */
KELVRA_API kelvra_json_value *kelvra_json_new_double(kelvra_json_builder *b, double value) KELVRA_NOEXCEPT;
/**
 * A string record that references the bytes (no copy): they must outlive the tree.
 * @return The record, or null (and `failed` = 1) when the arena is full.
 */
KELVRA_API kelvra_json_value *kelvra_json_new_string(kelvra_json_builder *b, const uint8_t *bytes,
                                                     uint32_t length) KELVRA_NOEXCEPT;
/**
 * An array record; copies the `count` item pointers into the arena.
 * @return The record, or null (and `failed` = 1) when the arena is full.
 */
KELVRA_API kelvra_json_value *kelvra_json_new_array(kelvra_json_builder *b, kelvra_json_value *const *items,
                                                    uint32_t count) KELVRA_NOEXCEPT;
/**
 * An object record; copies the `count` key and value pointers (the keys themselves are referenced).
 * @return The record, or null (and `failed` = 1) when the arena is full.
 */
KELVRA_API kelvra_json_value *kelvra_json_new_object(kelvra_json_builder *b, const char *const *keys,
                                                     kelvra_json_value *const *values, uint32_t count) KELVRA_NOEXCEPT;
/**
 * Looks up an object member.
 * @return The first member named `key`, or null (also for a null or non-object `object`).
 */
KELVRA_API const kelvra_json_value *kelvra_json_object_get(const kelvra_json_value *object,
                                                           const char *key) KELVRA_NOEXCEPT;
/** Workspace kelvra_json_write_ws() needs for a tree. @return Bytes of workspace; 0 for a null root. */
KELVRA_API uint64_t kelvra_json_write_arena_bytes(const kelvra_json_value *root) KELVRA_NOEXCEPT;
/**
 * Writes the canonical one-line text of a tree: members sorted, ", " and ": " as separators.
 * @param root Tree to write.
 * @param out Text buffer; may be null to measure.
 * @param out_capacity Size of `out` in bytes.
 * @param out_length Receives the text's length.
 * @param workspace At least kelvra_json_write_arena_bytes() bytes.
 * @param workspace_bytes Size of `workspace`.
 * @return 0; 1 null root or out_length; 2 workspace missing or too small; 4 text longer than
 * out_capacity or nesting deeper than 64.
 */
KELVRA_API kelvra_status kelvra_json_write_ws(const kelvra_json_value *root, uint8_t *out, uint64_t out_capacity,
                                              uint64_t *out_length, uint8_t *workspace,
                                              uint64_t workspace_bytes) KELVRA_NOEXCEPT;
/**
 * Parses JSON text into records in the arena.
 * @param input JSON text (not NUL-terminated).
 * @param input_length Length of `input` in bytes.
 * @param arena Arena for the records and decoded strings.
 * @param arena_capacity Size of `arena` in bytes.
 * @param out_root Receives the root record.
 * @return 0; 1 out_root null, or input or arena null with a non-zero length; 2 syntax;
 * 4 arena too small, nesting too deep or a number too long.
 */
KELVRA_API kelvra_status kelvra_json_parse(const uint8_t *input, uint64_t input_length, uint8_t *arena,
                                           uint64_t arena_capacity, kelvra_json_value **out_root) KELVRA_NOEXCEPT;

/** @} */

/**
 * @defgroup kv_toml TOML
 * @brief A TOML subset: bare and dotted keys, tables, arrays of tables, inline tables, arrays,
 * strings, decimal integers and floats, booleans.
 */
/** @{ */

/** Kind of a TOML string (`as.string`). */
#define KELVRA_TOML_STRING 0u
/** Kind of a TOML integer (`as.integer`). */
#define KELVRA_TOML_INTEGER 1u
/** Kind of a TOML float (`as.number`). */
#define KELVRA_TOML_FLOAT 2u
/** Kind of a TOML boolean (`as.boolean`). */
#define KELVRA_TOML_BOOLEAN 3u
/** Kind of a TOML array (`as.array`). */
#define KELVRA_TOML_ARRAY 4u
/** Kind of a TOML table (`as.table`). */
#define KELVRA_TOML_TABLE 5u

/** A TOML value record. */
typedef struct kelvra_toml_value kelvra_toml_value;

/** A TOML value: 32 bytes, the kind first. Strings are NUL-terminated in the arena. */
struct kelvra_toml_value {
    uint32_t kind; /**< KELVRA_TOML_* */
    union {
        struct {
            const uint8_t *bytes;
            uint32_t length;
        } string;
        int64_t integer;
        double number;
        uint32_t boolean;
        struct {
            kelvra_toml_value **items;
            uint32_t count;
        } array;
        struct {
            const char **keys;
            kelvra_toml_value **values;
            uint32_t count;
        } table;
    } as; /**< the value, selected by `kind` */
};

/**
 * Parses TOML text into records in the arena; the root is a table.
 * @param input TOML text (not NUL-terminated).
 * @param input_length Length of `input` in bytes.
 * @param arena Arena for the records and strings.
 * @param arena_capacity Size of `arena` in bytes.
 * @param out_root Receives the root table.
 * @return 0; 1 null pointers; 2 malformed text; 4 arena too small.
 */
KELVRA_API kelvra_status kelvra_toml_parse(const uint8_t *input, uint64_t input_length, uint8_t *arena,
                                           uint64_t arena_capacity, kelvra_toml_value **out_root) KELVRA_NOEXCEPT;
/** Looks up a table member. @return The member named `key`, or null (also for a null or non-table `table`). */
KELVRA_API const kelvra_toml_value *kelvra_toml_table_get(const kelvra_toml_value *table,
                                                          const char *key) KELVRA_NOEXCEPT;

/** @} */

/**
 * @defgroup kv_ndjson NDJSON
 * @brief Newline-delimited files, line by line, to a caller callback.
 */
/** @{ */

/**
 * Called once per non-empty line. `line` holds no line feed (one carriage return before it is
 * dropped), is not NUL-terminated and is valid until the callback returns; `line_number` counts
 * from 1. A non-zero return stops the iteration.
 */
typedef kelvra_status (*kelvra_ndjson_line_fn)(const uint8_t *line, uint64_t length, uint64_t line_number,
                                               void *context);

/**
 * Streams a file line by line to `callback`, with `context` passed through.
 * @return 0; 1 null path or callback; 3 unreadable file; 4 a line over 1 MiB; or the callback's status.
 * @note Lines are gathered in a 1 MiB buffer private to the calling thread, so threads iterate
 * independently; a nested call from the callback on the same thread reuses the buffer that holds
 * the current line.
 */
KELVRA_API kelvra_status kelvra_ndjson_iter(const char *path, kelvra_ndjson_line_fn callback,
                                            void *context) KELVRA_NOEXCEPT;

/** @} */

/**
 * @defgroup kv_catalog Catalog lookup and templates
 * @brief Sorted key/value catalogs in caller blobs (keys sorted by unsigned bytes, a prefix first).
 *
 * A catalog is `count` entries: key i is `key_lengths[i]` bytes at `key_blob + key_offsets[i]`,
 * value i is `value_lengths[i]` bytes at `value_offsets[i]` in the value blob.
 */
/** @{ */

/**
 * Binary search of a sorted catalog.
 * @param key Key to find.
 * @param key_length Length of `key`.
 * @param key_blob Bytes of the keys.
 * @param key_offsets Offset of each key in `key_blob`.
 * @param key_lengths Length of each key.
 * @param value_offsets Offset of each value in the caller's value blob.
 * @param value_lengths Length of each value.
 * @param count Number of entries.
 * @param out_found Receives 1 when the key is present, else 0.
 * @param out_value_offset Receives the value's offset.
 * @param out_value_length Receives the value's length.
 * @return 0 (a missing key is 0 with *out_found = 0) or 1.
 */
KELVRA_API kelvra_status kelvra_catalog_lookup(const uint8_t *key, uint32_t key_length, const uint8_t *key_blob,
                                               const uint32_t *key_offsets, const uint32_t *key_lengths,
                                               const uint32_t *value_offsets, const uint32_t *value_lengths,
                                               uint32_t count, uint8_t *out_found, uint32_t *out_value_offset,
                                               uint32_t *out_value_length) KELVRA_NOEXCEPT;
/**
 * Expands `{name}` placeholders with the catalog's values.
 * @param tmpl Template text.
 * @param template_length Length of `tmpl`.
 * @param key_blob Bytes of the keys.
 * @param key_offsets Offset of each key in `key_blob`.
 * @param key_lengths Length of each key.
 * @param value_blob Bytes of the values.
 * @param value_offsets Offset of each value in `value_blob`.
 * @param value_lengths Length of each value.
 * @param count Number of entries.
 * @param out Output text.
 * @param out_capacity Size of `out`.
 * @param out_length Receives the output's length.
 * @return 0; 1; 2 unknown or unterminated placeholder; 4 output full.
 */
KELVRA_API kelvra_status kelvra_template_render(const uint8_t *tmpl, uint32_t template_length, const uint8_t *key_blob,
                                                const uint32_t *key_offsets, const uint32_t *key_lengths,
                                                const uint8_t *value_blob, const uint32_t *value_offsets,
                                                const uint32_t *value_lengths, uint32_t count, uint8_t *out,
                                                uint32_t out_capacity, uint32_t *out_length) KELVRA_NOEXCEPT;

/** @} */

/**
 * @defgroup kv_bytes TLV, byte search, dispatch
 * @brief TLV packing, forward and backward byte search, dispatch matching, mirroring.
 */
/** @{ */

/** Not-found index of the byte searches. */
#define KELVRA_NOT_FOUND 0xFFFFFFFFu

/** Writes `tag`, the 4-byte big-endian length, then the value. @return 0; 1; 4 when out_capacity < value_length + 5. */
KELVRA_API kelvra_status kelvra_tlv_pack(uint8_t tag, const uint8_t *value, uint32_t value_length, uint8_t *out,
                                         uint32_t out_capacity, uint32_t *out_length) KELVRA_NOEXCEPT;
/** First occurrence of `needle` in `haystack`; *out_index is #KELVRA_NOT_FOUND when absent. @return 0 or 1. */
KELVRA_API kelvra_status kelvra_byte_search(const uint8_t *haystack, uint32_t haystack_length, const uint8_t *needle,
                                            uint32_t needle_length, uint32_t *out_index) KELVRA_NOEXCEPT;
/** Last occurrence of `needle` in `haystack`; *out_index is #KELVRA_NOT_FOUND when absent. @return 0 or 1. */
KELVRA_API kelvra_status kelvra_byte_search_backward(const uint8_t *haystack, uint32_t haystack_length,
                                                     const uint8_t *needle, uint32_t needle_length,
                                                     uint32_t *out_index) KELVRA_NOEXCEPT;
/**
 * Handler id of the first table entry whose pattern occurs in `text`.
 * @param text Text to search.
 * @param text_length Length of `text`.
 * @param pattern_blob Bytes of the patterns.
 * @param pattern_offsets Offset of each pattern in `pattern_blob`.
 * @param pattern_lengths Length of each pattern.
 * @param handler_ids Handler id of each entry.
 * @param count Number of entries.
 * @param out_matched Receives 1 when an entry matched, else 0.
 * @param out_handler_id Receives the matching entry's handler id.
 * @return 0 or 1.
 */
KELVRA_API kelvra_status kelvra_dispatch_match(const uint8_t *text, uint32_t text_length, const uint8_t *pattern_blob,
                                               const uint32_t *pattern_offsets, const uint32_t *pattern_lengths,
                                               const uint32_t *handler_ids, uint32_t count, uint8_t *out_matched,
                                               uint32_t *out_handler_id) KELVRA_NOEXCEPT;
/** destination[i] = source[length - 1 - i]; the buffers must not overlap. @return 0 or 1. */
KELVRA_API kelvra_status kelvra_mirror_pattern(const uint8_t *source, uint32_t length,
                                               uint8_t *destination) KELVRA_NOEXCEPT;

/** @} */

/**
 * @defgroup kv_sha256 SHA-256
 * @brief Digests of one message or many; the SHA extensions and wide kernels where the processor has them.
 */
/** @{ */

/** Digest as 64 lower-case hex characters and a NUL (65 bytes) into `out`. @return 0 or 1. */
KELVRA_API kelvra_status kelvra_sha256_hex(const uint8_t *data, uint64_t len, char *out) KELVRA_NOEXCEPT;
/**
 * Digests of `count` messages (`msgs[i]` of `lens[i]` bytes), several at a time: count raw
 * 32-byte digests into `out`.
 * @return 0 or 1.
 */
KELVRA_API kelvra_status kelvra_sha256_batch(const uint8_t *const *msgs, const uint64_t *lens, uint64_t count,
                                             uint8_t *out) KELVRA_NOEXCEPT;
/** One raw 32-byte digest into `out`, with the SHA extensions when present. @return 0 or 1. */
KELVRA_API kelvra_status kelvra_sha256_shani(const uint8_t *data, uint64_t len, uint8_t *out) KELVRA_NOEXCEPT;

/** @} */

/**
 * @defgroup kv_genome Genome store and bundles
 * @brief A directory with "turns.bin" (fixed-width records) and "manifest.json" (its attested catalogue).
 *
 * All work happens in `arena` (`arena_cap` bytes, see kelvra_genome_arena_bytes()).
 * `the_one` (`the_one_len` bytes) is the genome's identity: every call that reads
 * or edits a stored genome refuses (2) another. `label` names a chromosome;
 * `leaf_dim` is the record width of a body.
 *
 * Statuses: 0; 1 null pointers; 2 bad arguments, malformed or unverifiable
 * data; 3 file failures; 4 arena, buffer or path too small.
 * Writes replace both files atomically under an advisory lock of the
 * directory, so writers of one directory, in any thread or process, take turns;
 * a write that fails (3) leaves the directory as it was.
 */
/** @{ */

/** Writes `body_len` bytes of records and their manifest to `dir`. @return 0, 1, 2, 3 or 4; see @ref kv_genome. */
KELVRA_API kelvra_status kelvra_genome_save(const char *dir, const uint8_t *body, uint64_t body_len, uint32_t leaf_dim,
                                            const uint8_t *the_one, uint64_t the_one_len, uint8_t *arena,
                                            uint64_t arena_cap) KELVRA_NOEXCEPT;
/**
 * Reads the whole body into `body_out` (`body_cap` bytes) and verifies its digest;
 * *out_body_len receives its length.
 * @return 0, 1, 2, 3 or 4; see @ref kv_genome.
 */
KELVRA_API kelvra_status kelvra_genome_load(const char *dir, uint8_t *body_out, uint64_t body_cap,
                                            uint64_t *out_body_len, const uint8_t *the_one, uint64_t the_one_len,
                                            uint8_t *arena, uint64_t arena_cap) KELVRA_NOEXCEPT;
/**
 * The manifest as a JSON tree in the arena, derived from the body when the manifest is missing.
 * *out_manifest points into `arena`.
 * @return 0, 1, 2, 3 or 4; see @ref kv_genome.
 */
KELVRA_API kelvra_status kelvra_genome_catalog(const char *dir, const uint8_t *the_one, uint64_t the_one_len,
                                               uint8_t *arena, uint64_t arena_cap,
                                               const kelvra_json_value **out_manifest) KELVRA_NOEXCEPT;
/**
 * Reads one chromosome's region into `out` (`out_cap` bytes; *out_len receives its length) and
 * verifies its cap record only (not the whole body: load, the edits, export and explode do that).
 * @return 0, 1, 2, 3 or 4; see @ref kv_genome.
 */
KELVRA_API kelvra_status kelvra_genome_window(const char *dir, const char *label, uint8_t *out, uint64_t out_cap,
                                              uint64_t *out_len, const uint8_t *the_one, uint64_t the_one_len,
                                              uint8_t *arena, uint64_t arena_cap) KELVRA_NOEXCEPT;
/**
 * Adds records at the end of the stored body under a new `label`. Every edit verifies the stored
 * body and refuses (2) a `the_one` other than the genome's.
 * @return 0, 1, 2, 3 or 4; see @ref kv_genome.
 */
KELVRA_API kelvra_status kelvra_genome_append(const char *dir, const char *label, const uint8_t *body,
                                              uint64_t body_len, uint32_t leaf_dim, const uint8_t *the_one,
                                              uint64_t the_one_len, uint8_t *arena, uint64_t arena_cap) KELVRA_NOEXCEPT;
/** Deletes one chromosome's region (never the last chromosome). @return 0, 1, 2, 3 or 4; see @ref kv_genome. */
KELVRA_API kelvra_status kelvra_genome_remove(const char *dir, const char *label, const uint8_t *the_one,
                                              uint64_t the_one_len, uint8_t *arena, uint64_t arena_cap) KELVRA_NOEXCEPT;
/** Puts new records in place of one chromosome's region. @return 0, 1, 2, 3 or 4; see @ref kv_genome. */
KELVRA_API kelvra_status kelvra_genome_replace(const char *dir, const char *label, const uint8_t *body,
                                               uint64_t body_len, uint32_t leaf_dim, const uint8_t *the_one,
                                               uint64_t the_one_len, uint8_t *arena,
                                               uint64_t arena_cap) KELVRA_NOEXCEPT;
/**
 * Writes a self-verifying bundle of one chromosome to the file `out_path` (by convention
 * label + ".chr", but any path), after verifying the whole stored body (2 on a mismatch,
 * nothing written).
 * @return 0, 1, 2, 3 or 4; see @ref kv_genome.
 */
KELVRA_API kelvra_status kelvra_genome_export(const char *dir, const char *label, const char *out_path,
                                              const uint8_t *the_one, uint64_t the_one_len, uint8_t *arena,
                                              uint64_t arena_cap) KELVRA_NOEXCEPT;
/**
 * Verifies the bundle at `bundle_path` and adds its chromosome to `dir`, creating the genome if needed.
 * @return 0, 1, 2, 3 or 4; see @ref kv_genome.
 */
KELVRA_API kelvra_status kelvra_genome_import(const char *bundle_path, const char *dir, const uint8_t *the_one,
                                              uint64_t the_one_len, uint8_t *arena, uint64_t arena_cap) KELVRA_NOEXCEPT;
/**
 * Writes one bundle per chromosome into `out_dir`, after verifying the whole stored body;
 * 2 with nothing written when labels repeat.
 * @return 0, 1, 2, 3 or 4; see @ref kv_genome.
 */
KELVRA_API kelvra_status kelvra_genome_explode(const char *dir, const char *out_dir, const uint8_t *the_one,
                                               uint64_t the_one_len, uint8_t *arena,
                                               uint64_t arena_cap) KELVRA_NOEXCEPT;
/**
 * Imports every bundle of `in_dir` into `out_dir`, in label order, saving once. On a refused
 * bundle (2) the ones before it are kept; on 3 or 4 `out_dir` is as it was.
 * @return 0, 1, 2, 3 or 4; see @ref kv_genome.
 */
KELVRA_API kelvra_status kelvra_genome_pack(const char *in_dir, const char *out_dir, const uint8_t *the_one,
                                            uint64_t the_one_len, uint8_t *arena, uint64_t arena_cap) KELVRA_NOEXCEPT;

/** @} */

/**
 * @defgroup kv_files Platform: files, directory listing, read stream
 * @brief The operating system's files behind one interface.
 *
 * Like the C runtime they wrap, these functions expect valid pointers (no 1).
 */
/** @{ */

/** Directory listing (caller-allocated). `handle` 0 or all-ones: no listing open. */
typedef struct kelvra_plat_dir {
    uintptr_t handle;       /**< the open search, or 0 or all-ones */
    char pending_name[256]; /**< an entry name not yet handed out */
    uint32_t pending;       /**< 1 when pending_name holds an entry */
} kelvra_plat_dir;

/** Sequential read stream (caller-allocated). */
typedef struct kelvra_plat_rstream {
    void *stream; /**< the open stream, or null */
} kelvra_plat_rstream;

/**
 * Reads a whole file into `buf` (`cap` bytes); *out_len receives its length.
 * @return 0; 3 unreadable; 4 larger than cap.
 */
KELVRA_API kelvra_status kelvra_plat_file_read(const char *path, uint8_t *buf, uint64_t cap,
                                               uint64_t *out_len) KELVRA_NOEXCEPT;
/** Reads exactly `len` bytes at `offset`. @return 0 or 3. */
KELVRA_API kelvra_status kelvra_plat_file_read_region(const char *path, uint64_t offset, void *buf,
                                                      uint64_t len) KELVRA_NOEXCEPT;
/** The file's length in bytes. @return 0 or 3. */
KELVRA_API kelvra_status kelvra_plat_file_size(const char *path, uint64_t *out_size) KELVRA_NOEXCEPT;
/** Replaces the file with `len` bytes of `buf`, or appends them when `append` != 0. @return 0 or 3. */
KELVRA_API kelvra_status kelvra_plat_file_write(const char *path, int32_t append, const void *buf,
                                                uint64_t len) KELVRA_NOEXCEPT;
/**
 * Starts listing a directory into the caller's record.
 * @return 0; 3 cannot be searched; 4 path or first name too long.
 */
KELVRA_API kelvra_status kelvra_plat_dir_open(const char *path, kelvra_plat_dir *dir) KELVRA_NOEXCEPT;
/**
 * Next entry name, NUL-terminated in `name` (`cap` bytes); *out_has = 0 at the end.
 * @return 0; 4 the name does not fit cap: that one entry stays pending in the record and the
 * next call offers it again.
 */
KELVRA_API kelvra_status kelvra_plat_dir_next(kelvra_plat_dir *dir, char *name, uint64_t cap,
                                              uint32_t *out_has) KELVRA_NOEXCEPT;
/** Ends a listing; closing twice does nothing. */
KELVRA_API void kelvra_plat_dir_close(kelvra_plat_dir *dir) KELVRA_NOEXCEPT;
/** Opens a file for sequential reading. @return 0 or 3. */
KELVRA_API kelvra_status kelvra_plat_rstream_open(const char *path, kelvra_plat_rstream *stream) KELVRA_NOEXCEPT;
/**
 * Reads up to `cap` bytes; *out_got receives the count, and a short count with 0 is the end of the data.
 * @return 0 or 3.
 */
KELVRA_API kelvra_status kelvra_plat_rstream_read(kelvra_plat_rstream *stream, void *buf, uint64_t cap,
                                                  uint64_t *out_got) KELVRA_NOEXCEPT;
/** Closes the stream; closing twice does nothing. @return Always 0. */
KELVRA_API kelvra_status kelvra_plat_rstream_close(kelvra_plat_rstream *stream) KELVRA_NOEXCEPT;
/** Capability query. @return 1 when the platform layer offers files, else 0. */
KELVRA_API uint32_t kelvra_plat_has_filesystem(void) KELVRA_NOEXCEPT;
/** Capability query. @return 1 when the platform layer offers directory listing, else 0. */
KELVRA_API uint32_t kelvra_plat_has_dirlist(void) KELVRA_NOEXCEPT;
/** Capability query. @return 1 when the platform layer offers local byte streams, else 0. */
KELVRA_API uint32_t kelvra_plat_has_streams(void) KELVRA_NOEXCEPT;
/** Capability query. @return 1 when the platform layer offers threads, else 0. */
KELVRA_API uint32_t kelvra_plat_has_threads(void) KELVRA_NOEXCEPT;

/** @} */

/**
 * @defgroup kv_streams Platform: local byte streams and threads
 * @brief Local byte streams between processes (`kelvra-<name>` endpoints), and threads.
 *
 * On POSIX an endpoint is a Unix-domain socket in a directory private to the
 * user: `$XDG_RUNTIME_DIR/kelvra` when that is an absolute path of at most 64
 * bytes, else `/tmp/kelvra-<uid>` (created with mode 0700; a directory others
 * can enter is refused). The formatted path is `<directory>/kelvra-<name>`;
 * a name holding "/" or too long for a socket address is served under a
 * fixed-length name derived from its SHA-256 in the same directory. On
 * Windows it is the named pipe `\\.\pipe\kelvra-<name>`; a name holding "/"
 * or "\", ending in "." or a space, or too long for a pipe name is served as
 * `\\.\pipe\kelvra~` and the same SHA-256-derived name.
 * A client of a name nobody serves fails at once (3); one that arrives while
 * the server is busy with another connection waits up to 2000 ms for it to
 * accept again, then tries once more.
 */
/** @{ */

/** Stream server (caller-allocated): endpoint path and the instance waiting for a client. */
typedef struct kelvra_plat_server {
    char path[512];    /**< the endpoint's formatted path */
    uintptr_t pending; /**< all-ones when no accept is waiting */
} kelvra_plat_server;

/** One connected stream end (caller-allocated). */
typedef struct kelvra_plat_conn {
    uintptr_t handle; /**< the stream, or 0 or all-ones when not connected */
} kelvra_plat_conn;

/** A thread's work: called with the argument given to kelvra_plat_thread_spawn(). */
typedef void (*kelvra_plat_thread_fn)(void *arg);

/** Thread record (caller-allocated); it must stay in place from spawn to join. */
typedef struct kelvra_plat_thread {
    kelvra_plat_thread_fn worker; /**< the thread's work */
    void *arg;                    /**< worker's argument */
    uintptr_t handle;             /**< the operating system's thread */
} kelvra_plat_thread;

/** Prepares a server for endpoint `name`. @return 0; 1; 4 path of 512 bytes or more. */
KELVRA_API kelvra_status kelvra_plat_stream_listen(const char *name, kelvra_plat_server *server) KELVRA_NOEXCEPT;
/** Waits (blocking) for one client and connects `conn` to it. @return 0; 1; 3. */
KELVRA_API kelvra_status kelvra_plat_stream_accept(kelvra_plat_server *server, kelvra_plat_conn *conn) KELVRA_NOEXCEPT;
/** Connects to endpoint `name`, waiting up to 2000 ms while it is busy. @return 0; 1; 3; 4. */
KELVRA_API kelvra_status kelvra_plat_stream_connect(const char *name, kelvra_plat_conn *conn) KELVRA_NOEXCEPT;
/** Reads exactly `len` bytes. @return 0; 1; 3 (peer closed or failure). */
KELVRA_API kelvra_status kelvra_plat_stream_read_exact(kelvra_plat_conn *conn, uint8_t *buf,
                                                       uint64_t len) KELVRA_NOEXCEPT;
/** Writes exactly `len` bytes. @return 0; 1; 3 (peer closed or failure). */
KELVRA_API kelvra_status kelvra_plat_stream_write_all(kelvra_plat_conn *conn, const uint8_t *buf,
                                                      uint64_t len) KELVRA_NOEXCEPT;
/** Ends a connection; closing twice does nothing. @return 0 or 1. */
KELVRA_API kelvra_status kelvra_plat_stream_conn_close(kelvra_plat_conn *conn) KELVRA_NOEXCEPT;
/**
 * Cancels a waiting accept, if any.
 * @return 0 or 1.
 * @note May be called from another thread while kelvra_plat_stream_accept() waits on the same server.
 */
KELVRA_API kelvra_status kelvra_plat_stream_server_close(kelvra_plat_server *server) KELVRA_NOEXCEPT;
/** Starts a thread running worker(arg). @return 0; 1; 6. */
KELVRA_API kelvra_status kelvra_plat_thread_spawn(kelvra_plat_thread_fn worker, void *arg,
                                                  kelvra_plat_thread *thread) KELVRA_NOEXCEPT;
/** Waits for the thread and releases it. @return 0 or 1. */
KELVRA_API kelvra_status kelvra_plat_thread_join(kelvra_plat_thread *thread) KELVRA_NOEXCEPT;

/** @} */

/**
 * @defgroup kv_bus Message bus
 * @brief Framed request/reply over a local byte stream.
 *
 * A frame is a 4-byte big-endian length and that many payload bytes, in both directions.
 */
/** @{ */

/** A bus server (opaque; created by kelvra_bus_serve()). */
typedef struct kelvra_bus_server kelvra_bus_server;
/** A bus client (opaque; created by kelvra_bus_connect()). */
typedef struct kelvra_bus_client kelvra_bus_client;

/**
 * Answers one request: writes at most *reply_len bytes (its capacity on entry),
 * sets *reply_len to the reply's length, returns 0; non-zero refuses it.
 * `user` is the pointer given to kelvra_bus_serve().
 */
typedef kelvra_status (*kelvra_bus_handler)(const uint8_t *request, uint32_t request_len, uint8_t *reply,
                                            uint64_t *reply_len, void *user);

/**
 * Creates a server for endpoint `name` that answers with `handler` (`user` passed through).
 * @return 0; 1; 2 no streams; 4; 6.
 */
KELVRA_API kelvra_status kelvra_bus_serve(const char *name, kelvra_bus_handler handler, void *user,
                                          kelvra_bus_server **out_server) KELVRA_NOEXCEPT;
/**
 * Waits for one client and serves it until it leaves.
 * A handler's reply longer than the capacity it was given ends the connection.
 * @return 0; 1; 3 accept failed or the server was stopped.
 * @note One thread at a time per server: the server holds a single request buffer.
 */
KELVRA_API kelvra_status kelvra_bus_server_accept_one(kelvra_bus_server *server) KELVRA_NOEXCEPT;
/**
 * Stops the server and frees it.
 * @return 0; 1 for a null or already stopped server.
 * @note Called from another thread while a call of kelvra_bus_server_accept_one() waits or serves,
 * it ends that call (a reply in progress still goes out) and frees the server only after the call
 * has returned. A call that comes late with the stopped server's pointer finds it gone (accept_one
 * returns 3, stop 1) instead of touching freed memory, unless a newer server has been given the
 * same address: a serving thread should still stop calling once it sees 3. Never call it from the
 * handler.
 */
KELVRA_API kelvra_status kelvra_bus_server_stop(kelvra_bus_server *server) KELVRA_NOEXCEPT;
/** Connects to endpoint `name`. @return 0; 1; 2; 3; 4; 6. */
KELVRA_API kelvra_status kelvra_bus_connect(const char *name, kelvra_bus_client **out_client) KELVRA_NOEXCEPT;
/**
 * Sends one request and receives its reply (*reply_len: capacity in, length out).
 * @return 0; 1; 3; 4.
 * @note One thread at a time per client: the client keeps the bytes read ahead of the current reply.
 */
KELVRA_API kelvra_status kelvra_bus_send_recv(kelvra_bus_client *client, const uint8_t *request, uint64_t request_len,
                                              uint8_t *reply, uint64_t *reply_len) KELVRA_NOEXCEPT;
/** Closes and frees the client. @return 0 or 1. */
KELVRA_API kelvra_status kelvra_bus_client_close(kelvra_bus_client *client) KELVRA_NOEXCEPT;

/** @} */

/**
 * @defgroup kv_numtheory Integer number theory
 * @brief Unsigned 64-bit, exact for every modulus.
 */
/** @{ */

/** gcd(a, b); gcd(a, 0) = a. @return 0, 1 or 6. */
KELVRA_API kelvra_status kelvra_gcd(uint64_t a, uint64_t b, uint64_t *out) KELVRA_NOEXCEPT;
/** lcm(a, b); 0 when either is 0. @return 0, 1, 4 overflow, 6. */
KELVRA_API kelvra_status kelvra_lcm(uint64_t a, uint64_t b, uint64_t *out) KELVRA_NOEXCEPT;
/** (a + b) mod m. @return 0, 1, 2 for m = 0. */
KELVRA_API kelvra_status kelvra_mod_add(uint64_t a, uint64_t b, uint64_t m, uint64_t *out) KELVRA_NOEXCEPT;
/** (a * b) mod m. @return 0, 1, 2 for m = 0. */
KELVRA_API kelvra_status kelvra_mod_mul(uint64_t a, uint64_t b, uint64_t m, uint64_t *out) KELVRA_NOEXCEPT;
/** base^exponent mod m (base^0 = 1; 0 when m = 1). @return 0, 1, 2 for m = 0. */
KELVRA_API kelvra_status kelvra_mod_pow(uint64_t base, uint64_t exponent, uint64_t m, uint64_t *out) KELVRA_NOEXCEPT;
/** x in [0, m) with a*x = 1 mod m. @return 0, 1, 2 (m < 2, no inverse), 4 (m > 2^63 - 1). */
KELVRA_API kelvra_status kelvra_mod_inv(uint64_t a, uint64_t m, uint64_t *out) KELVRA_NOEXCEPT;
/** ((x mod 3) + 1) mod 3. @return 0 or 1. */
KELVRA_API kelvra_status kelvra_three_cycle(uint64_t x, uint64_t *out) KELVRA_NOEXCEPT;
/** Smallest k >= 1 with a^k = 1 mod m. @return 0, 1, 2 (m < 2, a = 0 mod m, max_period 0), 4 (none <= max_period). */
KELVRA_API kelvra_status kelvra_cyclic_period(uint64_t a, uint64_t m, uint64_t max_period,
                                              uint64_t *out) KELVRA_NOEXCEPT;
/**
 * Prime factorisation of `n` in increasing order: *count pairs of `primes` and `exponents`.
 * @return 0, 1, 4 (more than `capacity` primes; the prefix found stays with its count).
 */
KELVRA_API kelvra_status kelvra_factor(uint64_t n, uint64_t *primes, uint8_t *exponents, uint32_t capacity,
                                       uint32_t *count) KELVRA_NOEXCEPT;
/** *out = 1 when n is prime, else 0. @return 0 or 1. */
KELVRA_API kelvra_status kelvra_is_prime(uint64_t n, uint8_t *out) KELVRA_NOEXCEPT;

/** @} */

/**
 * @defgroup kv_rationals Rationals
 * @brief Rationals (i64 numerator over u64 denominator, reduced, zero as 0/1), continued fractions,
 * the library's square root.
 */
/** @{ */

/** a + b. @return 0, 1, 2 zero denominator, 4 overflow or denominator > 2^63 - 1. */
KELVRA_API kelvra_status kelvra_rational_add(int64_t a_num, uint64_t a_den, int64_t b_num, uint64_t b_den,
                                             int64_t *out_num, uint64_t *out_den) KELVRA_NOEXCEPT;
/** a * b. @return 0, 1, 2 zero denominator, 4 overflow or denominator > 2^63 - 1. */
KELVRA_API kelvra_status kelvra_rational_mul(int64_t a_num, uint64_t a_den, int64_t b_num, uint64_t b_den,
                                             int64_t *out_num, uint64_t *out_den) KELVRA_NOEXCEPT;
/** a / b. @return 0, 1, 2 zero denominator or divisor, 4 overflow or denominator > 2^63 - 1. */
KELVRA_API kelvra_status kelvra_rational_div(int64_t a_num, uint64_t a_den, int64_t b_num, uint64_t b_den,
                                             int64_t *out_num, uint64_t *out_den) KELVRA_NOEXCEPT;
/** (num/den)^exponent, exponent <= 64. @return 0, 1, 2, 4. */
KELVRA_API kelvra_status kelvra_rational_pow_uint(int64_t num, uint64_t den, uint32_t exponent, int64_t *out_num,
                                                  uint64_t *out_den) KELVRA_NOEXCEPT;
/**
 * Partial quotients of num/den: *count terms into `terms` (`capacity` of them).
 * @return 0, 1, 2, 4 (the prefix stays), 6.
 */
KELVRA_API kelvra_status kelvra_continued_fraction(uint64_t num, uint64_t den, uint64_t *terms, uint32_t capacity,
                                                   uint32_t *count) KELVRA_NOEXCEPT;
/** Convergents p_i/q_i of n signed partial quotients (n <= 256) into `p_out` and `q_out`. @return 0, 1, 2, 4. */
KELVRA_API kelvra_status kelvra_cf_convergents_int64(const int64_t *terms, uint64_t n, int64_t *p_out,
                                                     int64_t *q_out) KELVRA_NOEXCEPT;
/** Last convergent of num/den with denominator <= max_den (0/1 first). @return 0, 1, 2. */
KELVRA_API kelvra_status kelvra_best_rational(uint64_t num, uint64_t den, uint64_t max_den, uint64_t *out_num,
                                              uint64_t *out_den) KELVRA_NOEXCEPT;
/** Exact sum of x^k/k! for k = 0..order (order <= 20), x = x_num/x_den. @return 0, 1, 2, 4. */
KELVRA_API kelvra_status kelvra_exp_series_truncate(int64_t x_num, uint64_t x_den, uint32_t order, int64_t *out_num,
                                                    uint64_t *out_den) KELVRA_NOEXCEPT;
/** Square root by an exact integer method (no square-root instruction). @return 0, 1, 2 for x < 0. */
KELVRA_API kelvra_status kelvra_rational_sqrt(double x, double *out) KELVRA_NOEXCEPT;

/** @} */

/**
 * @defgroup kv_elementary Elementary functions
 * @brief Q61 fixed point; the same bits on every processor.
 *
 * A NaN argument is written back as the arithmetic leaves it. A NaN made from
 * other arguments (sin or cos of an infinity, atan2 of two infinities, the
 * logarithm of a negative number, kelvra_rational_sqrt() of -inf) is always
 * the quiet NaN 0x7FF8000000000000, not the processor's own default NaN.
 */
/** @{ */

/** e^x. @return 0 or 1. */
KELVRA_API kelvra_status kelvra_exp(double x, double *out) KELVRA_NOEXCEPT;
/** ln x. @return 0, 1, 2 for x <= 0 (NaN or -inf written). */
KELVRA_API kelvra_status kelvra_log(double x, double *out) KELVRA_NOEXCEPT;
/** sin x. @return 0, 1, 2 for infinite x or |x| >= 2^55. */
KELVRA_API kelvra_status kelvra_sin(double x, double *out) KELVRA_NOEXCEPT;
/** cos x. @return 0, 1, 2 for infinite x or |x| >= 2^55. */
KELVRA_API kelvra_status kelvra_cos(double x, double *out) KELVRA_NOEXCEPT;
/** arctan x in [-pi/2, pi/2]. @return 0 or 1. */
KELVRA_API kelvra_status kelvra_atan(double x, double *out) KELVRA_NOEXCEPT;
/** Angle of the point (x, y) in (-pi, pi]. @return 0 or 1. */
KELVRA_API kelvra_status kelvra_atan2(double y, double x, double *out) KELVRA_NOEXCEPT;

/** @} */

/**
 * @defgroup kv_orbital Orbital routines
 * @brief Kepler's equation, the equation of the centre, the pin-and-slot angle.
 */
/** @{ */

/**
 * Eccentric anomaly E with E - e sin E = M, by Newton.
 * @return 0, 1, 2 (e outside [0,1), no budget), 4 not converged.
 */
KELVRA_API kelvra_status kelvra_kepler_solve(double mean_anomaly, double eccentricity, double tolerance,
                                             uint32_t max_iterations, double *out) KELVRA_NOEXCEPT;
/** Equation of the centre to the given order (1..6) in e. @return 0, 1, 2. */
KELVRA_API kelvra_status kelvra_equation_of_centre(double mean_anomaly, double eccentricity, int32_t order,
                                                   double *out) KELVRA_NOEXCEPT;
/**
 * Pin-and-slot output angle atan2(r sin t, r cos t + d), t the angle, r the radius, d the offset.
 * @return 0, 1, 2 for r = d = 0.
 */
KELVRA_API kelvra_status kelvra_pin_slot(double angle, double radius, double offset, double *out) KELVRA_NOEXCEPT;

/** @} */

/**
 * @defgroup kv_dense Dense linear algebra
 * @brief Row-major matrices; complex values interleaved re, im.
 */
/** @{ */

/**
 * Solves A X = B (n x n, n x m) by Gauss-Jordan in the workspace.
 * @param n Order of A.
 * @param m Number of right-hand sides.
 * @param a A, n x n.
 * @param b B, n x m.
 * @param x X, n x m.
 * @param workspace At least kelvra_dense_solve_arena_bytes() bytes.
 * @param workspace_bytes Size of `workspace`.
 * @return 0, 1, 2 singular, 4 small workspace.
 */
KELVRA_API kelvra_status kelvra_dense_solve_f64_ws(uint32_t n, uint32_t m, const double *a, const double *b, double *x,
                                                   void *workspace, uint64_t workspace_bytes) KELVRA_NOEXCEPT;
/** C = A B for complex matrices (rows x inner)(inner x cols). @return 0 or 1. */
KELVRA_API kelvra_status kelvra_dense_matmul_complex(uint32_t rows, uint32_t inner, uint32_t cols, const double *a,
                                                     const double *b, double *c) KELVRA_NOEXCEPT;
/** out[i] = a[i] b[i] for count complex values (out may alias). @return 0 or 1. */
KELVRA_API kelvra_status kelvra_elementwise_multiply_complex(uint32_t count, const double *a, const double *b,
                                                             double *out) KELVRA_NOEXCEPT;
/** out[i] = f(in[i]) with `op` 0 exp, 1 cos, 2 sin, 3 log. @return 0, 1, 2 (op > 3, log of a value <= 0). */
KELVRA_API kelvra_status kelvra_elementwise_transcendental(uint32_t count, const double *in, uint32_t op,
                                                           double *out) KELVRA_NOEXCEPT;

/** @} */

/**
 * @defgroup kv_graphs Graph Laplacians and eigensolvers
 * @brief Dense matrices of undirected edge lists (`edge_count` edges `src[i]`-`dst[i]`, weights may be
 * null: 1.0), Hermitian and symmetric eigensolvers.
 */
/** @{ */

/** Dense n x n adjacency of an undirected edge list. @return 0, 1, 2 endpoint >= n. */
KELVRA_API kelvra_status kelvra_graph_dense_adjacency(uint32_t n, uint32_t edge_count, const uint32_t *src,
                                                      const uint32_t *dst, const double *weights,
                                                      double *out) KELVRA_NOEXCEPT;
/** L = D - A, n x n. @return 0, 1, 2 endpoint >= n. */
KELVRA_API kelvra_status kelvra_graph_dense_laplacian(uint32_t n, uint32_t edge_count, const uint32_t *src,
                                                      const uint32_t *dst, const double *weights,
                                                      double *out) KELVRA_NOEXCEPT;
/** I - D^-1/2 A D^-1/2, n x n (isolated vertices give zero rows). @return 0, 1, 2 endpoint >= n. */
KELVRA_API kelvra_status kelvra_graph_normalized_laplacian(uint32_t n, uint32_t edge_count, const uint32_t *src,
                                                           const uint32_t *dst, const double *weights,
                                                           double *out) KELVRA_NOEXCEPT;
/**
 * Eigenvalues (ascending) and eigenvectors (columns) of a complex Hermitian matrix.
 * @param n Order of the matrix, at most kelvra_config_hermitian_max_nodes().
 * @param h The matrix, n x n complex.
 * @param eigenvalues n values.
 * @param eigenvectors n x n complex.
 * @param workspace At least 2 n^2 doubles.
 * @param workspace_doubles Size of `workspace` in doubles.
 * @return 0, 1, 4 (n above the configured limit, workspace, no convergence).
 * @note Reads the process-wide node limit when called; see @ref kv_config.
 */
KELVRA_API kelvra_status kelvra_hermitian_eigendecompose_ws(uint32_t n, const double *h, double *eigenvalues,
                                                            double *eigenvectors, double *workspace,
                                                            uint64_t workspace_doubles) KELVRA_NOEXCEPT;
/**
 * Eigenvalues of a real symmetric n x n matrix `a` (overwritten) by cyclic Jacobi, in index order,
 * with at most `max_sweeps` sweeps (100 when outside 1..100) down to `tolerance`.
 * @return 0 or 1.
 */
KELVRA_API kelvra_status kelvra_jacobi_eigvals(uint32_t n, double *a, int32_t max_sweeps, double tolerance,
                                               double *eigenvalues) KELVRA_NOEXCEPT;

/** @} */

/**
 * @defgroup kv_fiedler Sparse Fiedler vector
 * @brief The Fiedler vector of a graph Laplacian from an edge list; a workspace of at least 8 n doubles.
 */
/** @{ */

/**
 * Fiedler vector of the Laplacian of an edge list in memory.
 * @param n Number of vertices.
 * @param edge_count Number of edges.
 * @param src First endpoint of each edge.
 * @param dst Second endpoint of each edge.
 * @param weights Weight of each edge, or null for 1.0.
 * @param max_iterations Iteration budget.
 * @param out n values.
 * @param workspace At least 8 n doubles.
 * @param workspace_doubles Size of `workspace` in doubles.
 * @return 0, 1, 2 (workspace, endpoint >= n, degrees or result not finite).
 */
KELVRA_API kelvra_status kelvra_laplacian_fiedler_sparse(uint32_t n, uint32_t edge_count, const uint32_t *src,
                                                         const uint32_t *dst, const double *weights,
                                                         uint32_t max_iterations, double *out, double *workspace,
                                                         uint64_t workspace_doubles) KELVRA_NOEXCEPT;
/**
 * Fiedler vector of the Laplacian of a file of 16-byte records (u32 src, u32 dst, f64 weight,
 * little-endian); `workspace` holds at least 8 n doubles.
 * @return 0, 1, 2 (workspace, endpoint >= n, degrees or result not finite, or a length not a multiple
 * of 16), 3.
 */
KELVRA_API kelvra_status kelvra_laplacian_fiedler_sparse_file(uint32_t n, const char *path, uint32_t max_iterations,
                                                              double *out, double *workspace,
                                                              uint64_t workspace_doubles) KELVRA_NOEXCEPT;

/** @} */

/**
 * @defgroup kv_loop Cayley-Dickson algebra and the octonion loop
 * @brief An octonion is 8 doubles, real part first; `dim` must be 8. Outputs may alias inputs.
 *
 * The batch functions (`_hd_`) work on n blocks of 8 doubles; n = 0 is 0 whatever the pointers.
 */
/** @{ */

/** e_i e_j = sign e_index in dimension n (a power of two up to 64). @return 0, 1, 2. */
KELVRA_API kelvra_status kelvra_cd_basis_product(int32_t n, int32_t i, int32_t j, uint32_t *out_index,
                                                 int32_t *out_sign) KELVRA_NOEXCEPT;
/** out = x y. @return 0, 1, 2. */
KELVRA_API kelvra_status kelvra_loop_bind_f64(const double *x, const double *y, uint64_t dim,
                                              double *out) KELVRA_NOEXCEPT;
/** out = conjugate of x. @return 0, 1, 2. */
KELVRA_API kelvra_status kelvra_loop_conj_f64(const double *x, uint64_t dim, double *out) KELVRA_NOEXCEPT;
/** out = x^-1. @return 0, 1, 2 (also for a zero octonion). */
KELVRA_API kelvra_status kelvra_loop_inv_f64(const double *x, uint64_t dim, double *out) KELVRA_NOEXCEPT;
/** out = (x y) z - x (y z). @return 0, 1, 2. */
KELVRA_API kelvra_status kelvra_loop_associator_f64(const double *x, const double *y, const double *z, uint64_t dim,
                                                    double *out) KELVRA_NOEXCEPT;
/** 8x8 row-major matrix L with L y = x y. @return 0, 1, 2. */
KELVRA_API kelvra_status kelvra_loop_left_op_f64(const double *x, uint64_t dim, double *out) KELVRA_NOEXCEPT;
/** 8x8 row-major matrix R with R y = y x. @return 0, 1, 2. */
KELVRA_API kelvra_status kelvra_loop_right_op_f64(const double *x, uint64_t dim, double *out) KELVRA_NOEXCEPT;
/** Seven-dimensional cross product: u v with the real part set to 0. @return 0, 1, 2. */
KELVRA_API kelvra_status kelvra_cross7_f64(const double *u, const double *v, uint64_t dim, double *out) KELVRA_NOEXCEPT;
/** The G2 three-form phi(x, u, v). @return 0, 1, 2. */
KELVRA_API kelvra_status kelvra_g2_three_form_f64(const double *x, const double *u, const double *v, uint64_t dim,
                                                  double *out) KELVRA_NOEXCEPT;
/** Splits n into three bands (q, q or q+1, the rest). @return 0 or 1. */
KELVRA_API kelvra_status kelvra_three_fold_bands(uint32_t n, uint32_t *b0, uint32_t *b1, uint32_t *b2) KELVRA_NOEXCEPT;

/** out_k = a_k b_k over n blocks, on the widest processor tier available. @return 0 or 1. */
KELVRA_API kelvra_status kelvra_loop_bind_hd_f64(const double *a, const double *b, uint64_t n,
                                                 double *out) KELVRA_NOEXCEPT;
/** out_k = conjugate of a_k over n blocks. @return 0 or 1. */
KELVRA_API kelvra_status kelvra_loop_conj_hd_f64(const double *a, uint64_t n, double *out) KELVRA_NOEXCEPT;
/** out_k = a_k^-1 over n blocks. @return 0, 1, 2 for a zero block (the earlier blocks written). */
KELVRA_API kelvra_status kelvra_loop_inv_hd_f64(const double *a, uint64_t n, double *out) KELVRA_NOEXCEPT;
/** out_k = conj(a_k) b_k over n blocks. @return 0 or 1. */
KELVRA_API kelvra_status kelvra_loop_unbind_hd_f64(const double *a, const double *b, uint64_t n,
                                                   double *out) KELVRA_NOEXCEPT;
/** out_k = b_k conj(a_k) over n blocks. @return 0 or 1. */
KELVRA_API kelvra_status kelvra_loop_runbind_hd_f64(const double *a, const double *b, uint64_t n,
                                                    double *out) KELVRA_NOEXCEPT;

/** @} */

/**
 * @defgroup kv_hdc Hypervectors
 * @brief Packed bits (hdc), Klein-four elements 0..3 (klein4), bipolar -1/0/+1 (polar).
 *
 * Statuses: 0; 1 for null pointers; then 2 for zero lengths and invalid
 * elements (earlier outputs may be written).
 */
/** @{ */

/** out = a XOR b. @return 0, 1, 2. */
KELVRA_API kelvra_status kelvra_hdc_bind(const uint8_t *a, const uint8_t *b, uint32_t nbytes,
                                         uint8_t *out) KELVRA_NOEXCEPT;
/** Bitwise majority of an odd number of vectors. @return 0, 1, 2 when count is 0 or even, or nbytes is 0. */
KELVRA_API kelvra_status kelvra_hdc_bundle(const uint8_t *const *vectors, uint32_t count, uint32_t nbytes,
                                           uint8_t *out) KELVRA_NOEXCEPT;
/** Cyclic rotation by `shift` bits towards higher indices (out must not overlap in). @return 0, 1, 2. */
KELVRA_API kelvra_status kelvra_hdc_permute(const uint8_t *in, uint32_t nbytes, int32_t shift,
                                            uint8_t *out) KELVRA_NOEXCEPT;
/** 1 - 2 hamming(a, b) / (8 nbytes). @return 0, 1, 2. */
KELVRA_API kelvra_status kelvra_hdc_similarity(const uint8_t *a, const uint8_t *b, uint32_t nbytes,
                                               double *out) KELVRA_NOEXCEPT;
/** out[i] = a[i] XOR b[i]. @return 0, 1, 2. */
KELVRA_API kelvra_status kelvra_klein4_bind(const uint8_t *a, const uint8_t *b, uint32_t n,
                                            uint8_t *out) KELVRA_NOEXCEPT;
/** Per-bit majority (a tie clears the bit). @return 0, 1, 2. */
KELVRA_API kelvra_status kelvra_klein4_bundle(const uint8_t *const *vectors, uint32_t count, uint32_t n,
                                              uint8_t *out) KELVRA_NOEXCEPT;
/** Adds v to an accumulator of 2 n + 1 counters. @return 0, 1, 2. */
KELVRA_API kelvra_status kelvra_klein4_bundle_accumulate(uint32_t *acc, const uint8_t *v, uint64_t n) KELVRA_NOEXCEPT;
/** Majority vector from an accumulator of 2 n + 1 counters. @return 0, 1, 2. */
KELVRA_API kelvra_status kelvra_klein4_bundle_resolve(const uint32_t *acc, uint8_t *out, uint64_t n) KELVRA_NOEXCEPT;
/**
 * Fills `vocab` accumulator rows of `table` (2 dim + 1 counters each) from a token stream,
 * with `codebook` holding `vocab` rows of `dim` elements and `window` the co-occurrence span.
 * @return 0, 1, 2 when vocab, window or dim is 0, the table would not fit 64-bit addressing, a token id
 * is not below vocab, or a codebook element is not 0..3.
 */
KELVRA_API kelvra_status kelvra_klein4_cooccurrence_fold(const uint8_t *codebook, uint32_t vocab,
                                                         const uint32_t *tokens, uint32_t ntokens, uint32_t window,
                                                         uint64_t dim, uint32_t *table) KELVRA_NOEXCEPT;
/** Fraction of equal elements. @return 0, 1, 2. */
KELVRA_API kelvra_status kelvra_klein4_similarity(const uint8_t *a, const uint8_t *b, uint32_t n,
                                                  double *out) KELVRA_NOEXCEPT;
/** Cycles the three non-identity elements (the other way when inverse != 0). @return 0, 1, 2. */
KELVRA_API kelvra_status kelvra_klein4_triality_cycle(const uint8_t *in, uint32_t n, int32_t inverse,
                                                      uint8_t *out) KELVRA_NOEXCEPT;
/** out[i] = a[i] b[i]. @return 0, 1, 2. */
KELVRA_API kelvra_status kelvra_polar_bind(const int8_t *a, const int8_t *b, uint32_t n, int8_t *out) KELVRA_NOEXCEPT;
/** Sign of the element-wise sum. @return 0, 1, 2. */
KELVRA_API kelvra_status kelvra_polar_bundle(const int8_t *const *vectors, uint32_t count, uint32_t n,
                                             int8_t *out) KELVRA_NOEXCEPT;
/** Fraction of non-zero elements. @return 0, 1, 2. */
KELVRA_API kelvra_status kelvra_polar_density(const int8_t *v, uint32_t n, double *out) KELVRA_NOEXCEPT;
/** Agreement ratio (over positions where both are non-zero when nonzero_only != 0). @return 0, 1, 2. */
KELVRA_API kelvra_status kelvra_polar_similarity(const int8_t *a, const int8_t *b, uint32_t n, int32_t nonzero_only,
                                                 double *out) KELVRA_NOEXCEPT;

/** @} */

/**
 * @defgroup kv_hamming Hamming code
 * @brief Length 2^r - 1 (r = 2..16) on unpacked bits (one bit per byte).
 */
/** @{ */

/** Writes 2^r - 1 code bits from k = 2^r - 1 - r data bits. @return 0, 1, 2. */
KELVRA_API kelvra_status kelvra_hamming_encode(const uint8_t *data, uint64_t k, int32_t r,
                                               uint8_t *code) KELVRA_NOEXCEPT;
/** Position of a single flipped bit among n code bits (0 for a codeword). @return 0, 1, 2. */
KELVRA_API kelvra_status kelvra_hamming_syndrome(const uint8_t *code, uint64_t n, uint32_t *syndrome) KELVRA_NOEXCEPT;
/** Data bits with a single error corrected, and the syndrome. @return 0, 1, 2. */
KELVRA_API kelvra_status kelvra_hamming_decode_correct(const uint8_t *code, uint64_t n, uint8_t *data,
                                                       uint32_t *syndrome) KELVRA_NOEXCEPT;

/** @} */

/**
 * @defgroup kv_cascade Cascade kernels and oscillators
 * @brief Sign and orientation kernels, Kuramoto oscillators, exact DFT, the parallel sector dispatch.
 */
/** @{ */

/** A caller operator: writes n results to out and returns 0, or a non-zero status. */
typedef kelvra_status (*kelvra_cascade_op_f64)(const double *in, uint64_t n, double *out, void *ctx);

/** Sign (1, 0, -1) and magnitude of x (NaN and zeros: 0, +0.0). @return 0 or 1. */
KELVRA_API kelvra_status kelvra_cascade_pin_slot_at_zero_f64(double x, int8_t *out_sign,
                                                             double *out_mag) KELVRA_NOEXCEPT;
/** |x| with +0.0 for zeros and NaN. @return 0 or 1. */
KELVRA_API kelvra_status kelvra_cascade_magnitude_f64(double x, double *out) KELVRA_NOEXCEPT;
/** -x when sign < 0, else x. @return 0 or 1. */
KELVRA_API kelvra_status kelvra_cascade_reorient_f64(int8_t sign, double x, double *out) KELVRA_NOEXCEPT;
/** Two's-complement -x when sign < 0, else x. @return 0 or 1. */
KELVRA_API kelvra_status kelvra_cascade_reorient_i64(int8_t sign, int64_t x, int64_t *out) KELVRA_NOEXCEPT;
/** Product of the signs (1, 0, -1); 1 for n = 0. @return 0 or 1. */
KELVRA_API kelvra_status kelvra_cascade_net_chirality_i8(const int8_t *signs, uint64_t n, int8_t *out) KELVRA_NOEXCEPT;
/** out[i] = in[n - 1 - i]; out may equal in. @return 0 or 1. */
KELVRA_API kelvra_status kelvra_cascade_chiral_flip_f64(const double *in, uint64_t n, double *out) KELVRA_NOEXCEPT;
/** out[i] = in[n - 1 - i]; out may equal in. @return 0 or 1. */
KELVRA_API kelvra_status kelvra_cascade_chiral_flip_i64(const int64_t *in, uint64_t n, int64_t *out) KELVRA_NOEXCEPT;
/**
 * out = reverse(op(reverse(in))), with `ctx` passed to `op` and n elements of `scratch`.
 * @return 0, 1, or op's status.
 */
KELVRA_API kelvra_status kelvra_cascade_chiral_dual_f64(kelvra_cascade_op_f64 op, void *ctx, const double *in,
                                                        uint64_t n, double *out, double *scratch) KELVRA_NOEXCEPT;
/** gcd(a, b) exactly as kelvra_gcd(). @return 0, 1, 6. */
KELVRA_API kelvra_status kelvra_cascade_cyclic_gcd_u64(uint64_t a, uint64_t b, uint64_t *out) KELVRA_NOEXCEPT;
/** Signed rational near x on the grid 1/scale with denominator <= max_den. @return 0, 1, 2. */
KELVRA_API kelvra_status kelvra_cascade_best_rational_signed_f64(double x, int64_t max_den, int64_t scale,
                                                                 int64_t *out_num, int64_t *out_den) KELVRA_NOEXCEPT;
/**
 * One Euler step of the all-to-all Kuramoto model (n phases `theta`, natural frequencies `omega`);
 * `out` must not overlap `theta`.
 * @return 0 or 1.
 */
KELVRA_API kelvra_status kelvra_cascade_kuramoto_step_f64(const double *theta, const double *omega, uint64_t n,
                                                          double coupling, double dt, double *out) KELVRA_NOEXCEPT;
/**
 * Kuramoto step with optional weights, phase lag and external drive.
 * @param theta n phases.
 * @param omega n natural frequencies.
 * @param n Number of oscillators.
 * @param weights n x n coupling weights, or null.
 * @param coupling Global coupling strength.
 * @param lag Phase lag.
 * @param drive n drive phases, or null for none.
 * @param drive_gain n drive gains, or null for 1.0.
 * @param dt Time step.
 * @param out n new phases; must not overlap `theta`.
 * @return 0 or 1.
 */
KELVRA_API kelvra_status kelvra_cascade_kuramoto_step_general_f64(const double *theta, const double *omega, uint64_t n,
                                                                  const double *weights, double coupling, double lag,
                                                                  const double *drive, const double *drive_gain,
                                                                  double dt, double *out) KELVRA_NOEXCEPT;
/** Circular autocorrelation out[k] = sum_i x[(i + k) mod n] x[i]. @return 0 or 1. */
KELVRA_API kelvra_status kelvra_autocorrelation_f64(const double *x, uint64_t n, double *out) KELVRA_NOEXCEPT;
/** out[i] = n - 1 - i. @return 0 or 1. */
KELVRA_API kelvra_status kelvra_reverse_order(uint32_t n, uint32_t *out) KELVRA_NOEXCEPT;
/**
 * Exact DFT of integer vectors (n a power of two) in the basis 1, z, ..., z^(n/2 - 1); n rows of n/2.
 * @return 0, 1, 2.
 */
KELVRA_API kelvra_status kelvra_exact_dft_i64(uint32_t n, int32_t negative_exponent, const int64_t *re_in,
                                              const int64_t *im_in, int64_t *re_out, int64_t *im_out) KELVRA_NOEXCEPT;
/**
 * Runs `op` under up to four symmetries (negation, reversal, both), one thread per sector.
 * Sector s writes D_s(op(D_s(in))) on a private copy of the input.
 * @param op Operator.
 * @param ctx Passed to `op`.
 * @param in n inputs.
 * @param n Elements per sector.
 * @param sectors 1..4.
 * @param out sectors * n results.
 * @param scratch sectors * n elements.
 * @param cap Elements of `out` and of `scratch`.
 * @return 0, 1, 2 sectors not 1..4, 4, or the first failing sector's status.
 * @note `op` runs on up to four threads at once with the same `ctx`. Without threads the sectors
 * run one after another on the calling thread.
 */
KELVRA_API kelvra_status kelvra_cascade_parallel_sector_dispatch(kelvra_cascade_op_f64 op, void *ctx, const double *in,
                                                                 uint64_t n, uint32_t sectors, double *out,
                                                                 double *scratch, uint64_t cap) KELVRA_NOEXCEPT;

/** @} */

#if defined(__cplusplus)
} /* extern "C" */
#endif

#endif /* KELVRA_H */
