// The dialogs drawn with the Windows API: each dialog of the dialog layer becomes a system
// dialog made from an extended template in memory (its controls by ID, placed in dialog units
// in "MS Shell Dlg" 8), shown modally with DialogBoxIndirectParam; changes are applied as they
// come, and what the user does goes to the dialog as commands.
//
// Threads: a worker's task for the dialog thread is a message sent (SendMessage, which waits)
// to a message-only window of the dialog thread. Every loop of that thread serves sent
// messages: the modal dialog's, a message box's or file dialog's, and pump_until's.
#include "platform/foundation/clock.h"
#include "platform/foundation/win32_text.h"
#include "platform/processes/stop_request.h"
#include "platform/user_interface/ui.h"
#include "ui/dialog.h"
#include "ui/dialog_thread_port.h"
#include "ui/win32/dialog_template.h"
#include "ui/win32/text_tips.h"
#include "ui/win32/win32_toolkit.h"
#include "ui/win32/xpm_image.h"

#include <windows.h>
// windows.h first: the others use its types.
#include <algorithm>
#include <commctrl.h>
#include <cstdio>
#include <io.h>
#include <map>
#include <mutex>
#include <optional>
#include <shellapi.h>

namespace dialogs {

namespace {

using platform::win32::ansi_from_wide;
using platform::win32::wide_from_ansi;

constexpr UINT kRunTask = WM_APP + 1;
constexpr UINT kComeToFront = WM_APP + 2;
// The timer that looks for a stop request (Ctrl-C, the end of the session); the dialogs' own
// timers have small IDs.
constexpr UINT_PTR kStopWatchTimer = 0x7FFF0001;
constexpr UINT kStopWatchMs = 100;
constexpr int kProgramIcon = 1;
constexpr const wchar_t* kTemplateProperty = L"Morlin.DialogTemplate";
// The host's list look.
constexpr COLORREF kListBackground = RGB(176, 226, 255);
constexpr COLORREF kListText = RGB(0, 0, 139);
// Room below a drop-down list's field for its opened list, in dialog units.
constexpr int kDropDownListHeight = 120;
constexpr std::uint16_t kButtonAtom = 0x0080;
constexpr std::uint16_t kEditAtom = 0x0081;
constexpr std::uint16_t kStaticAtom = 0x0082;
constexpr std::uint16_t kComboBoxAtom = 0x0085;

TemplateControl template_control(const Control& item) {
    TemplateControl out;
    out.id = item.id;
    out.rect = item.rect;
    out.style = WS_CHILD | WS_VISIBLE;
    switch (item.kind) {
    case ControlKind::GroupBox:
        out.class_atom = kButtonAtom;
        out.style |= BS_GROUPBOX;
        break;
    case ControlKind::RadioButton:
        // Not automatic: the dialog decides what is checked.
        out.class_atom = kButtonAtom;
        out.style |= BS_RADIOBUTTON | WS_TABSTOP;
        break;
    case ControlKind::CheckBox:
        out.class_atom = kButtonAtom;
        out.style |= BS_CHECKBOX | WS_TABSTOP;
        break;
    case ControlKind::Button:
        out.class_atom = kButtonAtom;
        out.style |= WS_TABSTOP | (!item.picture.empty() ? BS_OWNERDRAW
                                   : item.default_button ? BS_DEFPUSHBUTTON
                                                         : BS_PUSHBUTTON);
        break;
    case ControlKind::Edit:
        out.class_atom = kEditAtom;
        out.style |= ES_AUTOHSCROLL | WS_TABSTOP;
        out.ex_style = WS_EX_CLIENTEDGE;
        break;
    case ControlKind::DropDown:
        out.class_atom = kComboBoxAtom;
        out.style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
        out.rect.height += kDropDownListHeight;
        break;
    case ControlKind::ListView:
        out.class_name = u"SysListView32";
        out.style |= LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | WS_TABSTOP;
        out.ex_style = WS_EX_CLIENTEDGE;
        break;
    case ControlKind::Progress:
        out.class_name = u"msctls_progress32";
        break;
    case ControlKind::Static:
        out.class_atom = kStaticAtom;
        out.style |= label_style(item.rect.height);
        break;
    case ControlKind::Link:
        out.class_name = u"SysLink";
        out.style |= WS_TABSTOP;
        break;
    }
    return out;
}

// The template of a dialog, in DWORD-aligned memory as DialogBoxIndirectParam wants it. Group
// boxes come first, so that the controls they frame lie above them.
std::vector<DWORD> template_of(const Dialog& dialog, bool top_level) {
    std::vector<TemplateControl> controls;
    for (const bool frames : {true, false}) {
        for (const Control& item : dialog.controls()) {
            if ((item.kind == ControlKind::GroupBox) == frames) {
                controls.push_back(template_control(item));
            }
        }
    }
    TemplateWindow window;
    window.template_id = dialog.template_id();
    window.style = DS_MODALFRAME | DS_FIXEDSYS | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU |
                   (top_level ? WS_MINIMIZEBOX : 0);
    window.width = dialog.width();
    window.height = dialog.height();
    const std::vector<std::uint8_t> bytes = dialog_template(window, controls);
    std::vector<DWORD> aligned((bytes.size() + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
    std::copy(bytes.begin(), bytes.end(), reinterpret_cast<std::uint8_t*>(aligned.data()));
    return aligned;
}

std::wstring window_text(HWND window) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

void set_window_text(HWND window, const std::wstring& text) {
    if (window_text(window) != text) {
        ::SetWindowTextW(window, text.c_str());
    }
}

bool key_down(int key) {
    return (::GetKeyState(key) & 0x8000) != 0;
}

bool is_button(ControlKind kind) {
    return kind == ControlKind::Button || kind == ControlKind::RadioButton ||
           kind == ControlKind::CheckBox;
}

class Win32DialogRunner;

class Win32DialogWindow final : public DialogView {
  public:
    Win32DialogWindow(Win32DialogRunner& runner, Dialog& dialog);

    static INT_PTR CALLBACK procedure(HWND window, UINT message, WPARAM w, LPARAM l);

    // --- DialogView -------------------------------------------------------------------
    void control_changed(int id) override;
    void title_changed() override {
        if (window_ != nullptr) {
            ::SetWindowTextW(window_, wide_from_ansi(dialog_.title()).c_str());
        }
    }
    void timers_changed() override;
    void focus(int id) override {
        if (window_ != nullptr) {
            ::SetFocus(::GetDlgItem(window_, id));
            focus_set_ = true;
        }
    }
    void dialog_ended(int result) override {
        if (window_ != nullptr) {
            ::EndDialog(window_, result);
        }
    }
    int run_child(Dialog& child) override;
    // A link or Morlin.html in the program the system opens such files with; when there is
    // none (or the file is missing), a line on standard error says so.
    void open_link(const std::string& target) override {
        const auto opened = reinterpret_cast<INT_PTR>(::ShellExecuteW(
            window_, L"open", wide_from_ansi(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
        if (opened <= 32) {
            std::fprintf(stderr, "Morlin: %s cannot be opened (error %ld)\n", target.c_str(),
                         static_cast<long>(opened));
        }
    }
    void run_on_dialog_thread(const std::function<void()>& task) override;
    void pump_until(const std::function<bool()>& done) override;

  private:
    INT_PTR initialise(HWND window);
    INT_PTR handle(UINT message, WPARAM w, LPARAM l);
    void command(int id, int code, HWND control);
    void notify(const NMHDR& header);
    void clicked(int id);
    void make_menu();
    void show_program_icon();
    void prepare_controls();
    void apply(const Control& item, HWND control);
    void apply_list(const Control& item, HWND list);
    void draw_picture(const DRAWITEMSTRUCT& item) const;

    struct TimerEntry {
        std::uint64_t generation = 0;
    };
    struct Pictures {
        std::optional<PixelImage> released;
        std::optional<PixelImage> pressed;
    };

    Win32DialogRunner& runner_;
    Dialog& dialog_;
    HWND window_ = nullptr;
    bool updating_ = false;
    bool focus_set_ = false;
    std::map<int, TimerEntry> timers_;
    std::map<int, Pictures> pictures_;
    TextTips text_tips_;
    std::map<int, std::vector<std::string>> shown_columns_;
    std::map<int, std::vector<std::vector<std::string>>> shown_choices_;
};

class Win32DialogRunner final : public DialogRunner {
  public:
    ~Win32DialogRunner() override {
        if (task_window_ != nullptr && ::GetCurrentThreadId() == dialog_thread_) {
            ::DestroyWindow(task_window_);
        }
    }

    int run_modal(Dialog& dialog) override { return run_window(dialog, top_window()); }

    void bring_to_front() override {
        if (HWND top = top_window(); top != nullptr) {
            ::PostMessageW(top, kComeToFront, 0, 0);
        }
    }

    int run_window(Dialog& dialog, HWND owner) {
        std::optional<ScopedDialogThreadPort> port;
        if (depth_++ == 0) {
            dialog_thread_ = ::GetCurrentThreadId();
            make_task_window();
            port.emplace([this](const std::function<void()>& task) { run_task(task); });
        }
        Win32DialogWindow window(*this, dialog);
        const std::vector<DWORD> layout = template_of(dialog, owner == nullptr);
        const INT_PTR shown = ::DialogBoxIndirectParamW(
            ::GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(layout.data()), owner,
            &Win32DialogWindow::procedure, reinterpret_cast<LPARAM>(&window));
        if (shown == -1 && !dialog.ended()) {
            std::fprintf(stderr, "Morlin: dialog %d cannot be shown (error %lu)\n",
                         dialog.template_id(), ::GetLastError());
            dialog.end(kEndCancel);
        }
        dialog.wait_for_worker();
        dialog.detach_view();
        --depth_;
        return dialog.result();
    }

    void run_task(const std::function<void()>& task) {
        if (task_window_ == nullptr || ::GetCurrentThreadId() == dialog_thread_) {
            task();
            return;
        }
        // Waits until the dialog thread has run it: sent messages are served by every loop
        // there, in the order they came.
        ::SendMessageW(task_window_, kRunTask, 0, reinterpret_cast<LPARAM>(&task));
    }

    void pump_until(const std::function<bool()>& done) {
        while (!done()) {
            MSG message;
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_QUIT) {
                    ::PostQuitMessage(static_cast<int>(message.wParam));
                    return;
                }
                HWND top = top_window();
                if (top == nullptr || !::IsDialogMessageW(top, &message)) {
                    ::TranslateMessage(&message);
                    ::DispatchMessageW(&message);
                }
                if (done()) {
                    return;
                }
            }
            if (done()) {
                return;
            }
            // Wakes for posted and sent messages alike (a worker's task is a sent one).
            ::MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        }
    }

    void opened(HWND window) {
        const std::lock_guard<std::mutex> lock(mutex_);
        open_.push_back(window);
    }
    void closed(HWND window) {
        const std::lock_guard<std::mutex> lock(mutex_);
        open_.erase(std::remove(open_.begin(), open_.end(), window), open_.end());
    }

  private:
    HWND top_window() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return open_.empty() ? nullptr : open_.back();
    }

    static LRESULT CALLBACK task_procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
        if (message == kRunTask) {
            (*reinterpret_cast<const std::function<void()>*>(l))();
            return 0;
        }
        return ::DefWindowProcW(window, message, w, l);
    }

    void make_task_window() {
        if (task_window_ != nullptr) {
            return;
        }
        WNDCLASSW type{};
        type.lpfnWndProc = &task_procedure;
        type.hInstance = ::GetModuleHandleW(nullptr);
        type.lpszClassName = L"MorlinDialogTasks";
        ::RegisterClassW(&type);
        task_window_ = ::CreateWindowExW(0, type.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                         nullptr, type.hInstance, nullptr);
    }

    std::mutex mutex_;
    std::vector<HWND> open_;
    HWND task_window_ = nullptr;
    DWORD dialog_thread_ = 0;
    int depth_ = 0;
};

Win32DialogWindow::Win32DialogWindow(Win32DialogRunner& runner, Dialog& dialog)
    : runner_(runner), dialog_(dialog) {
    for (const Control& item : dialog.controls()) {
        if (item.kind == ControlKind::Button && !item.picture.empty()) {
            pictures_[item.id] = {xpm_image(item.picture), xpm_image(item.pressed_picture)};
        }
    }
}

INT_PTR CALLBACK Win32DialogWindow::procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(window, DWLP_USER, l);
        return reinterpret_cast<Win32DialogWindow*>(l)->initialise(window);
    }
    auto* self = reinterpret_cast<Win32DialogWindow*>(::GetWindowLongPtrW(window, DWLP_USER));
    return self == nullptr ? FALSE : self->handle(message, w, l);
}

INT_PTR Win32DialogWindow::initialise(HWND window) {
    window_ = window;
    // The template ID, by which tools and tests find the dialog whatever its language (a
    // window property, which other processes can read).
    ::SetWindowContextHelpId(window_, static_cast<DWORD>(dialog_.template_id()));
    ::SetPropW(window_, kTemplateProperty,
               reinterpret_cast<HANDLE>(static_cast<INT_PTR>(dialog_.template_id())));
    runner_.opened(window);
    show_program_icon();
    text_tips_.attach(window_);
    prepare_controls();
    dialog_.initialise(*this);
    make_menu();
    for (const Control& item : dialog_.controls()) {
        control_changed(item.id);
    }
    title_changed();
    ::SetTimer(window_, kStopWatchTimer, kStopWatchMs, nullptr);
    if (dialog_.ended()) {
        ::EndDialog(window_, dialog_.result());
    }
    // FALSE: the dialog has put the focus itself.
    return focus_set_ ? FALSE : TRUE;
}

// The program's icon (resource 1) in the title bar and the task bar, in the sizes the screen
// wants; a program without one keeps the system's.
void Win32DialogWindow::show_program_icon() {
    const struct {
        WPARAM which;
        int width;
        int height;
    } sizes[] = {{ICON_BIG, SM_CXICON, SM_CYICON}, {ICON_SMALL, SM_CXSMICON, SM_CYSMICON}};
    for (const auto& size : sizes) {
        HANDLE icon = ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kProgramIcon),
                                   IMAGE_ICON, ::GetSystemMetrics(size.width),
                                   ::GetSystemMetrics(size.height), LR_SHARED);
        if (icon != nullptr) {
            ::SendMessageW(window_, WM_SETICON, size.which, reinterpret_cast<LPARAM>(icon));
        }
    }
}

