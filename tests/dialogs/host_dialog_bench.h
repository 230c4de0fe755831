#pragma once
// Morlin's dialogs in-process without a toolkit: a MorlinApp with the resource texts and one
// recording test plug-in, working in a fresh current folder, message boxes answered by a
// scripted port, and the console's view fed with a list of actions (its lines are kept).
#include "host/fixed_text.h"
#include "host/host_log.h"
#include "host/morlin_app.h"
#include "host/plugins/device_lists.h"
#include "host/plugins/plugin_binding.h"
#include "tests/common/temp_dir.h"
#include "tests/common/text_lines.h"
#include "tests/host/test_support.h"
#include "ui/console_runner.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace morlin::test {

class HostDialogBench {
  public:
    explicit HostDialogBench(const std::string& scenario = "devices=1\n",
                             const std::string& plugin = "VUPRecorder")
        : previous_dir_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir.path());
        morlin_test::write_text(dir.file("scenario.txt"), scenario);
        setenv("MORLIN_TEST_PLUGIN_SCENARIO", dir.file("scenario.txt").c_str(), 1);
        setenv("MORLIN_TEST_PLUGIN_RECORD", dir.file("calls.txt").c_str(), 1);
        previous_port_ = platform::install_user_interface(port);
        EXPECT_TRUE(open_host_log(dir.file("Morlin.log"), "test"));
        app.texts.set_language(kLanguageEnglish);
        EXPECT_TRUE(app.texts.load_module(std::string(MORLIN_BIN_DIR) + "/MORLNRES.so"));
        PluginRecord& record = app.plugins[0];
        record.module =
            platform::Library::load(std::string(MORLIN_TEST_PLUGIN_DIR) + "/" + plugin + ".so");
        EXPECT_TRUE(record.module && bind_plugin_functions(*record.module, record.fn));
        std::snprintf(record.version_line, sizeof record.version_line, "%s Version 1.0",
                      plugin == "VUPMobileRec" ? "Mobile Recording Interface" : "Recording");
        app.plugin_count = 1;
        app.backup_directory = dir.path().string();
    }
    ~HostDialogBench() {
        [[maybe_unused]] const int ended = end_run(app); // only the plug-ins are stopped
        close_host_log();
        platform::install_user_interface(previous_port_);
        std::filesystem::current_path(previous_dir_);
    }

    // Lists the plug-in's devices and puts `files` into the download-file table, each with
    // its device (kNoDevice for none).
    void table(const std::vector<std::pair<std::string, int>>& files) {
        EXPECT_FALSE(create_device_lists(app).failed());
        app.download_count = 0;
        for (const auto& [file, device] : files) {
            DownloadEntry& entry = app.downloads[static_cast<std::size_t>(app.download_count++)];
            set_record_field(entry.file_name, file);
            entry.plugin_index = 0;
            entry.device_index = device;
        }
    }

    // Runs the dialog modally on the console with these actions; returns its lines.
    std::string run(dialogs::Dialog& dialog, std::vector<std::string> actions) {
        const std::string out_path = dir.file("console.txt");
        std::FILE* out = std::fopen(out_path.c_str(), "w");
        {
            dialogs::ConsoleRunner runner(
                out, std::make_unique<dialogs::ActionSource>(std::move(actions)));
            runner.run_modal(dialog);
        }
        std::fclose(out);
        return morlin_test::read_text(out_path);
    }

    // The texts of the message boxes shown so far.
    std::vector<std::string> boxes() const {
        std::vector<std::string> texts;
        for (const auto& box : port->boxes) {
            texts.push_back(box.text);
        }
        return texts;
    }
    std::vector<std::string> calls(const std::string& function) const {
        std::vector<std::string> found;
        for (const std::string& line :
             morlin_test::lines_of(morlin_test::read_text(dir.file("calls.txt")))) {
            if (line.find(" " + function + " ") != std::string::npos) {
                found.push_back(line);
            }
        }
        return found;
    }
    std::string log() const { return morlin_test::read_text(dir.file("Morlin.log")); }

    morlin_test::TempDir dir;
    std::shared_ptr<platform::ScriptedUserInterface> port =
        std::make_shared<platform::ScriptedUserInterface>();
    MorlinApp app;

  private:
    std::filesystem::path previous_dir_;
    std::shared_ptr<platform::UserInterface> previous_port_;
};

} // namespace morlin::test
