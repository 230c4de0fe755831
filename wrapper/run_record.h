#pragma once
// The run record: everything one run of Valdrun knows, created by the application object
// before the main window opens. The detection thread publishes each pass's outcome under the
// record's lock; the window reads it under the same lock.
#include "wrapper/detection/detection.h"
#include "wrapper/messages.h"
#include "wrapper/reader_description.h"

#include <mutex>
#include <string>
#include <vector>

namespace valdrun {

// Run phases.
inline constexpr int kPhaseChecking = 0;
inline constexpr int kPhaseOffered = 5;        // the Upgrade offer waits for the user
inline constexpr int kPhaseUpgradeClicked = 6; // until the next look at the detection result
inline constexpr int kPhaseUpdating = 7;

struct RunRecord {
    ReaderDescription description;
    std::string window_title = "Valdrun utility";
    std::string program_path;
    std::string program_folder; // with a trailing separator
    std::string version_line;
    bool remove_instance = false;
    int os_type = 5;
    int result_code = 0;
    int run_phase = 0; // 0 checking, 5 Upgrade offered, 6 Upgrade clicked, 7 update started
    bool first_notice = true;
    std::vector<std::string> serial_ports;
    std::string tool_not_started; // the path of an update tool that could not be started

    // Detection, under `lock`.
    std::mutex lock;
    PassOutcome detected; // result 2 before the first pass
    bool result_ready = false;

    void publish(const PassOutcome& outcome) {
        std::lock_guard guard(lock);
        detected = outcome;
        result_ready = true;
    }
    // A copy of the last outcome; nothing before the first.
    std::optional<PassOutcome> latest() {
        std::lock_guard guard(lock);
        return result_ready ? std::optional(detected) : std::nullopt;
    }
};

} // namespace valdrun
