#pragma once
// What the terminal and a firmware file hold, side by side (the display rows), and the
// choice of terminals that may receive a file.
#include "terminal-plugin/protocol/firmware_image.h"
#include "terminal-plugin/protocol/serial_link.h"
#include "terminal-plugin/protocol/status_response.h"
#include "terminal-plugin/texts.h"
#include "terminal_detail.h"

#include <vup_plugin.h>

namespace vupporta {

// String numbers of the row labels.
inline constexpr unsigned kProductLabel = 747;
inline constexpr unsigned kApplicationVersionLabel = 748;
inline constexpr unsigned kFirmwareVersionLabel = 749;
inline constexpr unsigned kIdentificationLabel = 512;

// Fills rows from row 0 on: product, application version (application image or no file),
// firmware version (firmware image or no file), identification (binary firmware marker).
// Returns the number of rows written.
int fill_display_rows(std::string_view terminal_product, const StatusResponse& status,
                      const FirmwareImage* image, const Texts& texts, DisplayRow* rows);

// Loads the file (when a path is given), asks the terminal for its status and fills the
// rows: 0, 204, 729 or the status query's code. The port is closed on every path.
[[nodiscard]] VUPResult display_info(SerialLink& link, const TerminalDetail* terminal,
                                     const char* path, const Texts& texts, DisplayRow* rows);

// Sets the candidate flag of every listed terminal for the file: 0, 204, 753 or 754.
[[nodiscard]] VUPResult filter_devices(SerialLink& link, DeviceInfoEntry* list, const char* path,
                                       bool iv_flag, bool upgrade_only, const Texts& texts);

} // namespace vupporta
