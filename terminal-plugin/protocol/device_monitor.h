#pragma once
// The device monitor of a download: a thread that watches USB device removals while the
// terminal is written to, and holds off suspend and shutdown meanwhile. When the terminal
// under download disappears while the monitor is armed, it sets the host's abort flag.
//
// Threads: start(), stop() and set_armed() run on the download's thread; the removal check
// runs on the watcher's thread. The armed flag is the monitor's "ready" signal. While the
// abort flag is set (by the host, or by a removal), the monitor ends any read or write that
// the download's thread has pending on the terminal's port.
#include "terminal-plugin/abort_flag.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <platform/devices/device_watcher.h>
#include <string>
#include <string_view>
#include <thread>

namespace vupporta {

// Starts watching device interface notifications; the product uses platform::DeviceWatcher.
using WatcherFactory = std::function<std::unique_ptr<platform::DeviceWatcher>(
    std::string_view interface_class, platform::DeviceWatcher::Callback callback)>;

class DeviceMonitor {
  public:
    // Ends a read or write pending on the download's thread; called from the monitor's threads.
    using CancelPending = std::function<void()>;

    // Places where a test can hold one thread while another goes on, to play out a race
    // between them. Nothing happens there unless a hook is installed.
    enum class RacePoint {
        RemovalMatched,  // watcher's thread: the armed terminal's removal, not yet recorded
        RemovalSeenRead, // reader's thread: removal_seen() has just been read
    };
    using RaceHook = std::function<void(RacePoint)>;

    explicit DeviceMonitor(WatcherFactory factory = {});
    ~DeviceMonitor();
    DeviceMonitor(const DeviceMonitor&) = delete;
    DeviceMonitor& operator=(const DeviceMonitor&) = delete;

    // Starts the monitor thread for the terminal with `symbolic_name`; returns at once. The
    // thread arms the monitor once it watches. When no thread can be started the monitor
    // never becomes ready.
    void start(std::string symbolic_name, AbortFlag abort_flag, CancelPending cancel = {});
    // Ends the monitor thread and waits for it; the armed flag is clear afterwards, and what
    // the monitor saw (removal_seen) stays as it was at the end. Does nothing when no monitor
    // runs.
    void stop();
    bool running() const { return thread_.joinable(); }

    bool armed() const { return armed_.load(); }
    // Whether this run's monitor has seen the terminal removed while armed.
    bool removal_seen() const;
    void set_armed(bool armed) { armed_.store(armed); }
    // Installs the race hook; before start(), while no monitor runs.
    void set_race_hook(RaceHook hook) { race_hook_ = std::move(hook); }

    // The removal check: whether a removed device interface path names this terminal.
    static bool names_terminal(std::string_view interface_path, std::string_view symbolic_name);

  private:
    void run();
    void watch();
    void wait_until_stopped();
    void on_device_event(const platform::DeviceEvent& event);
    void reached(RacePoint point) const;

    WatcherFactory factory_;
    std::thread thread_;
    std::string symbolic_name_; // written before the thread starts, read only meanwhile
    AbortFlag abort_flag_;      // likewise
    CancelPending cancel_;      // likewise
    RaceHook race_hook_;        // likewise
    std::atomic<bool> armed_{false};
    std::atomic<bool> removal_seen_{false};

    std::mutex mutex_;
    std::condition_variable stop_requested_;
    bool stopping_ = false;
};

} // namespace vupporta
