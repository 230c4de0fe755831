#pragma once
// The plug-in's module-global state: one instance per loaded plug-in. The host makes one
// plug-in call at a time; the device monitor thread shares only the armed and abort flags.
#include "resource_texts.h"
#include "terminal-plugin/protocol/device_monitor.h"
#include "terminal-plugin/protocol/serial_link.h"

namespace vupporta {

struct PluginState {
    ResourceTexts texts;
    // Platform class of the last listing; -1 before the first one.
    int platform_class = -1;
    // Set by the configuration option UPGRADEONLY; once on, it stays on.
    bool upgrade_only = false;
    SerialLink link;
    DeviceMonitor monitor;
};

PluginState& plugin_state();

} // namespace vupporta
