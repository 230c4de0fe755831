// What a termination signal does, by the stage of the run.
#include "wrapper/termination.h"

#include "platform/processes/termination_watch.h"
#include "wrapper/report/run_report.h"
#include "wrapper/result_codes.h"
#include "wrapper/trust.h"

#include <atomic>
#include <string>
#include <unistd.h>

namespace valdrun {
namespace {

std::atomic<bool> g_updating{false};
std::atomic<bool> g_ending{false};
std::atomic<bool> g_tool_ended{false};

// The second signal: everything stopped is started at once, the report tells it, the process
// ends; the main thread, wherever it waits, is not waited for.
[[noreturn]] void restart_and_end(RunRecord& record, Housekeeping& housekeeping) {
    const bool tool_still_running = !g_tool_ended.load();
    // Once the tool has ended its outcome stands; while it runs the update counts as failed.
    const int outcome = tool_still_running ? kResultUpdateFailed : record.result_code;
    int code = outcome;
    if (housekeeping.state().service_stopped && !housekeeping.restart_service(record.os_type))
        code = kResultServiceFailed;
    if (housekeeping.state().process_ended && !housekeeping.restart_process())
        code = kResultServiceFailed;
    log_line(std::string("ended by a termination signal: what was stopped is started again") +
             (tool_still_running ? ", the update tool was still running" : ""));
    if (tool_still_running) {
        write_run_report(record, code, std::chrono::system_clock::now(),
                         ReportNote::ToolStillRunning);
    }
    ::_exit(code);
}

} // namespace

void guard_termination(RunRecord& record, Housekeeping& housekeeping) {
    platform::watch_termination([&record, &housekeeping](int signal_number, int count) {
        if (!g_updating.load())
            platform::end_by_signal(signal_number);
        // Once the tool has ended, the rest would wait for a user who is not there.
        if (count == 1 && !g_tool_ended.load() && !g_ending.exchange(true)) {
            log_line("termination signal " + std::to_string(signal_number) +
                     " during the update: the update tool is let finish, then what was stopped "
                     "is started again");
            return;
        }
        restart_and_end(record, housekeeping);
    });
}

void update_begins() {
    g_updating = true;
}

void update_tool_ended() {
    g_tool_ended = true;
}

void everything_runs_again() {
    g_updating = false;
}

bool ending_requested() {
    return g_ending.load();
}

} // namespace valdrun
