#pragma once
// What the CT-API tests share: a temporary folder per test, and the environment every test of
// the process runs under (devices folder, scaled waits), set before anything reads it.
#include "tests/common/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace ctapi_test {

using morlin_test::TempDir;
using morlin_test::write_text;

// One devices folder for the whole test program; MORLIN_DEVICES names it from the start.
inline const std::filesystem::path& devices_dir() {
    static TempDir dir;
    return dir.path();
}

// Sets the environment the tests run under. Call before any platform function runs.
inline void prepare_environment(const char* time_scale_percent = "5") {
    ::setenv("MORLIN_DEVICES", devices_dir().c_str(), 1);
    ::setenv("MORLIN_TIME_SCALE", time_scale_percent, 0);
    ::setenv("MORLIN_REAL_PORTS", "none", 1);
    ::setenv("MORLIN_INHIBIT", "none", 0);
    ::setenv("MORLIN_UI", "console", 0);
}

} // namespace ctapi_test
