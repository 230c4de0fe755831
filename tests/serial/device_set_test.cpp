// Device lists from announcements, the announcement format, and the USB port records.
#include "platform/devices/announcement.h"
#include "platform/devices/device_set.h"
#include "platform/devices/usb_serial_ports.h"
#include "platform/foundation/last_error.h"
#include "platform/services/power.h"
#include "serial_test_links.h"
#include "tests/common/environment.h"

#include <cstdlib>
#include <gtest/gtest.h>

using namespace platform;
using serial_test::announcement_text;
using serial_test::TempDir;
using serial_test::write_file_atomically;

namespace {

class DeviceSetTest : public testing::Test {
  protected:
    void SetUp() override {
        morlin_test::set_environment("MORLIN_DEVICES", dir_.path().string().c_str());
        morlin_test::set_environment("MORLIN_REAL_PORTS", "none");
    }
    void TearDown() override { morlin_test::set_environment("MORLIN_DEVICES", nullptr); }

    void announce(const std::string& file, const std::string& serial, const std::string& port) {
        write_file_atomically(dir_.path(), file,
                              announcement_text(serial, port, "rfc2217://127.0.0.1:1"));
    }

    TempDir dir_;
};

TEST_F(DeviceSetTest, ListsAnnouncedDevicesByClassAndEnumeratorInFileOrder) {
    announce("b.device", "SIM0002", "COM4");
    announce("a.device", "SIM0001", "COM3");
    write_file_atomically(dir_.path(), "c.txt", announcement_text("X", "COM9", "x"));
    // A Pellax terminal in the Ports class, and a modem-class device.
    std::string pellax = announcement_text("P1", "COM5", "rfc2217://127.0.0.1:2");
    pellax.replace(pellax.find("VID_04E6&PID_1A02"), 17, "VID_1513&PID_0444");
    write_file_atomically(dir_.path(), "p.device", pellax);
    std::string modem = announcement_text("M1", "COM6", "rfc2217://127.0.0.1:3");
    modem.replace(modem.find("4D36E978"), 8, "4D36E96D");
    write_file_atomically(dir_.path(), "m.device", modem);

    const auto halvanes =
        present_devices("{4d36e978-e325-11ce-bfc1-08002be10318}", "usb\\vid_04e6&pid_1a02");
    ASSERT_TRUE(halvanes);
    ASSERT_EQ(halvanes->size(), 2u);
    EXPECT_EQ((*halvanes)[0].key_value("portname"), "COM3");
    EXPECT_EQ((*halvanes)[1].key_value("PortName"), "COM4");
    EXPECT_EQ((*halvanes)[0].hardware_ids.front(), "USB\\Vid_04e6&Pid_1a02&Rev_0100");
    EXPECT_EQ((*halvanes)[0].hardware_id_multi_string(),
              std::string("USB\\Vid_04e6&Pid_1a02&Rev_0100\0USB\\Vid_04e6&Pid_1a02\0\0", 54));
    EXPECT_EQ((*halvanes)[0].port_address, "rfc2217://127.0.0.1:1");

    const auto ports = present_devices(kPortsClass);
    ASSERT_TRUE(ports);
    EXPECT_EQ(ports->size(), 3u);
    const auto modems = present_devices(kModemClass);
    ASSERT_EQ(modems->size(), 1u);
    EXPECT_EQ(modems->front().key_value("PortName"), "COM6");
    EXPECT_FALSE(modems->front().key_value("ParentDevNode"));
}

TEST_F(DeviceSetTest, MalformedAnnouncementsAreSkipped) {
    announce("good.device", "SIM0001", "COM3");
    write_file_atomically(dir_.path(), "bad.device", "[Device]\nClass=Ports\nInstanceId=x\n");
    write_file_atomically(dir_.path(), "binary.device", std::string("\0\xff[", 3));
    const auto devices = present_devices(kPortsClass);
    ASSERT_TRUE(devices);
    ASSERT_EQ(devices->size(), 1u);
    EXPECT_EQ(devices->front().instance_id, "USB\\VID_04E6&PID_1A02\\SIM0001");
}

TEST_F(DeviceSetTest, MachineKeysAndRemoval) {
    announce("a.device", "SIM0001", "COM3");
    EXPECT_EQ(machine_key_value("enum\\usb\\vid_04e6&pid_1a02\\sim0001", "SymbolicName"),
              "\\??\\USB#Vid_04e6&Pid_1a02#SIM0001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");

    auto devices = present_devices(kPortsClass);
    ASSERT_EQ(devices->size(), 1u);
    EXPECT_TRUE(remove_device(devices->front()));
    EXPECT_TRUE(present_devices(kPortsClass)->empty());

    const DeviceRecord real = usb_port_record("ttyACM0", 0x04e6, 0x1a02, "");
    EXPECT_FALSE(remove_device(real));
    EXPECT_EQ(last_error(), kErrorNotSupported);
}

TEST(UsbPortRecord, FollowsTheWindowsNamesOfAUsbSerialDevice) {
    const DeviceRecord record = usb_port_record("ttyACM0", 0x04e6, 0x1a02, "A1#B");
    EXPECT_EQ(record.class_guid, kPortsClass);
    EXPECT_EQ(record.instance_id, "USB\\VID_04E6&PID_1A02\\A1_B");
    EXPECT_EQ(record.hardware_ids, (std::vector<std::string>{"USB\\Vid_04e6&Pid_1a02&Rev_0000",
                                                             "USB\\Vid_04e6&Pid_1a02"}));
    EXPECT_EQ(record.key_value("PortName"), "ttyACM0");
    EXPECT_EQ(record.port_address, "/dev/ttyACM0");
    // The device monitor finds the interface path, less its first 4 characters, in the
    // symbolic name.
    const std::string symbolic = *record.key_value("SymbolicName");
    EXPECT_NE(symbolic.find(record.interface_path.substr(4)), std::string::npos);
    EXPECT_EQ(record.interface_path,
              "\\\\?\\USB#Vid_04e6&Pid_1a02#A1_B#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
    // Without a serial number the port name stands in.
    EXPECT_EQ(usb_port_record("ttyUSB1", 0x1513, 0x0444, "").instance_id,
              "USB\\VID_1513&PID_0444\\ttyUSB1");
}

TEST(AnnouncementFormat, ReadsEveryFieldAndToleratesCommentsAndLineEnds) {
    const std::string text = "\xEF\xBB\xBF# simulated terminal\r\n"
                             "[device]\r\n"
                             "class = {4d36e978-e325-11ce-bfc1-08002be10318}\r\n"
                             "InstanceId=USB\\VID_04E6&PID_1A02\\S1\r\n"
                             "; the most specific first\r\n"
                             "HardwareId=A\r\nHardwareId=B\r\n"
                             "Port=rfc2217://127.0.0.1:4000\r\n"
                             "Future=ignored\r\n"
                             "[DeviceKey]\r\nPortName=COM7\r\nEmpty=\r\n";
    std::string error;
    const auto parsed = parse_announcement(text, error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(parsed->device.class_guid, "{4D36E978-E325-11CE-BFC1-08002BE10318}");
    EXPECT_EQ(parsed->device.hardware_ids, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(parsed->device.port_address, "rfc2217://127.0.0.1:4000");
    EXPECT_EQ(parsed->device.key_value("PORTNAME"), "COM7");
    EXPECT_EQ(parsed->device.key_value("Empty"), "");
    EXPECT_TRUE(parsed->device.interface_path.empty());
}

TEST(AnnouncementFormat, RejectsWhatItCannotTrust) {
    const std::string head = "[Device]\nClass={4D36E978-E325-11CE-BFC1-08002BE10318}\n";
    const std::pair<std::string, std::string> cases[] = {
        {"Name=before any section\n" + head + "InstanceId=X\n", "outside a section"},
        {head, "no InstanceId"},
        {"[Device]\nClass=Ports\nInstanceId=X\n", "not a GUID"},
        {head + "InstanceId=X\njust text\n", "not a Name=Value"},
        {head + "InstanceId=X\n[]\n", "empty section"},
        {head + "InstanceId=X\n[Open\n", "bad section"},
        {head + "InstanceId=X\n" + std::string(kMaxAnnouncementBytes, '#'), "larger"},
    };
    for (const auto& [text, reason] : cases) {
        std::string error;
        EXPECT_FALSE(parse_announcement(text, error)) << reason;
        EXPECT_NE(error.find(reason), std::string::npos) << error;
    }
    std::string many = head + "InstanceId=X\n";
    for (std::size_t i = 0; i <= kMaxHardwareIds; ++i) {
        many += "HardwareId=H\n";
    }
    std::string error;
    EXPECT_FALSE(parse_announcement(many, error));
}

#ifndef _WIN32 // Windows holds suspend off with no power manager to ask
TEST(PowerInhibitor, MorlinInhibitNoneTakesNoLock) {
    morlin_test::set_environment("MORLIN_INHIBIT", "none");
    std::string why_not;
    EXPECT_FALSE(PowerInhibitor::acquire("Morlin", "firmware download", why_not));
    EXPECT_EQ(why_not, "disabled by MORLIN_INHIBIT");
}
#endif

} // namespace
