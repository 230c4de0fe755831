// Holding off suspend and shutdown with a logind inhibitor lock (the fd that
// org.freedesktop.login1.Manager.Inhibit returns; the lock lasts while it is open).
#include "platform/power.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <systemd/sd-bus.h>
#include <unistd.h>

namespace platform {
namespace {

class LogindInhibitor final : public PowerInhibitor {
  public:
    explicit LogindInhibitor(int fd) : fd_(fd) {}
    ~LogindInhibitor() override { ::close(fd_); }

  private:
    int fd_;
};

std::string bus_error_text(const sd_bus_error& error, int result) {
    if (error.message != nullptr) {
        return error.message;
    }
    return std::strerror(-result);
}

} // namespace

std::unique_ptr<PowerInhibitor> PowerInhibitor::acquire(std::string_view who, std::string_view why,
                                                        std::string& why_not,
                                                        std::chrono::milliseconds limit) {
    const char* setting = std::getenv("MORLIN_INHIBIT");
    if (setting != nullptr && std::string_view(setting) == "none") {
        why_not = "disabled by MORLIN_INHIBIT";
        return nullptr;
    }
    sd_bus* bus = nullptr;
    int result = sd_bus_open_system(&bus);
    if (result < 0) {
        why_not = "no system bus: " + std::string(std::strerror(-result));
        return nullptr;
    }
    const auto limit_us = std::chrono::duration_cast<std::chrono::microseconds>(limit).count();
    // Ignored on purpose: a failure only leaves the bus's own limit in place.
    static_cast<void>(sd_bus_set_method_call_timeout(bus, static_cast<std::uint64_t>(limit_us)));
    sd_bus_error error{}; // SD_BUS_ERROR_NULL, without its C casts
    sd_bus_message* reply = nullptr;
    const std::string who_text(who);
    const std::string why_text(why);
    result = sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                                "org.freedesktop.login1.Manager", "Inhibit", &error, &reply, "ssss",
                                "sleep:shutdown:idle", who_text.c_str(), why_text.c_str(), "block");
    std::unique_ptr<PowerInhibitor> inhibitor;
    if (result < 0) {
        why_not = "Inhibit refused: " + bus_error_text(error, result);
    } else {
        int fd = -1;
        result = sd_bus_message_read(reply, "h", &fd);
        // The message owns the descriptor; keep a copy of our own.
        const int own = result >= 0 ? ::fcntl(fd, F_DUPFD_CLOEXEC, 3) : -1;
        if (own < 0) {
            why_not = "Inhibit gave no lock";
        } else {
            inhibitor = std::make_unique<LogindInhibitor>(own);
        }
    }
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);
    return inhibitor;
}

} // namespace platform
