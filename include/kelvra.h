/*
 * kelvra.h - the public interface of the kelvra library.
 *
 * Every function returns a status (kelvra_status) unless it is a query that
 * answers a truth value, a size or a value directly. Results travel through
 * out-parameters and caller buffers; the library keeps no pointer into caller
 * memory after a call returns. Checks run in one order: null pointers (1),
 * argument domains (2), capacities (4), then the work. Every family tests its
 * pointer arguments for null except the file layer (kelvra_plat_file_*,
 * kelvra_plat_dir_*, kelvra_plat_rstream_*), which, like the C runtime it
 * wraps, expects valid pointers.
 *
 * Valid C99 and C++. Link with -lkelvra.
 */
#ifndef KELVRA_H
#define KELVRA_H

#include <stddef.h>
#include <stdint.h>

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

/* ------------------------------------------------------------------------
 * Frame: statuses, version, workspace sizes
 * ------------------------------------------------------------------------ */

/* Result of every fallible call. 5 is never returned. */
typedef uint32_t kelvra_status;

#define KELVRA_OK 0u           /* success; out-parameters hold the results */
#define KELVRA_ERR_ARG 1u      /* null pointer, or null data with a non-zero length */
#define KELVRA_ERR_DATA 2u     /* input outside the domain, malformed, or failed verification */
#define KELVRA_ERR_IO 3u       /* a file, directory or stream operation failed */
#define KELVRA_ERR_CAPACITY 4u /* a buffer, workspace, table or integer width is too small */
#define KELVRA_ERR_RESOURCE 6u /* memory, thread or iteration budget exhausted */

#define KELVRA_VERSION_MAJOR 0
#define KELVRA_VERSION_MINOR 8
#define KELVRA_VERSION_PATCH 2
#define KELVRA_ABI 3

/* The static text "0.8.2"; never free or modify it. */
KELVRA_API const char *kelvra_version(void) KELVRA_NOEXCEPT;
/* The ABI number, 3. */
KELVRA_API uint32_t kelvra_abi_version(void) KELVRA_NOEXCEPT;
/* Workspace bytes for kelvra_dense_solve_f64_ws: (n + m) * n * 8 + 8. */
KELVRA_API uint64_t kelvra_dense_solve_arena_bytes(uint32_t n, uint32_t m) KELVRA_NOEXCEPT;
/* Arena bytes for the genome operations: 2033 * n_chromosomes + 2 * (body_bytes + 3 * extra_bytes + 38912). */
KELVRA_API uint64_t kelvra_genome_arena_bytes(uint64_t body_bytes, uint32_t n_chromosomes,
                                              uint64_t extra_bytes) KELVRA_NOEXCEPT;

/* ------------------------------------------------------------------------
 * Processor tiers
 * ------------------------------------------------------------------------ */

/* Always 1: SSE2 is part of x86-64. */
KELVRA_API uint32_t kelvra_simd_has_sse2(void) KELVRA_NOEXCEPT;
/* 1 when the processor has AVX and the operating system saves its registers. */
KELVRA_API uint32_t kelvra_simd_has_avx(void) KELVRA_NOEXCEPT;
/* 1 when AVX is usable and the processor has AVX2. */
KELVRA_API uint32_t kelvra_simd_has_avx2(void) KELVRA_NOEXCEPT;
/* 1 when the processor reports the SHA extensions. */
KELVRA_API uint32_t kelvra_simd_has_shani(void) KELVRA_NOEXCEPT;
/* Tier to use: `detected`, or the value of environment variable `name` when set
 * (read like atoi, saturating), clamped to 0..max_tier. Kernels further clamp it
 * to what the processor supports. */
KELVRA_API uint32_t kelvra_simd_tier(const char *name, int32_t detected, int32_t max_tier) KELVRA_NOEXCEPT;

/* ------------------------------------------------------------------------
 * Configuration: the Hermitian node limit (1..2147483647, default 2048)
 * ------------------------------------------------------------------------ */

/* The configured limit. */
KELVRA_API uint32_t kelvra_config_hermitian_max_nodes(void) KELVRA_NOEXCEPT;
/* Sets the limit back to 2048. */
KELVRA_API void kelvra_config_reset_defaults(void) KELVRA_NOEXCEPT;
/* Applies [hermitian] max_nodes from TOML text; 0, or the TOML parser's 1/2/4. */
KELVRA_API kelvra_status kelvra_config_load_toml(const uint8_t *text, uint64_t text_len, uint8_t *arena,
                                                 uint64_t arena_cap) KELVRA_NOEXCEPT;
/* Applies a TOML file; buf's first half holds the file, the second the parse; 0, 3, 4 or the parser's status. */
KELVRA_API kelvra_status kelvra_config_load_file(const char *path, uint8_t *buf, uint64_t buf_cap) KELVRA_NOEXCEPT;

/* ------------------------------------------------------------------------
 * JSON: value records, builder, writer, parser
 * ------------------------------------------------------------------------ */

#define KELVRA_JSON_NULL 0u
#define KELVRA_JSON_BOOL 1u
#define KELVRA_JSON_INT 2u
#define KELVRA_JSON_DOUBLE 3u
#define KELVRA_JSON_STRING 4u
#define KELVRA_JSON_ARRAY 5u
#define KELVRA_JSON_OBJECT 6u

typedef struct kelvra_json_value kelvra_json_value;

/* A JSON value: 32 bytes, the kind first. Strings are byte spans (not
 * NUL-terminated); object keys are NUL-terminated; members keep their order. */
struct kelvra_json_value {
    uint32_t kind; /* KELVRA_JSON_* */
    union {
        uint32_t boolean; /* 0 or 1; non-zero counts as true */
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
    } as;
};

/* Arena cursor of the builder; callers read these fields directly. */
typedef struct kelvra_json_builder {
    uint8_t *base;     /* first byte of the arena */
    uint64_t capacity; /* arena size in bytes */
    uint64_t used;     /* bytes consumed, alignment padding included */
    uint32_t failed;   /* 1 once a reservation did not fit; sticky */
} kelvra_json_builder;

/* Starts a builder over an arena; 1 for a null builder or a null arena with capacity. */
KELVRA_API kelvra_status kelvra_json_builder_init(kelvra_json_builder *b, uint8_t *arena,
                                                  uint64_t capacity) KELVRA_NOEXCEPT;
/* Constructors: a record in the arena, or null (and failed = 1) when it is full. */
KELVRA_API kelvra_json_value *kelvra_json_new_null(kelvra_json_builder *b) KELVRA_NOEXCEPT;
KELVRA_API kelvra_json_value *kelvra_json_new_bool(kelvra_json_builder *b, uint32_t value) KELVRA_NOEXCEPT;
KELVRA_API kelvra_json_value *kelvra_json_new_int(kelvra_json_builder *b, int64_t value) KELVRA_NOEXCEPT;
KELVRA_API kelvra_json_value *kelvra_json_new_double(kelvra_json_builder *b, double value) KELVRA_NOEXCEPT;
/* References the bytes (no copy): they must outlive the tree. */
KELVRA_API kelvra_json_value *kelvra_json_new_string(kelvra_json_builder *b, const uint8_t *bytes,
                                                     uint32_t length) KELVRA_NOEXCEPT;
