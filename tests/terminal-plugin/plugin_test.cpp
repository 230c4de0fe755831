// VUPPorta.so through its C interface, loaded by file name as a host loads it, against
// simulated terminals announced in a temporary devices folder.
#include "test_support.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <platform/foundation/last_error.h>
#include <platform/winapi/library.h>
#include <platform/winapi/version_info.h>
#include <sim/terminal_simulator.h>
#include <thread>
#include <vup_plugin.h>

namespace {

using vupporta::testing::make_image;
using vupporta::testing::TempFolder;

std::mutex g_mutex;
std::vector<std::pair<int, std::optional<std::string>>> g_progress;

void capture_progress(int steps, const char* text) {
    std::lock_guard lock(g_mutex);
    g_progress.emplace_back(steps, text ? std::optional<std::string>(text) : std::nullopt);
}

struct Plugin {
    std::unique_ptr<platform::Library> library;
    PFN_VUPIsBinaryValid is_binary_valid = nullptr;
    PFN_VUPCreateDeviceInfoList create = nullptr;
    PFN_VUPFilterDeviceInfoSet filter = nullptr;
    PFN_VUPUploadFirmware upload = nullptr;
    PFN_VUPDownloadFirmware download = nullptr;
    PFN_VUPDestroyDeviceInfoList destroy = nullptr;
    PFN_VUPGetErrorMessage error_message = nullptr;
    PFN_VUPGetDisplayInfo display = nullptr;
    PFN_VUPInitializeLogger initialize_logger = nullptr;
    PFN_VUPIsOSSupported os_supported = nullptr;
    PFN_VUPIsUploadSupported upload_supported = nullptr;

