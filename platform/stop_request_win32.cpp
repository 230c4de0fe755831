// Stop requests from the console: Ctrl-C and Ctrl-Break count as SIGINT (2), closing the
// console, logging off and shutting down as SIGTERM (15). The handler runs on a thread the
// system starts for it.
#include "platform/stop_request.h"

#include <atomic>
#include <cstdio>
#include <windows.h>

namespace platform {
namespace {

constexpr int kInterrupt = 2;
constexpr int kTerminate = 15;

std::atomic<int> g_signal{0};
std::atomic<int*> g_abort_flag{nullptr};
const char* g_notice = nullptr;

void store_abort(int* flag) {
    if (flag != nullptr) {
        std::atomic_ref<int>(*flag).store(1);
    }
}

BOOL WINAPI on_console_event(DWORD event) {
    const int signal_number =
        event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? kInterrupt : kTerminate;
    int expected = 0;
    if (!g_signal.compare_exchange_strong(expected, signal_number)) {
        if (g_notice != nullptr) {
            std::fputs(g_notice, stderr);
            std::fflush(stderr);
        }
        ::ExitProcess(static_cast<UINT>(128 + signal_number));
    }
    store_abort(g_abort_flag.load());
    return TRUE;
}

} // namespace

void install_stop_request_handler(const char* second_request_notice) {
    g_notice = second_request_notice;
    ::SetConsoleCtrlHandler(on_console_event, TRUE);
}

int stop_request_signal() {
    return g_signal.load();
}

void bind_abort_flag(int* abort_flag) {
    g_abort_flag.store(abort_flag);
    if (abort_flag != nullptr && g_signal.load() != 0) {
        store_abort(abort_flag);
    }
}

} // namespace platform
