// Valdrun's windows on the console view with a stepped clock and stand-ins for detection,
// housekeeping, the tool and the report: the decision of every tick, the Upgrade offer, the
// update run, Cancel and OK, and the closing work after the window.
#include "platform/foundation/clock.h"
#include "tests/common/text_lines.h"
#include "tests/wrapper/window_fakes.h"
#include "ui/console_runner.h"
#include "wrapper/closing_work.h"
#include "wrapper/language.h"
#include "wrapper/windows/progress_dlg.h"
#include "wrapper/windows/valdrun_dlg.h"

#include <gtest/gtest.h>

namespace {

using namespace valdrun;
using namespace valdrun_test;
using platform::MessageAnswer;
using platform::MessageIcon;

// Message boxes answered from a list; the test hears of each one as it opens.
struct BoxPort : platform::ScriptedUserInterface {
    std::function<void(const platform::MessageBoxRequest&)> on_box;
    MessageAnswer message_box(const platform::MessageBoxRequest& request) override {
        if (on_box)
            on_box(request);
        return ScriptedUserInterface::message_box(request);
    }
};

struct Box {
    MessageIcon icon;
    std::string text;
};

class Windows : public ::testing::Test {
  protected:
    void SetUp() override {
        set_language(Language::English);
        ::unsetenv("MORLIN_OS_VERSION");
        morlin_test::write_text(dir_.path() / "ports.reg", kSerialPorts);
        ::setenv("MORLIN_REGISTRY", dir_.file("ports.reg").c_str(), 1);
        previous_ = platform::install_user_interface(port_);
        fresh();
    }
    // A new run: record, stand-ins and boxes.
    void fresh() {
        record_ = std::make_unique<RunRecord>();
        record_->program_path = dir_.file("Valdrun");
        fake_ = std::make_unique<RecordedServices>();
        port_->boxes.clear();
    }
    void TearDown() override {
        platform::install_user_interface(previous_);
        set_language(Language::English);
    }

    void describe(const char* description) {
        morlin_test::write_text(dir_.path() / "Valdrun.ini", description);
    }

    // Runs the main window on the console with these actions; its end code.
    int run_window(std::vector<std::string> actions) {
        const std::string out_path = dir_.file("console.txt");
        std::FILE* out = std::fopen(out_path.c_str(), "w");
        int end = 0;
        {
            dialogs::ConsoleRunner runner(
                out, std::make_unique<dialogs::ActionSource>(std::move(actions)), clock_);
            ValdrunDlg window(*record_, fake_->services);
            end = runner.run_modal(window);
        }
        std::fclose(out);
        console_ = morlin_test::read_text(out_path);
        return end;
    }

    std::vector<Box> boxes() const {
        std::vector<Box> shown;
        for (const auto& box : port_->boxes)
            shown.push_back({box.icon, box.text});
        return shown;
    }

    morlin_test::TempDir dir_;
    std::shared_ptr<BoxPort> port_ = std::make_shared<BoxPort>();
    std::shared_ptr<platform::UserInterface> previous_;
    std::shared_ptr<dialogs::SteppedClock> clock_ = std::make_shared<dialogs::SteppedClock>();
    std::unique_ptr<RecordedServices> fake_;
    std::unique_ptr<RunRecord> record_;
    std::string console_;
};

void expect_boxes(const std::vector<Box>& shown, const std::vector<Box>& expected,
                  const std::string& name) {
    ASSERT_EQ(shown.size(), expected.size()) << name;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i].icon, expected[i].icon) << name << " box " << i;
        EXPECT_EQ(shown[i].text, expected[i].text) << name << " box " << i;
    }
}

