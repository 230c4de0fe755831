#pragma once
// Helpers of the plug-in's tests: the log captured, texts that name their number, a temporary
// folder, protocol waits scaled down.
#include "terminal-plugin/texts.h"
#include "tests/common/temp_dir.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vupporta::testing {

// A printf-style logger that keeps every line it is given, and what it kept so far.
int capture_log_line(const char* format, ...);
std::vector<std::string> captured_log_lines();
std::size_t captured_log_count(std::string_view text);
void clear_captured_log();

// Installs capture_log_line as the plug-in's logger, emptied first; the destructor removes it.
class LogCapture {
  public:
    LogCapture();
    ~LogCapture();
    std::vector<std::string> lines() const;
    bool contains(std::string_view text) const;
    std::size_t count(std::string_view text) const;
};

// Texts "T<number>", and the number itself for the warning's format.
class NumberedTexts : public Texts {
  public:
    std::string text(unsigned id, std::size_t buffer_size = kShortTextSize) const override;
};

// A fresh folder below the system's temporary folder, removed with its content.
class TempFolder {
  public:
    TempFolder();
    const std::string& path() const { return path_; }
    std::string write(std::string_view name, const std::vector<std::uint8_t>& bytes) const;

  private:
    morlin_test::TempDir dir_;
    std::string path_;
};

// A firmware ('0') or application ('1') image of `size` bytes for `product` ("Halvane",
// "Pellax" or "" for none), version major.minor.patch, filled with a counting pattern.
std::vector<std::uint8_t> make_image(char type, std::size_t size, std::string_view product,
                                     std::uint8_t major = 1, std::uint8_t minor = 2,
                                     std::uint8_t patch = 3);

// Scales every protocol wait down for the test's lifetime and keeps the machine's power state
// and user interface out of reach.
void prepare_fast_environment();

} // namespace vupporta::testing
