/* Compiled as strict C99: the public header must be valid C, and the records
 * whose layout callers depend on must have the sizes and offsets they expect. */
#include <stddef.h>
#include "kelvra.h"

#define CHECK(name, cond) typedef char check_##name[(cond) ? 1 : -1]

CHECK(status_is_u32, sizeof(kelvra_status) == 4);
CHECK(json_value_size, sizeof(kelvra_json_value) == 32);
CHECK(json_payload_offset, offsetof(kelvra_json_value, as) == 8);
CHECK(json_string_length, offsetof(kelvra_json_value, as.string.length) == 16);
CHECK(json_object_values, offsetof(kelvra_json_value, as.object.values) == 16);
CHECK(json_object_count, offsetof(kelvra_json_value, as.object.count) == 24);
CHECK(json_builder_failed, offsetof(kelvra_json_builder, failed) == 24);
CHECK(toml_value_size, sizeof(kelvra_toml_value) == 32);
CHECK(toml_table_count, offsetof(kelvra_toml_value, as.table.count) == 24);
CHECK(plat_dir_name, offsetof(kelvra_plat_dir, pending_name) == sizeof(void *));
CHECK(plat_dir_flag, offsetof(kelvra_plat_dir, pending) == sizeof(void *) + 256);
CHECK(plat_rstream_size, sizeof(kelvra_plat_rstream) == sizeof(void *));
CHECK(plat_server_pending, offsetof(kelvra_plat_server, pending) == 512);
CHECK(plat_conn_size, sizeof(kelvra_plat_conn) == sizeof(void *));
CHECK(plat_thread_handle, offsetof(kelvra_plat_thread, handle) == 2 * sizeof(void *));
