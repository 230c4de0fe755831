#pragma once
// A fresh folder below the system's temporary folder, removed with its content, and small
// whole-file helpers: what every area's tests use for the files they make.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#ifdef _WIN32
#include <random>
#else
#include <unistd.h>
#endif

namespace morlin_test {

class TempDir {
  public:
    TempDir() {
#ifdef _WIN32
        // No mkdtemp: a random name, taken only when the folder did not exist.
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            auto candidate = std::filesystem::temp_directory_path() /
                             ("morlin-test-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate)) {
                path_ = candidate;
            }
        }
        if (path_.empty()) {
            throw std::runtime_error("cannot make a temporary folder");
        }
#else
        std::string pattern =
            (std::filesystem::temp_directory_path() / "morlin-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot make a temporary folder");
        }
        path_ = pattern;
#endif
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const {
        return path_;
    }
    std::string file(std::string_view name) const {
        return (path_ / name).string();
    }

  private:
    std::filesystem::path path_;
};

// Replaces the file's content with `text`.
inline void write_text(const std::filesystem::path& path, std::string_view text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// The file's whole content; empty when it cannot be read.
inline std::string read_text(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        return {};
    }
    std::string text(static_cast<std::size_t>(in.tellg()), '\0');
    in.seekg(0);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    return text;
}

} // namespace morlin_test
