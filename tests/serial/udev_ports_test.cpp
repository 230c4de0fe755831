// The machine's USB serial ports through udev, against umockdev's simulated sysfs and uevents:
// listing, arrival and removal, the pseudo-terminal behind the node, and a port this user may
// not open. Runs under umockdev-wrapper (the test's CMake entry).
#include "platform/devices/device_set.h"
#include "platform/devices/device_watcher.h"
#include "platform/devices/usb_serial_ports.h"
#include "platform/devices/usb_serial_ports_udev.h"
#include "platform/winapi/library.h"
#include "sim/terminal.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <ctapi.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mutex>
#include <poll.h>
#include <sys/stat.h>
#include <thread>
#include <umockdev.h>
#include <unistd.h>

using namespace platform;

namespace {

constexpr const char* kHalvaneTty = "/sys/devices/pci0000:00/usb1/1-1/1-1:1.0/tty/ttyACM0";
const std::string kHalvanePath =
    "\\\\?\\USB#Vid_04e6&Pid_1a02#S123#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

// A USB device with its interface and tty, as udevadm would record it.
std::string usb_tty(const std::string& usb, const std::string& tty, const std::string& vid,
                    const std::string& pid, const std::string& serial, int minor) {
    const std::string device = "/devices/pci0000:00/usb1/" + usb;
    return "P: " + device + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nA: idVendor=" + vid +
           "\nA: idProduct=" + pid + (serial.empty() ? "" : "\nA: serial=" + serial) +
           "\n\nP: " + device + "/" + usb + ":1.0\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n\n" +
           "P: " + device + "/" + usb + ":1.0/tty/" + tty + "\nN: " + tty +
           "\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/" + tty + "\nA: dev=166:" + std::to_string(minor) +
           "\n\n";
}

class UdevPortsTest : public testing::Test {
  protected:
    void SetUp() override {
        ::unsetenv("MORLIN_REAL_PORTS");
        ::unsetenv("MORLIN_DEVICES");
        testbed_ = umockdev_testbed_new();
        ASSERT_TRUE(umockdev_in_mock_environment()) << "run under umockdev-wrapper";
        const std::string devices =
            usb_tty("1-1", "ttyACM0", "04e6", "1a02", "S123", 0) +
            usb_tty("1-2", "ttyACM1", "1513", "0444", "", 1) +
            // a tty that is no USB device: never listed
            "P: /devices/platform/serial8250/tty/ttyS0\nN: ttyS0\nE: SUBSYSTEM=tty\n"
            "E: DEVNAME=/dev/ttyS0\nA: dev=4:64\n\n";
        GError* error = nullptr;
        ASSERT_TRUE(umockdev_testbed_add_from_string(testbed_, devices.c_str(), &error));
        // The terminal control requests (termios, TIOCEXCL) reach the pseudo-terminal itself.
        pass_through_ = umockdev_ioctl_base_new();
        g_signal_connect(pass_through_, "handle-ioctl", G_CALLBACK(&pass_through), nullptr);
        ASSERT_TRUE(umockdev_testbed_attach_ioctl(testbed_, "/dev/ttyACM0", pass_through_, &error));
    }
    void TearDown() override {
        g_object_unref(testbed_);
        g_object_unref(pass_through_);
    }

    static gboolean pass_through(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer) {
        int error = 0;
        const int result = umockdev_ioctl_client_execute(client, &error, nullptr);
        umockdev_ioctl_client_complete(client, result, error);
        return TRUE;
    }

    UMockdevTestbed* testbed_ = nullptr;
    UMockdevIoctlBase* pass_through_ = nullptr;
};

TEST_F(UdevPortsTest, ListsEveryUsbTtyWithItsIdentifiersAndTheTerminalsByEnumerator) {
    const auto ports = usb_serial_ports();
    ASSERT_EQ(ports.size(), 2u);
    const char* const expected[][3] = {
        {"USB\\VID_04E6&PID_1A02\\S123", "ttyACM0", "/dev/ttyACM0"},
        {"USB\\VID_1513&PID_0444\\ttyACM1", "ttyACM1", "/dev/ttyACM1"}};
    for (std::size_t i = 0; i < ports.size(); ++i) {
        EXPECT_EQ(ports[i].instance_id, expected[i][0]);
        EXPECT_EQ(ports[i].key_value("PortName"), expected[i][1]);
        EXPECT_EQ(ports[i].port_address, expected[i][2]);
    }
    EXPECT_EQ(ports[0].interface_path, kHalvanePath);
    const auto halvane = present_devices(kPortsClass, "USB\\Vid_04e6&Pid_1a02");
    ASSERT_TRUE(halvane && halvane->size() == 1);
    EXPECT_EQ((*halvane)[0].key_value("PortName"), "ttyACM0");
}

TEST_F(UdevPortsTest, WatcherHearsUdevRemovalsAndArrivals) {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<DeviceEvent> events;
    auto watcher = DeviceWatcher::start(
        kPortsClass,
        [&](const DeviceEvent& event) {
            const std::lock_guard lock(mutex);
            events.push_back(event);
            changed.notify_all();
        },
        PresentDevices::Report);
    ASSERT_NE(watcher, nullptr);
    const auto wait_for = [&](std::size_t count) {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(2), [&] { return events.size() >= count; });
        return events;
    };
    EXPECT_EQ(wait_for(2).size(), 2u); // both ports present at the start
    umockdev_testbed_uevent(testbed_, kHalvaneTty, "remove");
    umockdev_testbed_uevent(testbed_, kHalvaneTty, "add");
    const auto seen = wait_for(4);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[2].kind, DeviceEvent::Kind::Removal);
    EXPECT_EQ(seen[2].interface_path, kHalvanePath);
    EXPECT_EQ(seen[3].kind, DeviceEvent::Kind::Arrival);
    EXPECT_EQ(seen[3].device.key_value("PortName"), "ttyACM0");
}

