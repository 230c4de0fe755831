#include "platform/stop_request.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace platform {

namespace {

std::atomic<int> g_signal{0};
std::atomic<int*> g_abort_flag{nullptr};
const char* g_notice = nullptr;

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<int*>::is_always_lock_free,
              "the stop request is recorded from a signal handler");

void store_abort(int* flag) {
    if (flag != nullptr) {
        std::atomic_ref<int>(*flag).store(1);
    }
}

extern "C" void on_stop_signal(int signal_number) {
    int expected = 0;
    if (!g_signal.compare_exchange_strong(expected, signal_number)) {
        if (g_notice != nullptr) {
            const ssize_t ignored = ::write(STDERR_FILENO, g_notice, std::strlen(g_notice));
            static_cast<void>(ignored);
        }
        ::_exit(128 + signal_number);
    }
    store_abort(g_abort_flag.load());
}

} // namespace

void install_stop_request_handler(const char* second_request_notice) {
    g_notice = second_request_notice;
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
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
