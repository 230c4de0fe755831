// The machine's power through logind on the system bus: an inhibitor lock (the fd that
// org.freedesktop.login1.Manager.Inhibit returns; the lock lasts while it is open), and the
// restart and power-off requests.
#include "platform/foundation/last_error.h"
#include "platform/services/power.h"
#include "platform/services/system_bus_posix.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace platform {
namespace {

constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kLogindPath = "/org/freedesktop/login1";
constexpr const char* kLogindManager = "org.freedesktop.login1.Manager";
// How long logind may take to accept a restart or power-off request.
constexpr std::chrono::seconds kPowerRequestLimit{25};

class LogindInhibitor final : public PowerInhibitor {
  public:
    explicit LogindInhibitor(int fd) : fd_(fd) {}
    ~LogindInhibitor() override { ::close(fd_); }

  private:
    int fd_;
};

} // namespace

std::unique_ptr<PowerInhibitor> PowerInhibitor::acquire(std::string_view who, std::string_view why,
                                                        std::string& why_not,
                                                        std::chrono::milliseconds limit) {
    const char* setting = std::getenv("MORLIN_INHIBIT");
    if (setting != nullptr && std::string_view(setting) == "none") {
        why_not = "disabled by MORLIN_INHIBIT";
        return nullptr;
    }
    int result = 0;
    const BusConnection bus = open_system_bus(limit, result);
    if (!bus) {
        why_not = "no system bus: " + std::string(std::strerror(-result));
        return nullptr;
    }
    BusError error;
    sd_bus_message* reply = nullptr;
    const std::string who_text(who);
    const std::string why_text(why);
    result = sd_bus_call_method(bus.get(), kLogind, kLogindPath, kLogindManager, "Inhibit",
                                error.get(), &reply, "ssss", "sleep:shutdown:idle",
                                who_text.c_str(), why_text.c_str(), "block");
    const BusMessage message(reply);
    if (result < 0) {
        why_not = "Inhibit refused: " + bus_error_text(error.value(), result);
        return nullptr;
    }
    int fd = -1;
    result = sd_bus_message_read(reply, "h", &fd);
    // The message owns the descriptor; keep a copy of our own.
    const int own = result >= 0 ? ::fcntl(fd, F_DUPFD_CLOEXEC, 3) : -1;
    if (own < 0) {
        why_not = "Inhibit gave no lock";
        return nullptr;
    }
    return std::make_unique<LogindInhibitor>(own);
}

bool request_power(PowerRequest request) {
    int result = 0;
    const BusConnection bus = open_system_bus(kPowerRequestLimit, result);
    if (!bus) {
        set_last_error(bus_error_code(sd_bus_error{}, result));
        return false;
    }
    BusError error;
    const char* method = request == PowerRequest::PowerOff ? "PowerOff" : "Reboot";
    // The argument is "interactive": false, so no authorisation dialog is waited for.
    result = sd_bus_call_method(bus.get(), kLogind, kLogindPath, kLogindManager, method,
                                error.get(), nullptr, "b", 0);
    if (result < 0) {
        set_last_error(bus_error_code(error.value(), result));
        return false;
    }
    set_last_error(kErrorSuccess);
    return true;
}

} // namespace platform
