// The machine's devices on Linux: its USB serial ports, in the Ports class. Linux keeps no
// absent devices, so the hidden ones add nothing.
#include "platform/devices/machine_devices.h"
#include "platform/devices/usb_serial_ports.h"
#include "platform/foundation/last_error.h"
#include "platform/foundation/text_case.h"

namespace platform {

std::optional<std::vector<DeviceRecord>> machine_devices_of_class(std::string_view class_guid) {
    std::vector<DeviceRecord> result;
    if (equal_ignoring_case(class_guid, kPortsClass)) {
        result = usb_serial_ports();
    }
    set_last_error(kErrorSuccess);
    return result;
}

std::optional<std::vector<DeviceRecord>> machine_devices_of_all_classes(bool /*hidden_too*/) {
    set_last_error(kErrorSuccess);
    return usb_serial_ports();
}

bool remove_machine_device(const DeviceRecord& device) {
    return remove_usb_serial_device(device);
}

} // namespace platform
