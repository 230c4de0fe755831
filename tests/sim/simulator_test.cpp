// The simulator as a client sees it: an RFC 2217 port on 127.0.0.1 and an announcement file.
#include "platform/foundation/clock.h"
#include "sim/terminal.h"
#include "sim/terminal_simulator.h"
#include "tests/common/temp_dir.h"
#include "tests/sim/rfc2217_test_client.h"
#include "tests/sim/terminal_driver.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace sim::test {
namespace {

namespace fs = std::filesystem;
namespace rfc = platform::rfc2217;
using Bytes = std::vector<std::uint8_t>;
using morlin_test::read_text;
using std::chrono::milliseconds;

const Bytes kGetStatusBlock{0x12, 0x40, 0x05, 0x20, 0x13, 0x00, 0x46, 0x00, 0x22};

class SimulatorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = temp_.path();
        options_.devices_dir = dir_.string();
    }
    void TearDown() override {
        simulator_.reset();
        EXPECT_TRUE(fs::is_empty(dir_)) << "leftover files";
    }
    TerminalSimulator& start() {
        std::string error;
        simulator_ = TerminalSimulator::start(options_, &error);
        EXPECT_TRUE(simulator_) << error;
        return *simulator_;
    }
    std::unique_ptr<Rfc2217TestClient> connect() {
        auto client = std::make_unique<Rfc2217TestClient>();
        EXPECT_TRUE(client->connect(simulator_->port()));
        return client;
    }
    std::vector<LineEvent> events_of(LineEvent::Kind kind) const {
        std::vector<LineEvent> found;
        for (const auto& event : simulator_->line_log()) {
            if (event.kind == kind) {
                found.push_back(event);
            }
        }
        return found;
    }

    morlin_test::TempDir temp_;
    fs::path dir_;
    SimulatorOptions options_;
    std::unique_ptr<TerminalSimulator> simulator_;
};

