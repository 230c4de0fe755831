// Text mode on Windows: every "\n" becomes CR LF.
#include "platform/files/text_file.h"

namespace platform {

std::string with_platform_line_ends(std::string_view text) {
    std::string result;
    result.reserve(text.size() + text.size() / 16);
    for (const char c : text) {
        if (c == '\n') {
            result += '\r';
        }
        result += c;
    }
    return result;
}

} // namespace platform
