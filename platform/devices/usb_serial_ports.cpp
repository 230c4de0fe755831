// The records of USB serial ports, the same on every platform; the list itself comes from the
// platform (usb_serial_ports_<platform>.cpp).
#include "platform/devices/usb_serial_ports.h"

#include "platform/foundation/test_hooks.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace platform {
namespace {

std::string hex4(int value, bool upper) {
    char text[8];
    std::snprintf(text, sizeof text, upper ? "%04X" : "%04x", value & 0xFFFF);
    return text;
}

// A serial number as a path element: '#', '\' and control characters would break the paths.
std::string path_element(std::string_view text) {
    std::string out;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        out += (c == '#' || c == '\\' || c == '/' || u < 0x20 || u == 0x7F) ? '_' : c;
    }
    return out;
}

} // namespace

bool real_ports_enabled() {
    const char* setting = std::getenv("MORLIN_REAL_PORTS");
    return setting == nullptr || std::string_view(setting) != "none";
}

bool real_device_removal_allowed() {
    const char* setting = test_hook_variable("MORLIN_REMOVE_REAL_DEVICES");
    return setting != nullptr && std::string_view(setting) == "yes";
}

DeviceRecord usb_port_record(std::string_view port_name, int vid, int pid,
                             std::string_view serial) {
    const std::string instance = path_element(serial.empty() ? port_name : serial);
    const std::string vid_pid_lower = "Vid_" + hex4(vid, false) + "&Pid_" + hex4(pid, false);
    const std::string interface_tail =
        "USB#" + vid_pid_lower + "#" + instance + "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    DeviceRecord record;
    record.class_guid = "{4D36E978-E325-11CE-BFC1-08002BE10318}";
    record.instance_id =
        "USB\\VID_" + hex4(vid, true) + "&PID_" + hex4(pid, true) + "\\" + instance;
    record.hardware_ids = {"USB\\" + vid_pid_lower + "&Rev_0000", "USB\\" + vid_pid_lower};
    record.device_key.insert_or_assign("PortName", std::string(port_name));
    record.device_key.insert_or_assign("SymbolicName", "\\??\\" + interface_tail);
    record.interface_path = "\\\\?\\" + interface_tail;
    record.port_address = "/dev/" + std::string(port_name);
    record.source = record.port_address;
    return record;
}

} // namespace platform
