// The system bus with bounded calls, and D-Bus failures as Windows error numbers.
#include "platform/services/system_bus_posix.h"

#include "platform/foundation/last_error.h"

#include <cerrno>
#include <cstring>
#include <string_view>

namespace platform {
namespace {

bool named(const sd_bus_error& error, std::string_view name) {
    return error.name != nullptr && name == error.name;
}

bool named_any(const sd_bus_error& error, std::initializer_list<std::string_view> names) {
    for (std::string_view name : names) {
        if (named(error, name)) {
            return true;
        }
    }
    return false;
}

} // namespace

BusConnection open_system_bus(std::chrono::milliseconds limit, int& result) {
    sd_bus* bus = nullptr;
    result = sd_bus_open_system(&bus);
    if (result < 0) {
        return nullptr;
    }
    BusConnection connection(bus);
    const auto limit_us = std::chrono::duration_cast<std::chrono::microseconds>(limit).count();
    // Ignored on purpose: a failure only leaves the bus's own limit (25 s) in place.
    static_cast<void>(sd_bus_set_method_call_timeout(
        bus, static_cast<std::uint64_t>(limit_us > 0 ? limit_us : 1)));
    return connection;
}

std::uint32_t bus_error_code(const sd_bus_error& error, int result) {
    if (named_any(error, {"org.freedesktop.DBus.Error.ServiceUnknown",
                          "org.freedesktop.DBus.Error.NameHasNoOwner",
                          "org.freedesktop.DBus.Error.NoServer",
                          "org.freedesktop.DBus.Error.Disconnected"})) {
        return kErrorServerUnavailable;
    }
    if (named_any(error,
                  {"org.freedesktop.DBus.Error.NoReply", "org.freedesktop.DBus.Error.Timeout",
                   "org.freedesktop.DBus.Error.TimedOut"}) ||
        result == -ETIMEDOUT) {
        return kErrorServiceRequestTimeout;
    }
    if (named(error, "org.freedesktop.systemd1.NoSuchUnit")) {
        return kErrorServiceDoesNotExist;
    }
    if (named_any(error, {"org.freedesktop.DBus.Error.AccessDenied",
                          "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired"})) {
        return kErrorAccessDenied;
    }
    if (named_any(error, {"org.freedesktop.systemd1.OperationRefused",
                          "org.freedesktop.systemd1.TransactionIsDestructive",
                          "org.freedesktop.systemd1.JobTypeNotApplicable",
                          "org.freedesktop.systemd1.OnlyByDependency",
                          "org.freedesktop.systemd1.UnitMasked"})) {
        return kErrorServiceCannotAcceptControl;
    }
    switch (-result) {
    case ENOENT:
    case ECONNREFUSED:
    case ECONNRESET:
    case ENOTCONN:
    case EPIPE:
        return kErrorServerUnavailable;
    default:
        return error_from_errno(-result);
    }
}

std::string bus_error_text(const sd_bus_error& error, int result) {
    if (error.message != nullptr) {
        return error.message;
    }
    return std::strerror(-result);
}

} // namespace platform
