#include "present_ports.h"

#include "port_search.h"

#include <cctype>

namespace brantel {
namespace {

std::string lower_case(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return lowered;
}

} // namespace

void PresentPorts::begin(OsFamily family) {
    std::lock_guard lock(mutex_);
    kept_ = true;
    family_ = family;
    port_of_device_.clear();
    devices_on_port_.clear();
}

void PresentPorts::end() {
    std::lock_guard lock(mutex_);
    kept_ = false;
    port_of_device_.clear();
    devices_on_port_.clear();
}

void PresentPorts::apply(const platform::DeviceEvent& event) {
    std::lock_guard lock(mutex_);
    if (!kept_) {
        return;
    }
    const auto known = port_of_device_.find(event.interface_path);
    if (known != port_of_device_.end()) {
        // A removal, or an arrival that replaces what was known under this path.
        const auto port = devices_on_port_.find(known->second);
        if (port != devices_on_port_.end() && --port->second == 0) {
            devices_on_port_.erase(port);
        }
        port_of_device_.erase(known);
    }
    if (event.kind != platform::DeviceEvent::Kind::Arrival) {
        return;
    }
    if (const auto path = terminal_port_path(family_, event.device)) {
        std::string port = lower_case(*path);
        ++devices_on_port_[port];
        port_of_device_.emplace(event.interface_path, std::move(port));
    }
}

bool PresentPorts::contains(OsFamily family, std::string_view port_path) const {
    {
        std::lock_guard lock(mutex_);
        if (kept_) {
            return running_in_remote_session() || devices_on_port_.contains(lower_case(port_path));
        }
    }
    return terminal_port_present(family, port_path);
}

} // namespace brantel
