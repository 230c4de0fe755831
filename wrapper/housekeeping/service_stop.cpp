#include "wrapper/housekeeping/service_stop.h"

#include "platform/foundation/clock.h"
#include "platform/foundation/last_error.h"

namespace valdrun {
namespace {

// Asks until the service has stopped, sleeping for the wait hint between; 1460 once the
// deadline has passed.
std::uint32_t wait_until_stopped(platform::ServiceManager& manager, std::string_view service,
                                 std::uint64_t deadline) {
    for (;;) {
        const auto state = manager.query(service);
        if (!state)
            return platform::last_error();
        if (*state == platform::ServiceState::Stopped)
            return platform::kErrorSuccess;
        if (platform::monotonic_ms() > deadline)
            return platform::kErrorTimeout;
        platform::sleep_ms(platform::kServiceWaitHintMs);
    }
}

} // namespace

std::uint32_t
stop_service_with_dependents(platform::ServiceManager& manager, std::string_view service,
                             std::uint32_t limit_ms, std::vector<std::string>& stopped,
                             const std::function<void(std::string_view unit)>& before_stop) {
    const std::uint64_t deadline =
        platform::monotonic_ms() + static_cast<std::uint64_t>(platform::scaled(limit_ms).count());
    const auto state = manager.query(service);
    if (!state)
        return platform::last_error();
    const auto dependents = manager.active_dependents(service);
    if (!dependents)
        return platform::last_error();
    if (dependents->size() > kMaxDependents)
        return platform::kErrorDependentServicesRunning;
    const auto announce = [&](std::string_view unit) {
        if (before_stop)
            before_stop(unit);
    };
    for (const std::string& dependent : *dependents) {
        announce(dependent);
        if (!manager.stop(dependent))
            return platform::last_error();
        stopped.push_back(dependent);
        if (const std::uint32_t error = wait_until_stopped(manager, dependent, deadline))
            return error;
    }
    if (*state != platform::ServiceState::Running)
        return platform::kErrorSuccess; // stopped or on its way: not this run's to wait for
    announce(service);
    if (!manager.stop(service))
        return platform::last_error();
    return wait_until_stopped(manager, service, deadline);
}

} // namespace valdrun
