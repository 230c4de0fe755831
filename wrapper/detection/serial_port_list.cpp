#include "wrapper/detection/serial_port_list.h"

#include "platform/winapi/registry.h"

namespace valdrun {

std::vector<std::string> read_serial_port_list() {
    std::vector<std::string> ports;
    for (auto& [name, data] : platform::registry_string_values("Hardware\\DeviceMap\\SerialComm")) {
        if (ports.size() == kMaxSerialPorts)
            break;
        if (!data.empty() && data.size() <= kMaxSerialPortName)
            ports.push_back(std::move(data));
    }
    return ports;
}

} // namespace valdrun
