#pragma once
// The serial reader's device instance: looked for by hardware identifier among every device
// of every class, and removed when asked (a simulated reader's announcement is withdrawn; a
// real device only with the user's consent, docs/valdrun.md "Housekeeping").
#include <string_view>

namespace valdrun {

// True when a device carries `hardware_id` (compared ignoring case) and, when `remove` is
// asked, every such device was removed: a failed removal gives false unless a later device
// matches again. `hidden_too` adds absent devices (SetupAPI keeps them on Windows; Linux
// keeps none).
bool find_device_instance(std::string_view hardware_id, bool remove, bool hidden_too);

} // namespace valdrun
