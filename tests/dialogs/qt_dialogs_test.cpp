// Morlin's dialogs drawn by Qt offscreen: clicked through like a user would, with a PNG of each
// state in build/screenshots/ (English, and German where texts are longest).
#include "host/dialogs/about_box.h"
#include "host/dialogs/cfg_edt_dlg.h"
#include "host/dialogs/cfg_mode_dlg.h"
#include "host/dialogs/cfg_option_dlg.h"
#include "host/dialogs/dev_info.h"
#include "host/dialogs/morlin_dlg.h"
#include "host/fixed_text.h"
#include "host/morlin_app.h"
#include "host/plugins/device_lists.h"
#include "host/plugins/plugin_binding.h"
#include "platform/winapi/version_info.h"
#include "tests/common/temp_dir.h"
#include "tests/common/text_lines.h"
#include "tests/dialogs/qt_script.h"
#include "ui/qt/qt_parts.h"
#include "ui/qt/qt_toolkit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QMessageBox>
#include <QProgressBar>
#include <QTimer>
#include <QTreeWidget>
#include <deque>
#include <gtest/gtest.h>

// The About box reads the program's version information: this test program carries Morlin's.
MORLIN_VERSION_INFO("Integrated Firmware Update Utility", "1.24", "Morlin", "Morlin", "1.24",
                    "Copyright (C) Ostrum");

// Under the thread sanitizer: Qt is not instrumented, so the hand-over inside its own worker
// pool (QtGui converts large window images on pool threads) looks like races between Qt's
// threads. Only those modules are left out; the dialog layer's own hand-over between a worker
// and the dialog thread goes through its instrumented queue and is checked here and, without
// any suppression, by dialog_layer_tests.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libQt6Gui.so.6\nrace:libQt6Core.so.6\n";
}

namespace morlin {
namespace {

using namespace qt_script;

// File dialogs answered by the test; message boxes drawn by Qt.
struct TestPort : platform::UserInterface {
    std::shared_ptr<platform::UserInterface> qt = dialogs::make_qt_user_interface();
    std::deque<std::string> files;
    platform::MessageAnswer message_box(const platform::MessageBoxRequest& request) override {
        return qt->message_box(request);
    }
    void show_wait(std::string_view) override {}
    void hide_wait() override {}
    std::optional<std::string> open_file(const platform::FileDialogRequest&) override {
        return next();
    }
    std::optional<std::string> save_file(const platform::FileDialogRequest&) override {
        return next();
    }
    std::optional<std::string> next() {
        if (files.empty()) {
            return std::nullopt;
        }
        std::string file = files.front();
        files.pop_front();
        return file;
    }
};

class QtDialogs : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        unsetenv("MORLIN_UI");
        static int argc = 1;
        static char name[] = "qt_dialog_tests";
        static char* argv[] = {name, nullptr};
        toolkit_ = new dialogs::QtToolkit(argc, argv);
    }
    static void TearDownTestSuite() {
        delete toolkit_;
        toolkit_ = nullptr;
    }

    void SetUp() override {
        port_ = std::make_shared<TestPort>();
        previous_ = platform::install_user_interface(port_);
        morlin_test::write_text(dir_.file("fw.bin"), "image");
        morlin_test::write_text(dir_.file("scenario.txt"),
                                "devices=2\ndownload.hold=1\n"
                                "result.VUPDownloadFirmware=212\n"
                                "device.0.name=COM3 - Halvane HT-200 (SIM0001)\n"
                                "device.1.name=COM4 - Halvane HT-200 (SIM0002)\n");
        setenv("MORLIN_TEST_PLUGIN_SCENARIO", dir_.file("scenario.txt").c_str(), 1);
        setenv("MORLIN_LOG_FILE", dir_.file("Morlin.log").c_str(), 1);
    }
    void TearDown() override {
        [[maybe_unused]] const int ended =
            end_run(*app_); // the plug-ins are stopped; no code to check here
        app_.reset();
        platform::install_user_interface(previous_);
    }

