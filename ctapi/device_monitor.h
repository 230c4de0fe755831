#pragma once
// The device monitor: watches device arrivals and removals while a terminal is open, keeps the
// link's set of present terminal ports from them, and when the open terminal's port is no
// longer present marks the link lost (which signals the removal event and ends pending I/O;
// the caller's thread then closes the port).
//
// Threads: start() and stop() run on the caller's thread; on_device_change() runs on the
// watcher's thread.
#include "platform/device_watcher.h"
#include "terminal_link.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>

namespace brantel {

inline constexpr std::int32_t kNoTerminal = -1;

class DeviceMonitor {
  public:
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

  private:
    TerminalLink& link_;
    std::atomic<std::int32_t>& current_terminal_;
    std::unique_ptr<platform::DeviceWatcher> watcher_;
};

// The notification class the monitor registers for on this OS family.
std::string_view monitored_interface_class(OsFamily family);

} // namespace brantel
