#pragma once
// The program's own bitmaps of the configuration editor's order buttons, by resource name:
// "IDB_UP_ARROWU" and "IDB_UP_ARROWD" (up, released and pressed), "IDB_DOWN_ARROWU" and
// "IDB_DOWN_ARROWD" (down). Each is a whole button face in the XPM image format (the lines of
// an XPM array), drawn here so that every toolkit shows the same picture.
#include <string>
#include <string_view>
#include <vector>

namespace morlin {

inline constexpr int kArrowBitmapSize = 22;

// The bitmap of that name; empty for a name the program does not have.
std::vector<std::string> program_bitmap(std::string_view name);

} // namespace morlin
