// Stop requests from the console (console_event.h): Ctrl-C and Ctrl-Break count as SIGINT (2);
// closing the console, logging off and shutting down as SIGTERM (15), and for those the
// handler holds the process until the program has ended. The handler runs on a thread the
// system starts for it.
#include "platform/processes/console_event.h"
#include "platform/processes/stop_request.h"
#include "platform/processes/stop_request_state.h"

#include <cstdio>
#include <windows.h>

namespace platform {
namespace {

ConsoleEvent console_event_of(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
        return ConsoleEvent::CtrlC;
    case CTRL_BREAK_EVENT:
        return ConsoleEvent::CtrlBreak;
    case CTRL_LOGOFF_EVENT:
        return ConsoleEvent::Logoff;
    case CTRL_SHUTDOWN_EVENT:
        return ConsoleEvent::Shutdown;
    default:
        return ConsoleEvent::Close;
    }
}

BOOL WINAPI on_console_event(DWORD event) {
    const auto handling = console_event_handling(console_event_of(event));
    if (stop_state::note_request(handling.signal_number)) {
        if (handling.hold_until_exit) {
            // The program's exit ends this thread with the process.
            ::Sleep(INFINITE);
        }
        return TRUE;
    }
    if (const char* notice = stop_state::second_request_notice(); notice != nullptr) {
        std::fputs(notice, stderr);
        std::fflush(stderr);
    }
    ::ExitProcess(static_cast<UINT>(128 + handling.signal_number));
}

} // namespace

void install_stop_request_handler(const char* second_request_notice) {
    stop_state::set_second_request_notice(second_request_notice);
    ::SetConsoleCtrlHandler(on_console_event, TRUE);
}

} // namespace platform
