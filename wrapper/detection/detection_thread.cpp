#include "wrapper/detection/detection_thread.h"

#include "platform/foundation/clock.h"
#include "wrapper/result_codes.h"

namespace valdrun {

bool polls_again(const PassOutcome& outcome) {
    if (outcome.result == kDetectedTooOld)
        return false;
    return outcome.result == kDetectedNothing || outcome.reader_count > 1;
}

void DetectionThread::start(RunRecord& record, PassSettings settings) {
    thread_ = std::thread([this, &record, settings = std::move(settings)] {
        run(record, settings);
        finished_ = true;
    });
}

void DetectionThread::stop() {
    stop_.stop();
    if (thread_.joinable())
        thread_.join();
}

namespace {
constexpr std::uint32_t kPollIntervalMs = 250;
} // namespace

void DetectionThread::run(RunRecord& record, const PassSettings& settings) {
    while (!stop_.stopped()) {
        const PassOutcome outcome = detection_pass(record.description, settings, &stop_);
        if (stop_.stopped())
            return;
        record.publish(outcome);
        if (!polls_again(outcome) || !stop_.wait(platform::scaled(kPollIntervalMs)))
            return;
    }
}

} // namespace valdrun
