#include "platform/devices/listed_port.h"

namespace platform {
namespace {

constexpr std::string_view kUsbDeviceInterfaceTail = "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

// "\??\USB#..." (the NT form a device key holds) as "\\?\USB#..." (the Win32 form).
std::string win32_device_path(std::string symbolic_name) {
    if (symbolic_name.starts_with("\\??\\")) {
        symbolic_name[1] = '\\';
    }
    return symbolic_name;
}

std::string interface_path_of_instance(std::string_view instance_id) {
    std::string path = "\\\\?\\";
    for (char c : instance_id) {
        path += c == '\\' ? '#' : c;
    }
    path += kUsbDeviceInterfaceTail;
    return path;
}

} // namespace

DeviceRecord listed_port_record(std::string instance_id, std::vector<std::string> hardware_ids,
                                std::optional<DeviceKeyValues> device_key, std::string class_guid) {
    DeviceRecord record;
    record.class_guid = std::move(class_guid);
    record.instance_id = std::move(instance_id);
    record.hardware_ids = std::move(hardware_ids);
    if (device_key) {
        record.device_key = std::move(*device_key);
    }
    const auto symbolic_name = record.key_value("SymbolicName");
    record.interface_path = symbolic_name ? win32_device_path(*symbolic_name)
                                          : interface_path_of_instance(record.instance_id);
    const auto port_name = record.key_value("PortName");
    record.port_address = port_name ? "\\\\.\\" + *port_name : std::string();
    record.source = port_name ? record.port_address : record.instance_id;
    return record;
}

} // namespace platform
