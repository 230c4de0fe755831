// The plug-in's reading of the host's configuration file, and the device monitor.
#include "config_option.h"
#include "device_monitor.h"
#include "test_support.h"

#include <cstring>
#include <gtest/gtest.h>
#include <platform/device_set.h>

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

TEST(ConfigOption, ReadsOnlyTheCountedOptionsAfterAnExactHeader) {
    testing::TempFolder folder;
    auto option = [&](const Records& records) {
        return read_config_option(folder.write("Morlin.cfg", config_file(records)).c_str(),
                                  "UPGRADEONLY");
    };
    EXPECT_EQ(option({{"Options", "2"}, {"GUI", "no"}, {"upgradeonly", "Yes"}}), "Yes");
    EXPECT_EQ(option({{"Options", "1"}, {"GUI", "no"}, {"UPGRADEONLY", "yes"}}), "");
    EXPECT_EQ(option({{"Options", "-4"}, {"UPGRADEONLY", "yes"}}), "");
    EXPECT_EQ(option({{"Options", "99999999"}, {"UPGRADEONLY", "yes"}}), "yes");
    EXPECT_EQ(option({{"options", "1"}, {"UPGRADEONLY", "yes"}}), "");
    EXPECT_EQ(option({{"Download", "1"}, {"UPGRADEONLY", "yes"}}), "");
}

TEST(ConfigOption, BrokenFilesGiveNothingAndFieldsAreCut) {
    testing::TempFolder folder;
    EXPECT_EQ(read_config_option(nullptr, "UPGRADEONLY"), "");
    EXPECT_EQ(read_config_option((folder.path() + "/none.cfg").c_str(), "UPGRADEONLY"), "");
    EXPECT_EQ(read_config_option(folder.write("empty.cfg", {}).c_str(), "UPGRADEONLY"), "");
    const auto whole = config_file({{"Options", "1"}, {"UPGRADEONLY", "yes"}});
    const std::vector<std::uint8_t> header_cut(whole.begin(), whole.begin() + 300);
    EXPECT_EQ(read_config_option(folder.write("cut.cfg", header_cut).c_str(), "UPGRADEONLY"), "");
    const std::vector<std::uint8_t> last_cut(whole.begin(), whole.end() - 200);
    EXPECT_EQ(read_config_option(folder.write("s.cfg", last_cut).c_str(), "UPGRADEONLY"), "yes");
    auto unterminated = config_file({{"Options", "1"}});
    std::vector<std::uint8_t> record(520, 'A');
    std::memcpy(record.data(), "UPGRADEONLY", 12);
    unterminated.insert(unterminated.end(), record.begin(), record.end());
    EXPECT_EQ(read_config_option(folder.write("u.cfg", unterminated).c_str(), "UPGRADEONLY"),
              std::string(259, 'A'));
}

TEST(DeviceMonitor, RemovalMatchDropsTheFirstFourCharactersAndKeepsCase) {
    const std::string symbolic = "\\??\\USB#Vid_04e6&Pid_1a02#SIM0001#{a5dcbf10}";
    EXPECT_TRUE(
        DeviceMonitor::names_terminal("\\\\?\\USB#Vid_04e6&Pid_1a02#SIM0001#{a5dcbf10}", symbolic));
    EXPECT_FALSE(
        DeviceMonitor::names_terminal("\\\\?\\USB#VID_04E6&PID_1A02#SIM0001#{a5dcbf10}", symbolic));
    EXPECT_FALSE(DeviceMonitor::names_terminal("\\\\?\\", symbolic));
}

struct NullWatcher : platform::DeviceWatcher {};

TEST(DeviceMonitor, AbortsOnlyWhileArmedAndStartsAgainAfterStopping) {
    testing::prepare_fast_environment();
    testing::LogCapture log;
    platform::DeviceWatcher::Callback callback;
    bool refuse = false;
    DeviceMonitor monitor(
        [&](std::string_view, auto cb) -> std::unique_ptr<platform::DeviceWatcher> {
            if (refuse) {
                return nullptr;
            }
            callback = cb;
            return std::make_unique<NullWatcher>();
        });
    const platform::DeviceEvent removal{platform::DeviceEvent::Kind::Removal, "\\\\?\\USB#A#B", ""};
    int abort_flag = 0;
    for (int round = 0; round < 2; ++round) {
        monitor.start("\\??\\USB#A#B", AbortFlag(&abort_flag));
        while (!monitor.armed()) {
            std::this_thread::yield();
        }
        monitor.set_armed(false);
        callback(removal);
        EXPECT_EQ(abort_flag, 0);
        monitor.set_armed(true);
        callback({platform::DeviceEvent::Kind::Removal, "\\\\?\\USB#OTHER", ""});
        EXPECT_EQ(abort_flag, 0);
        callback(removal);
        EXPECT_EQ(abort_flag, 1);
        monitor.stop();
        EXPECT_FALSE(monitor.armed());
        EXPECT_FALSE(monitor.running());
        abort_flag = 0;
    }
    EXPECT_EQ(log.count("Device Removed"), 2u);
    refuse = true;
    monitor.start("x", AbortFlag(&abort_flag));
    monitor.stop();
    EXPECT_FALSE(monitor.armed());
    EXPECT_TRUE(log.contains("RegisterDeviceNotification failed"));
}

} // namespace
} // namespace vupporta
