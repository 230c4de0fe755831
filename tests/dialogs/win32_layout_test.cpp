// What the Win32 view makes of a dialog without Windows: the extended dialog template in
// memory (its header, each control DWORD-aligned with its ID, class and place) and the
// picture buttons' XPM images.
#include "host/dialogs/arrow_bitmaps.h"
#include "ui/win32/dialog_template.h"
#include "ui/win32/xpm_image.h"

#include <gtest/gtest.h>

namespace {

std::uint32_t read(const std::vector<std::uint8_t>& bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value << 8 | bytes.at(at + static_cast<std::size_t>(i));
    }
    return value;
}

TEST(Win32DialogTemplate, HeaderFontAndEveryControlAligned) {
    const std::vector<dialogs::TemplateControl> controls = {
        {1003, 0x0081, {}, 0x50010080, 0x200, {10, 20, 200, 14}},
        {1051, 0, u"SysListView32", 0x50010001, 0, {5, 6, 300, 99}},
        {2, 0x0080, {}, 0x50010000, 0, {-4, 40000, 50, 14}},
    };
    const auto bytes = dialog_template({134, 0x10C80848, 0, 320, 200}, controls);
    EXPECT_EQ(read(bytes, 0, 4), 0xFFFF0001u);        // version 1, extended signature
    EXPECT_EQ(read(bytes, 4, 4), 134u);               // the template ID as help ID
    EXPECT_EQ(read(bytes, 12, 4), 0x10C80848u);       // style, DS_SETFONT included
    EXPECT_EQ(read(bytes, 16, 2), 3u);                // controls
    EXPECT_EQ(read(bytes, 22, 4), 320u | 200u << 16); // width, height
    EXPECT_EQ(read(bytes, 32, 2), 8u);                // "MS Shell Dlg" 8
    std::size_t at = 38 + sizeof(u"MS Shell Dlg");
    for (const auto& control : controls) {
        at = (at + 3) & ~std::size_t{3};
        EXPECT_EQ(read(bytes, at + 8, 4), control.style);
        EXPECT_EQ(static_cast<std::int16_t>(read(bytes, at + 12, 2)), control.rect.x);
        EXPECT_EQ(static_cast<std::int16_t>(read(bytes, at + 14, 2)),
                  std::min(control.rect.y, 32767));
        EXPECT_EQ(read(bytes, at + 20, 4), static_cast<std::uint32_t>(control.id));
        at += 24;
        if (control.class_atom != 0) {
            EXPECT_EQ(read(bytes, at, 4), 0xFFFFu | std::uint32_t{control.class_atom} << 16);
            at += 4;
        } else {
            for (const char16_t c : control.class_name) {
                EXPECT_EQ(read(bytes, at, 2), static_cast<std::uint32_t>(c));
                at += 2;
            }
            at += 2;
        }
        EXPECT_EQ(read(bytes, at, 4), 0u); // no text, no creation data
        at += 4;
    }
    EXPECT_EQ(at, bytes.size());
}

TEST(Win32XpmImage, ReadsTheArrowsAndRefusesBrokenImages) {
    const auto up = dialogs::xpm_image(morlin::program_bitmap("IDB_UP_ARROWU"));
    ASSERT_TRUE(up);
    EXPECT_EQ(up->width, morlin::kArrowBitmapSize);
    EXPECT_EQ(up->pixels.size(), static_cast<std::size_t>(up->width * up->height));
    EXPECT_EQ(up->pixels[0], 0xFFFFFFFFu); // the light edge of a released button
    const auto tiny = dialogs::xpm_image({"2 1 2 2", ".. c None", "aac #00008B", "..aa"});
    ASSERT_TRUE(tiny);
    EXPECT_EQ(tiny->pixels, (std::vector<std::uint32_t>{0u, 0xFF00008Bu}));
    for (const std::vector<std::string>& broken :
         std::vector<std::vector<std::string>>{{},
                                               {"1 1 1 1"},
                                               {"1 1 1 1", "a c red", "a"},
                                               {"2 1 1 1", "a c #000000", "a"},
                                               {"1 1 1 1", "a c #000000", "b"},
                                               {"99999 1 1 1", "a c #000000", "a"}}) {
        EXPECT_FALSE(dialogs::xpm_image(broken));
    }
}

} // namespace