TEST_F(Windows, DecisionOfEveryTick) {
    PassOutcome too_old = pass(kDetectedTooOld);
    too_old.version_reply[6] = 4;
    too_old.version_reply[7] = 0x14;
    PassOutcome other_reader = pass(kDetectedOtherReader);
    other_reader.other_reader_name = "Fremdleser";
    struct Case {
        const char* name;
        const char* description;
        PassOutcome first;
        int result_code;
        std::vector<Box> boxes;
        std::vector<int> reports;
        bool tool_started = false;
        std::optional<int> tool_exit = 0;
        int stop_code = 0;
    };
    const Box serial_missing{MessageIcon::Warning, "No Ostrum Serial is connected to the system."};
    const Case cases[] = {
        {.name = "up to date",
         .description = kUsbReader,
         .first = pass(kDetectedUpToDate),
         .result_code = kResultUpToDate,
         .boxes = {{MessageIcon::Information, "The reader already contains the latest Firmware "
                                              "Version. No need to update the Firmware."}},
         .reports = {kResultUpToDate}},
        {.name = "serial reader alone, none attached",
         .description = kSerialReader,
         .first = pass(kDetectedNothing, 0),
         .result_code = kResultNotFound,
         .boxes = {serial_missing},
         .reports = {kResultNotFound}},
        {.name = "serial reader alone, another reader",
         .description = kSerialReader,
         .first = other_reader,
         .result_code = kResultNotFound,
         .boxes = {serial_missing},
         .reports = {kResultNotFound}},
        {.name = "too old",
         .description = kUsbReader,
         .first = too_old,
         .result_code = kResultFirmwareTooOld,
         .boxes = {{MessageIcon::Information, "\nA firmware update from V4.14 to V5.10 is not "
                                              "possible.\nPlease contact our support!"}},
         .reports = {kResultFirmwareTooOld}},
    };
    const auto check = [this](const Case& c) {
        fresh();
        fake_->first_pass = c.first;
        fake_->tool_exit = c.tool_exit;
        fake_->housekeeping.stop_code = c.stop_code;
        describe(c.description);
        // One wait for the window; the progress window, when it opens, has its own.
        EXPECT_EQ(run_window({"wait", "wait"}), dialogs::kEndOk) << c.name;
        EXPECT_EQ(record_->result_code, c.result_code) << c.name;
        expect_boxes(boxes(), c.boxes, c.name);
        EXPECT_EQ(fake_->reports, c.reports) << c.name;
        EXPECT_EQ(fake_->tool_starts, c.tool_started ? 1 : 0) << c.name;
        EXPECT_FALSE(fake_->detection_running) << c.name << ": the window stopped detection";
    };
    for (const Case& c : cases)
        check(c);
    // A reader's update: the tool's outcome (or the failed stop) decides the code, the message
    // and the report. The tool's success and its failure (exit code 2) are the end-to-end
    // runs' (valdrun_run_test.cpp).
    struct Update {
        const char* name;
        std::optional<int> tool_exit;
        int stop_code;
        int result_code;
        std::vector<Box> boxes;
    };
    const Box failed{MessageIcon::Error, "Firmware Update failed."};
    const Update updates[] = {
        {"tool exits with 1",
         1,
         0,
         kResultToolCancelled,
         {{MessageIcon::Error, "Firmware Update is cancelled."}}},
        {"tool not startable", std::nullopt, 0, kResultUpdateFailed, {failed}},
        {"services not stopped", 0, kResultServiceFailed, kResultServiceFailed, {}},
    };
    for (const Update& u : updates) {
        const bool started = u.stop_code == 0;
        check({u.name,
               kUsbReader,
               pass(kDetectedUpdateDue),
               u.result_code,
               u.boxes,
               {u.result_code},
               started,
               u.tool_exit,
               u.stop_code});
        // The report's failure line names the tool that could not be started.
        EXPECT_EQ(record_->tool_not_started.ends_with("FWUpdate.exe"), !u.tool_exit && started);
    }
}

TEST_F(Windows, TheSerialReaderAloneEndsAtTheFirstTick) {
    describe(kSerialReader);
    fake_->first_pass = pass(kDetectedNothing, 0);
    EXPECT_EQ(run_window({"wait"}), dialogs::kEndOk);
    EXPECT_EQ(clock_->elapsed_ms(), 100u);
    EXPECT_NE(console_.find("CTRL 1000 static enabled visible \"\\nPlease wait without "
                            "performing any operation.\""),
              std::string::npos)
        << console_;
}

