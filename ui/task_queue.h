#pragma once
// The dialog thread's queue of tasks from other threads. A thread that posts a task waits
// until the dialog thread has run it. The queue also offers a file descriptor that becomes
// readable when a task is waiting, so that a dialog thread that waits for keyboard input can
// wake up for it.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace dialogs {

class TaskQueue {
  public:
    TaskQueue();
    ~TaskQueue();
    TaskQueue(const TaskQueue&) = delete;
    TaskQueue& operator=(const TaskQueue&) = delete;

    // Any thread but the dialog thread: queues `task` and returns when it has run.
    void run(const std::function<void()>& task);
    // Dialog thread: runs the tasks waiting now; returns how many ran.
    int run_pending();
    // Dialog thread: runs tasks as they come until `done` is true.
    void run_until(const std::function<bool()>& done);
    // Dialog thread: waits until a task is waiting or `timeout` has passed; true for a task.
    bool wait_for_task(std::chrono::milliseconds timeout);
    int wake_fd() const { return pipe_[0]; }

  private:
    struct Pending {
        const std::function<void()>* task;
        bool done = false;
    };

    std::mutex mutex_;
    std::condition_variable posted_;
    std::condition_variable finished_;
    std::deque<Pending*> pending_;
    int pipe_[2] = {-1, -1};
};

} // namespace dialogs
