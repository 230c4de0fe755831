#pragma once
// The firmware update tool: a separate program that Valdrun starts in the tool folder with the
// description's command line, and whose exit code it reads (0 success, 1 cancelled, anything
// else failure). Also the firmware files set aside while the tool runs.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace valdrun {

// The tool file of the description's FWUpdateTool value (see docs/valdrun.md for how a
// Windows tool name maps to a program here): the value with ".exe" appended, unless it ends
// with ".exe" already (in any letter case).
std::string tool_file_name(const std::string& fw_update_tool);

// The program started for the tool file `file` in `folder`: the file without its ".exe" (a
// native program, which wins over a Windows one beside it), else the file itself, each found
// ignoring letter case, else `folder` + `file` as it is (whose start then fails).
std::string tool_path(const std::string& folder, const std::string& file);

// The folder the tool runs in, with a trailing separator: the program folder, or for the
// serial reader (slot 1) the "RS232DFU" folder beside it.
std::string tool_folder(const std::string& program_folder, int active_slot);

class ToolProcess {
  public:
    virtual ~ToolProcess() = default;
    // Nothing while the tool runs; then its exit code (an end by a signal counts as failure,
    // reported as a code other than 0 and 1). Never blocks.
    virtual std::optional<int> exit_code() = 0;
};

// Starts `folder + file` in `folder` with `command_line` (split into arguments by the Windows
// rules). Null when the tool cannot be started; `error` then holds the system error code.
std::unique_ptr<ToolProcess> start_update_tool(const std::string& folder, const std::string& file,
                                               const std::string& command_line,
                                               std::uint32_t& error);

// Renames every "*.sig" file of `folder` whose name contains `pattern` ("APP_FW", "OS_FW") and
// does not begin with "_" to its name with "_" in front. Returns the system error code of each
// rename that failed (the others go on).
std::vector<std::uint32_t> set_aside_firmware_files(const std::string& folder,
                                                    const std::string& pattern);
// Renames every file of `folder` matching "_*.?i?" to its name without the first character.
void bring_back_firmware_files(const std::string& folder);

} // namespace valdrun