// The terminal simulator answers on the far end of the node's pseudo-terminal (which carries
// no break: the RFC 2217 tests cover that).
class TerminalOnFarEnd {
  public:
    explicit TerminalOnFarEnd(int fd) : fd_(fd), thread_([this] { serve(); }) {}
    ~TerminalOnFarEnd() {
        running_ = false;
        thread_.join();
    }

  private:
    void serve() {
        sim::Terminal terminal(sim::TerminalConfig{}, sim::TerminalStatus{}, sim::Faults{});
        std::vector<std::uint8_t> out;
        while (running_) {
            pollfd ready{fd_, POLLIN, 0};
            std::uint8_t buffer[512];
            if (::poll(&ready, 1, 5) > 0 && (ready.revents & POLLIN)) {
                const ssize_t n = ::read(fd_, buffer, sizeof buffer);
                if (n > 0) {
                    terminal.receive(std::span(buffer, static_cast<std::size_t>(n)),
                                     sim::Terminal::Clock::now());
                }
            }
            terminal.tick(sim::Terminal::Clock::now());
            out.clear();
            terminal.take_ready(sim::Terminal::Clock::now(), out);
            if (!out.empty() && ::write(fd_, out.data(), out.size()) < 0) {
                return;
            }
        }
    }

    int fd_;
    std::atomic<bool> running_{true};
    std::thread thread_;
};

// Brantel finds the terminal among udev's ports, talks to it through the node, and hears of
// its removal from udev: the next command fails as a lost link.
TEST_F(UdevPortsTest, BrantelExchangeEndsWhenUdevRemovesTheTerminal) {
    TerminalOnFarEnd terminal(umockdev_testbed_get_dev_fd(testbed_, "/dev/ttyACM0"));
    const auto brantel = Library::load(MORLIN_BIN_DIR "/BRANTEL.so");
    ASSERT_NE(brantel, nullptr);
    const auto init = reinterpret_cast<CT_init_fn>(brantel->symbol("CT_init"));
    const auto data = reinterpret_cast<CT_data_fn>(brantel->symbol("CT_data"));
    const auto close = reinterpret_cast<CT_close_fn>(brantel->symbol("CT_close"));
    const auto get_status = [&] {
        IU8 command[] = {0x20, 0x13, 0x00, 0x46, 0x00};
        IU8 response[256];
        IU8 dad = 1;
        IU8 sad = 2;
        IU16 length = sizeof response;
        return data(0, &dad, &sad, sizeof command, command, &length, response);
    };
    ASSERT_EQ(init(0, 0), OK);
    EXPECT_EQ(get_status(), OK);
    umockdev_testbed_uevent(testbed_, kHalvaneTty, "remove");
    IS8 result = OK;
    for (int attempt = 0; attempt < 200 && result == OK; ++attempt, result = get_status()) {
    }
    EXPECT_EQ(result, ERR_TRANS);
    EXPECT_EQ(close(0), OK);
}

// A node this user may not open is named with the cause and both fixes.
TEST(PortAccessProblemTest, NamesTheCauseAndTheFix) {
    char folder[] = "/tmp/morlin-access-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    ::chmod(folder, 0755);
    const std::string node = std::string(folder) + "/ttyACM9";
    ::close(::open(node.c_str(), O_CREAT | O_WRONLY, 0600));
    EXPECT_EQ(port_access_problem(node), std::nullopt) << "the owner may open it";
    EXPECT_EXIT(
        {
            // root may open anything: the check runs as nobody; anyone else loses the right
            if (::geteuid() == 0 ? ::setresuid(65534, 65534, 65534) != 0
                                 : ::chmod(node.c_str(), 0) != 0) {
                std::_Exit(2);
            }
            const auto text = port_access_problem(node).value_or("");
            std::_Exit(text.find("permission denied") != std::string::npos &&
                               text.find("70-morlin.rules") != std::string::npos &&
                               text.find("to the group ") != std::string::npos
                           ? 0
                           : 1);
        },
        testing::ExitedWithCode(0), "");
    ::unlink(node.c_str());
    ::rmdir(folder);
}

} // namespace
