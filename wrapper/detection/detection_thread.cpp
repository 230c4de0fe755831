#include "wrapper/detection/detection_thread.h"

#include "platform/foundation/clock.h"
#include "wrapper/result_codes.h"

namespace valdrun {

bool polls_again(const PassOutcome& outcome) {
    if (outcome.result == kDetectedTooOld)
        return false;
    return outcome.result == kDetectedNothing || outcome.reader_count > 1;
}

namespace {

constexpr std::uint32_t kPollIntervalMs = 250;
// How long stop() waits for a pass in progress to notice the stop (real time).
constexpr std::chrono::milliseconds kStopBound{300};

} // namespace

void DetectionThread::start(RunRecord& record, PassSettings settings) {
    // The thread works on its own copy of the description: once stopped it touches nothing
    // of the record's, which may be gone before it ends.
    thread_ = std::thread([shared = shared_, &record, description = record.description,
                           settings = std::move(settings)] {
        while (!shared->stop.stopped()) {
            const PassOutcome outcome = detection_pass(description, settings, &shared->stop);
            const bool published = shared->stop.unless_stopped([&] { record.publish(outcome); });
            if (!published || !polls_again(outcome) ||
                !shared->stop.wait(platform::scaled(kPollIntervalMs)))
                break;
        }
        shared->finished = true;
    });
}

void DetectionThread::stop() {
    shared_->stop.stop();
    if (!thread_.joinable())
        return;
    const auto deadline = std::chrono::steady_clock::now() + kStopBound;
    while (!shared_->finished.load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (shared_->finished.load())
        thread_.join();
    else
        thread_.detach(); // left to end by itself: it holds only what is its own
}

} // namespace valdrun
