#pragma once
// What one start of Morlin did, for the machine-readable run history (MORLIN_RESULT_FILE):
// the course, the configuration, every download with its result, and the outcome.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace morlin {

struct DownloadRecord {
    std::string file;    // as listed in the configuration
    std::string plugin;  // the plug-in's file name
    std::string device;  // the device's display name in the plug-in's list
    int result = 0;      // the plug-in's result code (0 success)
    std::string message; // the plug-in's text for a non-zero result
    std::uint64_t bytes = 0;
    double seconds = 0.0;
};

enum class RunOutcome { Failed, Ok, Cancelled };

struct RunRecord {
    std::string started;                      // UTC, "2026-12-09T15:23:24Z"
    std::string course;                       // "none" until a course is chosen
    std::optional<std::string> configuration; // the configuration file read, if any
    bool silent = false;
    std::vector<DownloadRecord> downloads;
    bool succeeded = false;  // set by the course that finished its work without a failure
    std::string first_error; // the text of the first error box, if any

    void note_error(const std::string& text) {
        if (first_error.empty()) {
            first_error = text;
        }
    }
};

// The outcome scripts read: cancelled when a stop request came, else ok or failed.
RunOutcome run_outcome(const RunRecord& record, bool stop_requested);

} // namespace morlin
