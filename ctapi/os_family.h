#pragma once
// The library's own platform classification, which chooses the device class of the port
// search and of the device monitor.
#include <cstdint>

namespace brantel {

enum class OsFamily : std::uint8_t {
    Windows9x = 0,     // Windows 95/98/Me: the terminal is a modem device marked "Ostrum"
    Windows2000Up = 1, // Windows 2000 and later: a USB port with the terminal's IDs
    Other = 4,         // NT 4 and older, any other system, or the version query failed
};

// The platform test: asks the version query of the system.
[[nodiscard]] OsFamily query_os_family();

} // namespace brantel
