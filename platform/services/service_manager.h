#pragma once
// The system's service manager as the smart-card housekeeping uses it: a service's state, the
// running services that depend on it, stopping and starting. On Linux this is systemd over the
// system bus (docs/platform.md, "Services"); a failure sets the last error to a Windows number.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class ServiceState { Stopped, Stopping, Running };

class ServiceManager {
  public:
    // Connects to the service manager; null, with the last error set, when there is none.
    [[nodiscard]] static std::unique_ptr<ServiceManager> open();
    virtual ~ServiceManager() = default;

    // The service's state; nothing, with the last error set, when it cannot be asked.
    [[nodiscard]] virtual std::optional<ServiceState> query(std::string_view service) = 0;
    // The running services that must stop before `service` does, in the order to stop them
    // (dependents of dependents first). Nothing, with the last error set, on a failure.
    [[nodiscard]] virtual std::optional<std::vector<std::string>>
    active_dependents(std::string_view service) = 0;
    // Sends the stop or start request; true when the manager accepted it (the service may
    // still be on its way: query() tells when it is there).
    [[nodiscard]] virtual bool stop(std::string_view service) = 0;
    [[nodiscard]] virtual bool start(std::string_view service) = 0;
};

// How long to wait before asking again while a service is on its way (the wait hint), in
// milliseconds of protocol time (platform/foundation/clock.h scales it).
inline constexpr std::uint32_t kServiceWaitHintMs = 100;

// The smart-card resource manager: its service name, and the name of its program's process.
std::string_view smart_card_service_name();
std::string_view smart_card_service_process_name();

} // namespace platform
