#pragma once
// Sets or removes an environment variable of this process, on every platform.
#include <cstdlib>
#include <string>

namespace morlin_test {

// `value` null removes the variable.
inline void set_environment(const std::string& name, const char* value) {
#ifdef _WIN32
    ::_putenv_s(name.c_str(), value != nullptr ? value : "");
#else
    if (value != nullptr) {
        ::setenv(name.c_str(), value, 1);
    } else {
        ::unsetenv(name.c_str());
    }
#endif
}

} // namespace morlin_test
