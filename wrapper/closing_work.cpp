#include "wrapper/closing_work.h"

#include "platform/foundation/clock.h"
#include "platform/user_interface/ui.h"
#include "ui/dialog.h"
#include "wrapper/language.h"
#include "wrapper/result_codes.h"
#include "wrapper/termination.h"

namespace valdrun {
namespace {

using platform::MessageIcon;

constexpr std::uint32_t kPauseAfterProcessRestartMs = 300;
constexpr int kDefaultButtonNo = 1;

class Closing {
  public:
    Closing(RunRecord& record, bool installer, Housekeeping& housekeeping)
        : record_(record), installer_(installer), housekeeping_(housekeeping),
          reader_(!record.description.terminal) {
        const auto outcome = record.latest();
        active_slot_ = outcome ? outcome->active_slot : 0;
    }

    int run(int window_end) {
        const int window_result = record_.result_code;
        if (window_end == dialogs::kEndCancel)
            cancelled();
        if (reader_ && record_.result_code == kResultServiceFailed) {
            if (installer_)
                show(Message::RestartAdviceServiceFailure, MessageIcon::Error);
            else
                ask(text(Message::RestartQuestionFailure), false);
        }
        if (record_.result_code == kResultLoaded && active_slot_ == 1) {
            // The serial reader takes its new firmware only after a power cycle.
            if (installer_) {
                show(Message::RestartAdviceNewFirmware, MessageIcon::Warning);
                return record_.result_code;
            }
            const std::string question =
                format_text(Message::ShutdownQuestion, record_.description.descriptor.c_str());
            if (ask(question, true))
                return record_.result_code;
        }
        if (reader_ && record_.result_code == kResultUpdateFailed) {
            if (installer_)
                show(Message::RestartAdviceUpdateFailure, MessageIcon::Error);
            else if (ask(text(Message::RestartQuestionFailure), false))
                return record_.result_code;
        }
        const bool restart_failed = !restart_what_was_stopped();
        if (restart_failed && active_slot_ != 1 && window_result == kResultLoaded) {
            if (installer_)
                show(Message::RestartAdviceNewFirmware, MessageIcon::Warning);
            else
                ask(text(Message::RestartQuestionNewFirmware), false);
        }
        return record_.result_code;
    }

  private:
    void cancelled() {
        if (record_.result_code == kResultDescriptionError)
            show(Message::DescriptionError, MessageIcon::Error);
        else if (reader_ && installer_)
            show(Message::InstallationTestAdvice, MessageIcon::Warning);
        else if (!reader_ && record_.run_phase != kPhaseOffered)
            show(Message::VersionCheckCancelled, MessageIcon::Warning);
        else
            show(Message::UpdateCancelled, MessageIcon::Warning);
    }

    // The smart-card service, then the zkaservice.exe process, each only if this run stopped
    // it. False when one of them could not be started again (the result code is then 9).
    bool restart_what_was_stopped() {
        bool restarted = true;
        if (housekeeping_.state().service_stopped &&
            !housekeeping_.restart_service(record_.os_type)) {
            record_.result_code = kResultServiceFailed;
            restarted = false;
        }
        if (housekeeping_.state().process_ended) {
            if (housekeeping_.restart_process()) {
                platform::sleep_ms(kPauseAfterProcessRestartMs);
            } else {
                record_.result_code = kResultServiceFailed;
                restarted = false;
            }
        }
        return restarted;
    }

    void show(Message role, MessageIcon icon) {
        if (ending_requested())
            return; // ended by a signal: no one waits for the box
        platform::user_interface()->message_box({text(role), record_.window_title, icon});
    }

    bool ask(const std::string& question, bool shutdown) {
        if (ending_requested())
            return false;
        return ask_restart(question, record_.window_title, shutdown, housekeeping_,
                           record_.os_type);
    }

    RunRecord& record_;
    bool installer_;
    Housekeeping& housekeeping_;
    bool reader_;
    int active_slot_ = 0;
};

} // namespace

bool ask_restart(const std::string& question, const std::string& caption, bool shutdown,
                 Housekeeping& housekeeping, int os_type) {
    const platform::MessageAnswer answer = platform::user_interface()->message_box(
        {question, caption, MessageIcon::Question, platform::MessageButtons::YesNo,
         kDefaultButtonNo});
    return answer == platform::MessageAnswer::Yes &&
           housekeeping.request_restart(shutdown, os_type);
}

int closing_work(RunRecord& record, int window_end, bool installer, Housekeeping& housekeeping) {
    return Closing(record, installer, housekeeping).run(window_end);
}

} // namespace valdrun
