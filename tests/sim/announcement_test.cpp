#include "platform/devices/announcement.h"
#include "platform/devices/device_watcher.h"
#include "sim/announcement.h"
#include "tests/common/gate.h"
#include "tests/common/pipe_guard.h"
#include "tests/common/temp_dir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sim {
namespace {

namespace fs = std::filesystem;

class AnnouncementTest : public ::testing::Test {
  protected:
    void SetUp() override { dir_ = temp_.path(); }
    morlin_test::TempDir temp_;
    fs::path dir_;
};

bool has_line(const std::string& text, const std::string& line) {
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        if (l == line) {
            return true;
        }
    }
    return false;
}

TEST_F(AnnouncementTest, HalvanePortsClass) {
    const std::string text =
        announcement_text({TerminalModel::Halvane, AnnounceAs::Ports, "SIM0001", "COM7", 40123});
    EXPECT_TRUE(has_line(text, "[Device]"));
    EXPECT_TRUE(has_line(text, "Class={4D36E978-E325-11CE-BFC1-08002BE10318}"));
    EXPECT_TRUE(has_line(text, "InstanceId=USB\\VID_04E6&PID_1A02\\SIM0001"));
    EXPECT_TRUE(has_line(text, "HardwareId=USB\\Vid_04e6&Pid_1a02&Rev_0100"));
    EXPECT_TRUE(has_line(text, "HardwareId=USB\\Vid_04e6&Pid_1a02"));
    EXPECT_TRUE(has_line(text, "InterfacePath=\\\\?\\USB#Vid_04e6&Pid_1a02#SIM0001#"
                               "{a5dcbf10-6530-11d2-901f-00c04fb951ed}"));
    EXPECT_TRUE(has_line(text, "Port=rfc2217://127.0.0.1:40123"));
    EXPECT_TRUE(has_line(text, "PortName=COM7"));
    EXPECT_TRUE(has_line(text, "SymbolicName=\\??\\USB#Vid_04e6&Pid_1a02#SIM0001#"
                               "{a5dcbf10-6530-11d2-901f-00c04fb951ed}"));
    // The most specific hardware ID comes first.
    EXPECT_LT(text.find("&Rev_0100"), text.find("HardwareId=USB\\Vid_04e6&Pid_1a02\n"));
}

TEST_F(AnnouncementTest, PellaxAsWindows9xModem) {
    const std::string text =
        announcement_text({TerminalModel::Pellax, AnnounceAs::Modem9x, "P1", "COM4", 5000});
    EXPECT_TRUE(has_line(text, "Class={4D36E96D-E325-11CE-BFC1-08002BE10318}"));
    EXPECT_NE(text.find("HardwareId=USB\\VID_1513&PID_0444&HYPERCOM"), std::string::npos);
    EXPECT_TRUE(has_line(text, "ParentDevNode=USB\\VID_1513&PID_0444\\P1"));
    EXPECT_TRUE(has_line(text, "[Enum\\USB\\VID_1513&PID_0444\\P1]"));
    EXPECT_TRUE(has_line(
        text,
        "SymbolicName=\\??\\USB#Vid_1513&Pid_0444#P1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"));
    const std::string halvane =
        announcement_text({TerminalModel::Halvane, AnnounceAs::Modem9x, "H1", "COM4", 5000});
    const auto hardware_id = halvane.find("HardwareId=");
    ASSERT_NE(hardware_id, std::string::npos);
    const std::string first_id =
        halvane.substr(hardware_id, halvane.find('\n', hardware_id) - hardware_id);
    EXPECT_NE(first_id.find("Ostrum"), std::string::npos);
    EXPECT_LT(first_id.size(), 100u); // read into a 100-byte buffer
}

