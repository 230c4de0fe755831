// Plug-in discovery and binding, and the configuration reader's use of the plug-ins, with
// the recording test plug-ins loaded in-process.
#include "host/config/config_file.h"
#include "host/config/config_reader.h"
#include "host/morlin_app.h"
#include "host/plugins/device_lists.h"
#include "host/plugins/plugin_binding.h"
#include "platform/user_interface/ui.h"
#include "test_support.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace morlin {
namespace {

namespace fs = std::filesystem;

class PluginTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = fs::current_path();
        fs::current_path(dir_.path());
        ::setenv("MORLIN_TEST_PLUGIN_RECORD", dir_.file("calls.txt").c_str(), 1);
        ::setenv("MORLIN_TEST_PLUGIN_SCENARIO", dir_.file("scenario.txt").c_str(), 1);
        ui_ = std::make_shared<platform::ScriptedUserInterface>();
        platform::install_user_interface(ui_);
    }
    void TearDown() override {
        for (auto& record : table_) {
            record.module.reset();
        }
        platform::install_user_interface(nullptr);
        ::unsetenv("MORLIN_TEST_PLUGIN_RECORD");
        ::unsetenv("MORLIN_TEST_PLUGIN_SCENARIO");
        fs::current_path(previous_);
    }
    // Copies a test plug-in into the folder, under another name when given.
    void add_plugin(const std::string& variant, const std::string& as = {}) {
        fs::copy_file(fs::path(MORLIN_TEST_PLUGIN_DIR) / (variant + ".so"),
                      dir_.file(as.empty() ? variant + ".so" : as));
    }
    void scenario(const std::string& text) { test::write_text(dir_.file("scenario.txt"), text); }
    std::vector<std::string> calls() {
        return test::lines_of(test::read_text(dir_.file("calls.txt")));
    }
    // Binds the folder's plug-ins into the application's own table.
    void bind_into(MorlinApp& app) {
        app.plugin_count =
            discover_plugins(dir_.path().string(), 1, app.texts, app.plugins).plugin_count;
    }
    // Two copies of the recording plug-in, VUPRecA and VUPRecB, with one scenario.
    void two_recorders(const std::string& text) {
        add_plugin("VUPRecorder", "VUPRecA.so");
        add_plugin("VUPRecorder", "VUPRecB.so");
        scenario(text);
    }
    DiscoveryResult discover(int platform_class = 1) {
        return discover_plugins(dir_.path().string(), platform_class, texts_, table_);
    }

    test::TempDir dir_;
    fs::path previous_;
    HostTexts texts_;
    std::array<PluginRecord, kMaxPlugins> table_;
    std::shared_ptr<platform::ScriptedUserInterface> ui_;
};

// The file that discovery found is the one loaded, by its full path, even when a library of
// that name sits in a folder that the library search order looks at first.
TEST_F(PluginTest, TheFileFoundIsTheFileLoaded) {
    ASSERT_TRUE(fs::exists(fs::path(MORLIN_TEST_PLUGIN_DIR).parent_path() / "VUPShadowed.so"));
    add_plugin("VUPRecorder", "VUPShadowed.so");
    ASSERT_EQ(discover().plugin_count, 1);
    EXPECT_EQ(table_[0].module->path(), fs::canonical(dir_.file("VUPShadowed.so")).string());
    EXPECT_EQ(std::string(table_[0].version_line).find("Shadowing"), std::string::npos);
}

// A later folder (the installed one) adds only names the earlier ones lack, whatever their case.
TEST_F(PluginTest, LaterFoldersAddPluginsTheEarlierOnesLack) {
    add_plugin("VUPRecorder", "VUPRecA.so");
    fs::create_directory(dir_.file("installed"));
    add_plugin("VUPRecorder", "installed/vuprecA.so");
    add_plugin("VUPRecorder", "installed/VUPRecB.so");
    const auto installed = dir_.file("installed");
    ASSERT_EQ(discover_plugins({dir_.path().string(), installed}, 1, texts_, table_).plugin_count,
              2);
    EXPECT_EQ(table_[1].module->path(), fs::canonical(installed + "/VUPRecB.so").string());
}

TEST_F(PluginTest, NoPluginFileGives120) {
    test::write_text(dir_.file("README.txt"), "not a plug-in");
    EXPECT_EQ(discover().code, 120);
}

