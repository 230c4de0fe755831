// One suite of serial port behaviour, run against python3-serial's RFC 2217 server, an RFC 2217
// server built on the simulator's session code, and a pseudo-terminal through termios. Each
// far end echoes what the port sends.
#include "platform/foundation/clock.h"
#include "platform/foundation/last_error.h"
#include "platform/serial/serial_port.h"
#include "platform/serial/serial_timeouts.h"
#include "serial_test_links.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <netinet/in.h>
#include <numeric>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace platform;
using serial_test::EchoLink;

namespace {

struct LinkKind {
    const char* name;
    std::function<std::unique_ptr<EchoLink>()> start;
    bool rfc2217;
};

class SerialPortSuite : public testing::TestWithParam<LinkKind> {
  protected:
    void SetUp() override {
        ::setenv("MORLIN_REAL_PORTS", "none", 1);
        ::unsetenv("MORLIN_DEVICES");
        set_time_scale_percent(100);
        link_ = GetParam().start();
        port_ = SerialPort::open(link_->port_name());
        ASSERT_TRUE(port_) << "open failed, error " << last_error();
    }

    void set_timeouts(std::uint32_t interval, std::uint32_t multiplier, std::uint32_t constant) {
        Timeouts t;
        t.read_interval = interval;
        t.read_total_multiplier = multiplier;
        t.read_total_constant = constant;
        ASSERT_TRUE(port_->set_timeouts(t));
    }

    // Reads until `count` bytes came back or 5 s passed.
    std::vector<std::uint8_t> read_back(std::size_t count) {
        set_timeouts(0, 0, 5000);
        std::vector<std::uint8_t> data(count);
        const auto got = port_->read(data);
        EXPECT_TRUE(got);
        data.resize(got.value_or(0));
        return data;
    }

