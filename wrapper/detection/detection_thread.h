#pragma once
// The detection thread of the main window: passes one after another, each published to the
// run record; the next pass follows 250 ms later while nothing usable was found (result 2) or
// more than one reader was counted, except after result 4. Any other result ends the thread.
// stop() takes effect at once: the thread publishes nothing more. A pass that cannot be
// cancelled (a CT-API exchange with a terminal that never answers) is not waited for beyond a
// short bound: the thread is left to end by itself, holding only its own copies, so that the
// window ends within a second whatever detection waits on.
#include "wrapper/detection/stop_signal.h"
#include "wrapper/run_record.h"

#include <memory>
#include <thread>

namespace valdrun {

class DetectionThread {
  public:
    DetectionThread() = default;
    ~DetectionThread() { stop(); }
    DetectionThread(const DetectionThread&) = delete;
    DetectionThread& operator=(const DetectionThread&) = delete;

    // `record` must outlive the thread (stop() or the destructor ends it).
    void start(RunRecord& record, PassSettings settings);
    void stop();
    // Whether the thread has ended by itself (for tests and the window).
    bool finished() const { return shared_->finished.load(); }

  private:
    // What the thread and its owner share; the thread keeps it alive when it is left behind.
    struct Shared {
        StopSignal stop;
        std::atomic<bool> finished{false};
    };

    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    std::thread thread_;
};

// Whether the thread polls again after a pass with this outcome.
bool polls_again(const PassOutcome& outcome);

} // namespace valdrun
