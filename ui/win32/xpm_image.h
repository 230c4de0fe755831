#pragma once
// A picture given as the lines of an XPM image (the header "<width> <height> <colours>
// <characters per pixel>", one line per colour "<key> c #RRGGBB" or "<key> c None", then the
// rows) read into pixels, for a view that draws it itself.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dialogs {

struct PixelImage {
    int width = 0;
    int height = 0;
    // Row by row from the top, each 0xAARRGGBB; a "None" pixel has alpha 0, every other 255.
    std::vector<std::uint32_t> pixels;
};

// Nothing for lines that are no complete XPM image.
std::optional<PixelImage> xpm_image(const std::vector<std::string>& lines);

} // namespace dialogs
