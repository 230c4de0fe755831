// The machine's USB serial ports from the device installer (SetupAPI): present devices of
// the Ports class with the USB enumerator, in the device set's order, with their hardware IDs
// and their device key's values (PortName, SymbolicName). A device whose key or PortName
// cannot be read is listed all the same, without the values, so that a lister can say so.
#include "platform/devices/device_installer_win32.h"
#include "platform/devices/usb_serial_ports.h"
#include "platform/foundation/text_case.h"
#include "platform/foundation/win32_text.h"

namespace platform {
namespace {

const GUID kPortsClassGuid = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

} // namespace

std::vector<DeviceRecord> usb_serial_ports() {
    std::vector<DeviceRecord> result;
    if (!real_ports_enabled()) {
        return result;
    }
    HDEVINFO set = ::SetupDiGetClassDevsW(&kPortsClassGuid, L"USB", nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) {
        return result;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        if (const auto instance = win32::instance_id_of(set, device)) {
            result.push_back(listed_port_record(
                win32::utf8(*instance),
                win32::hardware_ids_of(set, device).value_or(std::vector<std::string>{}),
                win32::device_key_of(set, device)));
        }
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return result;
}

bool remove_usb_serial_device(const DeviceRecord& device) {
    return win32::remove_device_instance(device.instance_id);
}

std::optional<DeviceRecord> usb_serial_port(std::string_view port_name) {
    for (auto& port : usb_serial_ports()) {
        const auto name = port.key_value("PortName");
        if (name && equal_ignoring_case(*name, port_name)) {
            return std::move(port);
        }
    }
    return std::nullopt;
}

} // namespace platform
