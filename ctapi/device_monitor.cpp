#include "device_monitor.h"

#include "port_search.h"

namespace brantel {

std::string_view monitored_interface_class(OsFamily family) {
    return terminal_device_class(family);
}

bool DeviceMonitor::start() {
    if (started()) {
        return true;
    }
    // The present ports come first as arrivals, so the set is whole when start() returns.
    link_.present_ports().begin(link_.os_family());
    watcher_ = platform::DeviceWatcher::start(
        monitored_interface_class(link_.os_family()),
        [this](const platform::DeviceEvent& event) { on_device_change(event); },
        platform::PresentDevices::Report);
    if (!watcher_) {
        link_.present_ports().end();
    }
    return watcher_ != nullptr;
}

void DeviceMonitor::stop() {
    if (!started()) {
        return;
    }
    watcher_.reset(); // no notification runs after this
    link_.present_ports().end();
    current_terminal_.store(kNoTerminal);
    link_.forget_loss();
}

void DeviceMonitor::on_device_change(const platform::DeviceEvent& event) {
    link_.present_ports().apply(event);
    const bool lost = terminal_gone(event);
    if (decision_hook_) {
        decision_hook_(lost);
    }
    if (lost) {
        link_.mark_lost();
    }
}

bool DeviceMonitor::terminal_gone(const platform::DeviceEvent& event) const {
    // On Windows 9x only completed removals are looked at; elsewhere every change is.
    if (link_.os_family() == OsFamily::Windows9x &&
        event.kind != platform::DeviceEvent::Kind::Removal) {
        return false;
    }
    return !link_.saved_port_present() && current_terminal_.load() != kNoTerminal;
}

} // namespace brantel