TEST_F(Windows, ReaderMissingNoticeFirstThenTheFinalNotice) {
    describe(kUsbReader);
    PassOutcome other = pass(kDetectedOtherReader, 1);
    other.other_reader_name = "Fremdleser";
    fake_->first_pass = other;
    EXPECT_EQ(run_window({"wait", "wait"}), dialogs::kEndOk);
    expect_boxes(boxes(),
                 {{MessageIcon::Warning, "A \"Fremdleser\" is connected to the system.\n"
                                         "Please connect a Kartenleser K5 smart card reader and "
                                         "click then the <OK> button."},
                  {MessageIcon::Warning, "No Kartenleser K5 reader is connected to the system."}},
                 "other reader");
    EXPECT_EQ(fake_->reports, std::vector<int>{kResultNotFound});
    EXPECT_EQ(record_->result_code, kResultOtherReader);
}

TEST_F(Windows, TwoReadersGiveTheNoticeThenTheUpdateOnceOneIsRemoved) {
    describe(kUsbReader);
    fake_->first_pass = pass(kDetectedUpdateDue, 2);
    port_->on_box = [this](const platform::MessageBoxRequest& box) {
        if (box.icon == MessageIcon::Error)
            record_->publish(pass(kDetectedUpdateDue, 1)); // the user unplugs one
    };
    // The first wait ends at the notice; nothing is updated while two readers are there.
    EXPECT_EQ(run_window({"wait", "wait", "wait"}), dialogs::kEndOk);
    expect_boxes(boxes(),
                 {{MessageIcon::Error, "More than one smart card reader found.\nPlease connect "
                                       "the Kartenleser K5 smart card reader alone and click "
                                       "<OK> to continue"},
                  {MessageIcon::Information, "Firmware Successfully updated."}},
                 "two readers");
    EXPECT_EQ(fake_->tool_starts, 1);
    EXPECT_EQ(fake_->housekeeping.calls, std::vector<std::string>{"stop reader"});
}

// What is due, listed in the offer, and the other part's files set aside. The firmware alone
// (result 0x01, "APP_FW" set aside) is the end-to-end terminal run's.
TEST_F(Windows, UpgradeOfferListsWhatIsDue) {
    describe(kTerminal);
    struct Case {
        int result;
        const char* list;
        std::vector<std::string> set_aside;
    };
    for (const Case& c :
         {Case{0x11, "application V1.5 and firmware version V2.1.4", {}},
          Case{0x10, "application V1.5", {"OS_FW"}}, Case{0x12, "application V1.5", {"OS_FW"}}}) {
        fresh();
        fake_->first_pass = pass(c.result);
        run_window({"wait", "click 1", "wait", "wait"});
        EXPECT_NE(console_.find(std::string("to the actual\\n ") + c.list + " using"),
                  std::string::npos)
            << console_;
        EXPECT_EQ(fake_->set_aside, c.set_aside) << c.list;
    }
}

// Cancel (the button, Escape; the close box is the dialog layer's Cancel) keeps the codes 4
// and 1 and makes every other one 5; the OK command before any result ends with its 0.
TEST_F(Windows, CancelAndOkCodes) {
    using Actions = std::vector<std::string>;
    struct Case {
        const char* description;
        std::optional<PassOutcome> first;
        Actions actions;
        int end;
        int result_code;
    };
    const int cancel = dialogs::kEndCancel;
    const Case cases[] = {
        {kUsbReader, std::nullopt, {"click 2"}, cancel, kResultCancelled},
        {kUsbReader, std::nullopt, {"enter"}, dialogs::kEndOk, kResultLoaded},
        {kUsbReader, pass(kDetectedNothing, 0), {"escape"}, cancel, kResultCancelled},
        {kUsbReader, pass(kDetectedOtherReader), {"wait", "click 2"}, cancel, kResultOtherReader},
        {kTerminal, pass(0x01), {"wait", "click 2"}, cancel, kResultUpdateDue},
        {kTerminal, pass(0x11), {"wait"}, cancel, kResultCancelled}, // the input ends at the offer
    };
    for (const Case& c : cases) {
        const std::string name = ::testing::PrintToString(c.actions);
        describe(c.description);
        fresh();
        fake_->first_pass = c.first;
        EXPECT_EQ(run_window(c.actions), c.end) << name;
        EXPECT_EQ(record_->result_code, c.result_code) << name;
        EXPECT_FALSE(fake_->detection_running) << name;
        EXPECT_EQ(fake_->tool_starts, 0) << name;
    }
}

