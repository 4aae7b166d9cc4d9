// Input and output for the tool's commands: whole-input reading (a named
// file mapped or read through the library's file layer, or standard input
// for "-"), saying
// why a path cannot be used, and output whose write errors are errors.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "kelvra.h"
#include "system.hpp"

namespace kelvra::cli {

// Reads all of `path` ("-" for standard input) into `bytes`. Returns the
// library status (3 when the file cannot be read).
kelvra_status read_input(const char *path, std::vector<uint8_t> &bytes);

// The whole of an input without a copy where it can be had: a regular file is
// mapped; anything else (standard input, a pipe, a device) is read in.
class Input {
public:
    // Returns the library status of reading `path` ("-": standard input).
    kelvra_status open(const char *path);
    const uint8_t *data() const { return map_ ? map_->data() : bytes_.data(); }
    uint64_t size() const { return map_ ? map_->size() : bytes_.size(); }

private:
    std::unique_ptr<MappedFile> map_;
    std::vector<uint8_t> bytes_;
};

// Why `path` cannot be read, as the operating system says it ("No such file
// or directory", "Is a directory", "Permission denied"); "" when nothing is
// visibly wrong with it.
std::string path_problem(const char *path);

// Reports that command `name` could not read `path` (status s, usually 3):
// "kelvra NAME: cannot read PATH: REASON (status 3, KELVRA_ERR_IO)". Returns
// the exit code for s.
int input_failed(const char *name, const char *path, kelvra_status s);

// Writes bytes to standard output; false (the error is reported at the end
// by finish_output) when the stream has failed.
bool write_out(const void *data, size_t length);

// Writes `length` bytes to a new file `path` ("-" is standard output),
// checking every write and the close; on failure prints
// "kelvra NAME: cannot write PATH: REASON" and returns false.
bool write_file(const char *name, const char *path, const void *data, uint64_t length);

// Closes an output file opened by the caller, reporting a failed write or
// close as above; true when everything reached the file.
bool close_output(const char *name, const char *path, std::FILE *file);

// Flushes and closes standard output at the end of a command. A failed write
// anywhere (a full disk, a closed pipe) is reported once and turns a
// successful exit code into 3; other codes are kept.
int finish_output(int exit_code);

} // namespace kelvra::cli
