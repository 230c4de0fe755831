#pragma once
// Text written as a C runtime's text mode writes it: every "\n" becomes the platform's line end.
#include <string>
#include <string_view>

namespace platform {

std::string with_platform_line_ends(std::string_view text);

} // namespace platform
