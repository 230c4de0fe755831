// The machine's devices from the device installer (SetupAPI): the present devices of a setup
// class with their device key's values, the present interfaces of a device interface class
// with their device paths, and every device of every class (absent ones too when asked) with
// its hardware IDs; removal through the class installer.
#include "platform/devices/device_installer_win32.h"
#include "platform/devices/machine_devices.h"
#include "platform/devices/usb_serial_ports.h"
#include "platform/foundation/last_error.h"
#include "platform/foundation/win32_text.h"

#include <memory>

namespace platform {
namespace {

struct DeviceSetCloser {
    void operator()(void* set) const { ::SetupDiDestroyDeviceInfoList(set); }
};
using DeviceSet = std::unique_ptr<void, DeviceSetCloser>;

// A device set of SetupDiGetClassDevs; null, with the last error set, when there is none.
DeviceSet class_devices(const GUID* class_guid, DWORD flags) {
    HDEVINFO set = ::SetupDiGetClassDevsW(class_guid, nullptr, nullptr, flags);
    if (set == INVALID_HANDLE_VALUE) {
        set_last_error(::GetLastError());
        return nullptr;
    }
    return DeviceSet(set);
}

// A device of a setup class: as a port is listed (listed_port.h), in its own class.
DeviceRecord setup_class_record(HDEVINFO set, SP_DEVINFO_DATA& device, std::wstring instance_id,
                                const GUID& class_guid) {
    return listed_port_record(
        win32::utf8(instance_id),
        win32::hardware_ids_of(set, device).value_or(std::vector<std::string>{}),
        win32::device_key_of(set, device), win32::guid_text(class_guid));
}

bool add_setup_class_devices(const GUID& class_guid, std::vector<DeviceRecord>& devices) {
    const DeviceSet set = class_devices(&class_guid, DIGCF_PRESENT);
    if (!set) {
        return false;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set.get(), index, &device); ++index) {
        if (auto instance = win32::instance_id_of(set.get(), device)) {
            devices.push_back(
                setup_class_record(set.get(), device, std::move(*instance), device.ClassGuid));
        }
    }
    return true;
}

// The device path of an interface and the device that carries it.
std::optional<std::wstring> interface_path_of(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& entry,
                                              SP_DEVINFO_DATA& device) {
    DWORD size = 0;
    ::SetupDiGetDeviceInterfaceDetailW(set, &entry, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
        return std::nullopt;
    }
    // The detail structure is followed by the path; the buffer is aligned for the structure.
    auto buffer = std::make_unique<SP_DEVICE_INTERFACE_DETAIL_DATA_W[]>(
        size / sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) + 1);
    buffer[0].cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (!::SetupDiGetDeviceInterfaceDetailW(set, &entry, buffer.get(), size, nullptr, &device)) {
        return std::nullopt;
    }
    return std::wstring(buffer[0].DevicePath);
}

bool add_interfaces(const GUID& interface_class, std::vector<DeviceRecord>& devices) {
    const DeviceSet set = class_devices(&interface_class, DIGCF_DEVICEINTERFACE | DIGCF_PRESENT);
    if (!set) {
        return false;
    }
    SP_DEVICE_INTERFACE_DATA entry{};
    entry.cbSize = sizeof entry;
    for (DWORD index = 0;
         ::SetupDiEnumDeviceInterfaces(set.get(), nullptr, &interface_class, index, &entry);
         ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        auto path = interface_path_of(set.get(), entry, device);
        auto instance = path ? win32::instance_id_of(set.get(), device) : std::nullopt;
        if (!instance) {
            continue;
        }
        DeviceRecord record =
            setup_class_record(set.get(), device, std::move(*instance), interface_class);
        record.interface_path = win32::utf8(*path);
        devices.push_back(std::move(record));
    }
    return true;
}

} // namespace

std::optional<std::vector<DeviceRecord>> machine_devices_of_class(std::string_view class_guid) {
    const auto guid = win32::guid_from_text(class_guid);
    if (!guid) {
        set_last_error(kErrorInvalidParameter);
        return std::nullopt;
    }
    std::vector<DeviceRecord> devices;
    if (real_ports_enabled() &&
        (!add_setup_class_devices(*guid, devices) || !add_interfaces(*guid, devices))) {
        return std::nullopt;
    }
    set_last_error(kErrorSuccess);
    return devices;
}

std::optional<std::vector<DeviceRecord>> machine_devices_of_all_classes(bool hidden_too) {
    std::vector<DeviceRecord> devices;
    if (!real_ports_enabled()) {
        set_last_error(kErrorSuccess);
        return devices;
    }
    const DeviceSet set =
        class_devices(nullptr, DIGCF_ALLCLASSES | (hidden_too ? 0u : DWORD{DIGCF_PRESENT}));
    if (!set) {
        return std::nullopt;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set.get(), index, &device); ++index) {
        const auto instance = win32::instance_id_of(set.get(), device);
        auto hardware_ids = win32::hardware_ids_of(set.get(), device);
        if (!hardware_ids && ::GetLastError() != ERROR_INVALID_DATA) {
            break; // unreadable: the devices so far are the answer
        }
        if (!instance || !hardware_ids || hardware_ids->empty()) {
            continue;
        }
        DeviceRecord record;
        record.instance_id = win32::utf8(*instance);
        record.class_guid = win32::guid_text(device.ClassGuid);
        record.hardware_ids = std::move(*hardware_ids);
        record.source = record.instance_id;
        devices.push_back(std::move(record));
    }
    set_last_error(kErrorSuccess);
    return devices;
}

bool remove_machine_device(const DeviceRecord& device) {
    return win32::remove_device_instance(device.instance_id);
}

} // namespace platform
