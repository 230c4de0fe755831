// The logic of the Windows files, behind seams so that it is tested on every platform: what
// the device watcher and the port listing make of what SetupAPI and the device notices give,
// and what a console event does.
#include "platform/devices/device_changes.h"
#include "platform/devices/listed_port.h"
#include "platform/processes/console_event.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

DeviceRecord port(const std::string& serial, const std::string& port_name) {
    DeviceKeyValues key;
    key.insert_or_assign("PortName", port_name);
    key.insert_or_assign("SymbolicName", "\\??\\USB#VID_04E6&PID_1A02#" + serial +
                                             "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
    return listed_port_record("USB\\VID_04E6&PID_1A02\\" + serial,
                              {"USB\\Vid_04e6&Pid_1a02&Rev_0100", "USB\\Vid_04e6&Pid_1a02"}, key);
}

TEST(DeviceListingTest, ListedPortCarriesTheInterfacePathItsRemovalNoticeNames) {
    const DeviceRecord listed = port("HV0001", "COM5");
    EXPECT_EQ(listed.port_address, "\\\\.\\COM5");
    EXPECT_EQ(listed.interface_path,
              "\\\\?\\USB#VID_04E6&PID_1A02#HV0001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
    // The plug-in matches a removal by the notice's path without its first four characters
    // inside the symbolic name.
    EXPECT_NE(listed.key_value("SymbolicName")->find(listed.interface_path.substr(4)),
              std::string::npos);

    // A key that could not be opened, or without PortName: listed, without values or port.
    const DeviceRecord no_key = listed_port_record("USB\\VID_04E6&PID_1A02\\7&1&0", {}, {});
    EXPECT_TRUE(no_key.device_key.empty());
    EXPECT_TRUE(no_key.port_address.empty());
    EXPECT_EQ(no_key.source, no_key.instance_id);
    EXPECT_EQ(no_key.interface_path,
              "\\\\?\\USB#VID_04E6&PID_1A02#7&1&0#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
    const DeviceRecord no_port = listed_port_record("USB\\X\\1", {}, DeviceKeyValues{});
    EXPECT_FALSE(no_port.key_value("PortName"));
    EXPECT_TRUE(no_port.port_address.empty());
}

TEST(DeviceListingTest, ChangesBetweenTwoListingsAreRemovalsThenArrivalsWithTheirRecords) {
    const DeviceRecord com5 = port("HV0001", "COM5");
    const DeviceRecord com6 = port("HV0002", "COM6");
    const DeviceRecord com5_again = port("HV0003", "COM5"); // another device under the key
    struct Case {
        DevicesByKey known;
        DevicesByKey present;
        std::vector<std::pair<DeviceEvent::Kind, std::string>> expected;
    };
    using enum DeviceEvent::Kind;
    const Case cases[] = {
        {{}, {{"a", com5}}, {{Arrival, com5.interface_path}}},
        {{{"a", com5}}, {{"a", com5}}, {}},
        {{{"a", com5}, {"b", com6}}, {{"b", com6}}, {{Removal, com5.interface_path}}},
        {{{"a", com5}},
         {{"a", com5_again}, {"b", com6}},
         {{Removal, com5.interface_path},
          {Arrival, com5_again.interface_path},
          {Arrival, com6.interface_path}}},
    };
    for (const auto& c : cases) {
        const auto events = device_changes(c.known, c.present, kPortsClass);
        ASSERT_EQ(events.size(), c.expected.size());
        for (std::size_t i = 0; i < events.size(); ++i) {
            EXPECT_EQ(events[i].kind, c.expected[i].first);
            EXPECT_EQ(events[i].interface_path, c.expected[i].second);
            EXPECT_EQ(events[i].class_guid, kPortsClass);
            // An arrival carries the record the presence checks read.
            EXPECT_EQ(events[i].device.key_value("PortName").has_value(),
                      events[i].kind == Arrival);
        }
    }
}

TEST(DeviceListingTest, SetupClassesAreWatchedThroughTheInterfaceClassesWindowsNotifies) {
    const std::pair<std::string_view, std::vector<std::string_view>> cases[] = {
        {"{4d36e978-e325-11ce-bfc1-08002be10318}", {kComPortInterface, kUsbDeviceInterface}},
        {kModemClass, {kModemInterface, kUsbDeviceInterface}},
        {kUsbDeviceInterface, {kUsbDeviceInterface}},
    };
    for (const auto& [watched, notified] : cases) {
        EXPECT_EQ(notified_interface_classes(watched), notified) << watched;
    }
    EXPECT_TRUE(watcher_concerns(kUsbDeviceInterface, port("A", "COM3")));
    EXPECT_TRUE(watcher_concerns(kPortsClass, port("A", "COM3")));
    EXPECT_FALSE(watcher_concerns(kModemClass, port("A", "COM3")));
}

TEST(ConsoleEventTest, ClosingLoggingOffAndShuttingDownWaitForTheRunToStop) {
    const std::pair<ConsoleEvent, ConsoleEventHandling> cases[] = {
        {ConsoleEvent::CtrlC, {2, false}},    {ConsoleEvent::CtrlBreak, {2, false}},
        {ConsoleEvent::Close, {15, true}},    {ConsoleEvent::Logoff, {15, true}},
        {ConsoleEvent::Shutdown, {15, true}},
    };
    for (const auto& [event, expected] : cases) {
        const auto handling = console_event_handling(event);
        EXPECT_EQ(handling.signal_number, expected.signal_number);
        EXPECT_EQ(handling.hold_until_exit, expected.hold_until_exit);
    }
}

} // namespace
