// The command line that runs a program built for the target: the emulator's
// words (KELVRA_TEST_EMULATOR, set by tests/CMakeLists.txt for an emulated
// cross build, e.g. "qemu-aarch64 -L /usr/aarch64-linux-gnu"), then the
// program. Natively, and under Wine, which starts Windows programs itself, the
// program alone.
#pragma once

#include <string>
#include <vector>

#ifndef KELVRA_TEST_EMULATOR
#define KELVRA_TEST_EMULATOR ""
#endif

namespace kelvra_test {

// Whether programs of this build run under an emulator, where starting one
// takes a few tenths of a second.
inline constexpr bool emulated = sizeof(KELVRA_TEST_EMULATOR) > 1;

// The emulator's words (none natively) followed by `program`. The first word
// is found on PATH, so start the result with posix_spawnp.
inline std::vector<std::string> target_command(const std::string &program) {
    std::vector<std::string> words;
    const std::string emulator = KELVRA_TEST_EMULATOR;
    for (size_t i = 0; i < emulator.size();) {
        const size_t end = emulator.find(' ', i);
        const size_t stop = end == std::string::npos ? emulator.size() : end;
        if (stop > i) words.push_back(emulator.substr(i, stop - i));
        i = stop + 1;
    }
    words.push_back(program);
    return words;
}

} // namespace kelvra_test
