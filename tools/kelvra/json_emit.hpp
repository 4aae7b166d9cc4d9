// The canonical form of a strict JSON text written while it is scanned, so
// that its size, not the size of a parsed tree, bounds the memory it takes.
// Every scalar and member name is rendered by the library one at a time (so
// the bytes are exactly kelvra_json_write_ws's); the emitter adds the
// brackets, the ", " and ": " separators and the member order. An object's
// members are held until it closes, as they are written sorted by name;
// everything outside objects goes out as soon as it is known.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kelvra.h"

namespace kelvra::cli {

class CanonicalEmitter {
public:
    // Scalars and names are whole tokens of the text (a string with its quotes).
    kelvra_status scalar(const uint8_t *token, uint64_t length);
    kelvra_status name(const uint8_t *token, uint64_t length);
    void open(bool object);
    void close();
    // Writes what is left and a line break; false when standard output failed.
    bool finish();

private:
    struct Member {
        std::string order; // the name's bytes up to a NUL, as the library compares names
        std::string text;  // "NAME": VALUE
    };
    struct Frame {
        bool object;
        uint64_t count = 0;
        std::vector<Member> members;
    };

    std::string &target();
    void separate();
    kelvra_status render(const uint8_t *token, uint64_t length, bool as_name, std::string &order);
    void flush(size_t from); // writes out_ once it holds `from` bytes or more

    std::vector<Frame> frames_;
    std::string out_; // text outside every object, not yet written
    std::vector<uint8_t> arena_, workspace_, text_;
    bool write_failed_ = false;
};

} // namespace kelvra::cli
