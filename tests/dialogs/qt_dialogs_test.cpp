// Morlin's dialogs drawn by Qt offscreen with the terminal plug-in VUPPorta and two simulated
// Halvane terminals: clicked through like a user would, in English and German, with a PNG of
// each state in build/screenshots/ (the pictures in docs/images/ are taken from there).
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
#include "sample_image.h"
#include "sim/terminal_simulator.h"
#include "tests/common/temp_dir.h"
#include "tests/common/text_lines.h"
#include "tests/dialogs/qt_script.h"
#include "tests/host/test_support.h"
#include "ui/qt/qt_parts.h"
#include "ui/qt/qt_toolkit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QLabel>
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

struct Language {
    std::uint16_t id;
    const char* locale; // what the plug-in and Qt take the user's language from
    const char* suffix; // of the picture names
};
constexpr Language kLanguages[] = {{kLanguageEnglish, "en_US.UTF-8", ""},
                                   {kLanguageGerman, "de_DE.UTF-8", "-de"}};

// The firmware file of the pictures: a Halvane firmware image of twelve full blocks beyond the
// three fixed ones, so that a run lasts long enough to be watched and cancelled. At 230400 baud
// a full block takes half of the time the plug-in gives it to be acknowledged.
constexpr const char* kFirmwareFile = "HalvaneFirmware.bin";
constexpr std::uint32_t kFirmwareSize = sample::kMinimumImageSize + 12 * 65536;
constexpr std::uint32_t kLineBaud = 230400;
constexpr int kBarAfterFixedBlocks = 46; // handshake 5, upgrade request 5, three blocks of 12
constexpr int kBlockAcknowledged = 603;  // the plug-in's text while the image goes out

class QtDialogs : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("MORLIN_TIME_SCALE", "10", 1);
        setenv("MORLIN_REAL_PORTS", "none", 1);
        setenv("MORLIN_INHIBIT", "none", 1);
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
        previous_dir_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
        port_ = std::make_shared<TestPort>();
        previous_ = platform::install_user_interface(port_);
        sample::ImageRecipe firmware;
        firmware.size = kFirmwareSize;
        write_image(kFirmwareFile, firmware);
        setenv("MORLIN_DEVICES", dir_.file("devices").c_str(), 1);
        setenv("MORLIN_LOG_FILE", dir_.file("Morlin.log").c_str(), 1);
        for (const char* serial : {"SIM0001", "SIM0002"}) {
            sim::SimulatorOptions options;
            options.serial = serial;
            options.line_baud = kLineBaud;
            std::string error;
            terminals_.push_back(sim::TerminalSimulator::start(options, &error));
            ASSERT_TRUE(terminals_.back()) << error;
        }
    }
    void TearDown() override {
        app_.reset(); // its exit steps end the device lists
        terminals_.clear();
        platform::install_user_interface(previous_);
        std::filesystem::current_path(previous_dir_);
    }

    // A Morlin that found VUPPorta as the program does and listed the simulated terminals,
    // with the plug-in, the resource texts and Qt in `language`.
    MorlinApp& app(const Language& language) {
        app_.reset();
        setenv("LC_ALL", language.locale, 1);
        toolkit_->use_language(language.locale);
        app_ = std::make_unique<MorlinApp>();
        app_->texts.set_language(language.id);
        EXPECT_TRUE(app_->texts.load_module(std::string(MORLIN_BIN_DIR) + "/MORLNRES.so"));
        const DiscoveryResult found = discover_plugins(
            std::string(MORLIN_BIN_DIR), app_->platform_class, app_->texts, app_->plugins);
        EXPECT_EQ(found.code, 0);
        app_->plugin_count = found.plugin_count;
        app_->backup_directory = dir_.path().string();
        EXPECT_FALSE(create_device_lists(*app_).failed());
        EXPECT_EQ(app_->total_device_count, 2);
        return *app_;
    }

    void write_image(const char* name, const sample::ImageRecipe& recipe) {
        test::write_bytes(dir_.file(name), sample::make_image(recipe));
    }

    static dialogs::QtToolkit* toolkit_;
    std::shared_ptr<TestPort> port_;
    std::shared_ptr<platform::UserInterface> previous_;
    morlin_test::TempDir dir_;
    std::filesystem::path previous_dir_;
    std::vector<std::unique_ptr<sim::TerminalSimulator>> terminals_;
    std::unique_ptr<MorlinApp> app_;
};

dialogs::QtToolkit* QtDialogs::toolkit_ = nullptr;

