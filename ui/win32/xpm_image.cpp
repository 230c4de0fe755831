#include "ui/win32/xpm_image.h"

#include <map>
#include <sstream>

namespace dialogs {

namespace {

constexpr int kLargest = 4096;

// "#RRGGBB" as opaque 0xFFRRGGBB, "None" as transparent; nothing for another colour name.
std::optional<std::uint32_t> colour_value(const std::string& written) {
    if (written == "None" || written == "none") {
        return 0u;
    }
    if (written.size() != 7 || written[0] != '#') {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (std::size_t i = 1; i < written.size(); ++i) {
        const char c = written[i];
        int digit = 0;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return std::nullopt;
        }
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return 0xFF000000u | value;
}

} // namespace

std::optional<PixelImage> xpm_image(const std::vector<std::string>& lines) {
    if (lines.empty()) {
        return std::nullopt;
    }
    std::istringstream header(lines.front());
    int width = 0, height = 0, colours = 0, per_pixel = 0;
    if (!(header >> width >> height >> colours >> per_pixel) || width <= 0 || height <= 0 ||
        width > kLargest || height > kLargest || colours <= 0 || per_pixel <= 0 || per_pixel > 4 ||
        lines.size() != 1 + static_cast<std::size_t>(colours + height)) {
        return std::nullopt;
    }
    const auto cpp = static_cast<std::size_t>(per_pixel);
    std::map<std::string, std::uint32_t> palette;
    for (int i = 1; i <= colours; ++i) {
        const std::string& line = lines[static_cast<std::size_t>(i)];
        if (line.size() < cpp) {
            return std::nullopt;
        }
        std::istringstream rest(line.substr(cpp));
        std::string kind, written;
        if (!(rest >> kind >> written) || kind != "c") {
            return std::nullopt;
        }
        const auto value = colour_value(written);
        if (!value) {
            return std::nullopt;
        }
        palette[line.substr(0, cpp)] = *value;
    }
    PixelImage image{width, height, {}};
    image.pixels.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        const std::string& row = lines[static_cast<std::size_t>(1 + colours + y)];
        if (row.size() != static_cast<std::size_t>(width) * cpp) {
            return std::nullopt;
        }
        for (std::size_t x = 0; x < row.size(); x += cpp) {
            const auto found = palette.find(row.substr(x, cpp));
            if (found == palette.end()) {
                return std::nullopt;
            }
            image.pixels.push_back(found->second);
        }
    }
    return image;
}

} // namespace dialogs
