#pragma once
// A named single-instance section of the user. The kernel releases it when the owning process
// ends, also after a crash, so a dead instance never blocks the next start; taking it never
// waits; other users can neither take nor block it.
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class SingleInstance {
  public:
    // Tries to become the one instance called `name`. Returns the held section, or null:
    // last error kErrorAlreadyExists when another live instance holds it (that instance has
    // been asked to come to the front: its activation handler runs), another code when no
    // section could be made at all.
    // On Windows the running instance's window is looked for by the titles in
    // `window_titles`, in order (its main window's, then its other windows'); without them,
    // by `name`.
    [[nodiscard]] static std::unique_ptr<SingleInstance>
    acquire(std::string_view name, const std::vector<std::string>& window_titles = {});
    // After acquire() found a running instance: whether a window of it came to the front. On
    // Windows the running instance is found by its window's title, which a program on the
    // console does not have.
    static bool running_instance_came_to_front();
    virtual ~SingleInstance() = default;

    // Handler run (on a background thread) when a second instance asks this one to come to
    // the front. The UI layer installs it.
    virtual void on_activation_request(std::function<void()> handler) = 0;
};

} // namespace platform