void Win32DialogWindow::prepare_controls() {
    for (const Control& item : dialog_.controls()) {
        HWND control = ::GetDlgItem(window_, item.id);
        if (item.kind == ControlKind::ListView) {
            ::SendMessageW(control, LVM_SETEXTENDEDLISTVIEWSTYLE,
                           LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES,
                           LVS_EX_FULLROWSELECT | (item.check_boxes ? LVS_EX_CHECKBOXES : 0));
            ::SendMessageW(control, LVM_SETBKCOLOR, 0, kListBackground);
            ::SendMessageW(control, LVM_SETTEXTBKCOLOR, 0, kListBackground);
            ::SendMessageW(control, LVM_SETTEXTCOLOR, 0, kListText);
        } else if (item.kind == ControlKind::Progress) {
            ::SendMessageW(control, PBM_SETRANGE32, 0, 100);
        }
    }
}

void Win32DialogWindow::make_menu() {
    HMENU menu = dialog_.system_menu().empty() ? nullptr : ::GetSystemMenu(window_, FALSE);
    if (menu == nullptr) {
        return;
    }
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    for (const MenuItem& item : dialog_.system_menu()) {
        if (item.command == 0) {
            ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        } else {
            ::AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(item.command),
                          wide_from_ansi(item.text).c_str());
        }
    }
}

