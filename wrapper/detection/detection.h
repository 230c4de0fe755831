#pragma once
// Detection: one pass over the routes that reach the described device, giving a detection
// result (result_codes.h) and what the window and the run report show of the device.
#include "platform/winapi/library.h"
#include "wrapper/detection/control_requests.h"
#include "wrapper/detection/stop_signal.h"
#include "wrapper/reader_description.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace valdrun {

class Housekeeping;

struct TerminalVersions {
    std::uint8_t app_major = 0, app_minor = 0;
    std::uint8_t fw_major = 0, fw_minor = 0, fw_build = 0;
};

struct PassSettings {
    int os_type = 5;
    bool remove_instance = false; // the window's run; check mode changes nothing
    // Looks for (and removes) the serial reader's device instance; null: the device lists
    // directly, as the machine's housekeeping does.
    Housekeeping* housekeeping = nullptr;
    // Check mode: a terminal description runs the reader checks under the terminal's name.
    bool check_mode = false;
    std::string brantel_library = "BRANTEL" MORLIN_LIBRARY_SUFFIX; // loaded by name
    std::vector<std::string> serial_ports;                         // the serial port list (slot 1)
};

// What one pass found. The detection thread publishes it whole, under the run record's lock.
struct PassOutcome {
    int result = 2;
    int reader_count = 0;
    int active_slot = 0;
    std::array<std::uint8_t, kVersionReplySize> version_reply{}; // readers (bytes 6, 7)
    TerminalVersions terminal;
    std::string other_reader_name;
    std::string terminal_port_name; // a terminal's port: the name in slot 0 from then on
};

PassOutcome detection_pass(const ReaderDescription& description, const PassSettings& settings,
                           StopSignal* stop = nullptr);

// The routes. Each adds to outcome.reader_count and returns its result.
int reader_route(const ReaderDescription& description, int slot, const PassSettings& settings,
                 PassOutcome& outcome, StopSignal* stop);
int device_interface_route(const ReaderDescription& description, PassOutcome& outcome);
int terminal_route(const ReaderDescription& description, const PassSettings& settings,
                   PassOutcome& outcome);
int serial_route(const ReaderDescription& description, const PassSettings& settings,
                 PassOutcome& outcome, StopSignal* stop);

// The reader's version comparison from a version reply (bytes 6 and 7) or the two numbers of
// a serial reply.
int compare_reader_version(std::uint8_t major, std::uint8_t minor,
                           const ReaderDescription& description);
// The result of a version request: 2 when it failed, else the comparison of the reply taken
// into the outcome's cleared version reply.
int version_request_result(const std::optional<std::vector<std::uint8_t>>& reply,
                           const ReaderDescription& description, PassOutcome& outcome);

} // namespace valdrun
