// Valdrun's windows drawn by Qt offscreen, clicked through as a user would, with a PNG of each
// state in build/screenshots/ in English and German: the window waiting for the reader, the
// Upgrade offer and the progress window.
#include "platform/foundation/clock.h"
#include "tests/dialogs/qt_script.h"
#include "tests/wrapper/window_fakes.h"
#include "ui/qt/qt_toolkit.h"
#include "wrapper/language.h"
#include "wrapper/windows/progress_dlg.h"
#include "wrapper/windows/valdrun_dlg.h"

#include <QLabel>
#include <gtest/gtest.h>

// Qt is not instrumented for the thread sanitizer: its own pool threads are left out.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libQt6Gui.so.6\nrace:libQt6Core.so.6\n";
}

namespace {

using namespace qt_script;
using namespace valdrun;
using namespace valdrun_test;

bool text_is(int template_id, int id, const char* start) {
    auto* label = control_of<QLabel>(template_id, id);
    return label != nullptr && label->isVisible() && label->text().startsWith(start);
}

TEST(ValdrunQt, WaitingUpgradeOfferAndProgressInBothLanguages) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    unsetenv("MORLIN_UI");
    int argc = 1;
    char name[] = "valdrun_qt_tests";
    char* argv[] = {name, nullptr};
    dialogs::QtToolkit toolkit(argc, argv);
    platform::set_time_scale_percent(1); // the windows' timers tick every millisecond
    set_language(Language::English);

    morlin_test::TempDir dir;
    morlin_test::write_text(dir.path() / "Valdrun.ini", kTerminal);
    RecordedServices fake;
    fake.hold_tool = true;
    RunRecord record;
    record.program_path = dir.file("Valdrun");
    PassOutcome due = pass(0x11);
    due.terminal = {1, 4, 2, 1, 3};
    Script script({
        [] {
            return text_is(kTemplateValdrun, kIdMainText, "Please connect") &&
                   shot(kTemplateValdrun, "valdrun-waiting");
        },
        [] { return click(kTemplateValdrun, kIdLanguage); },
        [] {
            return text_is(kTemplateValdrun, kIdMainText, "Bitte") &&
                   shot(kTemplateValdrun, "valdrun-waiting-de");
        },
        [] { return click(kTemplateValdrun, kIdLanguage); },
        [&] {
            record.publish(due);
            return true;
        },
        [] {
            return text_is(kTemplateValdrun, kIdSecondText, "Click <Upgrade>") &&
                   shot(kTemplateValdrun, "valdrun-upgrade-offer");
        },
        [] { return click(kTemplateValdrun, kIdLanguage); },
        [] {
            return text_is(kTemplateValdrun, kIdSecondText, "Klicken") &&
                   shot(kTemplateValdrun, "valdrun-upgrade-offer-de");
        },
        [] { return click(kTemplateValdrun, kIdLanguage); },
        [] { return click(kTemplateValdrun, kIdUpgrade); },
        [] {
            return text_is(kTemplateProgress, kIdProgressText, "\nFirmware Download") &&
                   shot(kTemplateProgress, "valdrun-progress");
        },
        [] { return click(kTemplateProgress, kIdProgressLanguage); },
        [] {
            return text_is(kTemplateProgress, kIdProgressText, "\nDie Firmware") &&
                   shot(kTemplateProgress, "valdrun-progress-de");
        },
        [&] {
            fake.hold_tool = false;
            return true;
        },
        answer_box(QMessageBox::Ok, "valdrun-message-box-de"),
    });
    ValdrunDlg window(record, fake.services);
    EXPECT_EQ(dialogs::dialog_runner().run_modal(window), dialogs::kEndOk);
    EXPECT_TRUE(script.finished());
    EXPECT_EQ(record.result_code, kResultLoaded);
    EXPECT_EQ(fake.reports, std::vector<int>{kResultLoaded});
    platform::set_time_scale_percent(0);
    set_language(Language::English);
}

} // namespace
