#include "ui/win32/dialog_template.h"

#include <algorithm>

namespace dialogs {

namespace {

constexpr std::uint32_t kDsSetFont = 0x40;
constexpr char16_t kFontName[] = u"MS Shell Dlg";
constexpr std::uint16_t kFontPoints = 8;
constexpr std::uint16_t kFontWeight = 400; // FW_NORMAL
constexpr std::uint8_t kCharsetDefault = 1;

class Writer {
  public:
    void word(std::uint16_t value) {
        bytes_.push_back(static_cast<std::uint8_t>(value & 0xFF));
        bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
    }
    void dword(std::uint32_t value) {
        word(static_cast<std::uint16_t>(value & 0xFFFF));
        word(static_cast<std::uint16_t>(value >> 16));
    }
    void byte(std::uint8_t value) { bytes_.push_back(value); }
    void coordinate(int value) {
        word(static_cast<std::uint16_t>(
            static_cast<std::int16_t>(std::clamp(value, -32768, 32767))));
    }
    void rect(const Rect& r) {
        coordinate(r.x);
        coordinate(r.y);
        coordinate(r.width);
        coordinate(r.height);
    }
    void text(std::u16string_view value) {
        for (const char16_t c : value) {
            word(static_cast<std::uint16_t>(c));
        }
        word(0);
    }
    void align() {
        while (bytes_.size() % 4 != 0) {
            bytes_.push_back(0);
        }
    }
    std::vector<std::uint8_t> take() { return std::move(bytes_); }

  private:
    std::vector<std::uint8_t> bytes_;
};

} // namespace

std::vector<std::uint8_t> dialog_template(const TemplateWindow& window,
                                          const std::vector<TemplateControl>& controls) {
    Writer out;
    out.word(1);      // dlgVer
    out.word(0xFFFF); // signature of the extended template
    out.dword(static_cast<std::uint32_t>(window.template_id));
    out.dword(window.ex_style);
    out.dword(window.style | kDsSetFont);
    out.word(static_cast<std::uint16_t>(std::min<std::size_t>(controls.size(), 0xFFFF)));
    out.rect({0, 0, window.width, window.height});
    out.word(0); // no menu
    out.word(0); // the dialog class
    out.word(0); // no title: the view sets it
    out.word(kFontPoints);
    out.word(kFontWeight);
    out.byte(0); // not italic
    out.byte(kCharsetDefault);
    out.text(kFontName);
    for (const TemplateControl& control : controls) {
        out.align();
        out.dword(0); // help ID
        out.dword(control.ex_style);
        out.dword(control.style);
        out.rect(control.rect);
        out.dword(static_cast<std::uint32_t>(control.id));
        if (control.class_atom != 0) {
            out.word(0xFFFF);
            out.word(control.class_atom);
        } else {
            out.text(control.class_name);
        }
        out.word(0); // no text: the view sets it
        out.word(0); // no creation data
    }
    return out.take();
}

} // namespace dialogs
