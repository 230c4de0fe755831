#pragma once
// Keeps the machine from suspending, logging off and shutting down while held: a logind
// inhibitor lock ("sleep:shutdown:idle", mode "block") when the system bus is there.
// MORLIN_INHIBIT=none skips the bus (tests use it: they never touch the machine's services).
#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

class PowerInhibitor {
  public:
    // Null when no lock could be taken; `why_not` then says why (for a log line). A power
    // manager that has not answered within `limit` gives no lock.
    [[nodiscard]] static std::unique_ptr<PowerInhibitor>
    acquire(std::string_view who, std::string_view why, std::string& why_not,
            std::chrono::milliseconds limit = std::chrono::seconds(25));
    virtual ~PowerInhibitor() = default; // releases the lock
};

} // namespace platform
