// The device lists of the Windows build as the device installer makes them, from the devices
// of tests/windows/contract_registry.reg: a setup class, a device interface class and an
// enumerator; a left-behind device instance found among all classes by its hardware ID and
// removed through the class installer.
#include "platform/devices/device_set.h"
#include "platform/devices/machine_devices.h"
#include "platform/foundation/last_error.h"
#include "platform/foundation/text_case.h"
#include "tests/common/environment.h"
#include "wrapper/housekeeping/device_instance.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

using namespace platform;
using Ids = std::vector<std::string>;

constexpr std::string_view kReaderInterface = "{077E2F20-E171-4DC6-8A24-ECEA3035C257}";

void list_the_machines_devices() {
    morlin_test::set_environment("MORLIN_REAL_PORTS", nullptr);
    morlin_test::set_environment("MORLIN_DEVICES", nullptr);
}

TEST(Win32DeviceInstaller, ListsThePresentDevicesOfAClassOrInterfaceClass) {
    list_the_machines_devices();
    const struct {
        std::string_view class_guid;
        std::string_view enumerator;
        Ids instances;
    } cases[] = {
        {kReaderInterface, "", {"USB\\VID_04E6&PID_5720\\RD0001"}}, // RD0002's is not linked
        {kModemClass, "", {"SERENUM\\HYPERCOM_T4220\\1&2B3C&0&0001"}},
        {kPortsClass,
         "usb\\vid_0403&pid_6001",
         {"USB\\VID_0403&PID_6001\\FT0001", "USB\\VID_0403&PID_6001\\FT0002"}},
        {kPortsClass, "USB\\VID_04E6&PID_5720", {}}, // the readers are of another class
    };
    for (const auto& c : cases) {
        const auto devices = present_devices(c.class_guid, c.enumerator);
        ASSERT_TRUE(devices) << c.class_guid << " " << last_error();
        Ids instances;
        for (const auto& device : *devices) {
            instances.push_back(device.instance_id);
        }
        EXPECT_EQ(instances, c.instances) << c.class_guid << " " << c.enumerator;
    }
    const DeviceRecord reader = present_devices(kReaderInterface)->front();
    // The path as the interface's SymbolicLink has it (Wine writes it in lower case).
    EXPECT_TRUE(equal_ignoring_case(
        reader.interface_path,
        "\\\\?\\USB#VID_04E6&PID_5720#RD0001#{077e2f20-e171-4dc6-8a24-ecea3035c257}"))
        << reader.interface_path;
    EXPECT_EQ(reader.hardware_ids,
              (Ids{"USB\\Vid_04e6&Pid_5720&Rev_0100", "USB\\Vid_04e6&Pid_5720"}));
    const DeviceRecord modem = present_devices(kModemClass)->front();
    EXPECT_EQ(modem.hardware_ids, Ids{"SERENUM\\HYPERCOM_T4220"});
    EXPECT_EQ(modem.key_value("PortName"), "COM7");
    EXPECT_EQ(modem.port_address, "\\\\.\\COM7");
    EXPECT_FALSE(present_devices("Ports"));
    EXPECT_EQ(last_error(), kErrorInvalidParameter);
}

TEST(Win32DeviceInstaller, ALeftBehindInstanceIsFoundByItsHardwareIdAndRemoved) {
    list_the_machines_devices();
    const auto devices = all_devices(true);
    ASSERT_TRUE(devices) << last_error();
    const auto left = std::find_if(devices->begin(), devices->end(), [](const DeviceRecord& d) {
        return d.hardware_ids == Ids{"SERENUM\\OST5720"};
    });
    ASSERT_NE(left, devices->end());
    EXPECT_EQ(left->instance_id, "SERENUM\\OST5720\\1&0001");
    EXPECT_EQ(left->class_guid, "{50DD5230-BA8A-11D1-BF5D-0000F805F530}");

    EXPECT_TRUE(valdrun::find_device_instance("serenum\\ost5720", false, true));
    // Without the user's consent a device of the machine stays.
    EXPECT_FALSE(valdrun::find_device_instance("SERENUM\\OST5720", true, true));
    EXPECT_TRUE(valdrun::find_device_instance("SERENUM\\OST5720", false, true));
    ASSERT_TRUE(remove_machine_device(*left)) << last_error();
    EXPECT_FALSE(valdrun::find_device_instance("SERENUM\\OST5720", false, true));
}

} // namespace