/* Copies the item pointers into the arena. */
KELVRA_API kelvra_json_value *kelvra_json_new_array(kelvra_json_builder *b, kelvra_json_value *const *items,
                                                    uint32_t count) KELVRA_NOEXCEPT;
/* Copies the key and value pointers (keys themselves are referenced). */
KELVRA_API kelvra_json_value *kelvra_json_new_object(kelvra_json_builder *b, const char *const *keys,
                                                     kelvra_json_value *const *values, uint32_t count) KELVRA_NOEXCEPT;
/* First member named `key`, or null. */
KELVRA_API const kelvra_json_value *kelvra_json_object_get(const kelvra_json_value *object,
                                                           const char *key) KELVRA_NOEXCEPT;
/* Workspace bytes kelvra_json_write_ws needs for this tree; 0 for a null root. */
KELVRA_API uint64_t kelvra_json_write_arena_bytes(const kelvra_json_value *root) KELVRA_NOEXCEPT;
/* Canonical one-line text (sorted members, ", " and ": "); out may be null to measure.
 * 0; 1 null root/out_length; 2 workspace missing or small; 4 text too long or nesting > 64. */
KELVRA_API kelvra_status kelvra_json_write_ws(const kelvra_json_value *root, uint8_t *out, uint64_t out_capacity,
                                              uint64_t *out_length, uint8_t *workspace,
                                              uint64_t workspace_bytes) KELVRA_NOEXCEPT;
/* Parses JSON text into records in the arena. 0; 1 out_root null, or input or arena null with a
 * non-zero length; 2 syntax; 4 arena, depth or number length. */
KELVRA_API kelvra_status kelvra_json_parse(const uint8_t *input, uint64_t input_length, uint8_t *arena,
                                           uint64_t arena_capacity, kelvra_json_value **out_root) KELVRA_NOEXCEPT;

/* ------------------------------------------------------------------------
 * TOML (a subset: bare and dotted keys, tables, arrays of tables, inline
 * tables, arrays, strings, decimal integers and floats, booleans)
 * ------------------------------------------------------------------------ */

#define KELVRA_TOML_STRING 0u
#define KELVRA_TOML_INTEGER 1u
#define KELVRA_TOML_FLOAT 2u
#define KELVRA_TOML_BOOLEAN 3u
#define KELVRA_TOML_ARRAY 4u
#define KELVRA_TOML_TABLE 5u

typedef struct kelvra_toml_value kelvra_toml_value;

/* A TOML value: 32 bytes, the kind first. Strings are NUL-terminated in the arena. */
struct kelvra_toml_value {
    uint32_t kind; /* KELVRA_TOML_* */
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
    } as;
};

/* Parses TOML text into records in the arena; the root is a table. 0, 1, 2 or 4. */
KELVRA_API kelvra_status kelvra_toml_parse(const uint8_t *input, uint64_t input_length, uint8_t *arena,
                                           uint64_t arena_capacity, kelvra_toml_value **out_root) KELVRA_NOEXCEPT;
/* The member named `key` of a table, or null. */
KELVRA_API const kelvra_toml_value *kelvra_toml_table_get(const kelvra_toml_value *table,
                                                          const char *key) KELVRA_NOEXCEPT;

/* ------------------------------------------------------------------------
 * NDJSON line iteration
 * ------------------------------------------------------------------------ */

/* Called once per non-empty line (no line feed, not NUL-terminated); non-zero stops the iteration. */
typedef kelvra_status (*kelvra_ndjson_line_fn)(const uint8_t *line, uint64_t length, uint64_t line_number,
                                               void *context);

/* Streams a file line by line to `callback`. 0; 1; 3; 4 for a line over 1 MiB; or the callback's status. */
KELVRA_API kelvra_status kelvra_ndjson_iter(const char *path, kelvra_ndjson_line_fn callback,
                                            void *context) KELVRA_NOEXCEPT;

/* ------------------------------------------------------------------------
 * Catalog lookup and templates (keys sorted by unsigned bytes, prefix first)
 * ------------------------------------------------------------------------ */

/* Binary search of a sorted catalog; a missing key is status 0 with *out_found = 0. 0 or 1. */
KELVRA_API kelvra_status kelvra_catalog_lookup(const uint8_t *key, uint32_t key_length, const uint8_t *key_blob,
                                               const uint32_t *key_offsets, const uint32_t *key_lengths,
                                               const uint32_t *value_offsets, const uint32_t *value_lengths,
                                               uint32_t count, uint8_t *out_found, uint32_t *out_value_offset,
                                               uint32_t *out_value_length) KELVRA_NOEXCEPT;
/* Expands {name} placeholders from the catalog. 0; 1; 2 unknown or unterminated placeholder; 4 output full. */
KELVRA_API kelvra_status kelvra_template_render(const uint8_t *tmpl, uint32_t template_length, const uint8_t *key_blob,
                                                const uint32_t *key_offsets, const uint32_t *key_lengths,
                                                const uint8_t *value_blob, const uint32_t *value_offsets,
                                                const uint32_t *value_lengths, uint32_t count, uint8_t *out,
                                                uint32_t out_capacity, uint32_t *out_length) KELVRA_NOEXCEPT;

/* ------------------------------------------------------------------------
 * TLV packing, byte search, dispatch matching
 * ------------------------------------------------------------------------ */

/* Not-found index of the byte searches. */
#define KELVRA_NOT_FOUND 0xFFFFFFFFu

/* Writes tag, 4-byte big-endian length, value. 0; 1; 4 when out_capacity < value_length + 5. */
KELVRA_API kelvra_status kelvra_tlv_pack(uint8_t tag, const uint8_t *value, uint32_t value_length, uint8_t *out,
                                         uint32_t out_capacity, uint32_t *out_length) KELVRA_NOEXCEPT;
/* First occurrence of needle (KELVRA_NOT_FOUND when absent). 0 or 1. */
KELVRA_API kelvra_status kelvra_byte_search(const uint8_t *haystack, uint32_t haystack_length, const uint8_t *needle,
                                            uint32_t needle_length, uint32_t *out_index) KELVRA_NOEXCEPT;
/* Last occurrence of needle (KELVRA_NOT_FOUND when absent). 0 or 1. */
KELVRA_API kelvra_status kelvra_byte_search_backward(const uint8_t *haystack, uint32_t haystack_length,
                                                     const uint8_t *needle, uint32_t needle_length,
                                                     uint32_t *out_index) KELVRA_NOEXCEPT;
/* Handler id of the first table entry whose pattern occurs in text. 0 or 1. */
KELVRA_API kelvra_status kelvra_dispatch_match(const uint8_t *text, uint32_t text_length, const uint8_t *pattern_blob,
                                               const uint32_t *pattern_offsets, const uint32_t *pattern_lengths,
                                               const uint32_t *handler_ids, uint32_t count, uint8_t *out_matched,
                                               uint32_t *out_handler_id) KELVRA_NOEXCEPT;
