#include "ui/task_queue_wake.h"

#include <fcntl.h>
#include <unistd.h>

namespace dialogs {

void open_wake_pipe(int (&pipe)[2]) {
    if (::pipe2(pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        pipe[0] = pipe[1] = -1;
    }
}

void close_wake_pipe(int (&pipe)[2]) {
    for (int fd : pipe) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void signal_wake_pipe(int write_end) {
    if (write_end >= 0) {
        const char byte = 1;
        [[maybe_unused]] auto written = ::write(write_end, &byte, 1);
    }
}

void drain_wake_pipe(int read_end) {
    if (read_end >= 0) {
        char bytes[64];
        while (::read(read_end, bytes, sizeof bytes) > 0) {
        }
    }
}

} // namespace dialogs
