#include "ui/dialog_clock.h"

#include "platform/foundation/clock.h"

#include <thread>

namespace dialogs {

namespace {

class RealClock final : public DialogClock {
  public:
    std::uint64_t now_ms() override { return platform::monotonic_ms(); }
    std::uint64_t period_ms(std::uint32_t period) override {
        return static_cast<std::uint64_t>(platform::scaled(period).count());
    }
    void wait_until(TaskQueue& tasks, std::uint64_t due_ms) override {
        const std::uint64_t now = now_ms();
        if (due_ms > now) {
            tasks.wait_for_task(std::chrono::milliseconds(due_ms - now));
        }
    }
};

} // namespace

std::shared_ptr<DialogClock> real_dialog_clock() {
    return std::make_shared<RealClock>();
}

void SteppedClock::wait_until(TaskQueue& tasks, std::uint64_t due_ms) {
    // A worker that is about to hand over a task gets the chance first.
    if (tasks.wait_for_task(std::chrono::milliseconds(1))) {
        return;
    }
    if (due_ms > now_.load()) {
        now_.store(due_ms);
    }
}

} // namespace dialogs
