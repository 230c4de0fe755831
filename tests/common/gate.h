#pragma once
// A gate that threads wait at until it is opened, once, by whichever thread gets there
// first; opening it again does nothing. What a race test holds a thread with.
#include <condition_variable>
#include <mutex>

namespace morlin_test {

class Gate {
  public:
    void open() {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        opened_.notify_all();
    }
    void wait() {
        std::unique_lock lock(mutex_);
        opened_.wait(lock, [this] { return open_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable opened_;
    bool open_ = false;
};

} // namespace morlin_test