INT_PTR Win32DialogWindow::handle(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_COMMAND:
        command(LOWORD(w), HIWORD(w), reinterpret_cast<HWND>(l));
        return TRUE;
    case WM_NOTIFY:
        notify(*reinterpret_cast<const NMHDR*>(l));
        return FALSE;
    case WM_DRAWITEM:
        draw_picture(*reinterpret_cast<const DRAWITEMSTRUCT*>(l));
        return TRUE;
    case WM_TIMER:
        if (w == kStopWatchTimer) {
            // Ctrl-C or the end of the session: the window hears of it once.
            if (platform::stop_request_signal() != 0 && !dialog_.ended()) {
                ::KillTimer(window_, kStopWatchTimer);
                dialog_.stop_requested();
            }
        } else {
            dialog_.timer_elapsed(static_cast<int>(w));
        }
        return TRUE;
    case WM_SYSCOMMAND:
        for (const MenuItem& item : dialog_.system_menu()) {
            if (item.command != 0 && static_cast<WPARAM>(item.command) == w) {
                dialog_.menu_command(item.command);
                return TRUE;
            }
        }
        return FALSE;
    case WM_CLOSE:
        if (!dialog_.ended()) {
            dialog_.close();
        }
        return TRUE;
    case kComeToFront:
        ::ShowWindow(window_, SW_RESTORE);
        ::SetForegroundWindow(window_);
        return TRUE;
    case WM_DESTROY:
        ::KillTimer(window_, kStopWatchTimer);
        for (const auto& [id, entry] : timers_) {
            ::KillTimer(window_, static_cast<UINT_PTR>(id));
        }
        runner_.closed(window_);
        ::RemovePropW(window_, kTemplateProperty);
        ::SetWindowLongPtrW(window_, DWLP_USER, 0);
        window_ = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}

