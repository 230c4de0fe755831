#pragma once
// The system bus for the callers of system services (systemd, logind): a connection whose
// every method call waits a bounded time, and D-Bus failures as Windows error numbers.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <systemd/sd-bus.h>

namespace platform {

struct BusCloser {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageReleaser {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using BusConnection = std::unique_ptr<sd_bus, BusCloser>;
using BusMessage = std::unique_ptr<sd_bus_message, MessageReleaser>;

// An sd_bus_error that frees itself.
class BusError {
  public:
    BusError() = default;
    ~BusError() { sd_bus_error_free(&error_); }
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
    sd_bus_error* get() { return &error_; }
    const sd_bus_error& value() const { return error_; }

  private:
    sd_bus_error error_{}; // SD_BUS_ERROR_NULL, without its C casts
};

// Opens the system bus (DBUS_SYSTEM_BUS_ADDRESS when set, else the machine's). Every method
// call on it waits at most `limit` for its answer. Null when there is no bus; `result` then
// holds the negative errno.
BusConnection open_system_bus(std::chrono::milliseconds limit, int& result);

// A failed call (its negative result and its D-Bus error) as a Windows error number:
//   no bus, or nobody owns the called name            1722 (RPC_S_SERVER_UNAVAILABLE)
//   no answer within the call limit                   1053 (ERROR_SERVICE_REQUEST_TIMEOUT)
//   systemd's NoSuchUnit                              1060 (ERROR_SERVICE_DOES_NOT_EXIST)
//   access denied, interactive authorisation needed   5    (ERROR_ACCESS_DENIED)
//   systemd refuses the job (OperationRefused, ...)   1061 (ERROR_SERVICE_CANNOT_ACCEPT_CTRL)
//   anything else                                     the errno's number (31 when unknown)
std::uint32_t bus_error_code(const sd_bus_error& error, int result);
// The error's message for a log line, else the errno's text.
std::string bus_error_text(const sd_bus_error& error, int result);

} // namespace platform
