#include "device_monitor.h"

#include "terminal-plugin/plugin_log.h"

#include <platform/devices/device_set.h>
#include <platform/foundation/last_error.h>
#include <platform/services/power.h>
#include <system_error>

namespace vupporta {
namespace {

// How often the monitor looks at the abort flag to end a pending read or write.
constexpr std::chrono::milliseconds kAbortLook{20};
// The power manager answers within milliseconds; a slow one must not hold up the end of a
// download for long.
constexpr std::chrono::milliseconds kInhibitLimit{1000};

void log_monitor_failure() {
    log_line("%s(%i) :Memory allocation failed. Error: %xh.", kMonitorModule, __LINE__,
             static_cast<unsigned>(platform::kErrorNotEnoughMemory));
}

std::unique_ptr<platform::DeviceWatcher>
start_platform_watcher(std::string_view interface_class,
                       platform::DeviceWatcher::Callback callback) {
    return platform::DeviceWatcher::start(interface_class, std::move(callback));
}

} // namespace

DeviceMonitor::DeviceMonitor(WatcherFactory factory)
    : factory_(factory ? std::move(factory) : WatcherFactory(start_platform_watcher)) {}

DeviceMonitor::~DeviceMonitor() {
    stop();
}

bool DeviceMonitor::names_terminal(std::string_view interface_path,
                                   std::string_view symbolic_name) {
    // "\\?\USB#Vid_04e6&Pid_1a02#..." against "\??\USB#Vid_04e6&Pid_1a02#...": the part after
    // the four-character prefix must occur in the terminal's symbolic name, letter case and all.
    constexpr std::size_t kPrefix = 4;
    if (interface_path.size() <= kPrefix) {
        return false;
    }
    return symbolic_name.find(interface_path.substr(kPrefix)) != std::string_view::npos;
}

void DeviceMonitor::start(std::string symbolic_name, AbortFlag abort_flag, CancelPending cancel) {
    stop();
    symbolic_name_ = std::move(symbolic_name);
    abort_flag_ = abort_flag;
    cancel_ = std::move(cancel);
    removal_seen_.store(false);
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        log_monitor_failure(); // the download's wait for the armed flag ends with 200
    }
}

void DeviceMonitor::stop() {
    if (!thread_.joinable()) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stop_requested_.notify_all();
    thread_.join();
}

bool DeviceMonitor::removal_seen() const {
    const bool seen = removal_seen_.load();
    reached(RacePoint::RemovalSeenRead);
    return seen;
}

void DeviceMonitor::reached(RacePoint point) const {
    if (race_hook_) {
        race_hook_(point);
    }
}

void DeviceMonitor::on_device_event(const platform::DeviceEvent& event) {
    if (!armed_.load() || event.kind != platform::DeviceEvent::Kind::Removal) {
        return;
    }
    if (names_terminal(event.interface_path, symbolic_name_)) {
        reached(RacePoint::RemovalMatched);
        removal_seen_.store(true);
        abort_flag_.set();
        log_line("%s(%i): Device Removed", kMonitorModule, __LINE__);
        if (cancel_) {
            cancel_();
        }
    }
}

void DeviceMonitor::run() {
    // Nothing may leave the thread: a monitor that fails only never becomes ready, or stops
    // watching early.
    try {
        watch();
    } catch (const std::exception&) {
        log_monitor_failure();
    }
    armed_.store(false);
}

void DeviceMonitor::watch() {
    auto watcher = factory_(platform::kUsbDeviceInterface,
                            [this](const platform::DeviceEvent& event) { on_device_event(event); });
    if (!watcher) {
        log_line("%s(%i) :RegisterDeviceNotification failed. Error: %xh.", kMonitorModule, __LINE__,
                 platform::last_error());
        return;
    }
    armed_.store(true);
    // Suspend, log-off and shutdown stay held off while the monitor runs. The lock is asked
    // for once the monitor is ready, so the download never waits for the power manager;
    // without a lock the download still goes on.
    std::string why_not;
    auto inhibitor =
        platform::PowerInhibitor::acquire("VUPPorta", "Firmware download", why_not, kInhibitLimit);
    if (!inhibitor) {
        log_line("%s(%i): Suspend and shutdown are not held off: %s", kMonitorModule, __LINE__,
                 why_not.c_str());
    }
    wait_until_stopped();
}

void DeviceMonitor::wait_until_stopped() {
    std::unique_lock lock(mutex_);
    while (!stop_requested_.wait_for(lock, kAbortLook, [this] { return stopping_; })) {
        if (abort_flag_.is_set() && cancel_) {
            // A read or write that started just before the flag was set ends now rather than
            // at its time-out; the next look ends one that started after this one.
            lock.unlock();
            cancel_();
            lock.lock();
        }
    }
}

} // namespace vupporta
