#include "wrapper/windows/progress_dlg.h"

#include "wrapper/language.h"
#include "wrapper/os_type.h"
#include "wrapper/result_codes.h"
#include "wrapper/termination.h"

namespace valdrun {
namespace {

using dialogs::ControlKind;

constexpr std::uint32_t kServiceStopPollMs = 300;
constexpr std::uint32_t kToolPollMs = 100;

int result_of_tool_exit(int exit_code) {
    if (exit_code == 0)
        return kResultLoaded;
    return exit_code == 1 ? kResultToolCancelled : kResultUpdateFailed;
}

} // namespace

ProgressDlg::ProgressDlg(WindowServices& services, ToolJob job, int active_slot, bool terminal,
                         int os_type)
    : Dialog(kTemplateProgress, 231, 84), services_(services), job_(std::move(job)),
      active_slot_(active_slot), terminal_(terminal), os_type_(os_type),
      result_(terminal ? kProgressTerminalStart : kResultServiceFailed) {
    add(ControlKind::Static, kIdProgressText, {10, 9, 207, 50},
        std::string(message(Message::ProgressShort, Language::English)));
    add(ControlKind::Button, kIdProgressLanguage, {20, 63, 38, 15},
        std::string(message(Message::LanguageButton, Language::English)));
}

ProgressDlg::~ProgressDlg() {
    wait_for_worker();
}

void ProgressDlg::show_progress_text() {
    // The long text warns of the removal message that Windows 2000 shows for a USB reader.
    const bool long_text = os_type_ == kOsWindows2000 && active_slot_ == 0;
    set_text(kIdProgressText,
             valdrun::text(long_text ? Message::ProgressLong : Message::ProgressShort));
    set_text(kIdProgressLanguage, valdrun::text(Message::LanguageButton));
}

void ProgressDlg::on_initialise() {
    show_progress_text();
    if (!terminal_)
        update_begins(); // from here a termination signal puts back what is stopped
    start_worker(
        [this] { stop_code_ = services_.housekeeping.stop_for_update(terminal_, os_type_); });
    set_timer(kTimerServiceStop, kServiceStopPollMs);
}

void ProgressDlg::clicked(int id) {
    if (id != kIdProgressLanguage)
        return;
    toggle_language();
    show_progress_text();
}

void ProgressDlg::on_timer(int id) {
    if (id == kTimerServiceStop)
        start_tool();
    else if (id == kTimerToolEnd)
        watch_tool();
}

void ProgressDlg::start_tool() {
    if (worker_running())
        return;
    kill_timer(kTimerServiceStop);
    wait_for_worker(); // ended: this only joins it
    if (stop_code_.load() != 0) {
        update_tool_ended();
        result_ = kResultServiceFailed;
        end(dialogs::kEndCancel);
        return;
    }
    result_ = kResultUpdateFailed;
    std::uint32_t error = 0;
    tool_ = services_.start_tool(job_.folder, job_.file, job_.command_line, error);
    if (!tool_) {
        tool_not_started_ = tool_path(job_.folder, job_.file);
        update_tool_ended();
        end(dialogs::kEndOk);
        return;
    }
    set_timer(kTimerToolEnd, kToolPollMs);
}

void ProgressDlg::watch_tool() {
    const std::optional<int> exit_code = tool_->exit_code();
    if (!exit_code)
        return;
    kill_timer(kTimerToolEnd);
    update_tool_ended();
    result_ = result_of_tool_exit(*exit_code);
    end(dialogs::kEndOk);
}

} // namespace valdrun