/* destination[i] = source[length - 1 - i] (no overlap). 0 or 1. */
KELVRA_API kelvra_status kelvra_mirror_pattern(const uint8_t *source, uint32_t length,
                                               uint8_t *destination) KELVRA_NOEXCEPT;

/* ------------------------------------------------------------------------
 * SHA-256
 * ------------------------------------------------------------------------ */

/* 64 lower-case hex characters and a NUL (65 bytes) into out. 0 or 1. */
KELVRA_API kelvra_status kelvra_sha256_hex(const uint8_t *data, uint64_t len, char *out) KELVRA_NOEXCEPT;
/* count raw 32-byte digests into out, several messages at a time. 0 or 1. */
KELVRA_API kelvra_status kelvra_sha256_batch(const uint8_t *const *msgs, const uint64_t *lens, uint64_t count,
                                             uint8_t *out) KELVRA_NOEXCEPT;
/* One raw 32-byte digest, with the SHA extensions when present. 0 or 1. */
KELVRA_API kelvra_status kelvra_sha256_shani(const uint8_t *data, uint64_t len, uint8_t *out) KELVRA_NOEXCEPT;

/* ------------------------------------------------------------------------
 * Genome store: a directory with "turns.bin" (fixed-width records) and
 * "manifest.json" (its attested catalogue). All work happens in `arena`.
 * Statuses: 0; 1 null pointers; 2 bad arguments, malformed or unverifiable
 * data; 3 file failures; 4 arena, buffer or path too small.
 * Writes replace both files atomically under an advisory lock of the
 * directory; a write that fails (3) leaves the directory as it was.
 * ------------------------------------------------------------------------ */

/* Writes the body and its manifest. */
KELVRA_API kelvra_status kelvra_genome_save(const char *dir, const uint8_t *body, uint64_t body_len, uint32_t leaf_dim,
                                            const uint8_t *the_one, uint64_t the_one_len, uint8_t *arena,
                                            uint64_t arena_cap) KELVRA_NOEXCEPT;
/* Reads the whole body and verifies its digest. */
KELVRA_API kelvra_status kelvra_genome_load(const char *dir, uint8_t *body_out, uint64_t body_cap,
                                            uint64_t *out_body_len, const uint8_t *the_one, uint64_t the_one_len,
                                            uint8_t *arena, uint64_t arena_cap) KELVRA_NOEXCEPT;
/* The manifest as a JSON tree in the arena (derived from the body when the manifest is missing). */
KELVRA_API kelvra_status kelvra_genome_catalog(const char *dir, const uint8_t *the_one, uint64_t the_one_len,
                                               uint8_t *arena, uint64_t arena_cap,
                                               const kelvra_json_value **out_manifest) KELVRA_NOEXCEPT;
/* Reads one chromosome's region and verifies its cap record only (not the
 * whole body: load, the edits, export and explode do that). */
KELVRA_API kelvra_status kelvra_genome_window(const char *dir, const char *label, uint8_t *out, uint64_t out_cap,
                                              uint64_t *out_len, const uint8_t *the_one, uint64_t the_one_len,
                                              uint8_t *arena, uint64_t arena_cap) KELVRA_NOEXCEPT;
/* Adds records at the end of the stored body (label must be new). Every edit
 * verifies the stored body and refuses (2) a the_one other than the genome's. */
KELVRA_API kelvra_status kelvra_genome_append(const char *dir, const char *label, const uint8_t *body,
                                              uint64_t body_len, uint32_t leaf_dim, const uint8_t *the_one,
                                              uint64_t the_one_len, uint8_t *arena, uint64_t arena_cap) KELVRA_NOEXCEPT;
/* Deletes one chromosome's region (never the last chromosome). */
KELVRA_API kelvra_status kelvra_genome_remove(const char *dir, const char *label, const uint8_t *the_one,
                                              uint64_t the_one_len, uint8_t *arena, uint64_t arena_cap) KELVRA_NOEXCEPT;
/* Puts new records in place of one chromosome's region. */
KELVRA_API kelvra_status kelvra_genome_replace(const char *dir, const char *label, const uint8_t *body,
                                               uint64_t body_len, uint32_t leaf_dim, const uint8_t *the_one,
                                               uint64_t the_one_len, uint8_t *arena,
                                               uint64_t arena_cap) KELVRA_NOEXCEPT;
/* Writes a self-verifying bundle of one chromosome to the file out_path (by
 * convention label + ".chr", but any path), after verifying the whole stored
 * body (2 on a mismatch, nothing written). */
KELVRA_API kelvra_status kelvra_genome_export(const char *dir, const char *label, const char *out_path,
                                              const uint8_t *the_one, uint64_t the_one_len, uint8_t *arena,
                                              uint64_t arena_cap) KELVRA_NOEXCEPT;
/* Verifies a bundle and adds its chromosome to dir, creating the genome if needed. */
KELVRA_API kelvra_status kelvra_genome_import(const char *bundle_path, const char *dir, const uint8_t *the_one,
                                              uint64_t the_one_len, uint8_t *arena, uint64_t arena_cap) KELVRA_NOEXCEPT;
/* Writes one bundle per chromosome into out_dir, after verifying the whole
 * stored body; 2 with nothing written when labels repeat. */
KELVRA_API kelvra_status kelvra_genome_explode(const char *dir, const char *out_dir, const uint8_t *the_one,
                                               uint64_t the_one_len, uint8_t *arena,
                                               uint64_t arena_cap) KELVRA_NOEXCEPT;
/* Imports every bundle of in_dir into out_dir, in label order, saving once. On
 * a refused bundle (2) the ones before it are kept; on 3 or 4 out_dir is as it was. */
KELVRA_API kelvra_status kelvra_genome_pack(const char *in_dir, const char *out_dir, const uint8_t *the_one,
                                            uint64_t the_one_len, uint8_t *arena, uint64_t arena_cap) KELVRA_NOEXCEPT;

/* ------------------------------------------------------------------------
 * Platform: files, directory listing, read stream
 * ------------------------------------------------------------------------ */

/* Directory listing (caller-allocated). handle 0 or all-ones: no listing open. */
typedef struct kelvra_plat_dir {
    uintptr_t handle;
    char pending_name[256];
    uint32_t pending;
} kelvra_plat_dir;

/* Sequential read stream (caller-allocated): the open stream or null. */
typedef struct kelvra_plat_rstream {
    void *stream;
} kelvra_plat_rstream;

/* Reads a whole file into buf. 0; 3 unreadable; 4 larger than cap. */
KELVRA_API kelvra_status kelvra_plat_file_read(const char *path, uint8_t *buf, uint64_t cap,
                                               uint64_t *out_len) KELVRA_NOEXCEPT;
/* Reads exactly len bytes at offset. 0 or 3. */
KELVRA_API kelvra_status kelvra_plat_file_read_region(const char *path, uint64_t offset, void *buf,
                                                      uint64_t len) KELVRA_NOEXCEPT;
