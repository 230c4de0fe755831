#include "platform/io/wait_posix.h"

#include "platform/foundation/clock.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform {

CancelSignal::CancelSignal() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CancelSignal::~CancelSignal() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void CancelSignal::raise() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(fd_, &one, sizeof one);
}

void CancelSignal::raise_kept() {
    kept_.store(true);
    raise();
}

void CancelSignal::clear() {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto got = ::read(fd_, &count, sizeof count);
    if (kept_.load()) {
        raise(); // raised while no operation was under way: meant for the one starting now
    }
}

bool CancelSignal::raised() const {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0;
}

WaitOutcome wait_for(int fd, short events, WaitLimit limit, const CancelSignal& cancel,
                     short& revents) {
    const std::uint64_t start = monotonic_ms();
    for (;;) {
        int timeout = -1;
        if (limit) {
            const std::uint64_t spent = monotonic_ms() - start;
            timeout = spent >= *limit
                          ? 0
                          : static_cast<int>(std::min<std::uint64_t>(*limit - spent, INT_MAX));
        }
        pollfd fds[2] = {{fd, events, 0}, {cancel.fd(), POLLIN, 0}};
        const int n = ::poll(fds, 2, timeout);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            revents = 0;
            return WaitOutcome::Failed;
        }
        revents = fds[0].revents;
        if (fds[1].revents & POLLIN) {
            return WaitOutcome::Cancelled;
        }
        if (fds[0].revents != 0) {
            return WaitOutcome::Ready;
        }
        if (n == 0) {
            return WaitOutcome::TimedOut;
        }
    }
}

} // namespace platform
