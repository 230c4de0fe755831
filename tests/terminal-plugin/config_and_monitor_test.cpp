// The plug-in's reading of the host's configuration file, and the device monitor.
#include "terminal-plugin/config_option.h"
#include "terminal-plugin/protocol/device_monitor.h"
#include "test_support.h"

#include <cstring>
#include <gtest/gtest.h>
#include <platform/devices/device_set.h>

namespace vupporta {
namespace {

using Records = std::vector<std::pair<std::string, std::string>>;

std::vector<std::uint8_t> config_file(const Records& records) {
    std::vector<std::uint8_t> bytes(4, 0xEE);
    for (const auto& [name, value] : records) {
        std::vector<std::uint8_t> record(520, 0);
        std::memcpy(record.data(), name.data(), std::min<std::size_t>(name.size(), 260));
        std::memcpy(record.data() + 260, value.data(), std::min<std::size_t>(value.size(), 260));
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
    return bytes;
}

TEST(ConfigOption, FindsTheOptionIgnoringTheLetterCaseOfItsName) {
    testing::TempFolder folder;
    const auto path = folder.write("Morlin.cfg", config_file({{"Options", "3"},
                                                              {"GUI", "no"},
                                                              {"upgradeonly", "Yes"},
                                                              {"RETRIES", "3"},
                                                              {"Download", "1"}}));
    EXPECT_EQ(read_config_option(path.c_str(), "UPGRADEONLY"), "Yes");
    EXPECT_EQ(read_config_option(path.c_str(), "RETRIES"), "3");
    EXPECT_EQ(read_config_option(path.c_str(), "MISSING"), "");
}

TEST(ConfigOption, OnlyOptionsCountedByTheHeaderAreSearched) {
    testing::TempFolder folder;
    const auto path = folder.write(
        "a.cfg", config_file({{"Options", "1"}, {"GUI", "no"}, {"UPGRADEONLY", "yes"}}));
    EXPECT_EQ(read_config_option(path.c_str(), "UPGRADEONLY"), "");
    const auto negative =
        folder.write("b.cfg", config_file({{"Options", "-4"}, {"UPGRADEONLY", "yes"}}));
    EXPECT_EQ(read_config_option(negative.c_str(), "UPGRADEONLY"), "");
    // A count beyond the file stops at its end.
    const auto big =
        folder.write("c.cfg", config_file({{"Options", "99999999"}, {"UPGRADEONLY", "yes"}}));
    EXPECT_EQ(read_config_option(big.c_str(), "UPGRADEONLY"), "yes");
}

TEST(ConfigOption, TheFirstRecordMustBeOptionsExactly) {
    testing::TempFolder folder;
    EXPECT_EQ(
        read_config_option(
            folder.write("a.cfg", config_file({{"options", "1"}, {"UPGRADEONLY", "yes"}})).c_str(),
            "UPGRADEONLY"),
        "");
    EXPECT_EQ(
        read_config_option(
            folder.write("b.cfg", config_file({{"Download", "1"}, {"UPGRADEONLY", "yes"}})).c_str(),
            "UPGRADEONLY"),
        "");
}

TEST(ConfigOption, BrokenFilesGiveNothing) {
    testing::TempFolder folder;
    EXPECT_EQ(read_config_option(nullptr, "UPGRADEONLY"), "");
    EXPECT_EQ(read_config_option((folder.path() + "/none.cfg").c_str(), "UPGRADEONLY"), "");
    EXPECT_EQ(read_config_option(folder.write("empty.cfg", {}).c_str(), "UPGRADEONLY"), "");
    auto whole = config_file({{"Options", "1"}, {"UPGRADEONLY", "yes"}});
    auto header_cut = std::vector<std::uint8_t>(whole.begin(), whole.begin() + 300);
    EXPECT_EQ(read_config_option(folder.write("cut.cfg", header_cut).c_str(), "UPGRADEONLY"), "");
    // Fields without a terminating zero are cut at the field's end.
    std::vector<std::uint8_t> unterminated = config_file({{"Options", "1"}});
    std::vector<std::uint8_t> record(520, 'A');
    std::memcpy(record.data(), "UPGRADEONLY", 12);
    unterminated.insert(unterminated.end(), record.begin(), record.end());
    EXPECT_EQ(read_config_option(folder.write("u.cfg", unterminated).c_str(), "UPGRADEONLY"),
              std::string(259, 'A'));
    // A last record cut short still gives what it holds.
    auto short_last = std::vector<std::uint8_t>(whole.begin(), whole.end() - 200);
    EXPECT_EQ(read_config_option(folder.write("s.cfg", short_last).c_str(), "UPGRADEONLY"), "yes");
}

TEST(DeviceMonitor, RemovalMatchDropsTheFirstFourCharactersAndKeepsCase) {
    const std::string symbolic = "\\??\\USB#Vid_04e6&Pid_1a02#SIM0001#{a5dcbf10}";
    EXPECT_TRUE(
        DeviceMonitor::names_terminal("\\\\?\\USB#Vid_04e6&Pid_1a02#SIM0001#{a5dcbf10}", symbolic));
    EXPECT_TRUE(DeviceMonitor::names_terminal("XXXXSIM0001", symbolic));
    EXPECT_FALSE(
        DeviceMonitor::names_terminal("\\\\?\\USB#VID_04E6&PID_1A02#SIM0001#{a5dcbf10}", symbolic));
    EXPECT_FALSE(DeviceMonitor::names_terminal("\\\\?\\", symbolic));
    EXPECT_FALSE(DeviceMonitor::names_terminal("\\\\?\\USB#X", ""));
}

struct NullWatcher : platform::DeviceWatcher {};

TEST(DeviceMonitor, StartsArmedStopsClearAndStartsAgain) {
    testing::prepare_fast_environment();
    testing::LogCapture log;
    platform::DeviceWatcher::Callback callback;
    DeviceMonitor monitor([&](std::string_view interface_class, auto cb) {
        EXPECT_EQ(interface_class, platform::kUsbDeviceInterface);
        callback = cb;
        return std::make_unique<NullWatcher>();
    });
    int abort_flag = 0;
    for (int round = 0; round < 2; ++round) {
        monitor.start("\\??\\USB#A#B", AbortFlag(&abort_flag));
        while (!monitor.armed()) {
            std::this_thread::yield();
        }
        callback({platform::DeviceEvent::Kind::Arrival, "\\\\?\\USB#A#B", ""});
        EXPECT_EQ(abort_flag, 0);
        monitor.set_armed(false);
        callback({platform::DeviceEvent::Kind::Removal, "\\\\?\\USB#A#B", ""});
        EXPECT_EQ(abort_flag, 0);
        monitor.set_armed(true);
        callback({platform::DeviceEvent::Kind::Removal, "\\\\?\\USB#A#B", ""});
        EXPECT_EQ(abort_flag, 1);
        monitor.stop();
        EXPECT_FALSE(monitor.armed());
        EXPECT_FALSE(monitor.running());
        abort_flag = 0;
    }
    EXPECT_EQ(log.count("Device Removed"), 2u);
    monitor.stop(); // stopping twice does nothing
}

} // namespace
} // namespace vupporta
