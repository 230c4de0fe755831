#pragma once
// The stop of the detection thread. On Windows the window terminates the thread; here a stop
// takes effect at once instead: waits end, and the operation in progress is cancelled (a
// serial read, a smart-card wait) through the canceller that the running step has set.
// After stop() the thread stores nothing more.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace valdrun {

class StopSignal {
  public:
    // Any thread.
    // Any thread. The canceller runs under the lock, so the scope that set it cannot end
    // (and free what it cancels) meanwhile.
    void stop() {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        woken_.notify_all();
        if (canceller_)
            canceller_();
    }
    bool stopped() const {
        std::lock_guard lock(mutex_);
        return stopped_;
    }
    // Runs `work` under the lock unless stopped: once stop() has returned, no such work runs
    // or is still running. False when stopped.
    template <typename Work> bool unless_stopped(Work&& work) {
        std::lock_guard lock(mutex_);
        if (stopped_)
            return false;
        work();
        return true;
    }
    // Waits `duration`; false when stopped before or during the wait.
    bool wait(std::chrono::milliseconds duration) {
        std::unique_lock lock(mutex_);
        return !woken_.wait_for(lock, duration, [this] { return stopped_; });
    }
    // The way to cancel what the stopped thread waits in; empty when nothing is pending.
    // Set and cleared by the detection thread around a blocking call.
    void set_canceller(std::function<void()> cancel) {
        std::lock_guard lock(mutex_);
        canceller_ = std::move(cancel);
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable woken_;
    bool stopped_ = false;
    std::function<void()> canceller_;
};

// Sets a canceller for the life of a scope.
class CancelScope {
  public:
    CancelScope(StopSignal* stop, std::function<void()> cancel) : stop_(stop) {
        if (stop_)
            stop_->set_canceller(std::move(cancel));
    }
    ~CancelScope() {
        if (stop_)
            stop_->set_canceller({});
    }
    CancelScope(const CancelScope&) = delete;
    CancelScope& operator=(const CancelScope&) = delete;

  private:
    StopSignal* stop_;
};

} // namespace valdrun
