#include "wrapper/detection/serial_port_list.h"

#include "platform/devices/device_set.h"
#include "platform/winapi/registry.h"

namespace valdrun {
namespace {

constexpr std::string_view kSerialCommKey = "Hardware\\DeviceMap\\SerialComm";

void add_port(std::vector<std::string>& ports, std::string name) {
    if (ports.size() < kMaxSerialPorts && !name.empty() && name.size() <= kMaxSerialPortName)
        ports.push_back(std::move(name));
}

} // namespace

std::vector<std::string> read_serial_port_list() {
    std::vector<std::string> ports;
    // The registry (or its stand-in, when one is given) where it has the key; elsewhere, as on
    // a stock Linux machine, the serial ports of the device lists.
    if (platform::registry_key_exists(kSerialCommKey)) {
        for (auto& [name, data] : platform::registry_string_values(kSerialCommKey))
            add_port(ports, std::move(data));
        return ports;
    }
    for (const auto& device : platform::present_devices(platform::kPortsClass)
                                  .value_or(std::vector<platform::DeviceRecord>{}))
        add_port(ports, device.key_value("PortName").value_or(""));
    return ports;
}

} // namespace valdrun
