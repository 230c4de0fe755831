// Termination signals through a pipe to a watcher thread: the handler writes the signal's
// number, the thread reads it.
#include "platform/processes/termination_watch.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace platform {
namespace {

int g_pipe[2] = {-1, -1};

extern "C" void on_termination_signal(int signal_number) {
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal_number);
    const ssize_t ignored = ::write(g_pipe[1], &number, 1);
    static_cast<void>(ignored);
    errno = saved;
}

} // namespace

void watch_termination(std::function<void(int signal_number, int count)> on_request) {
    if (::pipe2(g_pipe, O_CLOEXEC) != 0)
        return; // the signals keep their default action
    std::thread([on_request = std::move(on_request)] {
        int count = 0;
        for (;;) {
            unsigned char number = 0;
            const ssize_t got = ::read(g_pipe[0], &number, 1);
            if (got == 1)
                on_request(number, ++count);
            else if (got == 0 || errno != EINTR)
                return;
        }
    }).detach();
    struct sigaction action {};
    action.sa_handler = on_termination_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal_number : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal_number, &action, nullptr);
}

void end_by_signal(int signal_number) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal_number, &action, nullptr);
    ::kill(::getpid(), signal_number);
    ::_exit(128 + signal_number); // only when the signal was blocked
}

} // namespace platform