    struct EndedRead {
        std::optional<std::size_t> result;
        std::uint32_t error = 0;
    };
    // Starts a read that waits without limit on another thread, lets `interrupt` end it, and
    // gives what the read returned and its error.
    EndedRead read_ended_by(const std::function<void()>& interrupt) {
        set_timeouts(0, 0, 0);
        EndedRead ended;
        std::thread reader([&] {
            std::vector<std::uint8_t> buffer(8);
            ended.result = port_->read(buffer);
            ended.error = last_error();
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        interrupt();
        reader.join();
        return ended;
    }

    void write_all(std::span<const std::uint8_t> data) {
        const auto written = port_->write(data);
        ASSERT_TRUE(written) << "error " << last_error();
        ASSERT_EQ(*written, data.size());
    }

    std::unique_ptr<EchoLink> link_;
    std::unique_ptr<SerialPort> port_;
};

TEST_P(SerialPortSuite, LineSettingsAreTakenAndReportedBack) {
    LineSettings wanted;
    wanted.baud = 57600;
    wanted.data_bits = 8;
    wanted.parity = Parity::None;
    wanted.stop_bits = StopBits::One;
    wanted.dtr = DtrControl::Disable;
    ASSERT_TRUE(port_->set_line_settings(wanted)) << last_error();
    LineSettings seen;
    ASSERT_TRUE(port_->get_line_settings(seen));
    EXPECT_EQ(seen.baud, 57600u);
    EXPECT_EQ(seen.data_bits, 8);
    EXPECT_EQ(seen.parity, Parity::None);
    EXPECT_EQ(seen.stop_bits, StopBits::One);
    EXPECT_EQ(seen.dtr, DtrControl::Disable);

    wanted.baud = 9600;
    wanted.data_bits = 7;
    wanted.parity = Parity::Even;
    wanted.stop_bits = StopBits::Two;
    ASSERT_TRUE(port_->set_line_settings(wanted));
    ASSERT_TRUE(port_->get_line_settings(seen));
    EXPECT_EQ(seen.baud, 9600u);
    EXPECT_EQ(seen.stop_bits, StopBits::Two);
    if (GetParam().rfc2217) { // a pseudo-terminal keeps 8 data bits without parity
        EXPECT_EQ(seen.data_bits, 7);
        EXPECT_EQ(seen.parity, Parity::Even);
    }

    LineSettings impossible = wanted;
    impossible.data_bits = 9;
    EXPECT_FALSE(port_->set_line_settings(impossible));
    EXPECT_EQ(last_error(), kErrorInvalidParameter);
}

TEST_P(SerialPortSuite, EveryByteValueTravelsUnchangedInLargeWrites) {
    // All byte values, with runs of 255 (the Telnet escape) and CR LF pairs.
    std::vector<std::uint8_t> data(48 * 1024);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>((i / 3) % 7 == 0 ? 0xFF : (i * 31) & 0xFF);
    }
    // A pseudo-terminal holds about 4 KiB per direction: stay within it there.
    const std::size_t chunk = GetParam().rfc2217 ? data.size() : 2048;
    for (std::size_t offset = 0; offset < data.size(); offset += chunk) {
        const auto piece = std::span(data).subspan(offset, std::min(chunk, data.size() - offset));
        write_all(piece);
        const auto back = read_back(piece.size());
        ASSERT_EQ(back.size(), piece.size());
        ASSERT_TRUE(std::equal(back.begin(), back.end(), piece.begin())) << "at " << offset;
    }
}

TEST_P(SerialPortSuite, ReadTimeoutRulesAsOnWindows) {
    std::vector<std::uint8_t> buffer(10);

    // Return at once with what is there: nothing.
    set_timeouts(kMaxDword, 0, 0);
    auto start = monotonic_ms();
    EXPECT_EQ(port_->read(buffer), 0u);
    EXPECT_LT(monotonic_ms() - start, 100u);

    // One byte or the constant: nothing comes, so the constant passes.
    set_timeouts(kMaxDword, kMaxDword, 150);
    start = monotonic_ms();
    EXPECT_EQ(port_->read(buffer), 0u);
    EXPECT_GE(monotonic_ms() - start, 140u);

    // ... and with 3 bytes there, they come at once although 10 were asked for.
    const std::uint8_t three[] = {1, 2, 3};
    write_all(three);
    set_timeouts(kMaxDword, kMaxDword, 3000);
    start = monotonic_ms();
    std::size_t got = 0;
    while (got < 3 && monotonic_ms() - start < 3000) {
        const auto n = port_->read(std::span(buffer).subspan(got));
        ASSERT_TRUE(n);
        got += *n;
    }
    EXPECT_EQ(got, 3u);
    EXPECT_LT(monotonic_ms() - start, 1500u);

    // Total time-out: 2 of 5 bytes, then the total (multiplier 10 * 5 + 100) passes.
    const std::uint8_t two[] = {4, 5};
    write_all(two);
    set_timeouts(0, 10, 100);
    start = monotonic_ms();
    auto n = port_->read(std::span(buffer).first(5));
    ASSERT_TRUE(n);
    EXPECT_EQ(*n, 2u);
    EXPECT_GE(monotonic_ms() - start, 140u);
    EXPECT_EQ(buffer[0], 4);
    EXPECT_EQ(buffer[1], 5);

    // Interval time-out alone: after the first bytes, a gap of 100 ms ends the read.
    write_all(two);
    set_timeouts(100, 0, 0);
    n = port_->read(buffer);
    ASSERT_TRUE(n);
    EXPECT_EQ(*n, 2u);
}

TEST_P(SerialPortSuite, TimeoutsAreScaledByTheClock) {
    set_time_scale_percent(10);
    std::vector<std::uint8_t> buffer(4);
    set_timeouts(kMaxDword, kMaxDword, 1000);
    const auto start = monotonic_ms();
    EXPECT_EQ(port_->read(buffer), 0u);
    const auto spent = monotonic_ms() - start;
    set_time_scale_percent(100);
    EXPECT_GE(spent, 90u);
    EXPECT_LT(spent, 600u);
}

TEST_P(SerialPortSuite, CancelFromAnotherThreadEndsAPendingRead) {
    const EndedRead ended = read_ended_by([&] { port_->cancel(); });
    EXPECT_FALSE(ended.result);
    EXPECT_EQ(ended.error, kErrorOperationAborted);

    // The port goes on working.
    const std::uint8_t ping[] = {0x55, 0xFF, 0xAA};
    write_all(ping);
    EXPECT_EQ(read_back(3), std::vector<std::uint8_t>(std::begin(ping), std::end(ping)));
}

TEST_P(SerialPortSuite, PurgeDropsReceivedBytes) {
    const std::uint8_t data[] = {9, 8, 7, 6};
    write_all(data);
    std::this_thread::sleep_for(std::chrono::milliseconds(150)); // the echo is back
    ASSERT_TRUE(port_->purge(kPurgeRxAbort | kPurgeRxClear | kPurgeTxAbort | kPurgeTxClear));
    set_timeouts(kMaxDword, 0, 0);
    std::vector<std::uint8_t> buffer(8);
    EXPECT_EQ(port_->read(buffer), 0u);
    // A purge does not end the next operation.
    write_all(data);
    EXPECT_EQ(read_back(4).size(), 4u);
}

TEST_P(SerialPortSuite, BreakGoesOnAndOff) {
    if (!GetParam().rfc2217) {
        GTEST_SKIP() << "a pseudo-terminal has no break condition";
    }
    ASSERT_TRUE(port_->set_break(true)) << last_error();
    ASSERT_TRUE(port_->set_break(false));
    if (link_->sees_break()) {
        EXPECT_EQ(link_->breaks(), (std::vector<bool>{true, false}));
    }
}

TEST_P(SerialPortSuite, ASecondOpenIsRefusedAsBusy) {
    EXPECT_FALSE(SerialPort::open(link_->port_name()));
    EXPECT_EQ(last_error(), kErrorAccessDenied);
    port_.reset();
    std::unique_ptr<SerialPort> again;
    for (int attempt = 0; attempt < 50 && !again; ++attempt) {
        again = SerialPort::open(link_->port_name()); // the server may take a moment
        if (!again) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    EXPECT_TRUE(again);
}

TEST_P(SerialPortSuite, UnpluggingEndsThePendingReadAndEveryLaterOperation) {
    const EndedRead ended = read_ended_by([&] { link_->unplug(); });
    EXPECT_FALSE(ended.result);
    EXPECT_EQ(ended.error, kErrorDeviceNotConnected);
    EXPECT_FALSE(port_->connected());
    const std::uint8_t byte[] = {1};
    EXPECT_FALSE(port_->write(byte));
    EXPECT_EQ(last_error(), kErrorDeviceNotConnected);
    std::vector<std::uint8_t> buffer(1);
    EXPECT_FALSE(port_->read(buffer));
    EXPECT_EQ(last_error(), kErrorDeviceNotConnected);
}

INSTANTIATE_TEST_SUITE_P(
    Links, SerialPortSuite,
    testing::Values(LinkKind{"python_serial", serial_test::start_python_link, true},
                    LinkKind{"simulator_session", serial_test::start_session_link, true},
                    LinkKind{"pseudo_terminal", serial_test::start_pty_link, false}),
    [](const testing::TestParamInfo<LinkKind>& param_info) {
        return std::string(param_info.param.name);
    });

} // namespace

namespace {

// A line that takes nothing: the write time-out (multiplier * bytes + constant) passes.
class StuckLine final : public platform::ByteSink {
  public:
    platform::TransferStep put(std::span<const std::uint8_t>, platform::WaitLimit limit) override {
        limits.push_back(limit);
        if (limit && *limit > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(*limit));
        }
        return {};
    }
    std::vector<platform::WaitLimit> limits;
};

TEST(SerialTimeouts, AWriteThatTheLineDoesNotTakeTimesOut) {
    set_time_scale_percent(100);
    Timeouts t;
    t.write_total_multiplier = 10;
    t.write_total_constant = 20;
    StuckLine line;
    const std::uint8_t data[3] = {1, 2, 3};
    const auto start = monotonic_ms();
    EXPECT_FALSE(write_under_timeouts(t, data, line));
    EXPECT_EQ(last_error(), kErrorTimeout);
    EXPECT_GE(monotonic_ms() - start, 45u);
    ASSERT_EQ(line.limits.size(), 1u);
    EXPECT_LE(line.limits[0].value_or(0), 50u);

    // Without write time-outs the wait has no limit.
    StuckLine unlimited;
    write_under_timeouts(Timeouts{}, data, unlimited);
    EXPECT_FALSE(unlimited.limits.at(0).has_value());
}

// A previous program left the line with VMIN 0, where an empty read returns at once with
// nothing: the port must still wait under its time-outs and not take that for a hang-up.
TEST(SerialPortLeftByAnotherProgram, VminZeroIsNotTakenForAHangUp) {
    ::setenv("MORLIN_REAL_PORTS", "none", 1);
    ::unsetenv("MORLIN_DEVICES");
    set_time_scale_percent(100);
    const auto link = serial_test::start_pty_link();
    const int fd = ::open(link->port_name().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    termios left{};
    ASSERT_EQ(::tcgetattr(fd, &left), 0);
    ::cfmakeraw(&left);
    left.c_cc[VMIN] = 0;
    left.c_cc[VTIME] = 0;
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &left), 0);
    const auto port = SerialPort::open(link->port_name());
    ::close(fd);
    ASSERT_TRUE(port) << "open failed, error " << last_error();

