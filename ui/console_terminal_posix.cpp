// Reading typed actions from a terminal on POSIX: poll on standard input and the dialog
// thread's wake pipe, so that tasks of other threads run while the user types.
#include "platform/processes/stop_request.h"
#include "ui/console_actions.h"

#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <unistd.h>

namespace dialogs {

bool stdin_is_terminal() {
    return ::isatty(STDIN_FILENO) == 1;
}

std::optional<std::string> ActionSource::read_terminal(int wake_fd,
                                                       const std::function<void()>& service) {
    std::fputs("> ", stderr);
    std::fflush(stderr);
    std::string line;
    while (true) {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {wake_fd, POLLIN, 0}};
        const int ready = ::poll(fds, wake_fd >= 0 ? 2 : 1, -1);
        if (ready < 0 && errno == EINTR) {
            if (platform::stop_request_signal() != 0) {
                // Ctrl-C or SIGTERM: no more typing is waited for; the dialog gets what the
                // end of input gives it (a running download ends as a cancel first).
                terminal_ = false;
                return std::nullopt;
            }
            continue;
        }
        if (ready < 0) {
            terminal_ = false;
            return std::nullopt;
        }
        if (wake_fd >= 0 && (fds[1].revents & POLLIN) != 0) {
            service();
        }
        if ((fds[0].revents & (POLLIN | POLLHUP)) == 0) {
            continue;
        }
        char c = 0;
        const auto got = ::read(STDIN_FILENO, &c, 1);
        if (got <= 0) {
            terminal_ = false;
            if (line.empty()) {
                return std::nullopt;
            }
            return line;
        }
        if (c == '\n') {
            return line;
        }
        line += c;
    }
}

} // namespace dialogs