    template <typename F> void bind(F& function, const char* name) {
        function = reinterpret_cast<F>(library->symbol(name));
        ASSERT_NE(function, nullptr) << name;
    }
};

std::string plugin_path() {
    return std::string(MORLIN_BIN_DIR) + "/VUPPorta.so";
}

class PluginTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        devices = new TempFolder();
        setenv("MORLIN_DEVICES", devices->path().c_str(), 1);
        setenv("MORLIN_REAL_PORTS", "none", 1);
        setenv("MORLIN_TIME_SCALE", "2", 1);
        setenv("MORLIN_INHIBIT", "none", 1);
        setenv("MORLIN_UI", "console", 1);
        unsetenv("MORLIN_UI_ANSWERS");
        unsetenv("MORLIN_OS_VERSION");
        plugin = new Plugin();
        plugin->library = platform::Library::load(plugin_path());
        ASSERT_TRUE(plugin->library) << plugin_path();
        plugin->bind(plugin->is_binary_valid, "VUPIsBinaryValid");
        plugin->bind(plugin->create, "VUPCreateDeviceInfoList");
        plugin->bind(plugin->filter, "VUPFilterDeviceInfoSet");
        plugin->bind(plugin->upload, "VUPUploadFirmware");
        plugin->bind(plugin->download, "VUPDownloadFirmware");
        plugin->bind(plugin->destroy, "VUPDestroyDeviceInfoList");
        plugin->bind(plugin->error_message, "VUPGetErrorMessage");
        plugin->bind(plugin->display, "VUPGetDisplayInfo");
        plugin->bind(plugin->initialize_logger, "VUPInitializeLogger");
        plugin->bind(plugin->os_supported, "VUPIsOSSupported");
        plugin->bind(plugin->upload_supported, "VUPIsUploadSupported");
        plugin->initialize_logger(vupporta::testing::capture_log_line);
    }
    static void TearDownTestSuite() {
        delete plugin;
        plugin = nullptr;
        delete devices;
        devices = nullptr;
    }

    void SetUp() override {
        ASSERT_NE(plugin, nullptr);
        vupporta::testing::clear_captured_log();
        std::lock_guard lock(g_mutex);
        g_progress.clear();
    }
    void TearDown() override {
        if (HasFailure()) {
            for (const auto& line : vupporta::testing::captured_log_lines()) {
                std::fprintf(stderr, "log: %s\n", line.c_str());
            }
            for (auto& simulator : simulators) {
                for (const auto& event : simulator->line_log()) {
                    if (event.kind != sim::LineEvent::Kind::DataBlockIn) {
                        std::fprintf(stderr, "line: %s\n", sim::describe(event).c_str());
                    }
                }
            }
        }
        if (listed) {
            plugin->destroy(list.data());
        }
        simulators.clear();
        unsetenv("MORLIN_OS_VERSION");
    }

    sim::TerminalSimulator& start(sim::SimulatorOptions options) {
        options.devices_dir = devices->path();
        std::string error;
        auto simulator = sim::TerminalSimulator::start(options, &error);
        EXPECT_TRUE(simulator) << error;
        simulators.push_back(std::move(simulator));
        return *simulators.back();
    }
    sim::TerminalSimulator& start(sim::TerminalModel model, std::string serial) {
        sim::SimulatorOptions options;
        options.model = model;
        options.serial = std::move(serial);
        return start(options);
    }

    void list_devices(const char* config = nullptr) {
        list = {};
        ASSERT_EQ(plugin->create(list.data(), config), 0);
        listed = true;
    }

    std::string text_of(int code) {
        char text[VUP_TEXT_SIZE];
        plugin->error_message(code, text);
        return std::string(text, strnlen(text, sizeof text)).substr(0, 199);
    }

    static std::size_t log_count(std::string_view text) {
        return vupporta::testing::captured_log_count(text);
    }

    // Waits until every simulated terminal has seen its port closed, so that the next call
    // does not find it still taken by the call before.
    void settle() {
        for (auto& simulator : simulators) {
            for (int waited = 0; waited < 2000; ++waited) {
                const auto events = simulator->line_log();
                const auto last = std::find_if(events.rbegin(), events.rend(), [](auto& e) {
                    return e.kind == sim::LineEvent::Kind::Connected ||
                           e.kind == sim::LineEvent::Kind::Disconnected;
                });
                if (last == events.rend() || last->kind == sim::LineEvent::Kind::Disconnected) {
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    }

    int download(const std::string& path, int index = 0) {
        settle();
        return plugin->download(list.data(), index, "", path.c_str(), capture_progress,
                                &abort_flag);
    }

    static TempFolder* devices;
    static Plugin* plugin;
    std::vector<std::unique_ptr<sim::TerminalSimulator>> simulators;
    std::array<DeviceInfoEntry, VUP_DEVICE_LIST_SIZE> list{};
    bool listed = false;
    int abort_flag = 0;
    TempFolder files;
};

TempFolder* PluginTest::devices = nullptr;
Plugin* PluginTest::plugin = nullptr;

TEST_F(PluginTest, ExportsTheElevenFunctionsAndItsVersion) {
    const char* names[] = VUP_FUNCTION_NAMES;
    std::vector<std::string> exported;
    for (const char* name : names) {
        if (plugin->library->symbol(name) != nullptr) {
            exported.emplace_back(name);
        }
    }
    EXPECT_EQ(exported.size(), 11u);
    for (const char* missing :
         {"VUPMatchDevBySymLink", "VUPMatchDFUDevByProdType", "VUPStartStop", "VUPGetDLLInfo"}) {
        EXPECT_EQ(plugin->library->symbol(missing), nullptr) << missing;
    }
    EXPECT_EQ(plugin->library->symbol("morlin_version_block"), nullptr);
    const auto version = platform::read_version_info(plugin_path());
    ASSERT_TRUE(version);
    EXPECT_EQ(version->file_description, "Mobile DFU Interface DLL");
    EXPECT_EQ(version->file_version, "1.02");
    EXPECT_EQ(version->internal_name, "VUPPorta");
    EXPECT_EQ(version->product_name, "Morlin");
    EXPECT_EQ(version->product_version, "1.24");
    EXPECT_EQ(plugin->upload_supported(), VUP_ERR_UPLOAD_NOT_SUPPORTED);
    EXPECT_EQ(plugin->upload(nullptr, 0, "x", nullptr, nullptr), 0);
}

TEST_F(PluginTest, ListsHalvaneBeforePellax) {
    start(sim::TerminalModel::Pellax, "SIMP01");
    start(sim::TerminalModel::Halvane, "SIMH01");
    list_devices();
    const std::string halvane = simulators[1]->port_name() + " - Halvane";
    const std::string pellax = simulators[0]->port_name() + " - Pellax";
    EXPECT_STREQ(list[0].name, halvane.c_str());
    EXPECT_STREQ(list[1].name, pellax.c_str());
    EXPECT_STREQ(list[2].name, "");
    EXPECT_EQ(log_count("Using Enumerator: "), 2u);
    EXPECT_EQ(log_count("Successful symlink: \\??\\USB#"), 2u);
    // A second listing without destroying appends the same terminals again.
    ASSERT_EQ(plugin->create(list.data(), nullptr), 0);
    EXPECT_STREQ(list[2].name, halvane.c_str());
    EXPECT_STREQ(list[3].name, pellax.c_str());
    // On this platform class the plug-in answers "not supported" when asked.
    EXPECT_EQ(plugin->os_supported(), VUP_ERR_OS_NOT_SUPPORTED);
}

TEST_F(PluginTest, Windows9xListsModemDevicesWithTheMakersMarks) {
    setenv("MORLIN_OS_VERSION", "win98", 1);
    sim::SimulatorOptions halvane;
    halvane.announce_as = sim::AnnounceAs::Modem9x;
    halvane.serial = "SIM9H";
    start(halvane);
    sim::SimulatorOptions pellax = halvane;
    pellax.model = sim::TerminalModel::Pellax;
    pellax.serial = "SIM9P";
    start(pellax);
    list_devices();
    EXPECT_EQ(log_count("Using Enumerator"), 0u);
    std::vector<std::string> names;
    for (int index = 0; index < 2; ++index) {
        names.emplace_back(list[index].name);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{simulators[0]->port_name() + " - Halvane",
                                               simulators[1]->port_name() + " - Pellax"}));
    EXPECT_EQ(log_count("Successful symlink: \\??\\USB#"), 2u);
    EXPECT_EQ(plugin->os_supported(), 0);
}

TEST_F(PluginTest, FullListAddsNothing) {
    start(sim::TerminalModel::Halvane, "SIMH01");
    for (auto& entry : list) {
        std::strcpy(entry.name, "other");
    }
    ASSERT_EQ(plugin->create(list.data(), nullptr), 0);
    listed = false; // the entries are not ours
    EXPECT_EQ(log_count("List is full."), 1u);
    plugin->destroy(nullptr);
}

TEST_F(PluginTest, UpgradeOnlyModeLeavesOutTerminalsWithNewerFirmware) {
    auto record = [](std::string name, std::string value) {
        std::vector<std::uint8_t> bytes(520, 0);
        std::memcpy(bytes.data(), name.data(), name.size());
        std::memcpy(bytes.data() + 260, value.data(), value.size());
        return bytes;
    };
    auto config_with = [&](std::string value) {
        std::vector<std::uint8_t> file(4, 0);
        for (auto& part : {record("Options", "1"), record("UpgradeOnly", value)}) {
            file.insert(file.end(), part.begin(), part.end());
        }
        return files.write("Morlin.cfg", file);
    };
    sim::SimulatorOptions options; // firmware 2.1.3
    start(options);
    sim::SimulatorOptions text_version;
    text_version.serial = "SIMTXT";
    text_version.status.fw_encoding = sim::VersionEncoding::Text;
    text_version.status.fw_text = "V2.1x";
    start(text_version);
    const auto equal = files.write("equal.bin", make_image('0', 1000, "Halvane", 2, 1, 3));
    const auto older = files.write("older.bin", make_image('0', 1000, "Halvane", 2, 1, 2));

    list_devices(config_with("TRUE").c_str()); // only "yes" in any case switches it on
    EXPECT_EQ(log_count("FW Upgrade Only"), 0u);
    settle();
    EXPECT_EQ(plugin->filter(list.data(), older.c_str(), 1, 0), 0);
    EXPECT_EQ(list[0].candidate + list[1].candidate, 2u);
    plugin->destroy(list.data());

    list_devices(config_with("yEs").c_str());
    EXPECT_EQ(log_count("FW Upgrade Only"), 1u);
    const int plain = std::string(list[0].name).find(simulators[0]->port_name()) == 0 ? 0 : 1;
    settle();
    EXPECT_EQ(plugin->filter(list.data(), equal.c_str(), 1, 0), 0);
    EXPECT_EQ(list[plain].candidate, 1u);
    EXPECT_EQ(list[1 - plain].candidate, 0u); // a text version proves nothing: left out
    settle();
    EXPECT_EQ(plugin->filter(list.data(), older.c_str(), 1, 0), VUP_ERR_FW_OLDER);
    EXPECT_EQ(list[plain].candidate, 0u);
    // The IV flag takes every terminal.
    settle();
    EXPECT_EQ(plugin->filter(list.data(), older.c_str(), 1, 1), 0);
    EXPECT_EQ(list[plain].candidate, 1u);
}

TEST_F(PluginTest, FilesAreAcceptedAndRefusedByTheirType) {
    EXPECT_EQ(plugin->is_binary_valid(files.write("fw.bin", make_image('0', 900, "")).c_str()), 0);
    EXPECT_EQ(plugin->is_binary_valid(files.write("app.bin", make_image('1', 900, "")).c_str()), 0);
    auto other = make_image('0', 200, "");
    other[136] = '2';
    EXPECT_EQ(plugin->is_binary_valid(files.write("two.bin", other).c_str()), VUP_ERR_IMAGE_TYPE);
    EXPECT_EQ(plugin->is_binary_valid(files.write("tiny.bin", {'0'}).c_str()), VUP_ERR_IMAGE_TYPE);
    EXPECT_EQ(plugin->is_binary_valid(files.write("empty.bin", {}).c_str()), VUP_ERR_FILE);
    EXPECT_EQ(plugin->is_binary_valid((files.path() + "/missing.bin").c_str()), VUP_ERR_FILE);
    EXPECT_EQ(plugin->is_binary_valid(nullptr), VUP_ERR_FILE);
}

TEST_F(PluginTest, DisplayRowsShowTheTerminalAndTheFile) {
    sim::SimulatorOptions options;
    options.status.fw_major = 3;
    options.status.fw_minor = 4;
    options.status.fw_build = 5;
    options.status.app_major = 2;
    options.status.app_minor = 7;
    start(options);
    list_devices();
    std::array<DisplayRow, VUP_DISPLAY_ROWS> rows{};
    ASSERT_EQ(plugin->display(list.data(), 0, nullptr, rows.data()), 0);
    EXPECT_STREQ(rows[0].device_value, "Halvane");
    EXPECT_STREQ(rows[1].device_value, "2.07");
    EXPECT_STREQ(rows[2].device_value, "3.4.5");
    EXPECT_STREQ(rows[3].device_value, "HLV-SIM001");
    EXPECT_EQ(std::string(rows[0].label), text_of(747));
    EXPECT_EQ(std::string(rows[3].label), text_of(512));
    EXPECT_STREQ(rows[4].label, "");

    rows = {};
    settle();
    const auto path = files.write("fw.bin", make_image('0', 1000, "Halvane", 3, 5, 0));
    ASSERT_EQ(plugin->display(list.data(), 0, path.c_str(), rows.data()), 0);
    EXPECT_STREQ(rows[0].file_value, "Halvane");
    EXPECT_STREQ(rows[1].device_value, "3.4.5");
    EXPECT_STREQ(rows[1].file_value, "3.5.0");
    EXPECT_STREQ(rows[2].file_value, "HLV-SIM001");

    settle();
    ASSERT_EQ(plugin->filter(list.data(), path.c_str(), 1, 0), 0);
    EXPECT_EQ(list[0].candidate, 1u);
}

TEST_F(PluginTest, DownloadsFirmwareAndApplicationImages) {
    sim::TerminalSimulator& terminal = start(sim::TerminalModel::Halvane, "SIMH01");
    list_devices();
    const auto firmware = make_image('0', 5000, "Halvane");
    ASSERT_EQ(download(files.write("fw.bin", firmware)), 0);
    ASSERT_TRUE(terminal.wait_for_downloads(1, std::chrono::seconds(5)));
    EXPECT_EQ(terminal.received_image(), firmware);
    EXPECT_EQ(g_progress.back(), std::make_pair(6, std::optional<std::string>(text_of(605))));

    const auto application = make_image('1', 70000, "Halvane");
    ASSERT_EQ(download(files.write("app.bin", application)), 0);
    ASSERT_TRUE(terminal.wait_for_downloads(2, std::chrono::seconds(5)));
    EXPECT_EQ(terminal.received_image(), application);
    EXPECT_EQ(log_count("Application Upgrade Request"), 1u);
}

TEST_F(PluginTest, BusyTerminalIsPolledUntilReady) {
    sim::SimulatorOptions options;
    options.status.download_states = {1, 4, 4, 1};
    sim::TerminalSimulator& terminal = start(options);
    list_devices();
    const auto image = make_image('0', 1000, "Halvane");
    ASSERT_EQ(download(files.write("fw.bin", image)), 0);
    EXPECT_EQ(g_progress[0].second, text_of(739));
    EXPECT_EQ(g_progress[1].second, text_of(739));
    EXPECT_EQ(g_progress[2].second, text_of(736));
    EXPECT_EQ(terminal.received_image(), image);
}

TEST_F(PluginTest, StoredRecordsWarningAnsweredNo) {
    sim::SimulatorOptions options;
    options.status.stored_records = 3;
    sim::TerminalSimulator& terminal = start(options);
    list_devices();
    EXPECT_EQ(download(files.write("fw.bin", make_image('0', 1000, "Halvane"))),
              VUP_ERR_RECORDS_DECLINED);
    EXPECT_EQ(log_count("No of records: 3"), 1u);
    ASSERT_EQ(g_progress.size(), 2u);
    EXPECT_EQ(g_progress[0].second, text_of(746));
    EXPECT_EQ(g_progress[1].second, std::nullopt);
    EXPECT_EQ(terminal.downloads_completed(), 0u);
}

TEST_F(PluginTest, RestartRequestRepeatsTheHandshake) {
    sim::SimulatorOptions options;
    options.restart_requests = 1;
    sim::TerminalSimulator& terminal = start(options);
    list_devices();
    const auto image = make_image('0', 2000, "Halvane");
    ASSERT_EQ(download(files.write("fw.bin", image)), 0);
    EXPECT_EQ(terminal.received_image(), image);
    EXPECT_EQ(log_count("Device requested restart of fw download"), 1u);
    const auto events = terminal.line_log();
    EXPECT_EQ(std::count_if(events.begin(), events.end(),
                            [](auto& e) { return e.kind == sim::LineEvent::Kind::BreakPulse; }),
              4);
}

TEST_F(PluginTest, NegativeAcknowledgementOfABlock) {
    sim::SimulatorOptions options;
    options.faults.wrong_answer_data_block = 2;
    start(options);
    list_devices();
    EXPECT_EQ(download(files.write("fw.bin", make_image('0', 1000, "Halvane"))), VUP_ERR_BLOCK_NAK);
    EXPECT_EQ(log_count("Data received: 15"), 1u);
    EXPECT_EQ(g_progress.back().second, std::nullopt);
}

TEST_F(PluginTest, SilentTerminal) {
    sim::SimulatorOptions options;
    options.faults.silent_requests = 1000;
    start(options);
    list_devices();
    EXPECT_EQ(download(files.write("fw.bin", make_image('0', 1000, "Halvane"))), VUP_ERR_NO_ANSWER);
}

TEST_F(PluginTest, UpgradeRequestNotAcknowledgedSendsNoImage) {
    sim::SimulatorOptions options;
    options.faults.wrong_answer_upgrade_request = 1;
    sim::TerminalSimulator& terminal = start(options);
    list_devices();
    EXPECT_EQ(download(files.write("fw.bin", make_image('0', 1000, "Halvane"))),
              VUP_ERR_UNEXPECTED_BYTE);
    EXPECT_TRUE(terminal.partial_image().empty());
}

TEST_F(PluginTest, RestartRequestsBeyondTheBudgetEndWithoutTransfer) {
    sim::SimulatorOptions options;
    options.restart_requests = 16;
    sim::TerminalSimulator& terminal = start(options);
    list_devices();
    EXPECT_EQ(download(files.write("fw.bin", make_image('0', 1000, "Halvane"))),
              VUP_ERR_DOWNLOAD_MODE);
    EXPECT_EQ(log_count("Device requested restart of fw download"), 16u);
    EXPECT_TRUE(terminal.partial_image().empty());
}

TEST_F(PluginTest, ImagesThatCannotBeSentWholeAreRefusedBeforeThePortOpens) {
    sim::TerminalSimulator& terminal = start(sim::TerminalModel::Halvane, "SIMH01");
    list_devices();
    EXPECT_EQ(download(files.write("fw.bin", make_image('0', 772, "Halvane"))), VUP_ERR_GENERAL);
    EXPECT_EQ(download(files.write("app.bin", make_image('1', 300, "Halvane"))), VUP_ERR_GENERAL);
    EXPECT_EQ(download(files.write("empty.bin", {})), VUP_ERR_FILE);
    EXPECT_TRUE(terminal.line_log().empty());
}

TEST_F(PluginTest, UnplugDuringTheTransferGives212AndDeviceRemoved) {
    sim::SimulatorOptions options;
    options.faults.unplug_after_data_blocks = 2;
    start(options);
    list_devices();
    EXPECT_EQ(download(files.write("fw.bin", make_image('0', 5000, "Halvane"))), VUP_ERR_ABORTED);
    EXPECT_EQ(abort_flag, 1);
    EXPECT_EQ(log_count("DeviceMonitor("),
              log_count("): Device Removed") + log_count("Suspend and shutdown are not held off"));
    EXPECT_EQ(log_count("): Device Removed"), 1u);
    EXPECT_EQ(g_progress.back().second, std::nullopt);
}

TEST_F(PluginTest, UnplugDuringTheHandshakeIsReportedByTheLink) {
    sim::SimulatorOptions options;
    options.faults.unplug_during_handshake = true;
    start(options);
    list_devices();
    // The terminal goes with the second break pulse: the link reports the refused break, or
    // the download-mode answer that never comes; the monitor, disarmed, does not abort.
    const int result = download(files.write("fw.bin", make_image('0', 1000, "Halvane")));
    EXPECT_TRUE(result == VUP_ERR_DOWNLOAD_MODE || result == VUP_ERR_NO_ANSWER) << result;
    EXPECT_EQ(abort_flag, 0);
    EXPECT_EQ(log_count("Device Removed"), 0u);
    // The plug-in is ready for the next run.
    EXPECT_EQ(plugin->download(list.data(), 0, "", "/nonexistent", nullptr, nullptr), VUP_ERR_FILE);
}

TEST_F(PluginTest, ErrorTextsComeFromTheResourceLibraryWhileListed) {
    const char* language = std::getenv("LC_ALL");
    const std::string saved = language ? language : "";
    setenv("LC_ALL", "C", 1); // English texts
    list_devices();
    language ? setenv("LC_ALL", saved.c_str(), 1) : unsetenv("LC_ALL");
    EXPECT_EQ(text_of(731), "The terminal does not answer.");
    EXPECT_EQ(text_of(204), "The firmware file cannot be opened or read.");
    EXPECT_EQ(text_of(65000), "");
    plugin->destroy(list.data());
    listed = false;
    // Without the resource library: the system's text for the plug-in's last error, here
    // that of a file that is not there.
    EXPECT_EQ(plugin->is_binary_valid("/nonexistent/fw.bin"), VUP_ERR_FILE);
    EXPECT_EQ(text_of(204), platform::system_message(platform::kErrorFileNotFound));
}

} // namespace
