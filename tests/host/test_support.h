#pragma once
// Helpers for the host's tests: a temporary folder, small files, running a program.
#include "tests/common/temp_dir.h"
#include "tests/common/text_lines.h"

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace morlin::test {

using morlin_test::read_text;
using morlin_test::TempDir;
using morlin_test::write_text;

inline void write_bytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<std::uint8_t> read_bytes(const std::string& path) {
    const std::string text = read_text(path);
    return {text.begin(), text.end()};
}

using morlin_test::lines_of;

} // namespace morlin::test