TEST_F(Windows, MissingDescriptionEndsAtOnceWithCancelAndSix) {
    EXPECT_EQ(run_window({"wait"}), dialogs::kEndCancel);
    EXPECT_EQ(record_->result_code, kResultDescriptionError);
    EXPECT_EQ(record_->window_title, "Valdrun utility");
    EXPECT_FALSE(fake_->detection_running);
}

TEST_F(Windows, ProgressWindowIgnoresTheKeyboardAndTellsTheLongTextOnWindows2000) {
    ::setenv("MORLIN_OS_VERSION", "win2000", 1);
    describe(kUsbReader);
    fake_->first_pass = pass(kDetectedUpdateDue);
    fake_->tool_exit = 0;
    EXPECT_EQ(run_window({"wait", "escape", "close", "enter", "click 1002", "wait"}),
              dialogs::kEndOk);
    ::unsetenv("MORLIN_OS_VERSION");
    EXPECT_EQ(record_->result_code, kResultLoaded);
    EXPECT_NE(console_.find("CTRL 1001 static enabled visible \"Firmware Download in Progress... "
                            "Please wait without performing any operation.\\nDuring the DFU"),
              std::string::npos)
        << console_;
    EXPECT_NE(console_.find("CTRL 1001 static enabled visible \"Die Firmwareaktualisierung ist "
                            "gestartet. Dies kann"),
              std::string::npos)
        << console_;
    // The German box after the language button in the progress window.
    ASSERT_EQ(port_->boxes.size(), 1u);
    EXPECT_EQ(port_->boxes[0].text, "Die Aktualisierung der Firmware wurde erfolgreich "
                                    "durchgeführt.");
}

// ---- the closing work ------------------------------------------------------------------------

