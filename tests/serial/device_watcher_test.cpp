// Arrival and removal notifications, and a simulated terminal unplugged in the middle of a read.
#include "platform/devices/device_set.h"
#include "platform/devices/device_watcher.h"
#include "platform/foundation/last_error.h"
#include "platform/serial/serial_port.h"
#include "serial_test_links.h"
#include "tests/common/environment.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

using namespace platform;
using serial_test::announcement_text;
using serial_test::TempDir;
using serial_test::write_file_atomically;

namespace {

const std::string kPath1 =
    "\\\\?\\USB#Vid_04e6&Pid_1a02#SIM0001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

// Collects the watcher's events for the test thread.
class EventLog {
  public:
    void add(const DeviceEvent& event) {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
        changed_.notify_all();
    }
    // Waits until `count` events came (2 s at most) and returns them.
    std::vector<DeviceEvent> wait_for(std::size_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(2), [&] { return events_.size() >= count; });
        return events_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<DeviceEvent> events_;
};

class DeviceWatcherTest : public testing::Test {
  protected:
    void SetUp() override {
        morlin_test::set_environment("MORLIN_DEVICES", dir_.path().string().c_str());
        morlin_test::set_environment("MORLIN_REAL_PORTS", "none");
    }
    void TearDown() override { morlin_test::set_environment("MORLIN_DEVICES", nullptr); }

    std::unique_ptr<DeviceWatcher> start(std::string_view interface_class = kUsbDeviceInterface) {
        return DeviceWatcher::start(interface_class, [this](const DeviceEvent& e) { log_.add(e); });
    }

    TempDir dir_;
    EventLog log_;
};

TEST_F(DeviceWatcherTest, ReportsArrivalAndRemovalWithTheInterfacePath) {
    write_file_atomically(dir_.path(), "before.device",
                          announcement_text("SIM0009", "COM9", "rfc2217://127.0.0.1:1"));
    auto watcher = start();
    ASSERT_TRUE(watcher);
    write_file_atomically(dir_.path(), "sim1.device",
                          announcement_text("SIM0001", "COM7", "rfc2217://127.0.0.1:1"));
    write_file_atomically(dir_.path(), "broken.device", "no announcement");
    ASSERT_EQ(log_.wait_for(1).size(), 1u); // read before it goes again
    std::filesystem::remove(dir_.path() / "sim1.device");
    std::filesystem::remove(dir_.path() / "broken.device");
    // Present before the watcher started: its removal still carries its path.
    std::filesystem::remove(dir_.path() / "before.device");

    const auto events = log_.wait_for(3);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].kind, DeviceEvent::Kind::Arrival);
    EXPECT_EQ(events[0].interface_path, kPath1);
    EXPECT_EQ(events[0].class_guid, kUsbDeviceInterface);
    // Both removals, in either order (a Windows watcher sees them in one comparison).
    std::vector<std::string> removed;
    for (std::size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(events[i].kind, DeviceEvent::Kind::Removal);
        removed.push_back(events[i].interface_path);
    }
    std::sort(removed.begin(), removed.end());
    EXPECT_EQ(removed[0], kPath1);
    EXPECT_NE(removed[1].find("SIM0009"), std::string::npos);
}

