// Fuzz target: a terminal's answer to the status queries, as the serial link reads it (block
// header, information field by LEN) and as the display reads its fields.
#include "display_info.h"
#include "scripted_port.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace {

class EmptyTexts : public vupporta::Texts {
  public:
    std::string text(unsigned, std::size_t) const override { return {}; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // The answer arrives in two reads split where the first byte says, as a line delivers it.
    vupporta::testing::PortScript script;
    const std::size_t split = 1 + data[0] % size;
    script.reads.emplace_back(data + 1, data + split);
    script.reads.emplace_back(data + split, data + size);
    vupporta::SerialLink link([&](std::string_view) { return script.open(); });
    if (link.open("COM1") != 0) {
        return 0;
    }
    vupporta::StatusResponse status;
    if (link.manufacturer_status(status) == 0) {
        std::array<DisplayRow, VUP_DISPLAY_ROWS> rows{};
        EmptyTexts texts;
        vupporta::fill_display_rows("Halvane", status, nullptr, texts, rows.data());
    }
    link.short_status();
    return 0;
}
