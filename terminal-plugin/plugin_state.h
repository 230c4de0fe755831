#pragma once
// The plug-in's module-global state: one instance per loaded plug-in, used by the listing,
// filter and display calls, which the host makes one at a time. A download keeps its port,
// device monitor, abort flag and progress to itself and only reads the loaded texts, so
// downloads to different devices can run at the same time.
#include "resource_texts.h"
#include "terminal-plugin/protocol/serial_link.h"

namespace vupporta {

struct PluginState {
    ResourceTexts texts;
    // Platform class of the last listing; -1 before the first one.
    int platform_class = -1;
    // Set by the configuration option UPGRADEONLY; once on, it stays on.
    bool upgrade_only = false;
    SerialLink link; // the listing's and the display's port
};

PluginState& plugin_state();

} // namespace vupporta
