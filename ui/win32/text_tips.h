#pragma once
// Whole texts for controls too small for them: a status line may carry a plug-in's progress
// text of up to 199 bytes, a device name 259. A label whose text does not fit its rectangle
// ends in "..." (a one-line label) or at its last line, and the whole text shows as a tooltip
// while the mouse rests on the label; a drop-down list opens as wide as its widest choice.
#include <string>
#include <windows.h>

namespace dialogs {

// The label style of a label of `height_units` dialog units: one line ends in "...".
DWORD label_style(int height_units);

// After the choices of a drop-down list changed: its list opens as wide as the widest choice
// (never narrower than the box, at most the screen's width).
void widen_drop_list(HWND combo);

class TextTips {
  public:
    TextTips() = default;
    TextTips(const TextTips&) = delete;
    TextTips& operator=(const TextTips&) = delete;

    // The tooltip window of the dialog; destroyed with it.
    void attach(HWND dialog);
    // After the label's text changed: its tooltip carries the whole text when it does not
    // fit, and there is none when it does.
    void label_changed(HWND label, const std::wstring& text);

  private:
    HWND dialog_ = nullptr;
    HWND tips_ = nullptr;
};

} // namespace dialogs
