// Placeholder until the update tool and the run report land.
#include "wrapper/run_report.h"
#include "wrapper/update_tool.h"

namespace valdrun {

std::string run_report_path(const std::string& program_path) {
    return program_path + ".log";
}

bool write_run_report(RunRecord&, int, std::chrono::system_clock::time_point) {
    return false;
}

std::string tool_file_name(const std::string& fw_update_tool) {
    return fw_update_tool;
}

std::string tool_folder(const std::string& program_folder, int) {
    return program_folder;
}

std::unique_ptr<ToolProcess> start_update_tool(const std::string&, const std::string&,
                                               const std::string&, std::uint32_t& error) {
    error = 2;
    return nullptr;
}

std::vector<std::uint32_t> set_aside_firmware_files(const std::string&, const std::string&) {
    return {};
}

void bring_back_firmware_files(const std::string&) {}

} // namespace valdrun
