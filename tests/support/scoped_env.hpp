// An environment variable set (or, with null, unset) for one scope, then put
// back as it was: how tests force a processor tier or move an endpoint
// directory.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace kelvra_test {

inline void set_env(const char *name, const char *value) {
#if defined(_WIN32)
    _putenv_s(name, value);
#else
    setenv(name, value, 1);
#endif
}

inline void unset_env(const char *name) {
#if defined(_WIN32)
    _putenv_s(name, ""); // an empty value removes the variable there
#else
    unsetenv(name);
#endif
}

class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value) : name_(name) {
        if (const char *before = std::getenv(name)) before_ = before;
        if (value != nullptr) set_env(name, value);
        else unset_env(name);
    }
    ~ScopedEnv() {
        if (before_) set_env(name_, before_->c_str());
        else unset_env(name_);
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *name_;
    std::optional<std::string> before_;
};

} // namespace kelvra_test