    // A Morlin with the recording plug-in bound and its devices listed, in `language`.
    MorlinApp& app(std::uint16_t language = kLanguageEnglish) {
        app_ = std::make_unique<MorlinApp>();
        app_->texts.set_language(language);
        EXPECT_TRUE(app_->texts.load_module(std::string(MORLIN_BIN_DIR) + "/MORLNRES.so"));
        PluginRecord& plugin = app_->plugins[0];
        plugin.module =
            platform::Library::load(std::string(MORLIN_TEST_PLUGIN_DIR) + "/VUPRecorder.so");
        EXPECT_TRUE(plugin.module && bind_plugin_functions(*plugin.module, plugin.fn));
        std::snprintf(plugin.version_line, sizeof plugin.version_line,
                      "Recording Interface Version 1.0.0.1");
        app_->plugin_count = 1;
        app_->backup_directory = dir_.path().string();
        EXPECT_FALSE(create_device_lists(*app_).failed());
        return *app_;
    }

    static dialogs::QtToolkit* toolkit_;
    std::shared_ptr<TestPort> port_;
    std::shared_ptr<platform::UserInterface> previous_;
    morlin_test::TempDir dir_;
    std::unique_ptr<MorlinApp> app_;
};

dialogs::QtToolkit* QtDialogs::toolkit_ = nullptr;

TEST_F(QtDialogs, MainWindowFromIdleThroughACancelledRun) {
    MorlinDlg window(app(), kTemplateWithModes);
    port_->files = {dir_.file("fw.bin")};
    QProgressBar* bar = nullptr;
    Script script({
        [] { return shot(102, "main-window-idle"); },
        [] { return click(102, kIdBrowse); },
        [] {
            auto* combo = control_of<QComboBox>(102, kIdDeviceList);
            return combo != nullptr && combo->count() == 2 && shot(102, "main-window-file-chosen");
        },
        [] { return click(102, kIdStart); },
        [&] {
            bar = control_of<QProgressBar>(102, kIdProgress);
            return bar != nullptr && bar->value() == 50 && shot(102, "main-window-running");
        },
        [] { return click(102, kIdClose); }, // asks whether to cancel
        answer_box(QMessageBox::Yes, "message-box-cancel-question"),
        answer_box(QMessageBox::Ok, "message-box-plugin-error"), // the plug-in's 212
        [] {
            auto* close = control_of<QAbstractButton>(102, kIdClose);
            return close != nullptr && close->text() == "Close" && shot(102, "main-window-failed");
        },
        [] { return click(102, kIdClose); },
    });
    dialogs::dialog_runner().run_modal(window);
    EXPECT_TRUE(script.finished());
    EXPECT_EQ(window.outcome(), kOutcomeFailed);
}

TEST_F(QtDialogs, GermanMainWindowAndEveryDeviceInformationMode) {
    MorlinDlg window(app(kLanguageGerman), kTemplateWithModes);
    port_->files = {dir_.file("fw.bin")};
    Script script({
        [] { return click(102, kIdBrowse); },
        [] { return shot(102, "main-window-file-chosen-de"); },
        [] { return click(102, kIdDeviceInfo); },
        [] {
            auto* list = control_of<QTreeWidget>(129, kIdDevInfoRows);
            return list != nullptr && list->columnCount() == 3 && shot(129, "device-info-file-de");
        },
        [] { return click(129, kIdDevInfoOk); },
        [] { return click(102, kIdClose); },
    });
    dialogs::dialog_runner().run_modal(window);
    EXPECT_TRUE(script.finished());
    EXPECT_EQ(window.outcome(), kOutcomeLeft);
}

TEST_F(QtDialogs, DeviceInformationModesAndTheAboutBox) {
    MorlinApp& morlin = app();
    struct Mode {
        DevInfoMode mode;
        const char* name;
        int columns;
    };
    for (const Mode& mode : {Mode{DevInfoMode::DeviceChoice, "device-info-choice", 2},
                             Mode{DevInfoMode::Device, "device-info-device", 2},
                             Mode{DevInfoMode::File, "device-info-file", 3}}) {
        DevInfo info(morlin, mode.mode, {0, 1, dir_.file("fw.bin")});
        bool saw_columns = false;
        Script script({
            [&] {
                auto* list = control_of<QTreeWidget>(129, kIdDevInfoRows);
                saw_columns = list != nullptr && list->columnCount() == mode.columns;
                return list != nullptr && shot(129, mode.name);
            },
            [] { return click(129, kIdDevInfoOk); },
        });
        dialogs::dialog_runner().run_modal(info);
        EXPECT_TRUE(script.finished()) << mode.name;
        EXPECT_TRUE(saw_columns) << mode.name;
    }
    AboutBox about(morlin);
    Script script({[] { return shot(100, "about-box"); }, [] { return click(100, kIdAboutOk); }});
    EXPECT_EQ(dialogs::dialog_runner().run_modal(about), dialogs::kEndOk);
    EXPECT_TRUE(script.finished());
}

