// The update run of the main window: the CommonCriteria notice, a terminal's firmware files
// that are not due set aside, the update tool run in ProgressDlg, its outcome told, the files
// brought back.
#include "wrapper/language.h"
#include "wrapper/result_codes.h"
#include "wrapper/windows/progress_dlg.h"
#include "wrapper/windows/valdrun_dlg.h"

namespace valdrun {
namespace {

using platform::MessageIcon;

constexpr const char* kApplicationFiles = "APP_FW";
constexpr const char* kFirmwareFiles = "OS_FW";

} // namespace

// A terminal's update loads only what is due: the files of the part that is not due are set
// aside (renamed with a leading "_") while the tool runs. Each failed rename is reported with
// its system error code. True when a pattern was set aside.
bool ValdrunDlg::set_firmware_files_aside(int detection_result) {
    bool set_aside = false;
    for (const auto& [part, pattern] :
         {std::pair{application_part(detection_result), kApplicationFiles},
          std::pair{firmware_part(detection_result), kFirmwareFiles}}) {
        if (part == kDetectedUpdateDue)
            continue;
        set_aside = true;
        for (const std::uint32_t error : services_.set_aside(record_.program_folder, pattern))
            services_.write_report(record_, static_cast<int>(error));
    }
    return set_aside;
}

bool ValdrunDlg::update_run(const PassOutcome& outcome) {
    const ReaderDescription& description = record_.description;
    if (description.display_warning)
        notice(valdrun::text(Message::CommonCriteriaNotice), MessageIcon::Information);
    const bool set_aside = description.terminal && set_firmware_files_aside(outcome.result);
    ToolJob job{tool_folder(record_.program_folder, outcome.active_slot),
                tool_file_name(description.update_tool), description.command_line};
    ProgressDlg progress(services_, std::move(job), outcome.active_slot, description.terminal,
                         record_.os_type);
    run_child(progress);
    record_.result_code = progress.outcome();
    record_.tool_not_started = progress.tool_not_started();
    switch (record_.result_code) {
    case kResultLoaded:
        notice(valdrun::text(Message::UpdateSucceeded), MessageIcon::Information);
        break;
    case kResultToolCancelled:
        notice(valdrun::text(Message::UpdateCancelled), MessageIcon::Error);
        break;
    case kResultUpdateFailed:
        notice(valdrun::text(Message::UpdateFailed), MessageIcon::Error);
        break;
    default: // the services could not be stopped: the closing work says so
        break;
    }
    if (set_aside)
        services_.bring_back(record_.program_folder);
    return record_.result_code == kResultLoaded;
}

} // namespace valdrun