/* The file's length in bytes. 0 or 3. */
KELVRA_API kelvra_status kelvra_plat_file_size(const char *path, uint64_t *out_size) KELVRA_NOEXCEPT;
/* Replaces the file with buf (or appends when append != 0). 0 or 3. */
KELVRA_API kelvra_status kelvra_plat_file_write(const char *path, int32_t append, const void *buf,
                                                uint64_t len) KELVRA_NOEXCEPT;
/* Starts listing a directory. 0; 3 cannot be searched; 4 path or first name too long. */
KELVRA_API kelvra_status kelvra_plat_dir_open(const char *path, kelvra_plat_dir *dir) KELVRA_NOEXCEPT;
/* Next entry name; *out_has = 0 at the end. 0; 4 name does not fit cap: that one entry
 * stays pending in the record and the next call offers it again. */
KELVRA_API kelvra_status kelvra_plat_dir_next(kelvra_plat_dir *dir, char *name, uint64_t cap,
                                              uint32_t *out_has) KELVRA_NOEXCEPT;
/* Ends a listing; closing twice does nothing. */
KELVRA_API void kelvra_plat_dir_close(kelvra_plat_dir *dir) KELVRA_NOEXCEPT;
/* Opens a file for sequential reading. 0 or 3. */
KELVRA_API kelvra_status kelvra_plat_rstream_open(const char *path, kelvra_plat_rstream *stream) KELVRA_NOEXCEPT;
/* Reads up to cap bytes; a short count with 0 is the end of the data. 0 or 3. */
KELVRA_API kelvra_status kelvra_plat_rstream_read(kelvra_plat_rstream *stream, void *buf, uint64_t cap,
                                                  uint64_t *out_got) KELVRA_NOEXCEPT;
/* Closes the stream; closing twice does nothing. Always 0. */
KELVRA_API kelvra_status kelvra_plat_rstream_close(kelvra_plat_rstream *stream) KELVRA_NOEXCEPT;
/* Capability queries: 1 when the platform layer offers the facility. */
KELVRA_API uint32_t kelvra_plat_has_filesystem(void) KELVRA_NOEXCEPT;
KELVRA_API uint32_t kelvra_plat_has_dirlist(void) KELVRA_NOEXCEPT;
KELVRA_API uint32_t kelvra_plat_has_streams(void) KELVRA_NOEXCEPT;
KELVRA_API uint32_t kelvra_plat_has_threads(void) KELVRA_NOEXCEPT;

/* ------------------------------------------------------------------------
 * Platform: local byte streams ("kelvra-<name>" endpoints) and threads
 *
 * On POSIX an endpoint is a Unix-domain socket in a directory private to the
 * user: "$XDG_RUNTIME_DIR/kelvra" when that is an absolute path of at most 64
 * bytes, else "/tmp/kelvra-<uid>" (created with mode 0700; a directory others
 * can enter is refused). The formatted path is "<directory>/kelvra-<name>";
 * a name holding "/" or too long for a socket address is served under a
 * fixed-length name derived from its SHA-256 in the same directory. On
 * Windows it is the named pipe "\\.\pipe\kelvra-<name>"; a name holding "/"
 * or "\", ending in "." or a space, or too long for a pipe name is served as
 * "\\.\pipe\kelvra~" and the same SHA-256-derived name.
 * A client of a name nobody serves fails at once (3); one that arrives while
 * the server is busy with another connection waits up to 2000 ms for it to
 * accept again, then tries once more.
 * ------------------------------------------------------------------------ */

/* Stream server (caller-allocated): endpoint path and the instance waiting for a client. */
typedef struct kelvra_plat_server {
    char path[512];
    uintptr_t pending; /* all-ones when no accept is waiting */
} kelvra_plat_server;

/* One connected stream end; 0 or all-ones: not connected. */
typedef struct kelvra_plat_conn {
    uintptr_t handle;
} kelvra_plat_conn;

/* A thread's work: called with the argument given to kelvra_plat_thread_spawn. */
typedef void (*kelvra_plat_thread_fn)(void *arg);

/* Thread record (caller-allocated); it must stay in place from spawn to join. */
typedef struct kelvra_plat_thread {
    kelvra_plat_thread_fn worker;
    void *arg;
    uintptr_t handle;
} kelvra_plat_thread;

/* Prepares a server for endpoint `name`. 0; 1; 4 path of 512 bytes or more. */
KELVRA_API kelvra_status kelvra_plat_stream_listen(const char *name, kelvra_plat_server *server) KELVRA_NOEXCEPT;
/* Waits (blocking) for one client. 0; 1; 3. */
KELVRA_API kelvra_status kelvra_plat_stream_accept(kelvra_plat_server *server, kelvra_plat_conn *conn) KELVRA_NOEXCEPT;
/* Connects to endpoint `name`, waiting up to 2000 ms while it is busy. 0; 1; 3; 4. */
KELVRA_API kelvra_status kelvra_plat_stream_connect(const char *name, kelvra_plat_conn *conn) KELVRA_NOEXCEPT;
/* Reads exactly len bytes. 0; 1; 3 (peer closed or failure). */
KELVRA_API kelvra_status kelvra_plat_stream_read_exact(kelvra_plat_conn *conn, uint8_t *buf,
                                                       uint64_t len) KELVRA_NOEXCEPT;
/* Writes exactly len bytes. 0; 1; 3 (peer closed or failure). */
KELVRA_API kelvra_status kelvra_plat_stream_write_all(kelvra_plat_conn *conn, const uint8_t *buf,
                                                      uint64_t len) KELVRA_NOEXCEPT;
/* Ends a connection; closing twice does nothing. 0 or 1. */
KELVRA_API kelvra_status kelvra_plat_stream_conn_close(kelvra_plat_conn *conn) KELVRA_NOEXCEPT;
/* Cancels a waiting accept, if any. 0 or 1. */
KELVRA_API kelvra_status kelvra_plat_stream_server_close(kelvra_plat_server *server) KELVRA_NOEXCEPT;
/* Starts a thread running worker(arg). 0; 1; 6. */
KELVRA_API kelvra_status kelvra_plat_thread_spawn(kelvra_plat_thread_fn worker, void *arg,
                                                  kelvra_plat_thread *thread) KELVRA_NOEXCEPT;
/* Waits for the thread and releases it. 0 or 1. */
KELVRA_API kelvra_status kelvra_plat_thread_join(kelvra_plat_thread *thread) KELVRA_NOEXCEPT;

/* ------------------------------------------------------------------------
 * Message bus: framed request/reply over a local byte stream
 * ------------------------------------------------------------------------ */

typedef struct kelvra_bus_server kelvra_bus_server;
typedef struct kelvra_bus_client kelvra_bus_client;

/* Answers one request: writes at most *reply_len bytes (its capacity on entry),
 * sets *reply_len to the reply's length, returns 0; non-zero refuses it. */
typedef kelvra_status (*kelvra_bus_handler)(const uint8_t *request, uint32_t request_len, uint8_t *reply,
                                            uint64_t *reply_len, void *user);

/* Creates a server for endpoint `name`. 0; 1; 2 no streams; 4; 6. */
KELVRA_API kelvra_status kelvra_bus_serve(const char *name, kelvra_bus_handler handler, void *user,
                                          kelvra_bus_server **out_server) KELVRA_NOEXCEPT;
