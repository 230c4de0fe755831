// Fuzz target: a terminal's answer to the status queries, as the serial link reads it (block
// header, information field by LEN) and as the display and the download read its fields.
#include "fake_terminal.h"
#include "terminal-plugin/listing/display_info.h"

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
    vupporta::testing::FakeTerminal terminal;
    terminal.raw = true;
    // The answer arrives in two reads of arbitrary split, as a line delivers it.
    const std::size_t split = size > 0 ? data[0] % (size + 1) : 0;
    if (size > 1) {
        terminal.raw_reads.emplace_back(data + 1, data + std::max<std::size_t>(1, split));
        terminal.raw_reads.emplace_back(data + std::max<std::size_t>(1, split), data + size);
    }
    vupporta::SerialLink link([&](std::string_view path) { return terminal.open(path); });
    if (link.open("COM1") != 0) {
        return 0;
    }
    vupporta::StatusResponse status;
    if (link.manufacturer_status(status) == 0) {
        std::array<DisplayRow, VUP_DISPLAY_ROWS> rows{};
        EmptyTexts texts;
        vupporta::fill_display_rows("Halvane", status, nullptr, texts, rows.data());
        volatile unsigned sink = status.stored_records() + status.download_state();
        (void)sink;
    }
    static_cast<void>(link.short_status()); // only that it reads safely
    return 0;
}
