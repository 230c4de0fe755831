#pragma once
// What the CT-API tests share: a temporary folder per test, and the environment every test of
// the process runs under (devices folder, scaled waits), set before anything reads it.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

namespace ctapi_test {

class TempDir {
  public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "brantel-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(std::string_view name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

inline void write_text(const std::filesystem::path& path, std::string_view text) {
    std::ofstream(path, std::ios::binary) << text;
}

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
