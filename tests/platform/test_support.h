#pragma once
// A temporary folder per test with small file helpers, and environment variables set for a
// while.
#include "tests/common/environment.h"
#include "tests/common/temp_dir.h"

#include <cstdlib>
#include <string>

namespace test_support {

using morlin_test::read_text;
using morlin_test::TempDir;
using morlin_test::write_text;

// Sets (or with nullptr unsets) an environment variable for the life of the guard.
class EnvGuard {
  public:
    EnvGuard(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
            had_ = true;
        }
        set(value);
    }
    ~EnvGuard() { set(had_ ? old_.c_str() : nullptr); }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

  private:
    void set(const char* value) { morlin_test::set_environment(name_, value); }
    std::string name_;
    std::string old_;
    bool had_ = false;
};

} // namespace test_support
