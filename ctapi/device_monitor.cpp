#include "device_monitor.h"

#include "port_search.h"

namespace brantel {

std::string_view monitored_interface_class(OsFamily family) {
    return terminal_device_class(family);
}

bool DeviceMonitor::start() {
    if (started())
        return true;
    watcher_ = platform::DeviceWatcher::start(
        monitored_interface_class(link_.os_family()),
        [this](const platform::DeviceEvent& event) { on_device_change(event); });
    return watcher_ != nullptr;
}

void DeviceMonitor::stop() {
    if (!started())
        return;
    watcher_.reset(); // no notification runs after this
    current_terminal_.store(kNoTerminal);
    link_.forget_loss();
}

void DeviceMonitor::on_device_change(const platform::DeviceEvent& event) {
    // On Windows 9x only completed removals are looked at; elsewhere every change is.
    if (link_.os_family() == OsFamily::Windows9x &&
        event.kind != platform::DeviceEvent::Kind::Removal)
        return;
    if (link_.saved_port_present())
        return;
    if (current_terminal_.load() == kNoTerminal)
        return;
    link_.mark_lost();
}

} // namespace brantel
