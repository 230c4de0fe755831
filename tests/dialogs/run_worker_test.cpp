// The two windows that run a download worker, against the recording test plug-in: a Start
// clicked again and again right after a retryable result, and a cancel question answered
// only after the run has ended.
#include "host/dialogs/cfg_mode_dlg.h"
#include "host/dialogs/morlin_dlg.h"
#include "tests/dialogs/host_dialog_bench.h"

namespace morlin {
namespace {

TEST(RunWorker, AThousandRapidStartsAfterARetryableResultNeverDeadlock) {
    test::HostDialogBench bench("devices=1\nresult.VUPDownloadFirmware=735\n");
    bench.table({});
    bench.port->file_answers = {bench.dir.file("fw.bin")};
    morlin_test::write_text(bench.dir.file("fw.bin"), "image");
    // Clicks come as fast as the console takes them; a wait now and then lets a run end whole,
    // so that every round starts at least one run.
    std::vector<std::string> actions = {"click 1003"};
    for (int click = 1; click <= 1000; ++click) {
        actions.push_back(click % 50 == 0 ? "wait" : "click 1010");
    }
    MorlinDlg window(bench.app, kTemplateDownloadOnly);
    const std::string console = bench.run(window, actions);
    EXPECT_EQ(window.outcome(), kOutcomeFailed);
    EXPECT_GE(bench.calls("VUPDownloadFirmware").size(), 20u) << console;
}

// Answers the cancel question only once the window's worker has ended, as a box whose own
// event loop lets the run finish underneath.
struct LateYes : platform::ScriptedUserInterface {
    dialogs::Dialog* dialog = nullptr;
    platform::MessageAnswer message_box(const platform::MessageBoxRequest& request) override {
        dialog->wait_for_worker();
        answers = {platform::MessageAnswer::Yes};
        return ScriptedUserInterface::message_box(request);
    }
};

TEST(RunWorker, AYesGivenAfterTheRunEndedLeavesItsOutcome) {
    for (const bool progress_dialog : {false, true}) {
        test::HostDialogBench bench("devices=1\n");
        bench.table({{"fw.bin", 0}});
        auto port = std::make_shared<LateYes>();
        port->file_answers = {bench.dir.file("fw.bin")};
        platform::install_user_interface(port);
        MorlinDlg window(bench.app, kTemplateDownloadOnly);
        CfgModeDlg progress(bench.app);
        dialogs::Dialog& dialog =
            progress_dialog ? static_cast<dialogs::Dialog&>(progress) : window;
        port->dialog = &dialog;
        const std::string console =
            bench.run(dialog, progress_dialog
                                  ? std::vector<std::string>{"click 1088", "close"}
                                  : std::vector<std::string>{"click 1003", "click 1010", "close"});
        EXPECT_EQ(port->boxes.size(), 1u) << console;
        EXPECT_EQ(progress_dialog ? progress.outcome() : window.outcome(), kOutcomeSucceeded)
            << console;
        platform::install_user_interface(bench.port);
    }
}

} // namespace
} // namespace morlin
