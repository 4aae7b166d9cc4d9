// An environment variable set (or, with null, unset) for one scope, then
// unset again: how tests force a processor tier.
#pragma once

#include <cstdlib>

namespace kelvra_test {

class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value) : name_(name) {
        if (value != nullptr) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~ScopedEnv() { unsetenv(name_); }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *name_;
};

} // namespace kelvra_test