TEST_F(SimulatorTest, AnnouncesItsPortAndRemovesTheFileWhenStopped) {
    options_.port_name = "COM12";
    options_.serial = "ABC1";
    TerminalSimulator& sim = start();
    const std::string path = sim.announcement_path();
    EXPECT_EQ(fs::path(path).parent_path(), dir_);
    const std::string text = read_text(path);
    EXPECT_NE(text.find("Port=rfc2217://127.0.0.1:" + std::to_string(sim.port()) + "\n"),
              std::string::npos);
    EXPECT_NE(text.find("PortName=COM12\n"), std::string::npos);
    EXPECT_NE(text.find("\\ABC1\n"), std::string::npos);
    EXPECT_EQ(sim.address(), "rfc2217://127.0.0.1:" + std::to_string(sim.port()));
    sim.stop();
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(SimulatorTest, NegotiatesAndAcknowledgesEveryComPortCommand) {
    start();
    auto client = connect();
    const auto will_com_port = rfc::negotiation(rfc::kWill, rfc::kOptionComPort);
    client->send_raw(Bytes(will_com_port.begin(), will_com_port.end()));
    client->send_com_port(rfc::kSetBaudrate, {0x00, 0x00, 0xE1, 0x00});
    client->send_com_port(rfc::kSetDatasize, {8});
    client->send_com_port(rfc::kSetParity, {rfc::kParityNone});
    client->send_com_port(rfc::kSetStopsize, {rfc::kStopOne});
    client->send_com_port(rfc::kSetControl, {rfc::kControlDtrOff});
    client->send_com_port(rfc::kPurgeData, {rfc::kPurgeBoth});
    client->send_com_port(rfc::kSetBaudrate, {0, 0, 0, 0}); // a question: the current rate
    const auto replies = client->read_replies(7);
    ASSERT_EQ(replies.size(), 7u);
    EXPECT_EQ(replies[0].command, 101);
    EXPECT_EQ(replies[0].value, (Bytes{0x00, 0x00, 0xE1, 0x00}));
    EXPECT_EQ(replies[1].command, 102);
    EXPECT_EQ(replies[1].value, Bytes{8});
    EXPECT_EQ(replies[2].command, 103);
    EXPECT_EQ(replies[3].command, 104);
    EXPECT_EQ(replies[4].command, 105);
    EXPECT_EQ(replies[4].value, Bytes{rfc::kControlDtrOff});
    EXPECT_EQ(replies[5].command, 112);
    EXPECT_EQ(replies[5].value, Bytes{rfc::kPurgeBoth});
    EXPECT_EQ(replies[6].value, (Bytes{0x00, 0x00, 0xE1, 0x00}));
    // The server asked for the COM-PORT-OPTION and offered binary mode; the client's WILL
    // is not answered a second time.
    const auto& seen = client->negotiations();
    EXPECT_NE(std::find(seen.begin(), seen.end(), std::make_pair(rfc::kDo, rfc::kOptionComPort)),
              seen.end());
    EXPECT_NE(std::find(seen.begin(), seen.end(), std::make_pair(rfc::kWill, rfc::kOptionBinary)),
              seen.end());
    EXPECT_EQ(std::count(seen.begin(), seen.end(), std::make_pair(rfc::kDo, rfc::kOptionComPort)),
              1);
    EXPECT_EQ(events_of(LineEvent::Kind::Purge).size(), 1u);
    EXPECT_FALSE(events_of(LineEvent::Kind::LineSettings).empty());
}

TEST_F(SimulatorTest, StatusQueryAndIacEscapingBothWays) {
    options_.card_content = Bytes(600, 0xFF);
    TerminalSimulator& sim = start();
    auto client = connect();
    client->send_data(kGetStatusBlock);
    Bytes answer = client->read_data(67);
    ASSERT_EQ(answer.size(), 67u);
    EXPECT_EQ(answer[2], 63); // LEN
    EXPECT_EQ(answer[3 + 61], 0x90);
    EXPECT_EQ(answer[3 + 62], 0x00);

    // A block whose check byte is 0xFF travels as FF FF and arrives whole.
    Bytes command{0x00, 0xB0, 0x00, 0x00, 0x10};
    Bytes block;
    append_block(0x02, 0x00, command, block);
    const std::uint8_t fix = static_cast<std::uint8_t>(block.back() ^ 0xFF);
    command[4] = static_cast<std::uint8_t>(command[4] ^ fix); // Le such that the check is FF
    block.clear();
    append_block(0x02, 0x00, command, block);
    ASSERT_EQ(block.back(), 0xFF);
    client->send_data(block);
    const std::size_t le = command[4] == 0 ? 600 : std::min<std::size_t>(command[4], 254 - 2);
    answer = client->read_data(4 + le + 2);
    const auto blocks = parse_blocks(answer);
    ASSERT_FALSE(blocks.empty());
    EXPECT_TRUE(blocks[0].check_ok);
    EXPECT_EQ(blocks[0].inf[0], 0xFF);
    const auto in = events_of(LineEvent::Kind::BlockIn);
    ASSERT_EQ(in.size(), 2u);
    EXPECT_TRUE(in[1].check_ok);
    EXPECT_EQ(in[1].data, command);
    (void)sim;
}

TEST_F(SimulatorTest, SecondConnectionIsClosedAtOnce) {
    start();
    auto first = connect();
    first->send_data(kGetStatusBlock);
    EXPECT_EQ(first->read_data(67).size(), 67u);
    auto second = connect();
    EXPECT_TRUE(second->closed_within(milliseconds(2000)));
    // The first one is still served.
    first->send_data(kGetStatusBlock);
    EXPECT_EQ(first->read_data(67).size(), 67u);
    EXPECT_EQ(events_of(LineEvent::Kind::Refused).size(), 1u);
}

TEST_F(SimulatorTest, PortClosedAndOpenedAgainAtOnceIsServed) {
    start();
    for (int i = 0; i < 20; ++i) {
        auto client = connect();
        client->send_data(kGetStatusBlock);
        ASSERT_EQ(client->read_data(67).size(), 67u) << "round " << i;
    } // each client closes its connection as it goes
    EXPECT_TRUE(events_of(LineEvent::Kind::Refused).empty());
}

TEST_F(SimulatorTest, PortHeldByAnotherProgram) {
    options_.faults.port_held = true;
    TerminalSimulator& sim = start();
    auto client = connect();
    EXPECT_TRUE(client->closed_within(milliseconds(2000)));
    Faults none;
    sim.set_faults(none);
    auto again = connect();
    again->send_data(kGetStatusBlock);
    EXPECT_EQ(again->read_data(67).size(), 67u);
}

TEST_F(SimulatorTest, UnplugAndReplugOnTheSamePort) {
    TerminalSimulator& sim = start();
    const std::string path = sim.announcement_path();
    const std::uint16_t port = sim.port();
    auto client = connect();
    client->send_data(kGetStatusBlock);
    EXPECT_EQ(client->read_data(67).size(), 67u);

    ASSERT_TRUE(sim.unplug());
    EXPECT_FALSE(sim.plugged_in());
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(client->closed_within(milliseconds(2000)));
    Rfc2217TestClient refused;
    EXPECT_FALSE(refused.connect(port));
    EXPECT_FALSE(sim.unplug());

    ASSERT_TRUE(sim.replug());
    EXPECT_TRUE(fs::exists(path));
    EXPECT_EQ(sim.port(), port);
    auto after = connect();
    after->send_data(kGetStatusBlock);
    EXPECT_EQ(after->read_data(67).size(), 67u);
}

TEST_F(SimulatorTest, UnplugFaultAfterStatusQueriesAndReplugLater) {
    options_.faults.unplug_after_status_queries = 1;
    options_.replug_after_ms = 100;
    TerminalSimulator& sim = start();
    auto client = connect();
    client->send_data(kGetStatusBlock);
    EXPECT_EQ(client->read_data(67).size(), 67u); // the answer leaves before the unplug
    EXPECT_TRUE(client->closed_within(milliseconds(2000)));
    for (int i = 0; i < 100 && !sim.plugged_in(); ++i) {
        std::this_thread::sleep_for(milliseconds(20));
    }
    EXPECT_TRUE(sim.plugged_in());
    EXPECT_TRUE(fs::exists(sim.announcement_path()));
}

// The download as the plug-in runs it over the wire: break pulses through SET-CONTROL, the
// upgrade request, acknowledged blocks, the final acknowledgement.
Bytes download(Rfc2217TestClient& client, const Bytes& image, std::uint8_t type) {
    Bytes answers;
    client.break_pulse();
    client.break_pulse();
    answers = client.read_data(1);
    client.send_data({type});
    auto more = client.read_data(1);
    answers.insert(answers.end(), more.begin(), more.end());
    const std::vector<std::size_t> fixed =
        type == '0' ? std::vector<std::size_t>{256, 256, 261} : std::vector<std::size_t>{256, 256};
    std::size_t sent = 0;
    for (std::size_t index = 0; sent < image.size(); ++index) {
        const std::size_t size =
            index < fixed.size() ? fixed[index] : std::min<std::size_t>(65536, image.size() - sent);
        if (size > image.size() - sent) {
            break;
        }
        client.send_data(Bytes(image.begin() + static_cast<std::ptrdiff_t>(sent),
                               image.begin() + static_cast<std::ptrdiff_t>(sent + size)));
        more = client.read_data(1);
        answers.insert(answers.end(), more.begin(), more.end());
        sent += size;
    }
    more = client.read_data(1);
    answers.insert(answers.end(), more.begin(), more.end());
    return answers;
}

TEST_F(SimulatorTest, FirmwareDownloadOverTheWireKeepsTheImage) {
    const Bytes image = pattern(200000, 5);
    options_.image_size = static_cast<std::uint32_t>(image.size());
    TerminalSimulator& sim = start();
    auto client = connect();
    const Bytes answers = download(*client, image, '0');
    EXPECT_EQ(answers, Bytes(2 + 3 + 4 + 1, kAck)); // 773 + 3 blocks of 65536 + 2611 bytes
    EXPECT_TRUE(sim.wait_for_downloads(1, milliseconds(2000)));
    EXPECT_EQ(sim.received_image(), image);
    EXPECT_EQ(events_of(LineEvent::Kind::BreakPulse).size(), 2u);
}

TEST_F(SimulatorTest, SlowLineTakesItsTimeBothWays) {
    // 10 bits a byte at 576000 baud: 11520 image bytes take 200 ms on the line.
    const Bytes image = pattern(11520, 9);
    options_.image_size = static_cast<std::uint32_t>(image.size());
    options_.line_baud = 576000;
    platform::set_time_scale_percent(100); // the line time is a protocol wait: not scaled here
    TerminalSimulator& sim = start();
    platform::set_time_scale_percent(0);
    auto client = connect();
    const auto begin = std::chrono::steady_clock::now();
    const Bytes answers = download(*client, image, '1');
    const auto elapsed = std::chrono::steady_clock::now() - begin;
    EXPECT_EQ(answers, Bytes(2 + 3 + 1, kAck));
    EXPECT_EQ(sim.received_image(), image);
    EXPECT_GE(elapsed, milliseconds(195));
    EXPECT_LT(elapsed, milliseconds(3000));
}

TEST_F(SimulatorTest, UnplugDuringTheDownload) {
    const Bytes image = pattern(2000);
    options_.image_size = static_cast<std::uint32_t>(image.size());
    options_.faults.unplug_after_data_blocks = 2;
    TerminalSimulator& sim = start();
    auto client = connect();
    client->break_pulse();
    client->break_pulse();
    EXPECT_EQ(client->read_data(1), Bytes{kAck});
    client->send_data({'0'});
    EXPECT_EQ(client->read_data(1), Bytes{kAck});
    client->send_data(Bytes(image.begin(), image.begin() + 512));
    EXPECT_EQ(client->read_data(2), (Bytes{kAck, kAck}));
    EXPECT_TRUE(client->closed_within(milliseconds(2000)));
    EXPECT_FALSE(sim.plugged_in());
    EXPECT_FALSE(fs::exists(dir_ / "halvane-SIM0001.device"));
    EXPECT_EQ(sim.partial_image().size(), 512u);
    EXPECT_EQ(sim.downloads_completed(), 0u);
}

} // namespace
} // namespace sim::test
