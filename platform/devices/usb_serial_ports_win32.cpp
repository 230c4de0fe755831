// The machine's USB serial ports from the device installer (SetupAPI): present devices of
// the Ports class with the USB enumerator, their hardware IDs and their device key's PortName.
#include "platform/devices/usb_serial_ports.h"
#include "platform/foundation/last_error.h"

#include <algorithm>
#include <windows.h>
// windows.h first: setupapi.h uses its types.
#include <setupapi.h>

namespace platform {
namespace {

const GUID kPortsClassGuid = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

std::vector<std::string> multi_string(const std::vector<char>& bytes) {
    std::vector<std::string> strings;
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\0') {
            if (i == start) {
                break;
            }
            strings.emplace_back(bytes.data() + start, i - start);
            start = i + 1;
        }
    }
    return strings;
}

std::optional<DeviceRecord> record_of(HDEVINFO set, SP_DEVINFO_DATA& device) {
    char instance[512] = {};
    if (!::SetupDiGetDeviceInstanceIdA(set, &device, instance, sizeof instance, nullptr)) {
        return std::nullopt;
    }
    std::vector<char> ids(4096);
    DWORD size = 0;
    if (!::SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, nullptr,
                                             reinterpret_cast<BYTE*>(ids.data()),
                                             static_cast<DWORD>(ids.size() - 2), &size)) {
        return std::nullopt;
    }
    HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    char port_name[64] = {};
    DWORD port_size = sizeof port_name - 1;
    const LONG status = ::RegQueryValueExA(key, "PortName", nullptr, nullptr,
                                           reinterpret_cast<BYTE*>(port_name), &port_size);
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DeviceRecord record;
    record.class_guid = std::string(kPortsClass);
    record.instance_id = instance;
    record.hardware_ids = multi_string(ids);
    record.device_key.insert_or_assign("PortName", std::string(port_name));
    record.port_address = std::string("\\\\.\\") + port_name;
    record.source = record.port_address;
    return record;
}

} // namespace

std::vector<DeviceRecord> usb_serial_ports() {
    std::vector<DeviceRecord> result;
    if (!real_ports_enabled()) {
        return result;
    }
    HDEVINFO set = ::SetupDiGetClassDevsA(&kPortsClassGuid, "USB", nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) {
        return result;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        if (auto record = record_of(set, device)) {
            result.push_back(std::move(*record));
        }
    }
    ::SetupDiDestroyDeviceInfoList(set);
    std::sort(result.begin(), result.end(), [](const DeviceRecord& a, const DeviceRecord& b) {
        return a.port_address < b.port_address;
    });
    return result;
}

// Removes the device instance through its class installer (the device manager's
// "Uninstall"); the device comes back when it is plugged in again or the hardware is rescanned.
bool remove_usb_serial_device(const DeviceRecord& device) {
    HDEVINFO set = ::SetupDiCreateDeviceInfoList(nullptr, nullptr);
    if (set == INVALID_HANDLE_VALUE) {
        set_last_error(::GetLastError());
        return false;
    }
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    const bool removed =
        ::SetupDiOpenDeviceInfoA(set, device.instance_id.c_str(), nullptr, 0, &data) &&
        ::SetupDiCallClassInstaller(DIF_REMOVE, set, &data);
    const DWORD error = removed ? ERROR_SUCCESS : ::GetLastError();
    ::SetupDiDestroyDeviceInfoList(set);
    set_last_error(error);
    return removed;
}

std::optional<DeviceRecord> usb_serial_port(std::string_view port_name) {
    for (auto& port : usb_serial_ports()) {
        const auto name = port.key_value("PortName");
        if (name && name->size() == port_name.size() &&
            std::equal(name->begin(), name->end(), port_name.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            })) {
            return std::move(port);
        }
    }
    return std::nullopt;
}

} // namespace platform