void Win32DialogWindow::command(int id, int code, HWND control) {
    const Control* item = dialog_.find(id);
    if (updating_ || dialog_.ended()) {
        return;
    }
    if (item != nullptr && item->kind == ControlKind::Edit && code == EN_CHANGE) {
        dialog_.user_type(id, ansi_from_wide(window_text(control)));
        return;
    }
    if (item != nullptr && item->kind == ControlKind::DropDown && code == CBN_SELCHANGE) {
        dialog_.user_select(id, static_cast<int>(::SendMessageW(control, CB_GETCURSEL, 0, 0)));
        return;
    }
    if (code != BN_CLICKED) {
        return;
    }
    // The dialog manager turns Escape into IDCANCEL and Enter into the default button (or
    // IDOK): the keys go to the dialog as such unless a visible button of that ID takes them.
    if (id == IDCANCEL && key_down(VK_ESCAPE)) {
        dialog_.escape();
    } else if (item != nullptr && is_button(item->kind) && item->visible && item->enabled) {
        clicked(id);
    } else if (key_down(VK_RETURN)) {
        dialog_.enter();
    } else if (id == IDCANCEL) {
        dialog_.escape();
    }
}

void Win32DialogWindow::notify(const NMHDR& header) {
    const int id = static_cast<int>(header.idFrom);
    const Control* item = dialog_.find(id);
    if (item == nullptr || updating_ || dialog_.ended()) {
        return;
    }
    if (item->kind == ControlKind::Link && (header.code == NM_CLICK || header.code == NM_RETURN)) {
        clicked(id);
        return;
    }
    if (item->kind != ControlKind::ListView || header.code != LVN_ITEMCHANGED) {
        return;
    }
    const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
    if ((change.uChanged & LVIF_STATE) == 0 || change.iItem < 0) {
        return;
    }
    // State image 1 is an empty check box, 2 a checked one; 0 is none yet (a new row).
    const UINT old_mark = (change.uOldState & LVIS_STATEIMAGEMASK) >> 12;
    const UINT new_mark = (change.uNewState & LVIS_STATEIMAGEMASK) >> 12;
    if (old_mark != 0 && new_mark != 0 && old_mark != new_mark) {
        dialog_.user_check_row(id, change.iItem, new_mark == 2);
    }
    if ((change.uNewState & LVIS_SELECTED) != 0 && (change.uOldState & LVIS_SELECTED) == 0) {
        dialog_.user_select(id, change.iItem);
    }
}

