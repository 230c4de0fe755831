#pragma once
// Lists the attached Halvane and Pellax terminals: USB devices presenting as COM ports (the
// Ports class by enumerator on the NT family, modem-class devices with the maker's hardware
// ID marks on the Windows 9x family).
#include <vup_plugin.h>

namespace vupporta {

// Platform class: 0 Windows 9x family, 1 NT family, 2 other.
inline constexpr int kPlatformWindows9x = 0;
inline constexpr int kPlatformNt = 1;
inline constexpr int kPlatformOther = 2;

// The number of leading entries with a name.
int count_entries(const DeviceInfoEntry* list);

// Appends one entry per terminal after the entries already in the list: 0, or 201 when a
// detail record cannot be allocated (entries added so far stay).
[[nodiscard]] VUPResult enumerate_terminals(DeviceInfoEntry* list, int platform_class);

// Frees the detail records of the listed entries; the entries themselves stay as they are.
void free_terminal_details(DeviceInfoEntry* list);

} // namespace vupporta
