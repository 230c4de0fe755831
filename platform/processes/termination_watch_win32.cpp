// Console control events on Windows: Ctrl-C and Ctrl-Break count as SIGINT, closing the
// console, logging off and shutting down as SIGTERM. The system calls the handler on a
// thread of its own, which then is the watcher thread.
#include "platform/processes/termination_watch.h"

#include <atomic>
#include <csignal>
#include <windows.h>

namespace platform {
namespace {

std::function<void(int, int)> g_on_request;
std::atomic<int> g_count{0};

BOOL WINAPI on_console_event(DWORD event) {
    const int signal_number = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? SIGINT : SIGTERM;
    g_on_request(signal_number, ++g_count);
    return TRUE;
}

} // namespace

void watch_termination(std::function<void(int signal_number, int count)> on_request) {
    g_on_request = std::move(on_request);
    ::SetConsoleCtrlHandler(on_console_event, TRUE);
}

void end_by_signal(int) {
    ::ExitProcess(STATUS_CONTROL_C_EXIT);
}

} // namespace platform
