// The machine's USB serial ports from the device installer (SetupAPI): present devices of
// the Ports class with the USB enumerator, in the device set's order, with their hardware IDs
// and their device key's values (PortName, SymbolicName). A device whose key or PortName
// cannot be read is listed all the same, without the values, so that a lister can say so.
#include "platform/devices/listed_port.h"
#include "platform/devices/usb_serial_ports.h"
#include "platform/foundation/last_error.h"
#include "platform/foundation/win32_text.h"

#include <algorithm>
#include <cctype>
#include <windows.h>
// windows.h first: setupapi.h uses its types.
#include <setupapi.h>

namespace platform {
namespace {

const GUID kPortsClassGuid = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// A REG_MULTI_SZ value as its strings (up to the first empty one).
std::vector<std::string> multi_string(const std::wstring& value) {
    std::vector<std::string> strings;
    std::size_t start = 0;
    while (start < value.size() && value[start] != L'\0') {
        std::size_t end = value.find(L'\0', start);
        if (end == std::wstring::npos) {
            end = value.size();
        }
        strings.push_back(win32::utf8(std::wstring_view(value).substr(start, end - start)));
        start = end + 1;
    }
    return strings;
}

std::optional<std::wstring> instance_id_of(HDEVINFO set, SP_DEVINFO_DATA& device) {
    DWORD size = 0;
    ::SetupDiGetDeviceInstanceIdW(set, &device, nullptr, 0, &size);
    std::wstring id(size + 1, L'\0');
    if (!::SetupDiGetDeviceInstanceIdW(set, &device, id.data(), static_cast<DWORD>(id.size()),
                                       nullptr)) {
        return std::nullopt;
    }
    id.resize(id.find(L'\0'));
    return id;
}

std::vector<std::string> hardware_ids_of(HDEVINFO set, SP_DEVINFO_DATA& device) {
    DWORD size = 0;
    ::SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, nullptr, nullptr, 0, &size);
    std::wstring ids(size / sizeof(wchar_t) + 2, L'\0');
    if (size == 0 ||
        !::SetupDiGetDeviceRegistryPropertyW(
            set, &device, SPDRP_HARDWAREID, nullptr, reinterpret_cast<BYTE*>(ids.data()),
            static_cast<DWORD>((ids.size() - 2) * sizeof(wchar_t)), nullptr)) {
        return {};
    }
    return multi_string(ids);
}

std::optional<std::string> text_value(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value.data()),
                           &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.resize(std::min(value.find(L'\0'), static_cast<std::size_t>(size / sizeof(wchar_t))));
    return win32::utf8(value);
}

// The device key's values that listers read; nothing when the key cannot be opened.
std::optional<DeviceKeyValues> device_key_of(HDEVINFO set, SP_DEVINFO_DATA& device) {
    HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    DeviceKeyValues values;
    for (const wchar_t* name : {L"PortName", L"SymbolicName"}) {
        if (auto value = text_value(key, name)) {
            values.insert_or_assign(win32::utf8(name), std::move(*value));
        }
    }
    ::RegCloseKey(key);
    return values;
}

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
        if (const auto instance = instance_id_of(set, device)) {
            result.push_back(listed_port_record(
                win32::utf8(*instance), hardware_ids_of(set, device), device_key_of(set, device)));
        }
    }
    ::SetupDiDestroyDeviceInfoList(set);
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
