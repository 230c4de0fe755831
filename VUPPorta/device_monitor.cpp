#include "device_monitor.h"

#include "plugin_log.h"

#include <platform/device_set.h>
#include <platform/last_error.h>
#include <platform/power.h>

namespace vupporta {
namespace {

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

void DeviceMonitor::start(std::string symbolic_name, AbortFlag abort_flag) {
    stop();
    symbolic_name_ = std::move(symbolic_name);
    abort_flag_ = abort_flag;
    removal_seen_.store(false);
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    thread_ = std::thread([this] { run(); });
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

void DeviceMonitor::on_device_event(const platform::DeviceEvent& event) {
    if (!armed_.load() || event.kind != platform::DeviceEvent::Kind::Removal) {
        return;
    }
    if (names_terminal(event.interface_path, symbolic_name_)) {
        removal_seen_.store(true);
        abort_flag_.set();
        log_line("%s(%i): Device Removed", kMonitorModule, __LINE__);
    }
}

void DeviceMonitor::run() {
    // Suspend, log-off and shutdown stay held off while the monitor runs; without a lock the
    // download still goes on.
    std::string why_not;
    auto inhibitor = platform::PowerInhibitor::acquire("VUPPorta", "Firmware download", why_not);
    if (!inhibitor) {
        log_line("%s(%i): Suspend and shutdown are not held off: %s", kMonitorModule, __LINE__,
                 why_not.c_str());
    }
    auto watcher = factory_(platform::kUsbDeviceInterface,
                            [this](const platform::DeviceEvent& event) { on_device_event(event); });
    if (!watcher) {
        log_line("%s(%i) :RegisterDeviceNotification failed. Error: %xh.", kMonitorModule, __LINE__,
                 platform::last_error());
    } else {
        armed_.store(true);
        std::unique_lock lock(mutex_);
        stop_requested_.wait(lock, [this] { return stopping_; });
    }
    watcher.reset();
    armed_.store(false);
}

} // namespace vupporta
