#pragma once
// What the Windows device lists read from the device installer (SetupAPI, the wide
// functions), for the files that list devices (usb_serial_ports_win32.cpp,
// machine_devices_win32.cpp). Only Windows files include this header.
#include "platform/devices/listed_port.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include <windows.h>
// windows.h first: setupapi.h uses its types.
#include <setupapi.h>

namespace platform::win32 {

// A GUID written "{4D36E978-E325-11CE-BFC1-08002BE10318}" (upper case) and back; nothing
// when the text is no GUID in braces.
std::string guid_text(const GUID& guid);
std::optional<GUID> guid_from_text(std::string_view text);

// The instance ID of a device of the set ("USB\VID_04E6&PID_1A02\5&2A3B&0&1").
std::optional<std::wstring> instance_id_of(HDEVINFO set, SP_DEVINFO_DATA& device);
// Its hardware IDs (SPDRP_HARDWAREID), most specific first. Nothing, with the thread's last
// error, when they cannot be read: ERROR_INVALID_DATA when the device has none.
std::optional<std::vector<std::string>> hardware_ids_of(HDEVINFO set, SP_DEVINFO_DATA& device);
// The device key's values that the lists carry (PortName, SymbolicName, ParentDevNode);
// nothing when the key cannot be opened.
std::optional<DeviceKeyValues> device_key_of(HDEVINFO set, SP_DEVINFO_DATA& device);

// Removes a device instance through its class installer (SetupDiCallClassInstaller with
// DIF_REMOVE, the device manager's "Uninstall"); a device that is attached comes back when it
// is plugged in again or the hardware is rescanned. False with the last error set.
bool remove_device_instance(std::string_view instance_id);

} // namespace platform::win32
