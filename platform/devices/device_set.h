#pragma once
// The device installer as the subsystems use it: present devices of a setup class or device
// interface class, optionally filtered by enumerator, with their hardware IDs and device-key
// values. Sources: the machine's own devices (machine_devices.h: SetupAPI on Windows, the USB
// serial ports of udev on Linux) and the simulated devices announced in the folder named by
// MORLIN_DEVICES (format in docs/simulation.md).
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

inline constexpr std::string_view kPortsClass = "{4D36E978-E325-11CE-BFC1-08002BE10318}";
inline constexpr std::string_view kModemClass = "{4D36E96D-E325-11CE-BFC1-08002BE10318}";
inline constexpr std::string_view kUsbDeviceInterface = "{A5DCBF10-6530-11D2-901F-00C04FB951ED}";

struct CaseInsensitiveLess {
    bool operator()(std::string_view a, std::string_view b) const;
    using is_transparent = void;
};

// A class GUID as the device lists write it: "{4D36E978-E325-11CE-BFC1-08002BE10318}", braces,
// hex digits in upper case and dashes in the GUID places; nothing when the text is no GUID.
std::optional<std::string> normalized_guid(std::string_view text);

struct DeviceRecord {
    std::string instance_id;               // "USB\VID_04E6&PID_1A02\5&2A3B&0&1"
    std::string class_guid;                // setup class or interface class, braces, upper case
    std::vector<std::string> hardware_ids; // SPDRP_HARDWAREID, most specific first
    // The device key's values (PortName, SymbolicName, ParentDevNode, ...), names ignoring case.
    std::map<std::string, std::string, CaseInsensitiveLess> device_key;
    std::string interface_path; // device path of an interface-class device ("\\?\USB#...")
    std::string port_address;   // where its serial port is reached (device path or rfc2217://)
    std::string source;         // announcement file, machine's port or instance ID; for removal

    // The hardware IDs as the REG_MULTI_SZ bytes SetupDiGetDeviceRegistryProperty returns.
    std::string hardware_id_multi_string() const;
    std::optional<std::string> key_value(std::string_view name) const;
};

// SetupDiGetClassDevs(DIGCF_PRESENT): the present devices of the setup class or device
// interface class `class_guid` (any letter case, with braces) whose instance ID begins with
// `enumerator` (ignoring case; empty = all), in a stable order (the machine's devices in the
// device installer's order, then announcements by file name). Nothing, with the last error
// set, when the list cannot be made (kErrorInvalidParameter: `class_guid` is no GUID).
[[nodiscard]] std::optional<std::vector<DeviceRecord>>
present_devices(std::string_view class_guid, std::string_view enumerator = {});

// SetupDiGetClassDevs(DIGCF_ALLCLASSES): every device of every class that the device lists
// know, in the same order; with `hidden_too` the absent ones as well (DIGCF_PRESENT left
// out). Linux keeps no absent devices, so there are no hidden ones to add there.
[[nodiscard]] std::optional<std::vector<DeviceRecord>> all_devices(bool hidden_too);

// A value of a key below HKEY_LOCAL_MACHINE that a device carries beside its device key, such
// as "Enum\USB\VID_04E6&PID_1A02\0001" / SymbolicName; falls back to the registry stand-in.
std::optional<std::string> machine_key_value(std::string_view key, std::string_view name);

// Removes a device instance (SetupDiCallClassInstaller(DIF_REMOVE)): a simulated device's
// announcement is deleted. A device of the machine is removed only when the user has allowed
// it (MORLIN_REMOVE_REAL_DEVICES=yes, usb_serial_ports.h); otherwise false, kErrorNotSupported.
[[nodiscard]] bool remove_device(const DeviceRecord& device);

} // namespace platform
