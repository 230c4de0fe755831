#pragma once
// A named single-instance section. The kernel releases it when the owning process ends,
// also after a crash, so a dead instance never blocks the next start.
#include <functional>
#include <memory>
#include <string_view>

namespace platform {

class SingleInstance {
  public:
    // Tries to become the one instance called `name`. Returns the held section, or null when
    // another live instance holds it; in that case that instance has been asked to come to
    // the front (its activation handler runs).
    [[nodiscard]] static std::unique_ptr<SingleInstance> acquire(std::string_view name);
    virtual ~SingleInstance() = default;

    // Handler run (on a background thread) when a second instance asks this one to come to
    // the front. The UI layer installs it.
    virtual void on_activation_request(std::function<void()> handler) = 0;
};

} // namespace platform
