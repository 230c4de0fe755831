#pragma once
// The detection thread of the main window: passes one after another, each published to the
// run record; the next pass follows 250 ms later while nothing usable was found (result 2) or
// more than one reader was counted, except after result 4. Any other result ends the thread.
// stop() takes effect at once: the thread publishes nothing more and ends.
#include "wrapper/detection/stop_signal.h"
#include "wrapper/run_record.h"

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
    bool finished() const { return finished_.load(); }

  private:
    void run(RunRecord& record, const PassSettings& settings);

    StopSignal stop_;
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

// Whether the thread polls again after a pass with this outcome.
bool polls_again(const PassOutcome& outcome);

} // namespace valdrun
