// Reading typed actions from the Windows console: keystrokes are taken as they come
// (_kbhit, _getche), and the dialog thread's tasks run between them.
#include "ui/console_actions.h"

#include <conio.h>
#include <cstdio>
#include <io.h>
#include <windows.h>

namespace dialogs {
namespace {

constexpr DWORD kTaskLookMs = 20;

} // namespace

bool stdin_is_terminal() {
    return ::_isatty(::_fileno(stdin)) != 0;
}

std::optional<std::string> ActionSource::read_terminal(int, const std::function<void()>& service) {
    std::fputs("> ", stderr);
    std::fflush(stderr);
    std::string line;
    while (true) {
        service();
        if (::_kbhit() == 0) {
            ::Sleep(kTaskLookMs);
            continue;
        }
        const int c = ::_getche();
        if (c == '\r' || c == '\n') {
            std::fputc('\n', stderr);
            return line;
        }
        if (c == '\b') {
            if (!line.empty()) {
                line.pop_back();
            }
            continue;
        }
        line += static_cast<char>(c);
    }
}

} // namespace dialogs
