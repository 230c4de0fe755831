#include "wrapper/detection/detection.h"

#include "wrapper/housekeeping/device_instance.h"
#include "wrapper/housekeeping/housekeeping.h"
#include "wrapper/os_type.h"
#include "wrapper/result_codes.h"

namespace valdrun {
namespace {

// The serial reader's device instance, hidden ones included: removed on the older platforms,
// only looked for on the 2000 and XP classes. Detection goes on whatever it finds.
void handle_serial_reader_instance(const ReaderDescription& description,
                                   const PassSettings& settings) {
    const bool remove = settings.os_type != kOsWindows2000 && settings.os_type != kOsWindowsXp;
    if (settings.housekeeping != nullptr) {
        static_cast<void>(settings.housekeeping->check_if_already_installed_and_remove_if(
            description.hardware_id, remove, true));
    } else {
        static_cast<void>(find_device_instance(description.hardware_id, remove, true));
    }
}

} // namespace

int compare_reader_version(std::uint8_t major, std::uint8_t minor,
                           const ReaderDescription& description) {
    return compare_versions(
        Version{major, minor, kNoBuild},
        Version{description.target_firmware.major, description.target_firmware.minor, kNoBuild},
        true);
}

int version_request_result(const std::optional<std::vector<std::uint8_t>>& reply,
                           const ReaderDescription& description, PassOutcome& outcome) {
    outcome.version_reply = {};
    if (!reply)
        return kDetectedNothing;
    outcome.version_reply = version_reply_from(*reply);
    return compare_reader_version(outcome.version_reply[kFirmwareMajorByte],
                                  outcome.version_reply[kFirmwareMinorByte], description);
}

PassOutcome detection_pass(const ReaderDescription& description, const PassSettings& settings,
                           StopSignal* stop) {
    PassOutcome outcome;
    outcome.active_slot = description.active_slot;
    if (description.terminal && !settings.check_mode) {
        outcome.result = terminal_route(description, settings, outcome);
        return outcome;
    }
    int result = kDetectedNothing;
    if (description.slot_described(0)) {
        outcome.active_slot = 0;
        result = reader_route(description, 0, settings, outcome, stop);
        const bool counted = outcome.reader_count > 0;
        if (result == kDetectedNothing && !(stop && stop->stopped()))
            result = device_interface_route(description, outcome);
        if (result == kDetectedNothing && counted)
            result = kDetectedOtherReader;
    }
    if (result == kDetectedNothing && description.slot_described(1) && !(stop && stop->stopped())) {
        outcome.active_slot = 1;
        result = reader_route(description, 1, settings, outcome, stop);
        if (result == kDetectedUpdateDue && settings.remove_instance)
            handle_serial_reader_instance(description, settings);
        if (result == kDetectedNothing && settings.os_type == 2)
            result = serial_route(description, settings, outcome, stop);
        if (result == kDetectedNothing && outcome.reader_count > 0)
            result = kDetectedOtherReader;
    }
    outcome.result = result;
    return outcome;
}

} // namespace valdrun