// --- the configuration editor and the configured run's progress dialog --------------------

bool select_row(int template_id, int id, int row) {
    auto* list = control_of<QTreeWidget>(template_id, id);
    if (list == nullptr || list->topLevelItemCount() <= row) {
        return false;
    }
    list->setCurrentItem(list->topLevelItem(row));
    return true;
}

// The editor with one arrow held down (drawn from its pressed bitmap).
bool shot_with_up_arrow_held(const std::string& name) {
    auto* up = control_of<QAbstractButton>(kTemplateCfgEdt, kIdFileUp);
    if (up == nullptr) {
        return false;
    }
    emit up->pressed();
    const bool taken = shot(kTemplateCfgEdt, name);
    emit up->released();
    return taken;
}

TEST_F(QtDialogs, ConfigurationEditorAndItsOptionDialogInBothLanguages) {
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    for (const char* file :
         {"HalvaneFirmware.bin", "PellaxApp.bin", "HalvaneFirmware-2.11.bin", "Signature.sig"}) {
        morlin_test::write_text(dir_.file(file), "image");
    }
    ConfigContents contents;
    contents.options = {{"GUI", "YES"}, {"BACKUP", "NO"}, {"RETRIES", "3"}};
    contents.downloads = {"PellaxApp.bin", "HalvaneFirmware.bin"};
    for (auto [language, suffix] :
         {std::pair{kLanguageEnglish, ""}, std::pair{kLanguageGerman, "-de"}}) {
        const std::string tail = suffix;
        ASSERT_TRUE(save_config_file(dir_.file("Morlin.cfg"), contents));
        CfgEdtDlg editor(app(language));
        const int ed = kTemplateCfgEdt;
        const int opt = kTemplateCfgOption;
        Script script({
            [&] { return select_row(ed, kIdFileList, 1); },
            [&] { return shot_with_up_arrow_held("config-editor" + tail); },
            [&] { return click(ed, kIdOptionAdd); },
            [&] { return shot(opt, "option-add-yesno" + tail); },
            [&] { return click(opt, kIdKindNumber); },
            [&] { return shot(opt, "option-add-number" + tail); },
            [&] { return click(opt, kIdOptionCancel); },
            [&] { return select_row(ed, kIdOptionList, 0); },
            [&] { return click(ed, kIdOptionEdit); },
            [&] { return shot(opt, "option-edit-yesno" + tail); },
            [&] { return click(opt, kIdOptionCancel); },
            [&] { return select_row(ed, kIdOptionList, 2); },
            [&] { return click(ed, kIdOptionEdit); },
            [&] { return shot(opt, "option-edit-text" + tail); },
            [&] { return click(opt, kIdOptionOk); },
            [&] { return select_row(ed, kIdFileList, 0); },
            [&] { return click(ed, kIdFileDown); },
            [&] { return click(ed, kIdEditorSave); },
            answer_box(QMessageBox::Yes, "message-box-save-question" + tail),
            [&] { return click(ed, kIdEditorClose); },
        });
        dialogs::dialog_runner().run_modal(editor);
        EXPECT_TRUE(script.finished()) << tail;
        EXPECT_FALSE(editor.changes_marked()) << tail;
        // The down arrow moved PellaxApp.bin below HalvaneFirmware.bin before the save.
        const ConfigImage saved = load_config_image(dir_.file("Morlin.cfg"));
        const ConfigParse parse = parse_config_records(std::span(saved.bytes).subspan(4));
        EXPECT_EQ(parse.contents.downloads,
                  (std::vector<std::string>{"HalvaneFirmware.bin", "PellaxApp.bin"}))
            << tail;
        [[maybe_unused]] const int ended = end_run(*app_); // only the plug-ins are stopped
    }
    std::filesystem::current_path(previous);
}

