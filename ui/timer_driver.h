#pragma once
// Drives a dialog's timers from a DialogClock where no toolkit does: each timer elapses one
// period after it was set (or last elapsed); setting it again restarts it.
#include "ui/dialog.h"
#include "ui/dialog_clock.h"

#include <cstdint>
#include <map>
#include <optional>

namespace dialogs {

class TimerDriver {
  public:
    TimerDriver(Dialog& dialog, DialogClock& clock) : dialog_(dialog), clock_(clock) {}

    // When the next timer elapses; nothing while no timer is set.
    std::optional<std::uint64_t> next_due();
    // Lets the timer that is due first elapse, if it is due now; true when one did.
    bool elapse_due();

  private:
    struct Entry {
        std::uint64_t generation = 0;
        std::uint64_t due = 0;
    };
    void take_changes();

    Dialog& dialog_;
    DialogClock& clock_;
    std::map<int, Entry> entries_;
};

} // namespace dialogs