TEST(ClosingWork, MessagesQuestionsAndRestartsInTheirOrder) {
    struct Case {
        const char* name;
        int result_code;
        bool terminal = false;
        bool installer = false;
        bool cancelled = false;
        int run_phase = kPhaseUpdating;
        int active_slot = 0;
        bool service_stopped = false;
        bool process_ended = false;
        bool service_restart_ok = true;
        std::vector<MessageAnswer> answers = {};
        std::vector<Box> boxes = {};
        std::vector<std::string> calls = {};
        int exit_code = -1; // -1: the result code stays
    };
    const Box update_cancelled{MessageIcon::Warning, "Firmware Update is cancelled."};
    const Box failure_question{MessageIcon::Question,
                               "Please reboot the system and start then the FWUpdate tool "
                               "again.\nDo you want to reboot the system now?"};
    const Box new_firmware_question{MessageIcon::Question,
                                    "You must restart the PC before you can work with the new "
                                    "firmware.\nDo you want to reboot the system now?"};
    const Box new_firmware_advice{MessageIcon::Warning, "You must restart the PC before you can "
                                                        "work with the new firmware."};
    const MessageAnswer yes = MessageAnswer::Yes;
    const MessageAnswer no = MessageAnswer::No;
    const Case cases[] = {
        {.name = "description error",
         .result_code = kResultDescriptionError,
         .cancelled = true,
         .boxes = {{MessageIcon::Error, "Error occurred while parsing the INI file.\nPlease "
                                        "change the reader entries and launch this utility "
                                        "again."}}},
        {.name = "reader cancelled from the installer",
         .result_code = kResultCancelled,
         .installer = true,
         .cancelled = true,
         .boxes = {{MessageIcon::Warning,
                    "Please run the \"Installation test\" utility after the system reboot"}}},
        {.name = "terminal cancelled while checking",
         .result_code = kResultCancelled,
         .terminal = true,
         .installer = true,
         .cancelled = true,
         .run_phase = kPhaseChecking,
         .boxes = {{MessageIcon::Warning, "Firmware version check is cancelled."}}},
        {.name = "terminal cancelled at the offer",
         .result_code = kResultNotFound,
         .terminal = true,
         .cancelled = true,
         .run_phase = kPhaseOffered,
         .boxes = {update_cancelled}},
        {.name = "services not stopped: question, then the process comes back",
         .result_code = kResultServiceFailed,
         .process_ended = true,
         .answers = {yes},
         .boxes = {failure_question},
         .calls = {"reboot", "restart process"}},
        {.name = "serial reader updated from the installer: advice, nothing restarted",
         .result_code = kResultLoaded,
         .installer = true,
         .active_slot = 1,
         .service_stopped = true,
         .process_ended = true,
         .boxes = {new_firmware_advice}},
        {.name = "serial reader updated: shutdown accepted, nothing restarted",
         .result_code = kResultLoaded,
         .active_slot = 1,
         .service_stopped = true,
         .answers = {yes},
         .boxes = {{MessageIcon::Question,
                    "In order to power-cycle the Kartenleser smart card reader please shutdown "
                    "and switch-off the system.\nDo you want to shutdown now?"}},
         .calls = {"shutdown"}},
        {.name = "update failed: restart accepted, nothing restarted",
         .result_code = kResultUpdateFailed,
         .service_stopped = true,
         .answers = {yes},
         .boxes = {failure_question},
         .calls = {"reboot"}},
        {.name = "update failed from the installer",
         .result_code = kResultUpdateFailed,
         .installer = true,
         .boxes = {{MessageIcon::Error,
                    "Please reboot the system and start then the FWUpdate tool again."}}},
        {.name = "updated, service not restarted: question",
         .result_code = kResultLoaded,
         .service_stopped = true,
         .service_restart_ok = false,
         .answers = {no},
         .boxes = {new_firmware_question},
         .calls = {"restart service"},
         .exit_code = kResultServiceFailed},
        {.name = "updated, service not restarted, installer: advice",
         .result_code = kResultLoaded,
         .installer = true,
         .service_stopped = true,
         .service_restart_ok = false,
         .boxes = {new_firmware_advice},
         .calls = {"restart service"},
         .exit_code = kResultServiceFailed},
        {.name = "service was already stopped: nothing restarted, no advice",
         .result_code = kResultLoaded,
         .service_restart_ok = false},
        {.name = "terminal update failed: no question",
         .result_code = kResultUpdateFailed,
         .terminal = true},
    };
    platform::set_time_scale_percent(1); // the pause after the process restart
    for (const Case& c : cases) {
        auto port = std::make_shared<BoxPort>();
        port->answers = c.answers;
        const auto previous = platform::install_user_interface(port);
        RunRecord record;
        record.description.terminal = c.terminal;
        record.description.descriptor = "Kartenleser";
        record.window_title = "Kartenleser - Installation";
        record.result_code = c.result_code;
        record.run_phase = c.run_phase;
        PassOutcome outcome;
        outcome.active_slot = c.active_slot;
        record.publish(outcome);
        FakeHousekeeping keeper;
        keeper.held.service_stopped = c.service_stopped;
        keeper.held.process_ended = c.process_ended;
        keeper.service_restart_ok = c.service_restart_ok;
        const int end = c.cancelled ? dialogs::kEndCancel : dialogs::kEndOk;
        EXPECT_EQ(closing_work(record, end, c.installer, keeper),
                  c.exit_code < 0 ? c.result_code : c.exit_code)
            << c.name;
        platform::install_user_interface(previous);
        std::vector<Box> shown;
        for (const auto& box : port->boxes) {
            shown.push_back({box.icon, box.text});
            EXPECT_EQ(box.caption, "Kartenleser - Installation") << c.name;
            if (box.icon == MessageIcon::Question) {
                EXPECT_EQ(box.buttons, platform::MessageButtons::YesNo) << c.name;
                EXPECT_EQ(box.default_button, 1) << c.name << ": No is the default";
            }
        }
        expect_boxes(shown, c.boxes, c.name);
        EXPECT_EQ(keeper.calls, c.calls) << c.name;
    }
    platform::set_time_scale_percent(0);
}

TEST_F(Windows, TheLanguageButtonChangesTheFinalCancelMessage) {
    describe(kUsbReader);
    EXPECT_EQ(run_window({"click 1002", "click 2"}), dialogs::kEndCancel);
    EXPECT_NE(console_.find("CTRL 2 button enabled visible \"&Abbrechen\""), std::string::npos);
    FakeHousekeeping keeper;
    EXPECT_EQ(closing_work(*record_, dialogs::kEndCancel, false, keeper), kResultCancelled);
    ASSERT_EQ(port_->boxes.size(), 1u);
    EXPECT_EQ(port_->boxes[0].text, "Das Firmware Update Programm wurde abgebrochen.");
}

} // namespace
