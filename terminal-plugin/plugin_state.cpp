#include "plugin_state.h"

namespace vupporta {

PluginState& plugin_state() {
    static PluginState state;
    return state;
}

} // namespace vupporta
