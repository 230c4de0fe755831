// The user-interface port on Windows: message boxes and the common file dialogs. The console
// implementation serves instead when MORLIN_UI=console (scripted runs, the checks under Wine).
#include "platform/foundation/win32_text.h"
#include "platform/user_interface/ui.h"

#include <cstdlib>
#include <cstring>
#include <io.h>
#include <windows.h>
// windows.h first: commdlg.h uses its types.
#include <commdlg.h>

namespace platform {
namespace {

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
        if (wait_ == nullptr) {
            const int width = 320;
            const int height = 100;
            wait_ = ::CreateWindowExW(WS_EX_TOOLWINDOW, L"#32770", L"Morlin", WS_POPUP | WS_CAPTION,
                                      (::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                                      (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
                                      owner_window(), nullptr, nullptr, nullptr);
            if (wait_ == nullptr) {
                return;
            }
            ::SetPropW(wait_, L"Morlin.DialogTemplate", reinterpret_cast<HANDLE>(INT_PTR{147}));
            RECT area{};
            ::GetClientRect(wait_, &area);
            HWND label = ::CreateWindowExW(
                0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_CENTER | SS_CENTERIMAGE | SS_NOPREFIX,
                8, 0, area.right - 16, area.bottom, wait_, reinterpret_cast<HMENU>(INT_PTR{1039}),
                nullptr, nullptr);
            ::SendMessageW(label, WM_SETFONT,
                           reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        }
        ::SetDlgItemTextW(wait_, 1039, win32::wide_from_ansi(text).c_str());
        ::ShowWindow(wait_, SW_SHOWNA);
        ::UpdateWindow(wait_);
    }
    void hide_wait() override {
        if (wait_ != nullptr) {
            ::RemovePropW(wait_, L"Morlin.DialogTemplate");
            ::DestroyWindow(wait_);
            wait_ = nullptr;
        }
    }

    std::optional<std::string> open_file(const FileDialogRequest& request) override {
        return file_dialog(request, false);
    }
    std::optional<std::string> save_file(const FileDialogRequest& request) override {
        return file_dialog(request, true);
    }

  private:
    HWND wait_ = nullptr;

    static std::optional<std::string> file_dialog(const FileDialogRequest& request, bool save) {
        char path[MAX_PATH + 1] = {};
        std::strncpy(path, request.initial_name.c_str(), MAX_PATH);
        const std::string filter = filter_text(request);
        OPENFILENAMEA dialog{};
        dialog.lStructSize = sizeof dialog;
        dialog.lpstrFilter = request.filters.empty() ? nullptr : filter.c_str();
        dialog.lpstrFile = path;
        dialog.nMaxFile = sizeof path;
        dialog.lpstrInitialDir =
            request.initial_directory.empty() ? nullptr : request.initial_directory.c_str();
        dialog.lpstrTitle = request.title.empty() ? nullptr : request.title.c_str();
        dialog.lpstrDefExt =
            request.default_extension.empty() ? nullptr : request.default_extension.c_str();
        dialog.hwndOwner = owner_window();
        dialog.Flags = OFN_NOCHANGEDIR | (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
        const BOOL chosen = save ? ::GetSaveFileNameA(&dialog) : ::GetOpenFileNameA(&dialog);
        if (!chosen) {
            return std::nullopt;
        }
        return std::string(path);
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
