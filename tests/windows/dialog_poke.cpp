// Finds Morlin's dialogs on the desktop by their template ID (the window property
// "Morlin.DialogTemplate")
// and works them as a user would, for the dialog checks under Wine (scripts/windows_dialogs.sh):
//   dialog-poke wait <ids> [s]       waits (10 s) for a visible dialog of one of the IDs
//                                     ("102,152"), moves it to the desktop's top left corner
//                                     and prints its ID and its rectangle "x y w h"
//   dialog-poke click <id> <control> presses a button of the dialog
//   dialog-poke menu <id> <command>  chooses an entry of its system menu
//   dialog-poke shown <id> <control> waits (20 s) until a control of the dialog is visible
//   dialog-poke drop <id> <control>  opens the list of a drop-down list of the dialog
//   dialog-poke box <ids> [s]        as wait, for a message box owned by such a dialog
//                                     (ID 0: a message box without an owner)
//   dialog-poke answer <ids> <button> presses a button (IDOK 1, IDYES 6, ...) of that box
//   dialog-poke type <ids> <control> <text> sets the text of a control of that box (the
//                                     name field of a file dialog)
// Exit code 0 when done, 1 when no such dialog is there.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <set>
#include <sstream>
#include <string>
#include <windows.h>

namespace {

struct Search {
    std::set<DWORD> ids;
    bool box = false; // a window without a template, owned by such a dialog
    HWND found = nullptr;
};

DWORD template_of(HWND window) {
    return static_cast<DWORD>(
        reinterpret_cast<INT_PTR>(::GetPropW(window, L"Morlin.DialogTemplate")));
}

bool is_dialog_class(HWND window) {
    wchar_t name[16] = {};
    return ::GetClassNameW(window, name, 16) > 0 && std::wcscmp(name, L"#32770") == 0;
}

BOOL CALLBACK look(HWND window, LPARAM data) {
    auto& search = *reinterpret_cast<Search*>(data);
    HWND owner = ::GetWindow(window, GW_OWNER);
    const bool box = template_of(window) == 0 && is_dialog_class(window);
    const DWORD id =
        search.box ? (box && owner != nullptr ? template_of(owner) : 0) : template_of(window);
    const bool wanted = search.box && box && owner == nullptr
                            ? search.ids.count(0) != 0
                            : id != 0 && search.ids.count(id) != 0;
    if (::IsWindowVisible(window) && wanted) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

HWND find(const std::string& ids, int seconds, bool box) {
    Search search;
    search.box = box;
    std::istringstream list(ids);
    for (std::string id; std::getline(list, id, ',');) {
        search.ids.insert(static_cast<DWORD>(std::atoi(id.c_str())));
    }
    for (int tries = 0; tries <= seconds * 10; ++tries) {
        ::EnumWindows(&look, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            return search.found;
        }
        ::Sleep(100);
    }
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    const std::string action = argv[1];
    const bool box = action == "box" || action == "answer" || action == "type";
    const bool waits = action == "wait" || action == "box";
    HWND dialog = find(argv[2], waits && argc > 3 ? std::atoi(argv[3]) : 10, box);
    if (dialog == nullptr) {
        std::fprintf(stderr, "dialog-poke: no dialog %s\n", argv[2]);
        return 1;
    }
    const int value = argc > 3 ? std::atoi(argv[3]) : 0;
    if (waits) {
        // Wine's virtual desktop leaves a dialog that lies wholly over its owner undrawn:
        // the owner goes to the bottom right corner, the dialog to the top left.
        if (HWND owner = ::GetWindow(dialog, GW_OWNER); owner != nullptr) {
            RECT o{};
            ::GetWindowRect(owner, &o);
            ::SetWindowPos(owner, nullptr, ::GetSystemMetrics(SM_CXSCREEN) - (o.right - o.left),
                           ::GetSystemMetrics(SM_CYSCREEN) - (o.bottom - o.top), 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        ::SetWindowPos(dialog, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE); // above other programs' windows
        RECT r{};
        ::GetWindowRect(dialog, &r);
        std::printf("%lu %ld %ld %ld %ld\n", box ? 0 : template_of(dialog), r.left, r.top,
                    r.right - r.left, r.bottom - r.top);
    } else if (action == "click" || action == "answer") {
        ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(value, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(dialog, value)));
    } else if (action == "type" && argc > 4) {
        const std::wstring text(argv[4], argv[4] + std::strlen(argv[4])); // ASCII
        return ::SetDlgItemTextW(dialog, value, text.c_str()) ? 0 : 1;
    } else if (action == "shown") {
        for (int tries = 0; tries < 200; ++tries) {
            if (::IsWindowVisible(::GetDlgItem(dialog, value))) {
                return 0;
            }
            ::Sleep(100);
        }
        return 1;
    } else if (action == "drop") {
        ::SendMessageW(::GetDlgItem(dialog, value), CB_SHOWDROPDOWN, TRUE, 0);
    } else if (action == "menu") {
        ::PostMessageW(dialog, WM_SYSCOMMAND, static_cast<WPARAM>(value), 0);
    } else {
        return 2;
    }
    return 0;
}
