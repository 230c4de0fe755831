#pragma once
// Stopping a service with the running services that depend on it, all within one time limit.
#include "platform/services/service_manager.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace valdrun {

inline constexpr std::uint32_t kStopLimitMs = 30000; // the service and its dependents together
inline constexpr std::size_t kMaxDependents = 8;

// Stops the active dependents one by one in the manager's order, each waited for until it has
// stopped, then the service itself when it runs (one that is stopped or stopping already is
// left alone, but its active dependents, such as its socket, are stopped all the same). The limit
// (scaled by MORLIN_TIME_SCALE) counts from the first query. Each dependent is appended to
// `stopped` once its stop was sent. 0 on success, else a system error number: 1051 with more than 8
// dependents (nothing is stopped), 1460 when the limit passed, or the manager's error.
// `before_stop` hears of each unit (dependent or service) before its stop is sent.
std::uint32_t
stop_service_with_dependents(platform::ServiceManager& manager, std::string_view service,
                             std::uint32_t limit_ms, std::vector<std::string>& stopped,
                             const std::function<void(std::string_view unit)>& before_stop = {});

} // namespace valdrun