    Timeouts t;
    t.read_total_constant = 100;
    ASSERT_TRUE(port->set_timeouts(t));
    std::uint8_t buffer[4];
    const auto start = monotonic_ms();
    const auto nothing = port->read(buffer);
    ASSERT_TRUE(nothing) << "error " << last_error();
    EXPECT_EQ(*nothing, 0u);
    EXPECT_GE(monotonic_ms() - start, 90u);
    EXPECT_TRUE(port->connected());

    const std::uint8_t sent[3] = {0x11, 0x00, 0xFF};
    ASSERT_EQ(port->write(sent).value_or(0), 3u);
    t.read_total_constant = 5000;
    ASSERT_TRUE(port->set_timeouts(t));
    EXPECT_EQ(port->read(std::span(buffer, 3)).value_or(0), 3u);
    EXPECT_TRUE(std::equal(sent, sent + 3, buffer));
}

} // namespace

namespace {

// Reads until `last` came back, or until nothing came for 2 s (the far end has echoed all),
// and counts the bytes by value. The first byte may take long: the far end takes in megabytes
// of doubled 255s first (tens of seconds under the address sanitizer).
std::map<std::uint8_t, std::size_t> read_back_until(SerialPort& port,
                                                    std::optional<std::uint8_t> last) {
    Timeouts t;
    t.read_interval = kMaxDword;
    t.read_total_multiplier = kMaxDword;
    t.read_total_constant = 120000;
    std::map<std::uint8_t, std::size_t> counts;
    std::vector<std::uint8_t> buffer(64 * 1024);
    for (;;) {
        EXPECT_TRUE(port.set_timeouts(t));
        t.read_total_constant = 2000;
        const auto got = port.read(buffer);
        if (!got || *got == 0) {
            return counts;
        }
        for (std::size_t i = 0; i < *got; ++i) {
            ++counts[buffer[i]];
        }
        if (buffer[*got - 1] == last) {
            return counts;
        }
    }
}

// The far end stops taking data, so a large write of 255s (each doubled on the wire) times
// out part way. What it had not sent stays unsent, across a purge and the next write (only
// the second half of a doubled 255 may follow), and the stream stays whole.
TEST(Rfc2217Port, TheRestOfATimedOutWriteIsNeverSent) {
    set_time_scale_percent(100);
    ::setenv("MORLIN_REAL_PORTS", "none", 1);
    ::unsetenv("MORLIN_DEVICES");
    auto link = serial_test::start_session_link();
    auto port = SerialPort::open(link->port_name());
    ASSERT_TRUE(port) << last_error();
    Timeouts t;
    t.write_total_constant = 300;
    ASSERT_TRUE(port->set_timeouts(t));
    link->hold(true);
    const std::vector<std::uint8_t> stuck(32u << 20, 0xFF);
    EXPECT_FALSE(port->write(stuck));
    EXPECT_EQ(last_error(), kErrorTimeout);
    link->hold(false);
    const auto before = read_back_until(*port, std::nullopt); // what went out in time
    ASSERT_TRUE(port->purge(kPurgeTxAbort | kPurgeTxClear)) << last_error();
    const std::uint8_t last = 'Z';
    ASSERT_TRUE(port->write({&last, 1}));
    auto after = read_back_until(*port, last);
    EXPECT_EQ(after[last], 1u);
    EXPECT_LE(after[0xFF], 1u);
    EXPECT_EQ(after.size(), 2u);
    EXPECT_LT(before.count(0xFF) ? before.at(0xFF) : 0, stuck.size());
}

// A connect that waits (the server's queue is full until the test makes room) is
// interrupted by a signal: it goes on, and the server it reaches hangs up (port held).
TEST(Rfc2217Port, ASignalDuringTheConnectIsNoMissingPort) {
    struct sigaction action {};
    action.sa_handler = [](int) {}; // without SA_RESTART: the wait is interrupted
    struct sigaction previous {};
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    const std::string name = "rfc2217://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    bool opened = true;
    std::uint32_t error = 0;
    std::thread opener([&] {
        opened = SerialPort::open(name) != nullptr;
        error = last_error();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ::pthread_kill(opener.native_handle(), SIGUSR1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ::close(::accept(listener, nullptr, nullptr)); // the filler: room for the waiting connect
    pollfd waiting{listener, POLLIN, 0};
    if (::poll(&waiting, 1, 3000) == 1) {
        ::close(::accept(listener, nullptr, nullptr)); // the port's connection: hung up
    }
    opener.join();
    ::close(filler);
    ::close(listener);
    ::sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_FALSE(opened);
    EXPECT_EQ(error, kErrorAccessDenied);
}

} // namespace
