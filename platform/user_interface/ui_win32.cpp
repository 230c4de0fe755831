// The user-interface port on Windows: message boxes and the common file dialogs. The console
// implementation serves instead when MORLIN_UI=console (scripted runs, the checks under Wine).
#include "platform/foundation/win32_text.h"
#include "platform/user_interface/ui.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <io.h>
#include <windows.h>
// windows.h first: commdlg.h uses its types.
#include <commdlg.h>

namespace platform {
namespace {

// Characters of the longest path Windows has, with its end.
constexpr std::size_t kPathRoom = 32768;
// The wait window: its style, and its least client size and margin at 96 dots an inch.
constexpr DWORD kWaitStyle = WS_POPUP | WS_CAPTION;
constexpr int kWaitWidth = 300;
constexpr int kWaitHeight = 64;
constexpr int kWaitMargin = 12;

UINT icon_flags(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Error:
        return MB_ICONERROR;
    case MessageIcon::Warning:
        return MB_ICONWARNING;
    case MessageIcon::Information:
        return MB_ICONINFORMATION;
    case MessageIcon::Question:
        return MB_ICONQUESTION;
    case MessageIcon::None:
        break;
    }
    return 0;
}

UINT button_flags(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::OkCancel:
        return MB_OKCANCEL;
    case MessageButtons::YesNo:
        return MB_YESNO;
    case MessageButtons::YesNoCancel:
        return MB_YESNOCANCEL;
    case MessageButtons::Ok:
        break;
    }
    return MB_OK;
}

UINT default_flags(int default_button) {
    switch (default_button) {
    case 1:
        return MB_DEFBUTTON2;
    case 2:
        return MB_DEFBUTTON3;
    default:
        return MB_DEFBUTTON1;
    }
}

// "Name\0pattern\0...\0\0", as OPENFILENAME wants its filter.
std::string filter_text(const FileDialogRequest& request) {
    std::string text;
    for (const auto& [name, pattern] : request.filters) {
        text += name;
        text += '\0';
        text += pattern;
        text += '\0';
    }
    text += '\0';
    return text;
}

