// Holds off suspend while held: SetThreadExecutionState on the thread that took the hold
// (the state belongs to that thread; it ends when the hold is released or the thread ends).
#include "platform/services/power.h"

#include <windows.h>

namespace platform {
namespace {

class ExecutionStateHold final : public PowerInhibitor {
  public:
    ~ExecutionStateHold() override { ::SetThreadExecutionState(ES_CONTINUOUS); }
};

} // namespace

// The call answers at once: there is no power manager to wait for.
std::unique_ptr<PowerInhibitor> PowerInhibitor::acquire(std::string_view, std::string_view,
                                                        std::string& why_not,
                                                        std::chrono::milliseconds) {
    if (::SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) == 0) {
        why_not = "SetThreadExecutionState failed";
        return nullptr;
    }
    return std::make_unique<ExecutionStateHold>();
}

} // namespace platform
