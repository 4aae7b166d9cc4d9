// An environment variable set (or, with null, unset) for one scope, then put
// back as it was: how tests force a processor tier or move an endpoint
// directory.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace kelvra_test {

class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value) : name_(name) {
        if (const char *before = std::getenv(name)) before_ = before;
        if (value != nullptr) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~ScopedEnv() {
        if (before_) setenv(name_, before_->c_str(), 1);
        else unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *name_;
    std::optional<std::string> before_;
};

} // namespace kelvra_test