BOOL CALLBACK enabled_window(HWND window, LPARAM found) {
    if (::IsWindowVisible(window) && ::IsWindowEnabled(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// The window a box or file dialog belongs to: the thread's active window, else its visible
// window that takes input (a modal dialog disables its owners), else none.
HWND owner_window() {
    HWND owner = ::GetActiveWindow();
    if (owner == nullptr) {
        ::EnumThreadWindows(::GetCurrentThreadId(), &enabled_window,
                            reinterpret_cast<LPARAM>(&owner));
    }
    return owner;
}

class Win32UserInterface final : public UserInterface {
  public:
    MessageAnswer message_box(const MessageBoxRequest& request) override {
        // Owned by the dialog that asks, or the one a worker's question is shown on; without
        // one, modal to the whole task.
        HWND owner = owner_window();
        const int pressed = ::MessageBoxW(owner, win32::wide_from_ansi(request.text).c_str(),
                                          win32::wide_from_ansi(request.caption).c_str(),
                                          icon_flags(request.icon) | button_flags(request.buttons) |
                                              default_flags(request.default_button) |
                                              (owner == nullptr ? MB_TASKMODAL : 0));
        switch (pressed) {
        case IDOK:
            return MessageAnswer::Ok;
        case IDYES:
            return MessageAnswer::Yes;
        case IDNO:
            return MessageAnswer::No;
        case IDCANCEL:
            return MessageAnswer::Cancel;
        default:
            return default_answer(request.buttons, request.default_button);
        }
    }

    // A small modeless window (template 147, its text control 1039), drawn at once: the caller
    // works on without a message loop. Shown and closed on the same thread.
    void show_wait(std::string_view text) override {
        if (wait_ == nullptr && !make_wait_window()) {
            return;
        }
        const std::wstring wide = win32::wide_from_ansi(text);
        ::SetDlgItemTextW(wait_, kWaitTextId, wide.c_str());
        fit_wait_window(wide);
        ::ShowWindow(wait_, SW_SHOWNA);
        ::UpdateWindow(wait_);
    }
    void hide_wait() override {
        if (wait_ != nullptr) {
            ::RemovePropW(wait_, L"Morlin.DialogTemplate");
            ::DestroyWindow(wait_);
            wait_ = nullptr;
        }
        if (wait_font_ != nullptr) {
            ::DeleteObject(wait_font_);
            wait_font_ = nullptr;
        }
    }

    std::optional<std::string> open_file(const FileDialogRequest& request) override {
        return file_dialog(request, false);
    }
    std::optional<std::string> save_file(const FileDialogRequest& request) override {
        return file_dialog(request, true);
    }

  private:
    static constexpr int kWaitTextId = 1039;
    HWND wait_ = nullptr;
    HFONT wait_font_ = nullptr;

    bool make_wait_window() {
        wait_ = ::CreateWindowExW(WS_EX_TOOLWINDOW, L"#32770", L"Morlin", kWaitStyle, 0, 0, 0, 0,
                                  owner_window(), nullptr, nullptr, nullptr);
        if (wait_ == nullptr) {
            return false;
        }
        ::SetPropW(wait_, L"Morlin.DialogTemplate", reinterpret_cast<HANDLE>(INT_PTR{147}));
        // The message font of the system, in the screen's scale.
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
            wait_font_ = ::CreateFontIndirectW(&metrics.lfMessageFont);
        }
        HWND label = ::CreateWindowExW(
            0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_CENTER | SS_EDITCONTROL | SS_NOPREFIX, 0,
            0, 0, 0, wait_, reinterpret_cast<HMENU>(INT_PTR{kWaitTextId}), nullptr, nullptr);
        ::SendMessageW(label, WM_SETFONT,
                       reinterpret_cast<WPARAM>(wait_font_ != nullptr
                                                    ? static_cast<HGDIOBJ>(wait_font_)
                                                    : ::GetStockObject(DEFAULT_GUI_FONT)),
                       FALSE);
        return true;
    }

    // The window as large as its text needs, centred on the screen: at least the usual small
    // box, a long text wrapped (a long word broken as an edit control breaks it) within half the
    // screen's width, everything in the screen's scale.
    void fit_wait_window(const std::wstring& text) const {
        HWND label = ::GetDlgItem(wait_, kWaitTextId);
        HDC dc = ::GetDC(label);
        const int dpi = ::GetDeviceCaps(dc, LOGPIXELSY);
        const int screen_width = ::GetSystemMetrics(SM_CXSCREEN);
        const int screen_height = ::GetSystemMetrics(SM_CYSCREEN);
        const int margin = ::MulDiv(kWaitMargin, dpi, 96);
        const int least_width = ::MulDiv(kWaitWidth, dpi, 96);
        const int least_height = ::MulDiv(kWaitHeight, dpi, 96);
        RECT needed{0, 0, std::max(least_width, screen_width / 2) - 2 * margin, 0};
        HGDIOBJ previous =
            ::SelectObject(dc, wait_font_ != nullptr ? static_cast<HGDIOBJ>(wait_font_)
                                                     : ::GetStockObject(DEFAULT_GUI_FONT));
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &needed,
                    DT_CALCRECT | DT_CENTER | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
        ::SelectObject(dc, previous);
        ::ReleaseDC(label, dc);
        const int client_width = std::max<int>(least_width, needed.right + 2 * margin);
        const int client_height = std::max<int>(least_height, needed.bottom + 2 * margin);
        RECT outer{0, 0, client_width, client_height};
        ::AdjustWindowRectEx(&outer, kWaitStyle, FALSE, WS_EX_TOOLWINDOW);
        const int width = std::min<int>(outer.right - outer.left, screen_width);
        const int height = std::min<int>(outer.bottom - outer.top, screen_height);
        ::SetWindowPos(wait_, nullptr, (screen_width - width) / 2, (screen_height - height) / 2,
                       width, height, SWP_NOZORDER | SWP_NOACTIVATE);
        ::MoveWindow(label, margin, (client_height - needed.bottom) / 2, client_width - 2 * margin,
                     needed.bottom, FALSE);
    }

    // The wide dialogs with room for the longest path Windows has: a chosen name longer than
    // MAX_PATH is handed on whole (the caller decides what it takes), and a long initial name is
    // not cut.
    static std::optional<std::string> file_dialog(const FileDialogRequest& request, bool save) {
        std::wstring path = win32::wide_from_ansi(request.initial_name);
        path.resize(std::max<std::size_t>(path.size() + 1, kPathRoom), L'\0');
        const std::wstring filter = win32::wide_from_ansi(filter_text(request));
        const std::wstring directory = win32::wide_from_ansi(request.initial_directory);
        const std::wstring title = win32::wide_from_ansi(request.title);
        const std::wstring extension = win32::wide_from_ansi(request.default_extension);
        OPENFILENAMEW dialog{};
        dialog.lStructSize = sizeof dialog;
        dialog.lpstrFilter = request.filters.empty() ? nullptr : filter.c_str();
        dialog.lpstrFile = path.data();
        dialog.nMaxFile = static_cast<DWORD>(path.size());
        dialog.lpstrInitialDir = directory.empty() ? nullptr : directory.c_str();
        dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
        dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
        dialog.hwndOwner = owner_window();
        dialog.Flags = OFN_NOCHANGEDIR | (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
        const BOOL chosen = save ? ::GetSaveFileNameW(&dialog) : ::GetOpenFileNameW(&dialog);
        if (!chosen) {
            return std::nullopt;
        }
        path.resize(std::wcslen(path.c_str()));
        return win32::ansi_from_wide(path);
    }
};

} // namespace

bool console_user_interface_wanted() {
    const char* choice = std::getenv("MORLIN_UI");
    const char* actions = std::getenv("MORLIN_UI_ACTIONS");
    return (choice != nullptr && std::strcmp(choice, "console") == 0) ||
           (actions != nullptr && *actions != '\0');
}

std::shared_ptr<UserInterface> make_default_user_interface() {
    if (console_user_interface_wanted()) {
        return make_console_user_interface();
    }
    return std::make_shared<Win32UserInterface>();
}

bool standard_input_is_terminal() {
    return ::_isatty(::_fileno(stdin)) != 0;
}

} // namespace platform
