#pragma once
// The serial port backends behind SerialPort::open's name dispatch.
#include "platform/serial/serial_port.h"

#include <memory>
#include <string>
#include <string_view>

namespace platform {

// A local serial device ("/dev/ttyACM0"), through the platform's native interface.
std::unique_ptr<SerialPort> open_native_port(const std::string& path);
// An RFC 2217 server ("rfc2217://host:port").
std::unique_ptr<SerialPort> open_rfc2217_port(std::string_view address);

// Where SerialPort::open goes for a name: an RFC 2217 address or a device path.
std::string resolve_port_name(std::string_view name);

} // namespace platform
