#include "host/dialogs/arrow_bitmaps.h"

namespace morlin {

namespace {

// Colours: outer frame, shadow, face, light edge, arrow (the host's list text colour).
constexpr const char* kPalette[] = {
    "k c #404040", "s c #A0A0A0", "f c #E8E8E8", "w c #FFFFFF", "a c #00008B",
};

// A button face of kArrowBitmapSize pixels with an arrow pointing up or down; a pressed
// button is sunk: its light and dark edges change places and the arrow moves by a pixel.
std::vector<std::string> arrow_button(bool up, bool pressed) {
    const int n = kArrowBitmapSize;
    std::vector<std::string> rows(static_cast<std::size_t>(n), std::string(n, 'f'));
    auto at = [&](int x, int y) -> char& {
        return rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)];
    };
    for (int i = 0; i < n; ++i) {
        at(i, 0) = at(0, i) = pressed ? 'k' : 'w';
        at(i, n - 1) = at(n - 1, i) = 'k';
        if (i > 0 && i < n - 1) {
            at(i, 1) = at(1, i) = pressed ? 's' : 'f';
            at(i, n - 2) = at(n - 2, i) = pressed ? 'f' : 's';
        }
    }
    // The arrow: a triangle 11 pixels wide and 6 high above a stem 3 wide and 4 high.
    const int shift = pressed ? 1 : 0;
    const int centre = n / 2 - 1 + shift;
    const int head_top = up ? 5 : 16;
    for (int row = 0; row < 6; ++row) {
        const int y = (up ? head_top + row : head_top - row) + shift;
        for (int x = centre - row; x <= centre + row; ++x) {
            at(x, y) = 'a';
        }
    }
    for (int row = 0; row < 5; ++row) {
        const int y = (up ? head_top + 6 + row : head_top - 6 - row) + shift;
        for (int x = centre - 1; x <= centre + 1; ++x) {
            at(x, y) = 'a';
        }
    }
    std::vector<std::string> xpm;
    xpm.push_back(std::to_string(n) + " " + std::to_string(n) + " " +
                  std::to_string(std::size(kPalette)) + " 1");
    for (const char* colour : kPalette) {
        xpm.emplace_back(colour);
    }
    xpm.insert(xpm.end(), rows.begin(), rows.end());
    return xpm;
}

} // namespace

std::vector<std::string> program_bitmap(std::string_view name) {
    if (name == "IDB_UP_ARROWU") {
        return arrow_button(true, false);
    }
    if (name == "IDB_UP_ARROWD") {
        return arrow_button(true, true);
    }
    if (name == "IDB_DOWN_ARROWU") {
        return arrow_button(false, false);
    }
    if (name == "IDB_DOWN_ARROWD") {
        return arrow_button(false, true);
    }
    return {};
}

} // namespace morlin