void Win32DialogWindow::clicked(int id) {
    dialog_.clicked(id);
    // A radio button or check box shows what the dialog decided.
    if (!dialog_.ended()) {
        control_changed(id);
    }
}

void Win32DialogWindow::control_changed(int id) {
    const Control* item = dialog_.find(id);
    HWND control = window_ == nullptr ? nullptr : ::GetDlgItem(window_, id);
    if (item == nullptr || control == nullptr) {
        return;
    }
    updating_ = true;
    apply(*item, control);
    updating_ = false;
}

void Win32DialogWindow::apply(const Control& item, HWND control) {
    ::EnableWindow(control, item.enabled ? TRUE : FALSE);
    ::ShowWindow(control, item.visible ? SW_SHOWNA : SW_HIDE);
    const std::wstring text = wide_from_ansi(item.text);
    switch (item.kind) {
    case ControlKind::GroupBox:
        set_window_text(control, text);
        break;
    case ControlKind::Static:
        set_window_text(control, text);
        text_tips_.label_changed(control, text);
        break;
    case ControlKind::RadioButton:
    case ControlKind::CheckBox:
        set_window_text(control, text);
        ::SendMessageW(control, BM_SETCHECK, item.checked ? BST_CHECKED : BST_UNCHECKED, 0);
        break;
    case ControlKind::Button:
        // A picture button keeps its text for screen readers.
        set_window_text(control, text);
        break;
    case ControlKind::Edit:
        if (window_text(control) != text) {
            ::SetWindowTextW(control, text.c_str());
            // A path longer than the field shows its end, the file name.
            const auto end = static_cast<WPARAM>(text.size());
            ::SendMessageW(control, EM_SETSEL, end, static_cast<LPARAM>(end));
            ::SendMessageW(control, EM_SCROLLCARET, 0, 0);
        }
        ::SendMessageW(control, EM_SETREADONLY, item.read_only ? TRUE : FALSE, 0);
        break;
    case ControlKind::DropDown:
        if (shown_choices_[item.id] != item.rows) {
            shown_choices_[item.id] = item.rows;
            ::SendMessageW(control, CB_RESETCONTENT, 0, 0);
            for (const auto& row : item.rows) {
                const std::wstring choice = row.empty() ? std::wstring() : wide_from_ansi(row[0]);
                ::SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice.c_str()));
            }
            widen_drop_list(control);
        }
        ::SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(item.selection), 0);
        break;
    case ControlKind::ListView:
        apply_list(item, control);
        break;
    case ControlKind::Progress:
        ::SendMessageW(control, PBM_SETPOS, static_cast<WPARAM>(item.position), 0);
        break;
    case ControlKind::Link:
        set_window_text(control, L"<a>" + text + L"</a>");
        break;
    }
}

