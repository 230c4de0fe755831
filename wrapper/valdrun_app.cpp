#include "wrapper/valdrun_app.h"

#include "platform/services/user_rights.h"
#include "platform/user_interface/ui.h"
#include "ui/dialog_view.h"
#include "wrapper/closing_work.h"
#include "wrapper/command_line.h"
#include "wrapper/detection/serial_port_list.h"
#include "wrapper/housekeeping/stop_record.h"
#include "wrapper/language.h"
#include "wrapper/os_type.h"
#include "wrapper/report/version_line.h"
#include "wrapper/result_codes.h"
#include "wrapper/termination.h"
#include "wrapper/trust.h"
#include "wrapper/windows/valdrun_dlg.h"

namespace valdrun {
namespace {

void show(const RunRecord& record, Message role, platform::MessageIcon icon) {
    platform::user_interface()->message_box({text(role), record.window_title, icon});
}

// The administrator test: on OS types 1 and 2 every user counts as one.
bool is_administrator(int os_type) {
    return os_type == kOsWindows95 || os_type == kOsWindows98 || platform::user_is_administrator();
}

int check_mode(std::string_view program_path) {
    RunRecord record;
    record.remove_instance = false;
    if (!prepare_run(record, program_path))
        return kResultDescriptionError;
    const PassOutcome outcome = detection_pass(record.description, pass_settings(record, true));
    return result_code_for(outcome.result);
}

// The main window, then the closing work with the same housekeeping, which knows what the
// update stopped.
int interactive_run(RunRecord& record, bool installer) {
    // A run that was killed with the services stopped left its stop record behind.
    static_cast<void>(restart_what_an_earlier_run_left_stopped());
    const auto housekeeping = system_housekeeping();
    guard_termination(record, *housekeeping);
    WindowServices services(*housekeeping);
    int window_end = dialogs::kEndCancel;
    {
        ValdrunDlg window(record, services);
        window_end = dialogs::dialog_runner().run_modal(window);
    }
    const int result = closing_work(record, window_end, installer, *housekeeping);
    everything_runs_again();
    return result;
}

} // namespace

bool prepare_run(RunRecord& record, std::string_view program_path) {
    record.os_type = query_os_type();
    record.program_path = std::string(program_path);
    const std::size_t separator = record.program_path.find_last_of("/\\");
    record.program_folder = separator == std::string::npos
                                ? std::string()
                                : record.program_path.substr(0, separator + 1);
    // Run as root, a description, a library or a tool planted in the program folder would be
    // obeyed: the folder must be root's alone.
    if (const auto refusal =
            why_refused_as_root(record.program_folder.empty() ? "." : record.program_folder)) {
        log_line("the program folder " + record.program_folder + " is refused: " + *refusal);
        return false;
    }
    auto description = read_reader_description(sibling_file(record.program_path, "ini"));
    if (!description)
        return false;
    record.description = std::move(*description);
    record.window_title = record.description.descriptor + text(Message::TitleSuffix);
    if (record.description.slot_described(1))
        record.serial_ports = read_serial_port_list();
    return record.description.slot_described(0) || !record.serial_ports.empty();
}

PassSettings pass_settings(const RunRecord& record, bool check_mode) {
    PassSettings settings;
    settings.os_type = record.os_type;
    settings.remove_instance = record.remove_instance;
    settings.check_mode = check_mode;
    settings.serial_ports = record.serial_ports;
    return settings;
}

int run_valdrun(std::string_view command_line, std::string_view program_path) {
    const Switches switches = parse_switches(command_line);
    set_language(switches.german ? Language::German : Language::English);
    if (switches.check)
        return check_mode(program_path);
    RunRecord record;
    record.remove_instance = true;
    record.program_path = std::string(program_path);
    record.os_type = query_os_type();
    record.version_line = program_version_line(program_path);
    if (!is_administrator(record.os_type)) {
        show(record, Message::NoAdministratorRights, platform::MessageIcon::Error);
        return kResultLoaded;
    }
    return interactive_run(record, switches.installer);
}

} // namespace valdrun