TEST_F(DeviceWatcherTest, AWatcherOfAnotherClassHearsOnlyItsDevices) {
    auto modems = start(kModemClass);
    ASSERT_TRUE(modems);
    write_file_atomically(dir_.path(), "sim1.device",
                          announcement_text("SIM0001", "COM7", "rfc2217://127.0.0.1:1"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    modems.reset(); // stops cleanly; nothing runs after this
    EXPECT_TRUE(log_.wait_for(0).empty());
}

#ifndef _WIN32 // the simulators and the inotify queue are Linux's
// The whole road of an unplugged terminal: the announcement goes, the server side closes, the
// pending read ends as "device not connected", and the watcher reports the removal.
TEST_F(DeviceWatcherTest, UnpluggingASimulatedTerminalDuringARead) {
    auto server = serial_test::start_session_link();
    write_file_atomically(dir_.path(), "sim1.device",
                          announcement_text("SIM0001", "COM7", server->port_name()));
    auto watcher = start();
    ASSERT_TRUE(watcher);

    auto port = SerialPort::open("\\\\.\\COM7");
    ASSERT_TRUE(port) << last_error();
    EXPECT_FALSE(SerialPort::open("com7")); // the same port, by its name in other letters
    EXPECT_EQ(last_error(), kErrorAccessDenied);

    std::optional<std::size_t> result;
    std::uint32_t error = 0;
    std::thread reader([&] {
        std::uint8_t buffer[4];
        result = port->read(buffer);
        error = last_error();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto devices = present_devices(kPortsClass);
    ASSERT_EQ(devices->size(), 1u);
    ASSERT_TRUE(remove_device(devices->front()));
    server->unplug();
    reader.join();
    EXPECT_FALSE(result);
    EXPECT_EQ(error, kErrorDeviceNotConnected);

    const auto events = log_.wait_for(1);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, DeviceEvent::Kind::Removal);
    EXPECT_EQ(events[0].interface_path, kPath1);
    // The monitor's match: the path less its first 4 characters inside the symbolic name.
    EXPECT_NE(devices->front().key_value("SymbolicName")->find(kPath1.substr(4)),
              std::string::npos);
}

TEST_F(DeviceWatcherTest, PortsThatAreNotThereAreNotFound) {
    EXPECT_FALSE(SerialPort::open("COM42")); // not announced: /dev/COM42
    EXPECT_EQ(last_error(), kErrorFileNotFound);
    EXPECT_FALSE(SerialPort::open("/dev/null")); // there, but no serial device
    EXPECT_EQ(last_error(), kErrorFileNotFound);

    // A server that went away: connection refused.
    std::string address;
    {
        auto server = serial_test::start_session_link();
        address = server->port_name();
    }
    EXPECT_FALSE(SerialPort::open(address));
    EXPECT_EQ(last_error(), kErrorFileNotFound);
    EXPECT_FALSE(SerialPort::open("rfc2217://127.0.0.1:notaport"));
    EXPECT_EQ(last_error(), kErrorFileNotFound);
}

TEST_F(DeviceWatcherTest, AFolderThatCannotBeWatchedIsReported) {
    morlin_test::set_environment("MORLIN_DEVICES", (dir_.path() / "missing").string().c_str());
    EXPECT_FALSE(start());
    EXPECT_EQ(last_error(), kErrorFileNotFound);
}

// While the watcher's thread is held in a callback, more events come than the kernel queues;
// the removal among them is lost to the queue, not to the watcher.
TEST_F(DeviceWatcherTest, RemovalLostInAQueueOverflowIsStillReported) {
    write_file_atomically(dir_.path(), "sim1.device",
                          announcement_text("SIM0001", "COM7", "rfc2217://127.0.0.1:1"));
    std::mutex mutex;
    std::condition_variable released;
    bool held = false;
    bool release = false;
    EventLog log;
    auto watcher = DeviceWatcher::start(kUsbDeviceInterface, [&](const DeviceEvent& e) {
        std::unique_lock lock(mutex);
        if (!held) {
            held = true;
            released.notify_all();
            released.wait(lock, [&] { return release; });
        }
        lock.unlock();
        log.add(e);
    });
    ASSERT_TRUE(watcher);
    write_file_atomically(dir_.path(), "sim2.device",
                          announcement_text("SIM0002", "COM8", "rfc2217://127.0.0.1:1"));
    {
        std::unique_lock lock(mutex);
        released.wait(lock, [&] { return held; });
    }
    std::ifstream limit_file("/proc/sys/fs/inotify/max_queued_events");
    std::size_t limit = 16384;
    limit_file >> limit;
    for (std::size_t i = 0; i <= limit; ++i) {
        std::ofstream(dir_.path() / ("noise" + std::to_string(i)));
    }
    std::filesystem::remove(dir_.path() / "sim1.device");
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    released.notify_all();
    const auto events = log.wait_for(2);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, DeviceEvent::Kind::Arrival);
    EXPECT_EQ(events[1].kind, DeviceEvent::Kind::Removal);
    EXPECT_EQ(events[1].interface_path, kPath1);
}

#endif

} // namespace