// Columns of equal width (the last one takes the rest); rows changed in place where their
// number stays, so that a change made while the list reports one does not pull its rows away.
void Win32DialogWindow::apply_list(const Control& item, HWND list) {
    if (shown_columns_[item.id] != item.columns) {
        shown_columns_[item.id] = item.columns;
        while (::SendMessageW(list, LVM_DELETECOLUMN, 0, 0) != FALSE) {
        }
        RECT area{};
        ::GetClientRect(list, &area);
        const int count = static_cast<int>(item.columns.size());
        for (int c = 0; c < count; ++c) {
            std::wstring title = wide_from_ansi(item.columns[static_cast<std::size_t>(c)]);
            LVCOLUMNW column{};
            column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
            column.fmt = LVCFMT_LEFT;
            column.cx = (area.right - area.left) / std::max(count, 1);
            column.pszText = title.data();
            ::SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(c),
                           reinterpret_cast<LPARAM>(&column));
        }
        if (count > 0) {
            ::SendMessageW(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(count - 1),
                           LVSCW_AUTOSIZE_USEHEADER);
        }
    }
    const int rows = static_cast<int>(item.rows.size());
    if (::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) != rows) {
        ::SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
        for (int r = 0; r < rows; ++r) {
            LVITEMW row{};
            row.mask = LVIF_TEXT;
            row.iItem = r;
            row.pszText = const_cast<wchar_t*>(L"");
            ::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row));
        }
    }
    for (int r = 0; r < rows; ++r) {
        const auto& cells = item.rows[static_cast<std::size_t>(r)];
        for (std::size_t c = 0; c < cells.size(); ++c) {
            std::wstring text = wide_from_ansi(cells[c]);
            LVITEMW cell{};
            cell.iSubItem = static_cast<int>(c);
            cell.pszText = text.data();
            ::SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(r),
                           reinterpret_cast<LPARAM>(&cell));
        }
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED | (item.check_boxes ? LVIS_STATEIMAGEMASK : 0);
        state.state = (r == item.selection ? LVIS_SELECTED : 0);
        if (item.check_boxes) {
            const bool marked =
                static_cast<std::size_t>(r) < item.row_checked.size() && item.row_checked[r];
            state.state |= INDEXTOSTATEIMAGEMASK(marked ? 2 : 1);
        }
        ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(r),
                       reinterpret_cast<LPARAM>(&state));
    }
    if (item.selection >= 0) {
        ::SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(item.selection), FALSE);
    }
}

