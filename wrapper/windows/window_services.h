#pragma once
// What Valdrun's two windows use outside themselves: the system housekeeping, the update tool,
// the firmware files set aside during a terminal update, the run report and the detection
// thread. The program takes the real ones; tests stand in for any of them.
#include "wrapper/housekeeping/housekeeping.h"
#include "wrapper/report/run_report.h"
#include "wrapper/run_record.h"
#include "wrapper/update_tool.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace valdrun {

using ToolStarter = std::function<std::unique_ptr<ToolProcess>(
    const std::string& folder, const std::string& file, const std::string& command_line,
    std::uint32_t& error)>;

struct WindowServices {
    explicit WindowServices(Housekeeping& keeper) : housekeeping(keeper) {}

    Housekeeping& housekeeping;
    ToolStarter start_tool = start_update_tool;
    std::function<std::vector<std::uint32_t>(const std::string& folder, const std::string& pattern)>
        set_aside = set_aside_firmware_files;
    std::function<void(const std::string& folder)> bring_back = bring_back_firmware_files;
    std::function<void(RunRecord& record, int return_code)> write_report =
        [](RunRecord& record, int return_code) { write_run_report(record, return_code); };
    // Detection for the main window; both empty: the detection thread (detection_thread.h).
    std::function<void(RunRecord& record)> start_detection;
    std::function<void()> stop_detection;
};

} // namespace valdrun
