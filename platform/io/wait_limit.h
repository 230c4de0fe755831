#pragma once
// The limit of one wait: milliseconds, or nothing for a wait without limit.
#include <cstdint>
#include <optional>

namespace platform {

using WaitLimit = std::optional<std::uint32_t>;

} // namespace platform