// A run well into the transfer of the image, with the plug-in's text for it in the window's
// language.
bool transferring(const MorlinApp& morlin, int template_id, int bar_id, int text_id) {
    auto* bar = control_of<QProgressBar>(template_id, bar_id);
    auto* text = control_of<QLabel>(template_id, text_id);
    return bar != nullptr && bar->value() >= kBarAfterFixedBlocks && bar->value() < 100 &&
           text != nullptr && text->text().toStdString() == morlin.texts.text(kBlockAcknowledged);
}

// The window's picture once the button says `text` again (Cancel back to Close after a run).
bool shot_once_it_says(int template_id, int id, const std::string& text, const std::string& name) {
    auto* button = control_of<QAbstractButton>(template_id, id);
    return button != nullptr && button->text().toStdString() == text && shot(template_id, name);
}

TEST_F(QtDialogs, MainWindowFromIdleThroughACancelledRun) {
    for (const Language& language : kLanguages) {
        const std::string tail = language.suffix;
        // A plug-in without upload gets the window without the mode choice, as in the course.
        MorlinApp& morlin = app(language);
        MorlinDlg window(morlin, kTemplateDownloadOnly);
        const int dlg = kTemplateDownloadOnly;
        port_->files = {dir_.file(kFirmwareFile)};
        std::string close_text;
        Script script({
            [&] { return shot(dlg, "main-window-idle" + tail); },
            [&] {
                close_text = control_of<QAbstractButton>(dlg, kIdClose)->text().toStdString();
                return click(dlg, kIdBrowse);
            },
            [&] {
                auto* combo = control_of<QComboBox>(dlg, kIdDeviceList);
                return combo != nullptr && combo->count() == 2 &&
                       shot(dlg, "main-window-file-chosen" + tail);
            },
            [&] { return click(dlg, kIdDeviceInfo); },
            [&] {
                auto* list = control_of<QTreeWidget>(kTemplateDevInfo, kIdDevInfoRows);
                return list != nullptr && list->columnCount() == 3 &&
                       list->topLevelItemCount() > 1 &&
                       shot(kTemplateDevInfo, "device-info-file" + tail);
            },
            [&] { return click(kTemplateDevInfo, kIdDevInfoOk); },
            [&] { return click(dlg, kIdStart); },
            [&] {
                return transferring(morlin, dlg, kIdProgress, kIdStatus) &&
                       shot(dlg, "main-window-running" + tail);
            },
            [&] { return click(dlg, kIdClose); }, // asks whether to cancel
            answer_box(QMessageBox::Yes, "message-box-cancel-question" + tail),
            answer_box(QMessageBox::Ok, "message-box-plugin-error" + tail), // the plug-in's 212
            [&] {
                return shot_once_it_says(dlg, kIdClose, close_text, "main-window-failed" + tail);
            },
            [&] { return click(dlg, kIdClose); },
        });
        dialogs::dialog_runner().run_modal(window);
        EXPECT_TRUE(script.finished()) << tail;
        EXPECT_EQ(window.outcome(), kOutcomeFailed) << tail;
    }
}

TEST_F(QtDialogs, DeviceInformationModesAndTheAboutBox) {
    struct Mode {
        DevInfoMode mode;
        const char* name;
        int columns;
    };
    for (const Language& language : kLanguages) {
        const std::string tail = language.suffix;
        MorlinApp& morlin = app(language);
        for (const Mode& mode : {Mode{DevInfoMode::DeviceChoice, "device-info-choice", 2},
                                 Mode{DevInfoMode::Device, "device-info-device", 2}}) {
            DevInfo info(morlin, mode.mode, {0, 1, {}});
            bool saw_columns = false;
            Script script({
                [&] {
                    auto* list = control_of<QTreeWidget>(kTemplateDevInfo, kIdDevInfoRows);
                    saw_columns = list != nullptr && list->columnCount() == mode.columns;
                    return list != nullptr && list->topLevelItemCount() > 1 &&
                           shot(kTemplateDevInfo, mode.name + tail);
                },
                [] { return click(kTemplateDevInfo, kIdDevInfoOk); },
            });
            dialogs::dialog_runner().run_modal(info);
            EXPECT_TRUE(script.finished()) << mode.name << tail;
            EXPECT_TRUE(saw_columns) << mode.name << tail;
        }
        AboutBox about(morlin);
        Script script(
            {[&] { return shot(100, "about-box" + tail); }, [] { return click(100, kIdAboutOk); }});
        EXPECT_EQ(dialogs::dialog_runner().run_modal(about), dialogs::kEndOk);
        EXPECT_TRUE(script.finished()) << tail;
    }
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
    sample::ImageRecipe pellax_application;
    pellax_application.kind = sample::ImageKind::Application;
    pellax_application.product = sample::Product::Pellax;
    write_image("PellaxApp.bin", pellax_application);
    write_image("HalvaneFirmware-2.11.bin", sample::ImageRecipe{});
    morlin_test::write_text(dir_.file("Signature.sig"), "signature");
    ConfigContents contents;
    contents.options = {{"GUI", "YES"}, {"BACKUP", "NO"}, {"RETRIES", "3"}};
    contents.downloads = {"PellaxApp.bin", "HalvaneFirmware.bin"};
    for (const Language& language : kLanguages) {
        const std::string tail = language.suffix;
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
    }
}