/* Waits for one client and serves it until it leaves. 0; 1; 3 accept failed.
 * A handler's reply longer than the capacity it was given ends the connection. */
KELVRA_API kelvra_status kelvra_bus_server_accept_one(kelvra_bus_server *server) KELVRA_NOEXCEPT;
/* Stops the server and frees it. 0 or 1. Called from another thread while a
 * call of accept_one waits or serves, it ends that call (a reply in progress
 * still goes out) and frees the server only after the call has returned; that
 * thread must not call accept_one again. Never call it from the handler. */
KELVRA_API kelvra_status kelvra_bus_server_stop(kelvra_bus_server *server) KELVRA_NOEXCEPT;
/* Connects to endpoint `name`. 0; 1; 2; 3; 4; 6. */
KELVRA_API kelvra_status kelvra_bus_connect(const char *name, kelvra_bus_client **out_client) KELVRA_NOEXCEPT;
/* Sends one request and receives its reply (*reply_len: capacity in, length out). 0; 1; 3; 4. */
KELVRA_API kelvra_status kelvra_bus_send_recv(kelvra_bus_client *client, const uint8_t *request, uint64_t request_len,
                                              uint8_t *reply, uint64_t *reply_len) KELVRA_NOEXCEPT;
/* Closes and frees the client. 0 or 1. */
KELVRA_API kelvra_status kelvra_bus_client_close(kelvra_bus_client *client) KELVRA_NOEXCEPT;

/* ------------------------------------------------------------------------
 * Integer number theory (unsigned 64-bit, exact for every modulus)
 * ------------------------------------------------------------------------ */

/* gcd(a, b); gcd(a, 0) = a. 0, 1 or 6. */
KELVRA_API kelvra_status kelvra_gcd(uint64_t a, uint64_t b, uint64_t *out) KELVRA_NOEXCEPT;
/* lcm(a, b); 0 when either is 0. 0, 1, 4 overflow, 6. */
KELVRA_API kelvra_status kelvra_lcm(uint64_t a, uint64_t b, uint64_t *out) KELVRA_NOEXCEPT;
/* (a + b) mod m. 0, 1, 2 for m = 0. */
KELVRA_API kelvra_status kelvra_mod_add(uint64_t a, uint64_t b, uint64_t m, uint64_t *out) KELVRA_NOEXCEPT;
/* (a * b) mod m. 0, 1, 2 for m = 0. */
KELVRA_API kelvra_status kelvra_mod_mul(uint64_t a, uint64_t b, uint64_t m, uint64_t *out) KELVRA_NOEXCEPT;
/* base^exponent mod m (base^0 = 1; 0 when m = 1). 0, 1, 2 for m = 0. */
KELVRA_API kelvra_status kelvra_mod_pow(uint64_t base, uint64_t exponent, uint64_t m, uint64_t *out) KELVRA_NOEXCEPT;
/* x in [0, m) with a*x = 1 mod m. 0, 1, 2 (m < 2, no inverse), 4 (m > 2^63 - 1). */
KELVRA_API kelvra_status kelvra_mod_inv(uint64_t a, uint64_t m, uint64_t *out) KELVRA_NOEXCEPT;
/* ((x mod 3) + 1) mod 3. 0 or 1. */
KELVRA_API kelvra_status kelvra_three_cycle(uint64_t x, uint64_t *out) KELVRA_NOEXCEPT;
/* Smallest k >= 1 with a^k = 1 mod m. 0, 1, 2 (m < 2, a = 0 mod m, max_period 0), 4 (none <= max_period). */
KELVRA_API kelvra_status kelvra_cyclic_period(uint64_t a, uint64_t m, uint64_t max_period,
                                              uint64_t *out) KELVRA_NOEXCEPT;
/* Prime factorisation in increasing order. 0, 1, 4 (capacity; the prefix found stays with its count). */
KELVRA_API kelvra_status kelvra_factor(uint64_t n, uint64_t *primes, uint8_t *exponents, uint32_t capacity,
                                       uint32_t *count) KELVRA_NOEXCEPT;
/* *out = 1 when n is prime, else 0. 0 or 1. */
KELVRA_API kelvra_status kelvra_is_prime(uint64_t n, uint8_t *out) KELVRA_NOEXCEPT;

/* ------------------------------------------------------------------------
 * Rationals (i64 numerator over u64 denominator, reduced, zero as 0/1),
 * continued fractions, the library's square root
 * ------------------------------------------------------------------------ */

/* a + b. 0, 1, 2 zero denominator, 4 overflow or denominator > 2^63 - 1. */
KELVRA_API kelvra_status kelvra_rational_add(int64_t a_num, uint64_t a_den, int64_t b_num, uint64_t b_den,
                                             int64_t *out_num, uint64_t *out_den) KELVRA_NOEXCEPT;
/* a * b. 0, 1, 2, 4. */
KELVRA_API kelvra_status kelvra_rational_mul(int64_t a_num, uint64_t a_den, int64_t b_num, uint64_t b_den,
                                             int64_t *out_num, uint64_t *out_den) KELVRA_NOEXCEPT;
/* a / b. 0, 1, 2 zero denominator or divisor, 4. */
KELVRA_API kelvra_status kelvra_rational_div(int64_t a_num, uint64_t a_den, int64_t b_num, uint64_t b_den,
                                             int64_t *out_num, uint64_t *out_den) KELVRA_NOEXCEPT;
/* (num/den)^exponent, exponent <= 64. 0, 1, 2, 4. */
KELVRA_API kelvra_status kelvra_rational_pow_uint(int64_t num, uint64_t den, uint32_t exponent, int64_t *out_num,
                                                  uint64_t *out_den) KELVRA_NOEXCEPT;
/* Partial quotients of num/den. 0, 1, 2, 4 (the prefix stays), 6. */
KELVRA_API kelvra_status kelvra_continued_fraction(uint64_t num, uint64_t den, uint64_t *terms, uint32_t capacity,
                                                   uint32_t *count) KELVRA_NOEXCEPT;
/* Convergents p_i/q_i of n signed partial quotients (n <= 256). 0, 1, 2, 4. */
KELVRA_API kelvra_status kelvra_cf_convergents_int64(const int64_t *terms, uint64_t n, int64_t *p_out,
                                                     int64_t *q_out) KELVRA_NOEXCEPT;
/* Last convergent of num/den with denominator <= max_den (0/1 first). 0, 1, 2. */
KELVRA_API kelvra_status kelvra_best_rational(uint64_t num, uint64_t den, uint64_t max_den, uint64_t *out_num,
                                              uint64_t *out_den) KELVRA_NOEXCEPT;
/* Exact sum of x^k/k! for k = 0..order (order <= 20). 0, 1, 2, 4. */
KELVRA_API kelvra_status kelvra_exp_series_truncate(int64_t x_num, uint64_t x_den, uint32_t order, int64_t *out_num,
                                                    uint64_t *out_den) KELVRA_NOEXCEPT;
