#include "wrapper/windows/valdrun_dlg.h"

#include "wrapper/language.h"
#include "wrapper/result_codes.h"
#include "wrapper/termination.h"
#include "wrapper/valdrun_app.h"

namespace valdrun {
namespace {

using dialogs::ControlKind;
using platform::MessageIcon;

constexpr std::uint32_t kDecisionPollMs = 100;

bool terminal_part_due(int part) {
    return part == kDetectedUpdateDue;
}

} // namespace

ValdrunDlg::ValdrunDlg(RunRecord& record, WindowServices& services)
    : Dialog(kTemplateValdrun, 249, 97), record_(record), services_(services) {
    add(ControlKind::Static, kIdMainText, {7, 15, 229, 24});
    add(ControlKind::Static, kIdSecondText, {7, 44, 229, 27});
    add(ControlKind::Button, kIdLanguage, {14, 76, 50, 14},
        std::string(message(Message::LanguageButton, Language::English)));
    add(ControlKind::Button, kIdUpgrade, {131, 77, 50, 13}, "OK").visible = false;
    add(ControlKind::Button, kIdCancel, {192, 76, 50, 14}, std::string(kCancelCaptionAtStart));
    set_title(std::string(message(Message::MainCaption, Language::English)));
}

ValdrunDlg::~ValdrunDlg() {
    stop_detection();
}

// ---- the window ---------------------------------------------------------------------------

void ValdrunDlg::on_initialise() {
    set_title(record_.window_title);
    record_.result_code = kResultLoaded;
    record_.run_phase = kPhaseChecking;
    record_.first_notice = true;
    if (!prepare_run(record_, record_.program_path)) {
        record_.result_code = kResultDescriptionError;
        end(dialogs::kEndCancel);
        return;
    }
    set_title(record_.window_title);
    set_text(kIdLanguage, valdrun::text(Message::LanguageButton));
    // At the start the English caption has no accelerator.
    set_text(kIdCancel, current_language() == Language::English
                            ? std::string(kCancelCaptionAtStart)
                            : valdrun::text(Message::CancelButton));
    write_first_texts();
    start_detection();
    set_timer(kTimerDecision, kDecisionPollMs);
}

void ValdrunDlg::set_captions() {
    set_text(kIdLanguage, valdrun::text(Message::LanguageButton));
    set_text(kIdCancel, valdrun::text(Message::CancelButton));
}

std::string ValdrunDlg::reader_label() const {
    const ReaderDescription& description = record_.description;
    return description.descriptor + (description.usb_only ? valdrun::text(Message::UsbSuffix) : "");
}

void ValdrunDlg::write_first_texts() {
    const ReaderDescription& description = record_.description;
    set_title(record_.window_title);
    const std::string label = reader_label();
    if (description.terminal)
        set_text(kIdMainText, format_text(Message::FirstTextTerminal, label.c_str()));
    else if (description.slot_described(0) || !description.slot_described(1))
        set_text(kIdMainText, format_text(Message::FirstTextReader, label.c_str()));
    else
        set_text(kIdMainText, valdrun::text(Message::FirstTextSerialReader));
}

void ValdrunDlg::show_upgrade_offer() {
    const ReaderDescription& description = record_.description;
    const TerminalVersions& current = offered_.terminal;
    const char* name = description.descriptor.c_str();
    set_text(kIdMainText,
             format_text(Message::TerminalVersions, name, current.app_major, current.app_minor,
                         name, current.fw_major, current.fw_minor, current.fw_build));
    const bool application_due = terminal_part_due(application_part(offered_.result));
    std::string list;
    if (application_due)
        list = format_text(Message::ListApplication, description.target_application.major,
                           description.target_application.minor);
    if (terminal_part_due(firmware_part(offered_.result))) {
        if (application_due)
            list += valdrun::text(Message::ListJoint);
        list += format_text(Message::ListFirmware, description.target_firmware.major,
                            description.target_firmware.minor, description.target_firmware.build);
    }
    set_text(kIdSecondText,
             format_text(Message::UpgradeOffer, list.c_str(), description.update_tool.c_str()));
    set_text(kIdUpgrade, valdrun::text(Message::UpgradeButton));
    show(kIdUpgrade, true);
}

void ValdrunDlg::clicked(int id) {
    switch (id) {
    case kIdLanguage:
        toggle_language();
        set_captions();
        if (record_.run_phase == kPhaseOffered)
            show_upgrade_offer();
        else
            write_first_texts();
        return;
    case kIdUpgrade:
        enter();
        return;
    case kIdCancel:
        close();
        return;
    default:
        return;
    }
}

void ValdrunDlg::enter() {
    if (record_.run_phase != kPhaseOffered) {
        finish(dialogs::kEndOk);
        return;
    }
    record_.run_phase = kPhaseUpgradeClicked;
    set_timer(kTimerDecision, kDecisionPollMs);
}

void ValdrunDlg::close() {
    kill_timer(kTimerDecision);
    if (record_.result_code == kResultLoaded || record_.result_code == kResultNotFound)
        record_.result_code = kResultCancelled;
    finish(dialogs::kEndCancel);
}

platform::MessageAnswer ValdrunDlg::notice(const std::string& shown, MessageIcon icon) {
    if (ending_requested())
        return platform::MessageAnswer::Ok; // ended by a signal: no one waits for the box
    return message_box({shown, record_.window_title, icon});
}

void ValdrunDlg::keep_waiting() {
    set_timer(kTimerDecision, kDecisionPollMs);
}

void ValdrunDlg::finish(int end_code) {
    stop_detection();
    end(end_code);
}

void ValdrunDlg::start_detection() {
    detection_started_ = true;
    if (services_.start_detection) {
        services_.start_detection(record_);
        return;
    }
    PassSettings settings = pass_settings(record_, false);
    settings.housekeeping = &services_.housekeeping;
    detection_.start(record_, std::move(settings));
}

// Stopped at once, not asked to: nothing is published after this returns.
void ValdrunDlg::stop_detection() {
    if (!detection_started_)
        return;
    detection_started_ = false;
    if (services_.stop_detection)
        services_.stop_detection();
    else
        detection_.stop();
}

// ---- the decision of every tick -----------------------------------------------------------

void ValdrunDlg::on_timer(int id) {
    if (id == kTimerDecision && record_.latest())
        decide();
}

void ValdrunDlg::decide() {
    kill_timer(kTimerDecision);
    PassOutcome outcome = *record_.latest();
    const ReaderDescription& description = record_.description;
    const bool serial_alone = description.slot_described(1) && !description.slot_described(0);
    int result = outcome.result;
    if (serial_alone && result == kDetectedOtherReader)
        result = kDetectedNothing;
    record_.result_code = result_code_for(result);
    if (result == kDetectedNothing) {
        if (description.slot_described(0)) {
            keep_waiting();
            return;
        }
        // The serial reader alone is looked for once: it is not there.
        record_.first_notice = false;
        result = kDetectedOtherReader;
        outcome.other_reader_name = description.slot_name[1];
        std::lock_guard guard(record_.lock);
        record_.detected.other_reader_name = outcome.other_reader_name;
    }
    if (result == kDetectedOtherReader) {
        reader_missing(outcome);
        return;
    }
    if (record_.run_phase == kPhaseUpgradeClicked) {
        record_.run_phase = kPhaseUpdating;
        run_update_and_finish(outcome);
        return;
    }
    if (result == kDetectedUpdateDue || (description.terminal && result != kDetectedUpToDate)) {
        update_due(outcome);
        return;
    }
    if (result == kDetectedTooOld)
        too_old(outcome);
    else
        up_to_date();
}

void ValdrunDlg::reader_missing(const PassOutcome& outcome) {
    const ReaderDescription& description = record_.description;
    const std::string label = reader_label();
    if (record_.first_notice) {
        const std::string shown =
            outcome.other_reader_name.empty()
                ? format_text(Message::NoticeReaderMissing, description.descriptor.c_str(),
                              label.c_str())
                : format_text(Message::NoticeOtherReader, outcome.other_reader_name.c_str(),
                              label.c_str());
        notice(shown, MessageIcon::Warning);
        record_.first_notice = false;
        keep_waiting();
        return;
    }
    const std::string shown =
        description.slot_described(0)
            ? format_text(Message::FinalReaderMissing, description.descriptor.c_str())
            : format_text(Message::FinalSerialReaderMissing, description.slot_name[1].c_str());
    notice(shown, MessageIcon::Warning);
    stop_detection(); // the report reads the last pass: no pass may replace it now
    services_.write_report(record_, kResultNotFound);
    finish(dialogs::kEndOk);
}

void ValdrunDlg::update_due(const PassOutcome& outcome) {
    const ReaderDescription& description = record_.description;
    if (outcome.reader_count > 1) {
        const std::string shown =
            description.terminal
                ? format_text(Message::MoreThanOneTerminal, description.descriptor.c_str())
                : format_text(Message::MoreThanOneReader, reader_label().c_str());
        notice(shown, MessageIcon::Error);
        keep_waiting();
        return;
    }
    if (description.terminal) {
        // The window waits without a timer for Upgrade or Cancel.
        offered_ = outcome;
        record_.run_phase = kPhaseOffered;
        show_upgrade_offer();
        return;
    }
    run_update_and_finish(outcome);
}

void ValdrunDlg::run_update_and_finish(const PassOutcome& outcome) {
    stop_detection();
    const bool succeeded = update_run(outcome);
    services_.write_report(record_, succeeded ? kResultLoaded : record_.result_code);
    finish(dialogs::kEndOk);
}

void ValdrunDlg::too_old(const PassOutcome& outcome) {
    stop_detection();
    services_.write_report(record_, record_.result_code);
    const Version& target = record_.description.target_firmware;
    notice(format_text(Message::FirmwareTooOld, unsigned{outcome.version_reply[kFirmwareMajorByte]},
                       unsigned{outcome.version_reply[kFirmwareMinorByte]}, unsigned{target.major},
                       unsigned{target.minor}),
           MessageIcon::Information);
    finish(dialogs::kEndOk);
}

void ValdrunDlg::up_to_date() {
    stop_detection();
    services_.write_report(record_, kResultUpToDate);
    notice(valdrun::text(record_.description.terminal ? Message::UpToDateTerminal
                                                      : Message::UpToDateReader),
           MessageIcon::Information);
    finish(dialogs::kEndOk);
}

} // namespace valdrun
