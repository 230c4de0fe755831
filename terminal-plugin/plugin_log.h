#pragma once
// The plug-in's log: every line goes to the host's logger function, which writes it to the
// host's log file. Until the host hands one over, lines go nowhere.
#include <vup_plugin.h>

namespace vupporta {

// Source module names of the "%s(%i)" lines.
inline constexpr const char* kModule = "VUPPorta";
inline constexpr const char* kMonitorModule = "DeviceMonitor";

// Installs the host's logger (null: lines go nowhere). Any thread may log meanwhile.
void set_logger(VUPLogger logger);

// Formats one line printf-style and hands it to the host's logger as one call.
void log_line(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace vupporta