/* Square root by an exact integer method (no square-root instruction). 0, 1, 2 for x < 0. */
KELVRA_API kelvra_status kelvra_rational_sqrt(double x, double *out) KELVRA_NOEXCEPT;

/* ------------------------------------------------------------------------
 * Elementary functions (Q61 fixed point; the same bits on every processor)
 * ------------------------------------------------------------------------ */

/* e^x. 0 or 1. */
KELVRA_API kelvra_status kelvra_exp(double x, double *out) KELVRA_NOEXCEPT;
/* ln x. 0, 1, 2 for x <= 0 (NaN or -inf written). */
KELVRA_API kelvra_status kelvra_log(double x, double *out) KELVRA_NOEXCEPT;
/* sin x. 0, 1, 2 for infinite x or |x| >= 2^55. */
KELVRA_API kelvra_status kelvra_sin(double x, double *out) KELVRA_NOEXCEPT;
/* cos x. 0, 1, 2 for infinite x or |x| >= 2^55. */
KELVRA_API kelvra_status kelvra_cos(double x, double *out) KELVRA_NOEXCEPT;
/* arctan x in [-pi/2, pi/2]. 0 or 1. */
KELVRA_API kelvra_status kelvra_atan(double x, double *out) KELVRA_NOEXCEPT;
/* Angle of the point (x, y) in (-pi, pi]. 0 or 1. */
KELVRA_API kelvra_status kelvra_atan2(double y, double x, double *out) KELVRA_NOEXCEPT;

/* ------------------------------------------------------------------------
 * Orbital routines
 * ------------------------------------------------------------------------ */

/* Eccentric anomaly E with E - e sin E = M, by Newton. 0, 1, 2 (e outside [0,1), no budget), 4 not converged. */
KELVRA_API kelvra_status kelvra_kepler_solve(double mean_anomaly, double eccentricity, double tolerance,
                                             uint32_t max_iterations, double *out) KELVRA_NOEXCEPT;
/* Equation of the centre to the given order (1..6) in e. 0, 1, 2. */
KELVRA_API kelvra_status kelvra_equation_of_centre(double mean_anomaly, double eccentricity, int32_t order,
                                                   double *out) KELVRA_NOEXCEPT;
/* Pin-and-slot output angle atan2(r sin t, r cos t + d). 0, 1, 2 for r = d = 0. */
KELVRA_API kelvra_status kelvra_pin_slot(double angle, double radius, double offset, double *out) KELVRA_NOEXCEPT;

/* ------------------------------------------------------------------------
 * Dense linear algebra (row-major; complex values interleaved re, im)
 * ------------------------------------------------------------------------ */

/* Solves A X = B (n x n, n x m) by Gauss-Jordan in the workspace. 0, 1, 2 singular, 4 small workspace. */
KELVRA_API kelvra_status kelvra_dense_solve_f64_ws(uint32_t n, uint32_t m, const double *a, const double *b, double *x,
                                                   void *workspace, uint64_t workspace_bytes) KELVRA_NOEXCEPT;
/* C = A B for complex matrices (rows x inner)(inner x cols). 0 or 1. */
KELVRA_API kelvra_status kelvra_dense_matmul_complex(uint32_t rows, uint32_t inner, uint32_t cols, const double *a,
                                                     const double *b, double *c) KELVRA_NOEXCEPT;
/* out[i] = a[i] b[i] for count complex values (out may alias). 0 or 1. */
KELVRA_API kelvra_status kelvra_elementwise_multiply_complex(uint32_t count, const double *a, const double *b,
                                                             double *out) KELVRA_NOEXCEPT;
/* out[i] = f(in[i]) with op 0 exp, 1 cos, 2 sin, 3 log. 0, 1, 2 (op > 3, log of a value <= 0). */
KELVRA_API kelvra_status kelvra_elementwise_transcendental(uint32_t count, const double *in, uint32_t op,
                                                           double *out) KELVRA_NOEXCEPT;

/* ------------------------------------------------------------------------
 * Graph Laplacians and eigensolvers
 * ------------------------------------------------------------------------ */

/* Dense adjacency of an undirected edge list (weights may be null: 1.0). 0, 1, 2 endpoint >= n. */
KELVRA_API kelvra_status kelvra_graph_dense_adjacency(uint32_t n, uint32_t edge_count, const uint32_t *src,
                                                      const uint32_t *dst, const double *weights,
                                                      double *out) KELVRA_NOEXCEPT;
/* L = D - A. 0, 1, 2. */
KELVRA_API kelvra_status kelvra_graph_dense_laplacian(uint32_t n, uint32_t edge_count, const uint32_t *src,
                                                      const uint32_t *dst, const double *weights,
                                                      double *out) KELVRA_NOEXCEPT;
/* I - D^-1/2 A D^-1/2 (isolated vertices give zero rows). 0, 1, 2. */
KELVRA_API kelvra_status kelvra_graph_normalized_laplacian(uint32_t n, uint32_t edge_count, const uint32_t *src,
                                                           const uint32_t *dst, const double *weights,
                                                           double *out) KELVRA_NOEXCEPT;
/* Eigenvalues (ascending) and eigenvectors (columns) of a complex Hermitian matrix.
 * workspace holds at least 2 n^2 doubles. 0, 1, 4 (n above the configured limit, workspace, no convergence). */
KELVRA_API kelvra_status kelvra_hermitian_eigendecompose_ws(uint32_t n, const double *h, double *eigenvalues,
                                                            double *eigenvectors, double *workspace,
                                                            uint64_t workspace_doubles) KELVRA_NOEXCEPT;
/* Eigenvalues of a real symmetric matrix (overwritten) by cyclic Jacobi, in index order. 0 or 1. */
KELVRA_API kelvra_status kelvra_jacobi_eigvals(uint32_t n, double *a, int32_t max_sweeps, double tolerance,
                                               double *eigenvalues) KELVRA_NOEXCEPT;

/* ------------------------------------------------------------------------
 * Sparse Fiedler vector (workspace of at least 8 n doubles)
 * ------------------------------------------------------------------------ */

/* From an edge list in memory. 0, 1, 2 (workspace, endpoint >= n, degrees or result not finite). */
KELVRA_API kelvra_status kelvra_laplacian_fiedler_sparse(uint32_t n, uint32_t edge_count, const uint32_t *src,
                                                         const uint32_t *dst, const double *weights,
                                                         uint32_t max_iterations, double *out, double *workspace,
                                                         uint64_t workspace_doubles) KELVRA_NOEXCEPT;
/* From a file of 16-byte records (u32 src, u32 dst, f64 weight, little-endian). 0, 1, 2 (as above, or a
 * length not a multiple of 16), 3. */
KELVRA_API kelvra_status kelvra_laplacian_fiedler_sparse_file(uint32_t n, const char *path, uint32_t max_iterations,
                                                              double *out, double *workspace,
                                                              uint64_t workspace_doubles) KELVRA_NOEXCEPT;

/* ------------------------------------------------------------------------
 * Cayley-Dickson algebra and the octonion loop (an octonion is 8 doubles,
 * real part first; `dim` must be 8). Outputs may alias inputs.
 * ------------------------------------------------------------------------ */