// A configured run's table: the firmware for the first terminal, `second` for the second.
MorlinApp& two_entries(MorlinApp& morlin, const char* second) {
    morlin.download_count = 2;
    for (int i = 0; i < 2; ++i) {
        DownloadEntry& entry = morlin.downloads[static_cast<std::size_t>(i)];
        set_record_field(entry.file_name, i == 0 ? kFirmwareFile : second);
        entry.plugin_index = 0;
        entry.device_index = i;
    }
    return morlin;
}

TEST_F(QtDialogs, ProgressDialogReadyRunningAndAfterAFailedEntry) {
    for (const Language& language : kLanguages) {
        const std::string tail = language.suffix;
        MorlinApp& morlin = two_entries(app(language), kFirmwareFile);
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
                    return transferring(morlin, dlg, kIdModeDownloadBar, kIdModeDownloadText) &&
                           shot(dlg, "cfg-mode-running" + tail);
                },
                [&] { return click(dlg, kIdModeClose); }, // the cancel question
                answer_box(QMessageBox::Yes),
                answer_box(QMessageBox::Ok, "message-box-plugin-error-cfg" + tail), // 212
                answer_box(QMessageBox::No, "message-box-continue" + tail),
                [&] {
                    return shot_once_it_says(dlg, kIdModeClose, start_text,
                                             "cfg-mode-failed" + tail);
                },
                [&] { return click(dlg, kIdModeClose); },
            });
            dialogs::dialog_runner().run_modal(progress);
            EXPECT_TRUE(script.finished()) << tail;
            EXPECT_EQ(progress.outcome(), kOutcomeFailed) << tail;
        }
        EXPECT_EQ(morlin.exit_code(), kOutcomeFailed) << tail;
    }
}

// /PARALLEL with a plug-in that allows it: both entries run at once, each row with its bar.
TEST_F(QtDialogs, ProgressDialogInLanes) {
    MorlinApp& morlin = two_entries(app(kLanguages[0]), kFirmwareFile);
    morlin.command_line = parse_command_line({"/PARALLEL"});
    const int dlg = kTemplateCfgMode;
    CfgModeDlg progress(morlin);
    Script script({
        [&] { return click(dlg, kIdModeStart); },
        [&] {
            auto* list = control_of<QTreeWidget>(dlg, kIdModeEntries);
            const auto transferring_row = [&](int row) {
                const int bar = list->topLevelItem(row)->text(2).toInt();
                return bar >= kBarAfterFixedBlocks && bar < 100;
            };
            return list != nullptr && list->topLevelItemCount() == 2 && transferring_row(0) &&
                   transferring_row(1) && shot(dlg, "cfg-mode-lanes-running");
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

// The main window's one-line status field with the longest progress text a plug-in may send:
// it ends in "..." and the whole text is the tooltip; a text that fits has neither.
TEST_F(QtDialogs, StatusFieldTooShortForItsTextShowsItWhole) {
    struct StatusLine : dialogs::Dialog {
        StatusLine() : Dialog(kTemplateDownloadOnly, 280, 30) {
            add(dialogs::ControlKind::Static, kIdStatus, {9, 9, 262, 10});
        }
        using Dialog::end;
        using Dialog::set_text;
    } window;
    std::string whole;
    while (whole.size() < 199) {
        whole += "Block " + std::to_string(whole.size()) + " of 1200 sent, ";
    }
    whole.resize(199);
    const auto label = [] { return control_of<QLabel>(kTemplateDownloadOnly, kIdStatus); };
    Script script({
        [&] {
            window.set_text(kIdStatus, whole);
            EXPECT_TRUE(label()->text().endsWith(QChar(0x2026))) << label()->text().toStdString();
            EXPECT_EQ(label()->toolTip().toStdString(), whole);
            window.set_text(kIdStatus, "Block 12 of 1200 sent");
            EXPECT_EQ(label()->text().toStdString(), "Block 12 of 1200 sent");
            EXPECT_TRUE(label()->toolTip().isEmpty());
            window.end(dialogs::kEndOk);
            return true;
        },
    });
    dialogs::dialog_runner().run_modal(window);
    EXPECT_TRUE(script.finished());
}

} // namespace
} // namespace morlin
