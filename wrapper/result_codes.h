#pragma once
// Valdrun's result codes (the process exit code) and the detection results they come from.
#include <cstdint>

namespace valdrun {

enum ResultCode : int {
    kResultLoaded = 0,           // firmware loaded (also: nothing decided otherwise)
    kResultUpdateDue = 1,        // check mode: an update is due
    kResultNotFound = 2,         // no described reader, or its query failed
    kResultUpToDate = 3,         // the device is up to date
    kResultOtherReader = 4,      // a reader was found, but not the described one
    kResultCancelled = 5,        // cancelled in the main window
    kResultDescriptionError = 6, // the reader description is missing, incomplete or unusable
    kResultUpdateFailed = 7,     // the update failed or the tool could not be started
    kResultServiceFailed = 9,    // stopping or restarting the smart-card services failed
    kResultFirmwareTooOld = 11,  // the reader's firmware is too old to be updated
    kResultToolCancelled = 12,   // the update tool reported that it was cancelled
};

// Detection results. A terminal's result is the application comparison times 16 plus the
// firmware comparison, each 0, 1 or 2.
enum DetectionResult : int {
    kDetectedUpToDate = 0,
    kDetectedUpdateDue = 1,
    kDetectedNothing = 2,
    kDetectedOtherReader = 3,
    kDetectedTooOld = 4,
};

// A terminal's result from its two comparisons, and back.
constexpr int terminal_result(int application, int firmware) {
    return application * 16 + firmware;
}
constexpr int application_part(int terminal_result) {
    return terminal_result >> 4;
}
constexpr int firmware_part(int terminal_result) {
    return terminal_result & 0x0F;
}

// The fixed mapping: 0 -> 3, 1 -> 1, 3 -> 4, 4 -> 11, anything else (2 and every combined
// terminal result) -> 2.
constexpr int result_code_for(int detection) {
    switch (detection) {
    case kDetectedUpToDate:
        return kResultUpToDate;
    case kDetectedUpdateDue:
        return kResultUpdateDue;
    case kDetectedOtherReader:
        return kResultOtherReader;
    case kDetectedTooOld:
        return kResultFirmwareTooOld;
    default:
        return kResultNotFound;
    }
}

} // namespace valdrun
