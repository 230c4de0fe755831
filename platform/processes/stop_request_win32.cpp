// Stop requests from the console: Ctrl-C and Ctrl-Break count as SIGINT (2), closing the
// console, logging off and shutting down as SIGTERM (15). The handler runs on a thread the
// system starts for it.
#include "platform/processes/stop_request.h"
#include "platform/processes/stop_request_state.h"

#include <cstdio>
#include <windows.h>

namespace platform {
namespace {

constexpr int kInterrupt = 2;
constexpr int kTerminate = 15;

BOOL WINAPI on_console_event(DWORD event) {
    const int signal_number =
        event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? kInterrupt : kTerminate;
    if (stop_state::note_request(signal_number)) {
        return TRUE;
    }
    if (const char* notice = stop_state::second_request_notice(); notice != nullptr) {
        std::fputs(notice, stderr);
        std::fflush(stderr);
    }
    ::ExitProcess(static_cast<UINT>(128 + signal_number));
}

} // namespace

void install_stop_request_handler(const char* second_request_notice) {
    stop_state::set_second_request_notice(second_request_notice);
    ::SetConsoleCtrlHandler(on_console_event, TRUE);
}

} // namespace platform