/* e_i e_j = sign e_index in dimension n (a power of two up to 64). 0, 1, 2. */
KELVRA_API kelvra_status kelvra_cd_basis_product(int32_t n, int32_t i, int32_t j, uint32_t *out_index,
                                                 int32_t *out_sign) KELVRA_NOEXCEPT;
/* out = x y. 0, 1, 2. */
KELVRA_API kelvra_status kelvra_loop_bind_f64(const double *x, const double *y, uint64_t dim,
                                              double *out) KELVRA_NOEXCEPT;
/* out = conjugate of x. 0, 1, 2. */
KELVRA_API kelvra_status kelvra_loop_conj_f64(const double *x, uint64_t dim, double *out) KELVRA_NOEXCEPT;
/* out = x^-1. 0, 1, 2 (also for a zero octonion). */
KELVRA_API kelvra_status kelvra_loop_inv_f64(const double *x, uint64_t dim, double *out) KELVRA_NOEXCEPT;
/* out = (x y) z - x (y z). 0, 1, 2. */
KELVRA_API kelvra_status kelvra_loop_associator_f64(const double *x, const double *y, const double *z, uint64_t dim,
                                                    double *out) KELVRA_NOEXCEPT;
/* 8x8 row-major matrix L with L y = x y. 0, 1, 2. */
KELVRA_API kelvra_status kelvra_loop_left_op_f64(const double *x, uint64_t dim, double *out) KELVRA_NOEXCEPT;
/* 8x8 row-major matrix R with R y = y x. 0, 1, 2. */
KELVRA_API kelvra_status kelvra_loop_right_op_f64(const double *x, uint64_t dim, double *out) KELVRA_NOEXCEPT;
/* Seven-dimensional cross product: u v with the real part set to 0. 0, 1, 2. */
KELVRA_API kelvra_status kelvra_cross7_f64(const double *u, const double *v, uint64_t dim, double *out) KELVRA_NOEXCEPT;
/* The G2 three-form phi(x, u, v). 0, 1, 2. */
KELVRA_API kelvra_status kelvra_g2_three_form_f64(const double *x, const double *u, const double *v, uint64_t dim,
                                                  double *out) KELVRA_NOEXCEPT;
/* Splits n into three bands (q, q or q+1, the rest). 0 or 1. */
KELVRA_API kelvra_status kelvra_three_fold_bands(uint32_t n, uint32_t *b0, uint32_t *b1, uint32_t *b2) KELVRA_NOEXCEPT;

/* Batches over n blocks of 8 doubles. n = 0 is 0 whatever the pointers. */
/* out_k = a_k b_k, on the widest processor tier available. 0 or 1. */
KELVRA_API kelvra_status kelvra_loop_bind_hd_f64(const double *a, const double *b, uint64_t n,
                                                 double *out) KELVRA_NOEXCEPT;
/* out_k = conjugate of a_k. 0 or 1. */
KELVRA_API kelvra_status kelvra_loop_conj_hd_f64(const double *a, uint64_t n, double *out) KELVRA_NOEXCEPT;
/* out_k = a_k^-1; a zero block gives 2 with the earlier blocks written. 0, 1, 2. */
KELVRA_API kelvra_status kelvra_loop_inv_hd_f64(const double *a, uint64_t n, double *out) KELVRA_NOEXCEPT;
/* out_k = conj(a_k) b_k. 0 or 1. */
KELVRA_API kelvra_status kelvra_loop_unbind_hd_f64(const double *a, const double *b, uint64_t n,
                                                   double *out) KELVRA_NOEXCEPT;
/* out_k = b_k conj(a_k). 0 or 1. */
KELVRA_API kelvra_status kelvra_loop_runbind_hd_f64(const double *a, const double *b, uint64_t n,
                                                    double *out) KELVRA_NOEXCEPT;

/* ------------------------------------------------------------------------
 * Hypervectors: packed bits (hdc), Klein-four elements 0..3 (klein4),
 * bipolar -1/0/+1 (polar). 1 for null pointers, then 2 for zero lengths and
 * invalid elements (earlier outputs may be written).
 * ------------------------------------------------------------------------ */

/* out = a XOR b. */
KELVRA_API kelvra_status kelvra_hdc_bind(const uint8_t *a, const uint8_t *b, uint32_t nbytes,
                                         uint8_t *out) KELVRA_NOEXCEPT;
/* Bitwise majority of an odd number of vectors; 2 when count is 0 or even, or nbytes is 0. */
KELVRA_API kelvra_status kelvra_hdc_bundle(const uint8_t *const *vectors, uint32_t count, uint32_t nbytes,
                                           uint8_t *out) KELVRA_NOEXCEPT;
/* Cyclic rotation by shift bits towards higher indices (out must not overlap in). */
KELVRA_API kelvra_status kelvra_hdc_permute(const uint8_t *in, uint32_t nbytes, int32_t shift,
                                            uint8_t *out) KELVRA_NOEXCEPT;
/* 1 - 2 hamming(a, b) / (8 nbytes). */
KELVRA_API kelvra_status kelvra_hdc_similarity(const uint8_t *a, const uint8_t *b, uint32_t nbytes,
                                               double *out) KELVRA_NOEXCEPT;
/* out[i] = a[i] XOR b[i]. */
KELVRA_API kelvra_status kelvra_klein4_bind(const uint8_t *a, const uint8_t *b, uint32_t n,
                                            uint8_t *out) KELVRA_NOEXCEPT;
/* Per-bit majority (a tie clears the bit). */
KELVRA_API kelvra_status kelvra_klein4_bundle(const uint8_t *const *vectors, uint32_t count, uint32_t n,
                                              uint8_t *out) KELVRA_NOEXCEPT;
/* Adds v to an accumulator of 2 n + 1 counters. */
KELVRA_API kelvra_status kelvra_klein4_bundle_accumulate(uint32_t *acc, const uint8_t *v, uint64_t n) KELVRA_NOEXCEPT;
/* Majority vector from an accumulator. */
KELVRA_API kelvra_status kelvra_klein4_bundle_resolve(const uint32_t *acc, uint8_t *out, uint64_t n) KELVRA_NOEXCEPT;
/* Fills vocab accumulator rows (2 dim + 1 counters each) from a token stream; 2 when vocab,
 * window or dim is 0, the table would not fit 64-bit addressing, a token id is not below
 * vocab, or a codebook element is not 0..3. */
KELVRA_API kelvra_status kelvra_klein4_cooccurrence_fold(const uint8_t *codebook, uint32_t vocab,
                                                         const uint32_t *tokens, uint32_t ntokens, uint32_t window,
                                                         uint64_t dim, uint32_t *table) KELVRA_NOEXCEPT;
/* Fraction of equal elements. */
KELVRA_API kelvra_status kelvra_klein4_similarity(const uint8_t *a, const uint8_t *b, uint32_t n,
                                                  double *out) KELVRA_NOEXCEPT;
/* Cycles the three non-identity elements (the other way when inverse != 0). */
KELVRA_API kelvra_status kelvra_klein4_triality_cycle(const uint8_t *in, uint32_t n, int32_t inverse,
                                                      uint8_t *out) KELVRA_NOEXCEPT;
