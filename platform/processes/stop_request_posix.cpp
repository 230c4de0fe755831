// Stop requests on POSIX: SIGINT and SIGTERM, caught with sigaction.
#include "platform/processes/stop_request.h"
#include "platform/processes/stop_request_state.h"

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace platform {
namespace {

extern "C" void on_stop_signal(int signal_number) {
    if (stop_state::note_request(signal_number)) {
        return;
    }
    if (const char* notice = stop_state::second_request_notice(); notice != nullptr) {
        const ssize_t ignored = ::write(STDERR_FILENO, notice, std::strlen(notice));
        static_cast<void>(ignored);
    }
    ::_exit(128 + signal_number);
}

} // namespace

void install_stop_request_handler(const char* second_request_notice) {
    stop_state::set_second_request_notice(second_request_notice);
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

} // namespace platform
