#pragma once
// The plug-in's record behind each device information entry: what it needs to reach the
// terminal again. Allocated zero-filled when the terminal is listed, freed when the list is
// destroyed.
#include <cstddef>
#include <vup_plugin.h>

namespace vupporta {

struct TerminalDetail {
    char product_name[VUP_TEXT_SIZE];  // "Halvane" or "Pellax"
    char port_name[VUP_TEXT_SIZE];     // the device key's PortName ("COM3")
    char symbolic_name[VUP_TEXT_SIZE]; // the device key's SymbolicName; empty when unread
    char reserved[2];
};
static_assert(sizeof(TerminalDetail) == 782);
static_assert(offsetof(TerminalDetail, port_name) == 260);
static_assert(offsetof(TerminalDetail, symbolic_name) == 520);

// The entry that a device index selects: only its low 8 bits count. Null when the index lies
// beyond the list or selects an entry that holds no terminal.
inline const TerminalDetail* terminal_at(const DeviceInfoEntry* list, int device_index) {
    const auto index = static_cast<unsigned>(device_index) & 0xFFu;
    if (list == nullptr || index >= VUP_DEVICE_LIST_SIZE || list[index].name[0] == '\0') {
        return nullptr;
    }
    return static_cast<const TerminalDetail*>(list[index].detail);
}

} // namespace vupporta