/* out[i] = a[i] b[i]. */
KELVRA_API kelvra_status kelvra_polar_bind(const int8_t *a, const int8_t *b, uint32_t n, int8_t *out) KELVRA_NOEXCEPT;
/* Sign of the element-wise sum. */
KELVRA_API kelvra_status kelvra_polar_bundle(const int8_t *const *vectors, uint32_t count, uint32_t n,
                                             int8_t *out) KELVRA_NOEXCEPT;
/* Fraction of non-zero elements. */
KELVRA_API kelvra_status kelvra_polar_density(const int8_t *v, uint32_t n, double *out) KELVRA_NOEXCEPT;
/* Agreement ratio (over positions where both are non-zero when nonzero_only != 0). */
KELVRA_API kelvra_status kelvra_polar_similarity(const int8_t *a, const int8_t *b, uint32_t n, int32_t nonzero_only,
                                                 double *out) KELVRA_NOEXCEPT;

/* ------------------------------------------------------------------------
 * Hamming code of length 2^r - 1 (r = 2..16) on unpacked bits
 * ------------------------------------------------------------------------ */

/* Writes 2^r - 1 code bits from k = 2^r - 1 - r data bits. 0, 1, 2. */
KELVRA_API kelvra_status kelvra_hamming_encode(const uint8_t *data, uint64_t k, int32_t r,
                                               uint8_t *code) KELVRA_NOEXCEPT;
/* Position of a single flipped bit (0 for a codeword). 0, 1, 2. */
KELVRA_API kelvra_status kelvra_hamming_syndrome(const uint8_t *code, uint64_t n, uint32_t *syndrome) KELVRA_NOEXCEPT;
/* Data bits with a single error corrected, and the syndrome. 0, 1, 2. */
KELVRA_API kelvra_status kelvra_hamming_decode_correct(const uint8_t *code, uint64_t n, uint8_t *data,
                                                       uint32_t *syndrome) KELVRA_NOEXCEPT;

/* ------------------------------------------------------------------------
 * Cascade kernels and oscillators
 * ------------------------------------------------------------------------ */

/* A caller operator: writes n results to out and returns 0, or a non-zero status. */
typedef kelvra_status (*kelvra_cascade_op_f64)(const double *in, uint64_t n, double *out, void *ctx);

/* Sign (1, 0, -1) and magnitude of x (NaN and zeros: 0, +0.0). 0 or 1. */
KELVRA_API kelvra_status kelvra_cascade_pin_slot_at_zero_f64(double x, int8_t *out_sign,
                                                             double *out_mag) KELVRA_NOEXCEPT;
/* |x| with +0.0 for zeros and NaN. 0 or 1. */
KELVRA_API kelvra_status kelvra_cascade_magnitude_f64(double x, double *out) KELVRA_NOEXCEPT;
/* -x when sign < 0, else x. 0 or 1. */
KELVRA_API kelvra_status kelvra_cascade_reorient_f64(int8_t sign, double x, double *out) KELVRA_NOEXCEPT;
/* Two's-complement -x when sign < 0, else x. 0 or 1. */
KELVRA_API kelvra_status kelvra_cascade_reorient_i64(int8_t sign, int64_t x, int64_t *out) KELVRA_NOEXCEPT;
/* Product of the signs (1, 0, -1); 1 for n = 0. 0 or 1. */
KELVRA_API kelvra_status kelvra_cascade_net_chirality_i8(const int8_t *signs, uint64_t n, int8_t *out) KELVRA_NOEXCEPT;
/* out[i] = in[n - 1 - i]; out may equal in. 0 or 1. */
KELVRA_API kelvra_status kelvra_cascade_chiral_flip_f64(const double *in, uint64_t n, double *out) KELVRA_NOEXCEPT;
KELVRA_API kelvra_status kelvra_cascade_chiral_flip_i64(const int64_t *in, uint64_t n, int64_t *out) KELVRA_NOEXCEPT;
/* out = reverse(op(reverse(in))) using n elements of scratch. 0, 1, or op's status. */
KELVRA_API kelvra_status kelvra_cascade_chiral_dual_f64(kelvra_cascade_op_f64 op, void *ctx, const double *in,
                                                        uint64_t n, double *out, double *scratch) KELVRA_NOEXCEPT;
/* gcd(a, b) exactly as kelvra_gcd. 0, 1, 6. */
KELVRA_API kelvra_status kelvra_cascade_cyclic_gcd_u64(uint64_t a, uint64_t b, uint64_t *out) KELVRA_NOEXCEPT;
/* Signed rational near x on the grid 1/scale with denominator <= max_den. 0, 1, 2. */
KELVRA_API kelvra_status kelvra_cascade_best_rational_signed_f64(double x, int64_t max_den, int64_t scale,
                                                                 int64_t *out_num, int64_t *out_den) KELVRA_NOEXCEPT;
/* One Euler step of the all-to-all Kuramoto model. 0 or 1. */
KELVRA_API kelvra_status kelvra_cascade_kuramoto_step_f64(const double *theta, const double *omega, uint64_t n,
                                                          double coupling, double dt, double *out) KELVRA_NOEXCEPT;
/* Kuramoto step with optional weights (n x n), phase lag and external drive. 0 or 1. */
KELVRA_API kelvra_status kelvra_cascade_kuramoto_step_general_f64(const double *theta, const double *omega, uint64_t n,
                                                                  const double *weights, double coupling, double lag,
                                                                  const double *drive, const double *drive_gain,
                                                                  double dt, double *out) KELVRA_NOEXCEPT;
/* Circular autocorrelation out[k] = sum_i x[(i + k) mod n] x[i]. 0 or 1. */
KELVRA_API kelvra_status kelvra_autocorrelation_f64(const double *x, uint64_t n, double *out) KELVRA_NOEXCEPT;
/* out[i] = n - 1 - i. 0 or 1. */
KELVRA_API kelvra_status kelvra_reverse_order(uint32_t n, uint32_t *out) KELVRA_NOEXCEPT;
/* Exact DFT of integer vectors (n a power of two) in the basis 1, z, ..., z^(n/2 - 1); n rows of n/2. 0, 1, 2. */
KELVRA_API kelvra_status kelvra_exact_dft_i64(uint32_t n, int32_t negative_exponent, const int64_t *re_in,
                                              const int64_t *im_in, int64_t *re_out, int64_t *im_out) KELVRA_NOEXCEPT;
/* Runs op under up to four symmetries (negation, reversal), one thread per sector.
 * out and scratch hold sectors * n elements (cap). 0, 1, 2 sectors not 1..4, 4, or the first failing sector's status. */
KELVRA_API kelvra_status kelvra_cascade_parallel_sector_dispatch(kelvra_cascade_op_f64 op, void *ctx, const double *in,
                                                                 uint64_t n, uint32_t sectors, double *out,
                                                                 double *scratch, uint64_t cap) KELVRA_NOEXCEPT;

#if defined(__cplusplus)
} /* extern "C" */
#endif

#endif /* KELVRA_H */
