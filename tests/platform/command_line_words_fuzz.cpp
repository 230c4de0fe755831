// Fuzz target: a Windows command line (the description's CmdLineParameter) taken apart into the
// update tool's arguments.
#include "platform/processes/command_line_words.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    std::size_t total = 0;
    for (const std::string& word : platform::command_line_words(line)) {
        total += word.size();
    }
    if (total > line.size()) // quotes and blanks are dropped, nothing is ever added
        __builtin_trap();
    return 0;
}