TEST_F(PluginTest, UnusableFilesGive623) {
    test::write_text(dir_.file("VUPBroken.so"), "this is not a library");
    add_plugin("VUPNoDisplay");
    const DiscoveryResult result = discover();
    EXPECT_EQ(result.code, 623);
    EXPECT_EQ(result.plugin_count, 0);
    EXPECT_FALSE(table_[0].bound());
}

TEST_F(PluginTest, AcceptedAndRejectedFilesGiveACountOfOne) {
    test::write_text(dir_.file("vupbroken.SO"), "this is not a library");
    add_plugin("VUPNoDisplay");
    add_plugin("VUPRecorder", "vuprecorder.So"); // the pattern ignores letter case
    const DiscoveryResult result = discover();
    EXPECT_EQ(result.code, 0);
    ASSERT_EQ(result.plugin_count, 1);
    const PluginRecord& record = table_[0];
    EXPECT_TRUE(record.bound());
    EXPECT_NE(record.fn.start_stop, nullptr);
    EXPECT_NE(record.fn.get_dll_info, nullptr);
    EXPECT_EQ(calls(), std::vector<std::string>{"vuprecorder VUPInitializeLogger"});
    const std::string line = record.version_line;
    EXPECT_EQ(line.rfind("Recording Test Interface ", 0), 0u) << line;
    EXPECT_EQ(line.substr(line.size() - 5), " 2.05");
    EXPECT_FALSE(record.is_mobile_terminal_plugin());
}

TEST_F(PluginTest, ElevenFunctionPluginBindsOptionalOnesAsNull) {
    add_plugin("VUPEleven");
    ASSERT_EQ(discover().plugin_count, 1);
    const PluginFunctions& fn = table_[0].fn;
    EXPECT_EQ(fn.start_stop, nullptr);
    EXPECT_EQ(fn.match_dev_by_symlink, nullptr);
    EXPECT_EQ(fn.match_dfu_dev_by_prod_type, nullptr);
    EXPECT_EQ(fn.get_dll_info, nullptr);
    EXPECT_NE(fn.initialize_logger, nullptr);
    EXPECT_NE(fn.is_os_supported, nullptr);
    EXPECT_NE(fn.is_upload_supported, nullptr);
}

TEST_F(PluginTest, MobileDescriptionMarksTheMobileTerminalPlugin) {
    add_plugin("VUPMobileRec");
    ASSERT_EQ(discover().plugin_count, 1);
    EXPECT_TRUE(table_[0].is_mobile_terminal_plugin());
}

TEST_F(PluginTest, Windows9xNeedsTheOsCheck) {
    add_plugin("VUPNoOsCheck");
    EXPECT_EQ(discover(1).plugin_count, 1); // NT family: not asked
    table_ = {};
    EXPECT_EQ(discover(0).code, 623);

    add_plugin("VUPRecorder");
    scenario("VUPRecorder.result.VUPIsOSSupported=623\n");
    table_ = {};
    EXPECT_EQ(discover(0).code, 623);
    scenario("VUPRecorder.result.VUPIsOSSupported=0\n");
    table_ = {};
    EXPECT_EQ(discover(0).plugin_count, 1);
}

TEST_F(PluginTest, AtMostFourPlugins) {
    for (int i = 0; i < 5; ++i) {
        add_plugin("VUPRecorder", "VUPRec" + std::to_string(i) + ".so");
    }
    const DiscoveryResult result = discover();
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.plugin_count, 4);
}

// The reader gives each file to the first plug-in that accepts it, leaves out files no
// plug-in accepts, and holds the last Tamsel image back to the end.
TEST_F(PluginTest, ConfigurationReaderFillsTheDownloadTable) {
    add_plugin("VUPRecorder");
    scenario("accept=*.bin\n");
    test::write_bytes(dir_.file("t1.bin"), {'C', 'A', 'P', 'A', 'B', 0, 0x20});
    test::write_bytes(dir_.file("t2.bin"), {'C', 'A', 'P', 'A', 'B', 0, 0x20});
    test::write_bytes(dir_.file("a.bin"), {1, 2, 3});
    test::write_bytes(dir_.file("b.bin"), {4, 5, 6});
    ConfigContents contents;
    contents.options = {{"GUI", "no"}, {"BACKUP", "no"}};
    contents.downloads = {"t1.bin", "a.bin", "skip.hex", "t2.bin", "b.bin"};
    ASSERT_TRUE(save_config_file(dir_.file("Morlin.cfg"), contents));

    MorlinApp app;
    const DiscoveryResult result =
        discover_plugins(dir_.path().string(), 1, app.texts, app.plugins);
    app.plugin_count = result.plugin_count;
    ASSERT_EQ(read_configuration(app), 1);
    EXPECT_TRUE(app.config_loaded);
    EXPECT_TRUE(app.options.silent);
    EXPECT_FALSE(app.options.backup);
    ASSERT_EQ(app.download_count, 3);
    EXPECT_STREQ(app.downloads[0].file_name, "a.bin");
    EXPECT_STREQ(app.downloads[1].file_name, "b.bin");
    EXPECT_STREQ(app.downloads[2].file_name, "t2.bin");
    EXPECT_STREQ(app.config_name_for_plugins(), "Morlin.cfg");
}