// A picture button: its released face, the pressed one while it is held down, stretched over
// the button (room for a finger or a 200 % screen); transparent parts in the button colour.
void Win32DialogWindow::draw_picture(const DRAWITEMSTRUCT& item) const {
    ::FillRect(item.hDC, &item.rcItem, ::GetSysColorBrush(COLOR_BTNFACE));
    const auto found = pictures_.find(static_cast<int>(item.CtlID));
    if (found == pictures_.end()) {
        return;
    }
    const bool pressed = (item.itemState & ODS_SELECTED) != 0 && found->second.pressed;
    const std::optional<PixelImage>& picture =
        pressed ? found->second.pressed : found->second.released;
    if (!picture) {
        return;
    }
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    const std::uint32_t face_pixel =
        (GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face);
    std::vector<std::uint32_t> pixels = picture->pixels;
    for (std::uint32_t& pixel : pixels) {
        pixel = (pixel >> 24) == 0 ? face_pixel : (pixel & 0xFFFFFF);
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = picture->width;
    info.bmiHeader.biHeight = -picture->height; // rows from the top
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const RECT& r = item.rcItem;
    ::SetStretchBltMode(item.hDC, COLORONCOLOR);
    ::StretchDIBits(item.hDC, r.left, r.top, r.right - r.left, r.bottom - r.top, 0, 0,
                    picture->width, picture->height, pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
    if ((item.itemState & ODS_FOCUS) != 0) {
        RECT inner = r;
        ::InflateRect(&inner, -3, -3);
        ::DrawFocusRect(item.hDC, &inner);
    }
}

// Each dialog timer is a window timer, its period scaled as every protocol wait.
void Win32DialogWindow::timers_changed() {
    if (window_ == nullptr) {
        return;
    }
    for (auto& [id, entry] : timers_) {
        if (dialog_.timers().count(id) == 0 && entry.generation != 0) {
            ::KillTimer(window_, static_cast<UINT_PTR>(id));
            entry.generation = 0;
        }
    }
    for (const auto& [id, setting] : dialog_.timers()) {
        TimerEntry& entry = timers_[id];
        if (entry.generation != setting.generation) {
            entry.generation = setting.generation;
            const auto period = platform::scaled(setting.period_ms).count();
            ::SetTimer(window_, static_cast<UINT_PTR>(id), static_cast<UINT>(period), nullptr);
        }
    }
}

int Win32DialogWindow::run_child(Dialog& child) {
    return runner_.run_window(child, window_);
}

void Win32DialogWindow::run_on_dialog_thread(const std::function<void()>& task) {
    runner_.run_task(task);
}

void Win32DialogWindow::pump_until(const std::function<bool()>& done) {
    runner_.pump_until(done);
}

bool std_handle_missing(DWORD which) {
    HANDLE handle = ::GetStdHandle(which);
    return handle == nullptr || handle == INVALID_HANDLE_VALUE;
}

void reopen(std::FILE* stream, const char* device, const char* mode, DWORD which) {
    if (std::freopen(device, mode, stream) != nullptr) {
        ::SetStdHandle(which, reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream))));
    }
}

} // namespace

void attach_parent_console() {
    const bool input = std_handle_missing(STD_INPUT_HANDLE);
    const bool output = std_handle_missing(STD_OUTPUT_HANDLE);
    const bool error = std_handle_missing(STD_ERROR_HANDLE);
    if (!(input || output || error) || !::AttachConsole(ATTACH_PARENT_PROCESS)) {
        return;
    }
    if (input) {
        reopen(stdin, "CONIN$", "r", STD_INPUT_HANDLE);
    }
    if (output) {
        reopen(stdout, "CONOUT$", "w", STD_OUTPUT_HANDLE);
    }
    if (error) {
        reopen(stderr, "CONOUT$", "w", STD_ERROR_HANDLE);
    }
}

Win32Toolkit::Win32Toolkit() {
    INITCOMMONCONTROLSEX classes{};
    classes.dwSize = sizeof classes;
    classes.dwICC = ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS |
                    ICC_LINK_CLASS | ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&classes);
    previous_ = install_dialog_runner(std::make_shared<Win32DialogRunner>());
}

Win32Toolkit::~Win32Toolkit() {
    install_dialog_runner(std::move(previous_));
}

std::unique_ptr<Win32Toolkit> start_win32_if_wanted() {
    if (platform::console_user_interface_wanted()) {
        return nullptr;
    }
    return std::make_unique<Win32Toolkit>();
}

} // namespace dialogs
