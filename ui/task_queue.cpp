#include "ui/task_queue.h"

#include <fcntl.h>
#include <unistd.h>

namespace dialogs {

TaskQueue::TaskQueue() {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        pipe_[0] = pipe_[1] = -1;
    }
}

TaskQueue::~TaskQueue() {
    for (int fd : pipe_) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void TaskQueue::run(const std::function<void()>& task) {
    Pending pending{&task};
    std::unique_lock lock(mutex_);
    pending_.push_back(&pending);
    posted_.notify_all();
    if (pipe_[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] auto written = ::write(pipe_[1], &byte, 1);
    }
    finished_.wait(lock, [&] { return pending.done; });
}

int TaskQueue::run_pending() {
    if (pipe_[0] >= 0) {
        char bytes[64];
        while (::read(pipe_[0], bytes, sizeof bytes) > 0) {
        }
    }
    int count = 0;
    std::unique_lock lock(mutex_);
    while (!pending_.empty()) {
        Pending* next = pending_.front();
        pending_.pop_front();
        lock.unlock();
        (*next->task)();
        lock.lock();
        next->done = true;
        finished_.notify_all();
        ++count;
    }
    return count;
}

bool TaskQueue::wait_for_task(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return posted_.wait_for(lock, timeout, [&] { return !pending_.empty(); });
}

void TaskQueue::run_until(const std::function<bool()>& done) {
    while (true) {
        run_pending();
        if (done()) {
            return;
        }
        std::unique_lock lock(mutex_);
        posted_.wait(lock, [&] { return !pending_.empty(); });
    }
}

} // namespace dialogs