// The device lists read what the simulator writes.
TEST_F(AnnouncementTest, DeviceListsReadWhatIsWritten) {
    std::string error;
    const auto ports = platform::parse_announcement(
        announcement_text({TerminalModel::Halvane, AnnounceAs::Ports, "S1", "COM7", 40123}), error);
    ASSERT_TRUE(ports) << error;
    EXPECT_EQ(ports->device.class_guid, platform::kPortsClass);
    EXPECT_EQ(ports->device.instance_id, "USB\\VID_04E6&PID_1A02\\S1");
    EXPECT_EQ(
        ports->device.hardware_ids,
        (std::vector<std::string>{"USB\\Vid_04e6&Pid_1a02&Rev_0100", "USB\\Vid_04e6&Pid_1a02"}));
    EXPECT_EQ(ports->device.port_address, "rfc2217://127.0.0.1:40123");
    EXPECT_EQ(ports->device.key_value("PortName"), "COM7");
    EXPECT_EQ(ports->device.key_value("SymbolicName"),
              "\\??\\USB#Vid_04e6&Pid_1a02#S1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
    EXPECT_EQ(ports->device.interface_path,
              "\\\\?\\USB#Vid_04e6&Pid_1a02#S1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");

    const auto modem = platform::parse_announcement(
        announcement_text({TerminalModel::Pellax, AnnounceAs::Modem9x, "P1", "COM4", 5000}), error);
    ASSERT_TRUE(modem) << error;
    EXPECT_EQ(modem->device.class_guid, platform::kModemClass);
    const auto parent = modem->device.key_value("ParentDevNode");
    ASSERT_TRUE(parent);
    const auto key = modem->machine_keys.find("Enum\\" + *parent);
    ASSERT_NE(key, modem->machine_keys.end());
    EXPECT_EQ(key->second.at("SymbolicName"),
              "\\??\\USB#Vid_1513&Pid_0444#P1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
}

TEST_F(AnnouncementTest, WrittenInOneStepAndRemoved) {
    std::string error;
    const std::string path = write_announcement(dir_.string(), "halvane-X", "[Device]\n", error);
    ASSERT_FALSE(path.empty()) << error;
    EXPECT_EQ(fs::path(path).filename(), "halvane-X.device");
    EXPECT_FALSE(fs::exists(dir_ / ".halvane-X.tmp"));
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "[Device]");
    EXPECT_TRUE(remove_announcement(path));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(AnnouncementTest, MissingFolderIsCreatedAndAnUnwritableOneFails) {
    std::string error;
    const std::string path = write_announcement((dir_ / "new").string(), "a", "x", error);
    EXPECT_TRUE(fs::exists(path)) << error;
    std::ofstream(dir_ / "file") << "not a folder";
    EXPECT_TRUE(write_announcement((dir_ / "file").string(), "a", "x", error).empty());
    EXPECT_FALSE(error.empty());
}

TEST_F(AnnouncementTest, FreePortNameSkipsNamesOfOtherAnnouncements) {
    EXPECT_EQ(free_port_name(dir_.string()), "COM3");
    std::ofstream(dir_ / "a.device") << "[DeviceKey]\nPortName=COM3\n";
    std::ofstream(dir_ / "b.device") << "[DeviceKey]\nPortName=com4\r\n";
    std::ofstream(dir_ / ".c.tmp") << "PortName=COM5\n"; // hidden: not an announcement
    EXPECT_EQ(free_port_name(dir_.string()), "COM5");
}

// An announcement left behind by a simulator that was killed names a process that has ended:
// readers skip it, saying so once, and keep every other one.
TEST_F(AnnouncementTest, LeftOverAnnouncementOfAnEndedProcessIsSkippedOnce) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    const auto announce = [&](const char* name, const char* port, std::uint32_t process) {
        AnnouncementIdentity identity{TerminalModel::Halvane, AnnounceAs::Ports, name, port, 1};
        identity.process_id = process;
        std::string error;
        ASSERT_FALSE(
            write_announcement(dir_.string(), name, announcement_text(identity), error).empty())
            << error;
    };
    announce("gone", "COM3", static_cast<std::uint32_t>(child));
    announce("alive", "COM4", static_cast<std::uint32_t>(::getpid()));
    announce("older-writer", "COM5", 0); // no ProcessId line: always listed
    ::setenv("MORLIN_DEVICES", dir_.c_str(), 1);

    testing::internal::CaptureStderr();
    const auto first = platform::read_announcements();
    const auto second = platform::read_announcements();
    const std::string said = testing::internal::GetCapturedStderr();
    ::unsetenv("MORLIN_DEVICES");

    std::vector<std::string> ports;
    for (const auto& announcement : first) {
        ports.push_back(*announcement.device.key_value("PortName"));
    }
    EXPECT_EQ(ports, (std::vector<std::string>{"COM4", "COM5"}));
    EXPECT_EQ(second.size(), 2u);
    const std::string notice = "its process " + std::to_string(child) + " has ended";
    ASSERT_NE(said.find(notice), std::string::npos) << said;
    EXPECT_EQ(said.find(notice, said.find(notice) + 1), std::string::npos) << said;

    std::string error;
    EXPECT_FALSE(platform::parse_announcement(
        "[Device]\nClass={4D36E978-E325-11CE-BFC1-08002BE10318}\nInstanceId=X\nProcessId=x1\n",
        error));
    EXPECT_NE(error.find("ProcessId"), std::string::npos);
}

// Pipes named like announcements, in the folder or renamed into it, and a file too large to
// be one: no reader of the folder waits on them, and every other announcement stays seen.
TEST_F(AnnouncementTest, PipesInTheFolderHoldUpNoReader) {
    std::string error;
    const auto served =
        announcement_text({TerminalModel::Halvane, AnnounceAs::Ports, "SIM0001", "COM3", 1});
    ASSERT_FALSE(write_announcement(dir_.string(), "served", served, error).empty()) << error;
    const fs::path planted = dir_ / "planted.device";
    const fs::path moved_in = dir_ / "moved.device";
    const fs::path hidden = dir_ / ".moved"; // a name no reader looks at
    ASSERT_EQ(::mkfifo(planted.c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(hidden.c_str(), 0600), 0);
    std::ofstream(dir_ / "large.device") << std::string(platform::kMaxAnnouncementBytes + 1, '#');
    ::setenv("MORLIN_DEVICES", dir_.c_str(), 1);

    testing::internal::CaptureStderr();
    const bool ended = morlin_test::ends_without_waiting_on({planted, moved_in}, [&] {
        EXPECT_EQ(platform::read_announcements().size(), 1u);
        EXPECT_FALSE(platform::read_announcement(planted));
        EXPECT_EQ(free_port_name(dir_.string()), "COM4");

        morlin_test::Gate removed;
        const auto watcher = platform::DeviceWatcher::start(
            platform::kUsbDeviceInterface, [&](const platform::DeviceEvent& event) {
                if (event.kind == platform::DeviceEvent::Kind::Removal) {
                    removed.open();
                }
            });
        ASSERT_TRUE(watcher);
        fs::rename(hidden, moved_in); // heard of as an arrival, read by the watcher
        EXPECT_TRUE(remove_announcement((dir_ / "served.device").string()));
        removed.wait();
    });
    const std::string said = testing::internal::GetCapturedStderr();
    ::unsetenv("MORLIN_DEVICES");
    EXPECT_TRUE(ended) << "a reader waited on a pipe";
    EXPECT_NE(said.find("planted.device: not a regular file"), std::string::npos) << said;
    EXPECT_NE(said.find("moved.device: not a regular file"), std::string::npos) << said;
    EXPECT_NE(said.find("large.device: file larger than 65536 bytes"), std::string::npos) << said;
}

} // namespace
} // namespace sim
