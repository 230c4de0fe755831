#pragma once
// Waiting on a file descriptor with a limit, ended early by a signal that another thread
// raises (an eventfd): the POSIX form of an overlapped operation that CancelIoEx can end.
#include "platform/serial_timeouts.h"

namespace platform {

class CancelSignal {
  public:
    CancelSignal();
    ~CancelSignal();
    CancelSignal(const CancelSignal&) = delete;
    CancelSignal& operator=(const CancelSignal&) = delete;

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void raise(); // any thread
    void clear(); // the waiting thread, before it starts an operation
    bool raised() const;

  private:
    int fd_ = -1;
};

enum class WaitOutcome { Ready, TimedOut, Cancelled, Failed };

// Waits until `fd` reports `events` (POLLIN / POLLOUT), or the limit passes, or `cancel` is
// raised. `revents` receives what poll reported for the descriptor (POLLHUP, POLLERR, ...).
WaitOutcome wait_for(int fd, short events, WaitLimit limit, const CancelSignal& cancel,
                     short& revents);

} // namespace platform
