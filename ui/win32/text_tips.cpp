#include "ui/win32/text_tips.h"

#include <algorithm>
#include <commctrl.h>
#include <string>

namespace dialogs {
namespace {

// Two lines of the dialog font take 16 dialog units; anything lower holds one.
constexpr int kTwoLinesUnits = 16;

// Runs `measure` with a device context of the control that draws in the control's font.
template <typename Measure> void in_font_of(HWND control, const Measure& measure) {
    HDC dc = ::GetDC(control);
    if (dc == nullptr) {
        return;
    }
    HGDIOBJ previous =
        ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    measure(dc);
    ::SelectObject(dc, previous);
    ::ReleaseDC(control, dc);
}

// Whether the text, broken at words as the label breaks it, fits the label's rectangle.
bool fits(HWND label, const std::wstring& text) {
    RECT area{};
    ::GetClientRect(label, &area);
    RECT needed{0, 0, area.right, 0};
    in_font_of(label, [&](HDC dc) {
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &needed,
                    DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
    });
    return needed.right <= area.right && needed.bottom <= area.bottom;
}

} // namespace

DWORD label_style(int height_units) {
    return SS_LEFT | SS_NOPREFIX | (height_units < kTwoLinesUnits ? SS_ENDELLIPSIS : 0);
}

void widen_drop_list(HWND combo) {
    LONG widest = 0;
    in_font_of(combo, [&](HDC dc) {
        const auto count = static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0));
        for (int row = 0; row < count; ++row) {
            const auto length = ::SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(row), 0);
            if (length <= 0) {
                continue;
            }
            std::wstring choice(static_cast<std::size_t>(length) + 1, L'\0');
            ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(row),
                           reinterpret_cast<LPARAM>(choice.data()));
            SIZE size{};
            ::GetTextExtentPoint32W(dc, choice.c_str(), static_cast<int>(length), &size);
            widest = std::max(widest, size.cx);
        }
    });
    const int margins = 4 * ::GetSystemMetrics(SM_CXEDGE) + ::GetSystemMetrics(SM_CXVSCROLL);
    ::SendMessageW(
        combo, CB_SETDROPPEDWIDTH,
        static_cast<WPARAM>(std::min<LONG>(widest + margins, ::GetSystemMetrics(SM_CXSCREEN))), 0);
}

void TextTips::attach(HWND dialog) {
    dialog_ = dialog;
    tips_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog,
                              nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (tips_ != nullptr) {
        // Long texts wrap within half the screen's width.
        ::SendMessageW(tips_, TTM_SETMAXTIPWIDTH, 0, ::GetSystemMetrics(SM_CXSCREEN) / 2);
    }
}

void TextTips::label_changed(HWND label, const std::wstring& text) {
    if (tips_ == nullptr) {
        return;
    }
    // A label lets the mouse through to the dialog: the tool is the label's rectangle there.
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = dialog_;
    tool.uId = static_cast<UINT_PTR>(::GetDlgCtrlID(label));
    ::SendMessageW(tips_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    if (text.empty() || fits(label, text)) {
        return;
    }
    tool.uFlags = TTF_SUBCLASS;
    ::GetWindowRect(label, &tool.rect);
    ::MapWindowPoints(HWND_DESKTOP, dialog_, reinterpret_cast<POINT*>(&tool.rect), 2);
    tool.lpszText = const_cast<wchar_t*>(text.c_str()); // copied by the tooltip
    ::SendMessageW(tips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

} // namespace dialogs