// A configured run's table: the firmware for the first device, `second` for the second.
MorlinApp& two_entries(MorlinApp& morlin, const char* second) {
    morlin.download_count = 2;
    for (int i = 0; i < 2; ++i) {
        DownloadEntry& entry = morlin.downloads[static_cast<std::size_t>(i)];
        set_record_field(entry.file_name, i == 0 ? "HalvaneFirmware.bin" : second);
        entry.plugin_index = 0;
        entry.device_index = i;
    }
    return morlin;
}

TEST_F(QtDialogs, ProgressDialogReadyRunningAndAfterAFailedEntry) {
    for (auto [language, suffix] :
         {std::pair{kLanguageEnglish, ""}, std::pair{kLanguageGerman, "-de"}}) {
        const std::string tail = suffix;
        MorlinApp& morlin = two_entries(app(language), "PellaxApp.bin");
        const int dlg = kTemplateCfgMode;
        std::string start_text;
        {
            CfgModeDlg progress(morlin);
            Script script({
                [&] { return shot(dlg, "cfg-mode-ready" + tail); },
                [&] {
                    start_text =
                        control_of<QAbstractButton>(dlg, kIdModeClose)->text().toStdString();
                    return click(dlg, kIdModeStart);
                },
                [&] {
                    auto* bar = control_of<QProgressBar>(dlg, kIdModeDownloadBar);
                    return bar != nullptr && bar->value() == 50 &&
                           shot(dlg, "cfg-mode-running" + tail);
                },
                [&] { return click(dlg, kIdModeClose); }, // the cancel question
                answer_box(QMessageBox::Yes),
                answer_box(QMessageBox::Ok, "message-box-plugin-error-cfg" + tail), // 212
                answer_box(QMessageBox::No, "message-box-continue" + tail),
                [&] {
                    auto* close = control_of<QAbstractButton>(dlg, kIdModeClose);
                    return close != nullptr && close->text().toStdString() == start_text &&
                           shot(dlg, "cfg-mode-failed" + tail);
                },
                [&] { return click(dlg, kIdModeClose); },
            });
            dialogs::dialog_runner().run_modal(progress);
            EXPECT_TRUE(script.finished()) << tail;
            EXPECT_EQ(progress.outcome(), kOutcomeFailed) << tail;
        }
        EXPECT_EQ(morlin.exit_code(), kOutcomeFailed) << tail;
        [[maybe_unused]] const int ended = end_run(*app_); // only the plug-ins are stopped
    }
}

// /PARALLEL with a plug-in that allows it: both entries run at once, each row with its bar.
TEST_F(QtDialogs, ProgressDialogInLanes) {
    MorlinApp& morlin = two_entries(app(), "HalvaneApp.bin");
    morlin.command_line = parse_command_line({"/PARALLEL"});
    morlin.plugins[0].fn.get_capabilities = [] { return VUP_CAP_PARALLEL_DOWNLOADS; };
    const int dlg = kTemplateCfgMode;
    CfgModeDlg progress(morlin);
    Script script({
        [&] { return click(dlg, kIdModeStart); },
        [&] {
            auto* list = control_of<QTreeWidget>(dlg, kIdModeEntries);
            return list != nullptr && list->topLevelItemCount() == 2 &&
                   list->topLevelItem(0)->text(2) == "50" &&
                   list->topLevelItem(1)->text(2) == "50" && shot(dlg, "cfg-mode-lanes-running");
        },
        [&] { return click(dlg, kIdModeClose); }, // the cancel question
        answer_box(QMessageBox::Yes),
        [&] { // both lanes have ended: Cancel is Close again
            auto* close = control_of<QAbstractButton>(dlg, kIdModeClose);
            return close != nullptr && close->text() == "Close" && click(dlg, kIdModeClose);
        },
    });
    dialogs::dialog_runner().run_modal(progress);
    EXPECT_TRUE(script.finished());
    EXPECT_EQ(progress.outcome(), kOutcomeFailed);
}

} // namespace
} // namespace morlin
