#pragma once
// The clock that drives dialog timers where no toolkit does (the console view): the real one,
// whose periods follow MORLIN_TIME_SCALE as every protocol wait does, and a stepped one for
// tests, whose time moves only when the view would otherwise wait.
#include "ui/task_queue.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace dialogs {

class DialogClock {
  public:
    virtual ~DialogClock() = default;
    virtual std::uint64_t now_ms() = 0;
    // A timer's period on this clock.
    virtual std::uint64_t period_ms(std::uint32_t period) = 0;
    // Waits until `due_ms` or until a task for the dialog thread arrives, whichever is first;
    // the caller runs the tasks.
    virtual void wait_until(TaskQueue& tasks, std::uint64_t due_ms) = 0;
};

// Monotonic time; periods scaled by MORLIN_TIME_SCALE.
std::shared_ptr<DialogClock> real_dialog_clock();

// Time that stands still until the view waits, then jumps to the next due timer at once: a
// test sees every 100 ms tick without waiting for one. Threads that the dialog runs (its
// worker) still run in real time; each jump first gives them a moment.
class SteppedClock final : public DialogClock {
  public:
    std::uint64_t now_ms() override { return now_.load(); }
    std::uint64_t period_ms(std::uint32_t period) override { return period; }
    void wait_until(TaskQueue& tasks, std::uint64_t due_ms) override;
    // How far the clock has stepped in all.
    std::uint64_t elapsed_ms() const { return now_.load(); }

  private:
    std::atomic<std::uint64_t> now_{0};
};

} // namespace dialogs
