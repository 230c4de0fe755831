#pragma once
// The device monitor: watches device arrivals and removals while a terminal is open, keeps the
// link's set of present terminal ports from them, and when the open terminal's port is no
// longer present marks the link lost (which signals the removal event and ends pending I/O;
// the caller's thread then closes the port).
//
// Threads: start() and stop() run on the caller's thread; on_device_change() runs on the
// watcher's thread.
#include "platform/devices/device_watcher.h"
#include "terminal_link.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

namespace brantel {

inline constexpr std::int32_t kNoTerminal = -1;

class DeviceMonitor {
  public:
    // Called on the watcher's thread once a change has been looked at and before the monitor
    // acts on it (`lost`: the open terminal's port is gone). Where a test holds the watcher
    // to play out a race with the caller's thread; nothing happens unless one is installed.
    using DecisionHook = std::function<void(bool lost)>;

    DeviceMonitor(TerminalLink& link, std::atomic<std::int32_t>& current_terminal)
        : link_(link), current_terminal_(current_terminal) {}
    ~DeviceMonitor() { stop(); }
    DeviceMonitor(const DeviceMonitor&) = delete;
    DeviceMonitor& operator=(const DeviceMonitor&) = delete;

    [[nodiscard]] bool start();
    // Stops watching; forgets the open terminal number and a loss. Nothing unless started.
    void stop();
    bool started() const { return watcher_ != nullptr; }

    // What one device change does (runs on the watcher's thread).
    void on_device_change(const platform::DeviceEvent& event);
    // Installs the decision hook; before start().
    void set_decision_hook(DecisionHook hook) { decision_hook_ = std::move(hook); }

  private:
    bool terminal_gone(const platform::DeviceEvent& event) const;

    TerminalLink& link_;
    std::atomic<std::int32_t>& current_terminal_;
    std::unique_ptr<platform::DeviceWatcher> watcher_;
    DecisionHook decision_hook_;
};

// The notification class the monitor registers for on this OS family.
std::string_view monitored_interface_class(OsFamily family);

} // namespace brantel
