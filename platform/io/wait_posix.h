#pragma once
// Waiting on a file descriptor with a limit, ended early by a signal that another thread
// raises (an eventfd): the POSIX form of an overlapped operation that CancelIoEx can end.
#include "platform/io/wait_limit.h"

#include <atomic>

namespace platform {

class CancelSignal {
  public:
    CancelSignal();
    ~CancelSignal();
    CancelSignal(const CancelSignal&) = delete;
    CancelSignal& operator=(const CancelSignal&) = delete;

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void raise(); // any thread: ends the operation under way, if there is one
    // Any thread: ends the operation under way, or the next one when none is; kept until an
    // operation has seen it (seen()), so it cannot fall between a check and an operation.
    void raise_kept();
    // The waiting thread, before it starts an operation: drops a plain raise, keeps a kept one.
    void clear();
    // The waiting thread: an operation ended because the signal was raised.
    void seen() { kept_.store(false); }
    bool raised() const;

  private:
    int fd_ = -1;
    std::atomic<bool> kept_{false};
};

enum class WaitOutcome { Ready, TimedOut, Cancelled, Failed };

// Waits until `fd` reports `events` (POLLIN / POLLOUT), or the limit passes, or `cancel` is
// raised. `revents` receives what poll reported for the descriptor (POLLHUP, POLLERR, ...).
WaitOutcome wait_for(int fd, short events, WaitLimit limit, const CancelSignal& cancel,
                     short& revents);

} // namespace platform
