#include "ui/task_queue.h"

#include "ui/task_queue_wake.h"

namespace dialogs {

TaskQueue::TaskQueue() {
    open_wake_pipe(pipe_);
}

TaskQueue::~TaskQueue() {
    close_wake_pipe(pipe_);
}

void TaskQueue::run(const std::function<void()>& task) {
    Pending pending{&task};
    std::unique_lock lock(mutex_);
    pending_.push_back(&pending);
    posted_.notify_all();
    signal_wake_pipe(pipe_[1]);
    finished_.wait(lock, [&] { return pending.done; });
}

int TaskQueue::run_pending() {
    drain_wake_pipe(pipe_[0]);
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
