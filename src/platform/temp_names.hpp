// Names of the temporary files a writer puts beside the files it replaces,
// the same on every platform: "<name>.<pid>-<n>.kelvra-tmp", unique within
// the process by a counter and across processes by the process id, and
// "<name>.<token>.kelvra-tmp" for the files of one batch. A long final name is
// cut so that the whole stays a legal file name.
#pragma once

#include <cstdint>

#include "platform/platform.hpp"

namespace kelvra::os {

// The temporary name drawn `sequence`-th by this process.
void temp_name(const char *name, std::uint64_t sequence, char (&out)[file_name_capacity]) noexcept;

// A temporary name never drawn before by this process.
void fresh_temp_name(const char *name, char (&out)[file_name_capacity]) noexcept;

// Gives a batch its token, "<pid>-<n>".
void name_batch(FileBatch *b) noexcept;

// The temporary name of `name` within batch `b`.
void batch_temp_name(const FileBatch *b, const char *name, char (&out)[file_name_capacity]) noexcept;

// This process's id, as the platform numbers processes.
unsigned long process_number() noexcept;

} // namespace kelvra::os
