#pragma once
// The serial port list: the data of every value under HKEY_LOCAL_MACHINE
// "Hardware\DeviceMap\SerialComm", in enumeration order, where the registry (or its stand-in)
// has that key; otherwise the port names of the serial ports in the device lists. Room for 7 names
// of up to 11 characters: further ports are left out, and a longer name is skipped (cutting it
// would name another port).
#include <string>
#include <vector>

namespace valdrun {

inline constexpr std::size_t kMaxSerialPorts = 7;
inline constexpr std::size_t kMaxSerialPortName = 11;

std::vector<std::string> read_serial_port_list();

} // namespace valdrun
