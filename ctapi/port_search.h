#pragma once
// Where the terminal's serial port is: the present devices of the OS family's device class
// that are Halvane terminals, and their port paths ("\\.\" and the device key's PortName).
#include "os_family.h"
#include "platform/devices/device_set.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brantel {

inline constexpr std::string_view kTerminalEnumerator = "USB\\Vid_04e6&Pid_1a02";
inline constexpr std::string_view kWindows9xTerminalMark = "Ostrum";
inline constexpr std::size_t kHardwareIdBufferSize = 100; // bytes, with the terminators
inline constexpr std::size_t kPortNameBufferSize = 8;     // PortName of up to 7 characters
inline constexpr std::size_t kPortPathBufferSize = 40;    // saved port path with its zero

// The device class searched and watched on this OS family (Modem on Windows 9x, else Ports).
std::string_view terminal_device_class(OsFamily family);

// "\\.\" followed by `port_name`.
std::string port_path_of(std::string_view port_name);
// "\\.\COM" followed by `number`.
std::string com_port_path(unsigned number);

// The device path of `device` when it is a terminal port of this OS family with a usable
// PortName; nothing otherwise.
[[nodiscard]] std::optional<std::string> terminal_port_path(OsFamily family,
                                                            const platform::DeviceRecord& device);

// The device paths of the present terminal ports, in the device set's order. Devices without
// a usable PortName (missing, or 8 characters or more) are skipped. Nothing when the device
// set cannot be made.
[[nodiscard]] std::optional<std::vector<std::string>> present_terminal_port_paths(OsFamily family);

// Whether the process runs in a remote session (Remote Desktop; never on Linux).
bool running_in_remote_session();

// Presence check: whether `port_path` is among the present terminal ports (ignoring case).
// Always true in a remote session.
[[nodiscard]] bool terminal_port_present(OsFamily family, std::string_view port_path);

} // namespace brantel
