#pragma once
// The machine's power: keeping it from suspending, logging off and shutting down while held (a
// logind inhibitor lock, "sleep:shutdown:idle", mode "block", when the system bus is there;
// MORLIN_INHIBIT=none skips the bus: tests never touch the machine's services), and asking it
// to restart or to power off.
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

enum class PowerRequest { Restart, PowerOff };

// Asks the system to restart, or to shut down so that it can be switched off, without forcing
// applications to close (logind's Reboot or PowerOff, not interactive). True when the request
// was accepted; otherwise false with the last error set.
[[nodiscard]] bool request_power(PowerRequest request);

} // namespace platform
