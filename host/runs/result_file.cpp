#include "host/runs/result_file.h"

#include "platform/files/append_file.h"
#include "platform/foundation/last_error.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <nlohmann/json.hpp>

namespace morlin {

namespace {

const char* outcome_name(RunOutcome outcome) {
    switch (outcome) {
    case RunOutcome::Ok:
        return "ok";
    case RunOutcome::Cancelled:
        return "cancelled";
    case RunOutcome::Failed:
        break;
    }
    return "failed";
}

} // namespace

RunOutcome run_outcome(const RunRecord& record, bool stop_requested) {
    if (stop_requested) {
        return RunOutcome::Cancelled;
    }
    return record.succeeded ? RunOutcome::Ok : RunOutcome::Failed;
}

std::string utc_timestamp_now() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
    if (const std::tm* converted = std::gmtime(&now)) {
        utc = *converted;
    }
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string result_line(const RunRecord& record, RunOutcome outcome, int exit_code) {
    // Texts from plug-ins and files are not always valid UTF-8: replace what is not.
    constexpr auto kReplace = nlohmann::json::error_handler_t::replace;
    nlohmann::ordered_json line;
    line["time"] = record.started;
    line["course"] = record.course;
    line["configuration"] =
        record.configuration ? nlohmann::ordered_json(*record.configuration) : nullptr;
    line["silent"] = record.silent;
    line["downloads"] = nlohmann::ordered_json::array();
    for (const DownloadRecord& download : record.downloads) {
        line["downloads"].push_back({{"file", download.file},
                                     {"plugin", download.plugin},
                                     {"device", download.device},
                                     {"result", download.result},
                                     {"message", download.message},
                                     {"bytes", download.bytes},
                                     {"seconds", download.seconds}});
    }
    line["outcome"] = outcome_name(outcome);
    line["exit_code"] = exit_code;
    line["error"] = record.first_error.empty() ? nlohmann::ordered_json(nullptr)
                                               : nlohmann::ordered_json(record.first_error);
    return line.dump(-1, ' ', false, kReplace) + "\n";
}

void append_to_result_file(const RunRecord& record, RunOutcome outcome, int exit_code) {
    const char* path = std::getenv("MORLIN_RESULT_FILE");
    if (path == nullptr || *path == '\0') {
        return;
    }
    if (!platform::append_record(path, result_line(record, outcome, exit_code))) {
        std::fprintf(stderr, "Morlin: cannot append to the result file %s: %s\n", path,
                     platform::system_message(platform::last_error()).c_str());
    }
}

} // namespace morlin