TEST_F(PluginTest, ConfigurationReaderErrors) {
    add_plugin("VUPRecorder");
    ConfigContents contents;
    contents.downloads = {"a.bin"};
    auto image = build_config_image(contents);
    image[0] ^= 1;
    test::write_bytes(dir_.file("Morlin.cfg"), image);
    {
        MorlinApp app;
        app.plugin_count =
            discover_plugins(dir_.path().string(), 1, app.texts, app.plugins).plugin_count;
        EXPECT_EQ(read_configuration(app), 0);
        EXPECT_FALSE(app.config_loaded);
        EXPECT_EQ(app.download_count, 0);
        ASSERT_EQ(ui_->boxes.size(), 1u);
        EXPECT_EQ(ui_->boxes[0].icon, platform::MessageIcon::Error);
        EXPECT_EQ(ui_->boxes[0].text, app.texts.text_or_number(110));
    }
    test::write_bytes(dir_.file("Morlin.cfg"), {});
    {
        MorlinApp app;
        EXPECT_EQ(read_configuration(app), 1); // an empty file is read without a check
        EXPECT_TRUE(app.config_loaded);
    }
}

TEST_F(PluginTest, DeviceListsAreCountedAndClearedAtTheEndOfARun) {
    two_recorders("VUPRecA.devices=3\nVUPRecB.devices=0\nVUPRecB.result.VUPIsUploadSupported=734\n"
                  "VUPRecA.result.VUPIsUploadSupported=734\n");
    MorlinApp app;
    bind_into(app);
    ASSERT_EQ(app.plugin_count, 2);
    EXPECT_FALSE(create_device_lists(app).failed());
    EXPECT_EQ(app.total_device_count, 3);
    EXPECT_FALSE(app.upload_available);
    const bool a_first = app.plugins[0].module->path().find("VUPRecA") != std::string::npos;
    EXPECT_EQ(app.plugins[a_first ? 0 : 1].device_count, 3);
    EXPECT_EQ(app.plugins[a_first ? 1 : 0].device_count, 0);
    EXPECT_EQ(end_run(app), 0);
    for (const auto& plugin : app.plugins) {
        EXPECT_EQ(plugin.device_count, 0);
        EXPECT_EQ(plugin.devices[0].name[0], '\0');
        EXPECT_EQ(plugin.devices[0].detail, nullptr);
    }
}

TEST_F(PluginTest, DeviceListFailureOfEveryPluginIsTheLastPluginsError) {
    add_plugin("VUPRecorder");
    scenario("result.VUPCreateDeviceInfoList=200\n");
    MorlinApp app;
    bind_into(app);
    const HostError error = create_device_lists(app);
    EXPECT_EQ(error.code, 200);
    EXPECT_EQ(error.from_plugin, 1);
    app.show_host_error(error);
    ASSERT_EQ(ui_->boxes.size(), 1u);
    EXPECT_EQ(ui_->boxes[0].text, "Recorder error 200");
}

// A plug-in's error is shown with the text of the plug-in it came from, not the current one's.
TEST_F(PluginTest, APluginErrorIsShownWithItsOwnPluginsText) {
    two_recorders(
        "VUPRecA.error.208=first plug-in's text\nVUPRecB.error.208=second plug-in's text\n"
        "VUPRecB.result.VUPDestroyDeviceInfoList=208\n");
    MorlinApp app;
    bind_into(app);
    ASSERT_EQ(app.plugin_count, 2);
    ASSERT_NE(app.plugins[0].module->path().find("VUPRecA"), std::string::npos);
    app.current_plugin = &app.plugins[0];
    app.current_plugin_index = 0;
    EXPECT_EQ(end_run(app), 208);
    ASSERT_EQ(ui_->boxes.size(), 1u);
    EXPECT_EQ(ui_->boxes[0].text, "second plug-in's text");
}

} // namespace
} // namespace morlin
