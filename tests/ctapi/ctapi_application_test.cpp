// BRANTEL.so as a CT-API application uses it: loaded by file name, bound by name, driven only
// through the public header, against the simulated Halvane terminal.
#include "ctapi.h"
#include "ctapi_test_support.h"
#include "platform/winapi/library.h"
#include "sim/terminal_simulator.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<IU8>;
using ctapi_test::TempDir;

const bool environment_ready = (ctapi_test::prepare_environment(), true);

const Bytes kResetCt = {0x20, 0x11, 0x00, 0x00, 0x00};
const Bytes kGetStatus = {0x20, 0x13, 0x00, 0x46, 0x00};
const Bytes kReadBinaryAll = {0x00, 0xB0, 0x00, 0x00, 0x00};

// A private copy of the library in its own folder, so that a CTCONFIG.ini can lie beside it
// and every test starts with a freshly loaded library.
class Brantel {
  public:
    explicit Brantel(const char* config_text = nullptr) {
        const auto copy = folder_.path() / "BRANTEL.so";
        std::filesystem::copy_file(std::filesystem::path(MORLIN_BIN_DIR) / "BRANTEL.so", copy);
        if (config_text != nullptr)
            ctapi_test::write_text(folder_.path() / "ctconfig.INI", config_text);
        library_ = platform::Library::load(copy.string());
        if (!library_)
            return;
        init = reinterpret_cast<CT_init_fn>(library_->symbol("CT_init"));
        data = reinterpret_cast<CT_data_fn>(library_->symbol("CT_data"));
        close = reinterpret_cast<CT_close_fn>(library_->symbol("CT_close"));
        version = reinterpret_cast<Get_VersionString_fn>(library_->symbol("Get_VersionString"));
    }
    bool loaded() const { return init && data && close && version; }
    // Unloads the library (a terminal left open is closed without a close reset).
    void unload() { library_.reset(); }

    CT_init_fn init = nullptr;
    CT_data_fn data = nullptr;
    CT_close_fn close = nullptr;
    Get_VersionString_fn version = nullptr;

  private:
    TempDir folder_;
    std::unique_ptr<platform::Library> library_;
};

struct Reply {
    IS8 result = 0;
    IU8 dad = 0;
    IU8 sad = 0;
    Bytes bytes;
};

Reply send_command(const Brantel& brantel, const Bytes& command, IU8 dad = 1, IU16 room = 4096,
                   IU16 ctn = 0, IU8 sad = 2) {
    Reply reply;
    reply.dad = dad;
    reply.sad = sad;
    Bytes buffer(room);
    Bytes sent = command;
    IU16 lenr = room;
    reply.result = brantel.data(ctn, &reply.dad, &reply.sad, static_cast<IU16>(sent.size()),
                                sent.data(), &lenr, buffer.data());
    if (reply.result == OK)
        reply.bytes.assign(buffer.begin(), buffer.begin() + lenr);
    return reply;
}

bool ends_with(const Bytes& bytes, IU8 sw1, IU8 sw2) {
    return bytes.size() >= 2 && bytes[bytes.size() - 2] == sw1 && bytes.back() == sw2;
}

std::vector<sim::LineEvent> blocks_in(const sim::TerminalSimulator& terminal) {
    std::vector<sim::LineEvent> blocks;
    for (auto& event : terminal.line_log()) {
        if (event.kind == sim::LineEvent::Kind::BlockIn)
            blocks.push_back(event);
    }
    return blocks;
}

bool saw(const sim::TerminalSimulator& terminal, sim::LineEvent::Kind kind) {
    const auto log = terminal.line_log();
    return std::any_of(log.begin(), log.end(), [&](const auto& e) { return e.kind == kind; });
}

template <typename Condition> bool eventually(Condition condition, int ms = 3000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class CtApiTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(environment_ready); }

    std::unique_ptr<sim::TerminalSimulator> start_terminal(sim::SimulatorOptions options = {}) {
        std::string error;
        auto terminal = sim::TerminalSimulator::start(options, &error);
        EXPECT_TRUE(terminal) << error;
        return terminal;
    }
};

TEST_F(CtApiTest, OnlyTheFourFunctionsAreExported) {
    Brantel brantel;
    ASSERT_TRUE(brantel.loaded());
    char text[32] = "unchanged";
    EXPECT_EQ(brantel.version(text, 0), 0);
    EXPECT_EQ(brantel.version(text, 4), 0);
    EXPECT_EQ(brantel.version(nullptr, 2), 0);
    EXPECT_STREQ(text, "unchanged");
    for (IS16 selector : {IS16{1}, IS16{2}, IS16{3}}) {
        std::fill(std::begin(text), std::end(text), 'x');
        EXPECT_EQ(brantel.version(text, selector), 1);
        EXPECT_STREQ(text, "Ver 1.09 - Halvane");
    }
}

TEST_F(CtApiTest, NothingWorksWithoutAnOpenTerminal) {
    Brantel brantel;
    ASSERT_TRUE(brantel.loaded());
    EXPECT_EQ(brantel.init(0, 0), ERR_INVALID); // no terminal attached
    EXPECT_EQ(send_command(brantel, kGetStatus).result, ERR_INVALID);
    EXPECT_EQ(brantel.close(0), ERR_INVALID);
}

TEST_F(CtApiTest, OpensTalksAndClosesWithTheBlocksTheTerminalExpects) {
    auto terminal = start_terminal();
    ASSERT_TRUE(terminal);
    Brantel brantel;
    ASSERT_EQ(brantel.init(0, 0), OK);

    const Reply status = send_command(brantel, kGetStatus, 1, 100);
    ASSERT_EQ(status.result, OK);
    EXPECT_TRUE(ends_with(status.bytes, 0x90, 0x00));
    EXPECT_EQ(status.dad, 2);
    EXPECT_EQ(status.sad, 1);

    ASSERT_EQ(brantel.close(0), OK);
    const auto blocks = blocks_in(*terminal);
    ASSERT_EQ(blocks.size(), 3u);
    // Open reset from source 6 with N(S) 0, the command with N(S) 1, close reset from source 7.
    EXPECT_EQ(blocks[0].nad, 0x16);
    EXPECT_EQ(blocks[0].pcb, 0x00);
    EXPECT_EQ(blocks[0].data, kResetCt);
    EXPECT_EQ(blocks[1].nad, 0x12);
    EXPECT_EQ(blocks[1].pcb, 0x40);
    EXPECT_EQ(blocks[1].data, kGetStatus);
    EXPECT_EQ(blocks[2].nad, 0x17);
    EXPECT_EQ(blocks[2].data, kResetCt);
    EXPECT_TRUE(eventually([&] { return saw(*terminal, sim::LineEvent::Kind::Disconnected); }));
    EXPECT_EQ(brantel.close(0), ERR_INVALID);
}

TEST_F(CtApiTest, PortNumbersMustNameAPresentTerminal) {
    sim::SimulatorOptions options;
    options.port_name = "COM9";
    auto terminal = start_terminal(options);
    ASSERT_TRUE(terminal);
    Brantel brantel;
    EXPECT_EQ(brantel.init(0, 7), ERR_INVALID);
    EXPECT_FALSE(saw(*terminal, sim::LineEvent::Kind::Connected));
    EXPECT_EQ(brantel.init(0, 9), OK);
    EXPECT_EQ(send_command(brantel, kGetStatus).result, OK);
    EXPECT_EQ(brantel.close(0), OK);
}

TEST_F(CtApiTest, PortHeldByAnotherProgramIsReportedAsCtError) {
    sim::SimulatorOptions options;
    options.faults.port_held = true;
    auto terminal = start_terminal(options);
    ASSERT_TRUE(terminal);
    Brantel brantel;
    EXPECT_EQ(brantel.init(0, 0), ERR_CT);
    EXPECT_EQ(send_command(brantel, kGetStatus).result, ERR_INVALID);
}

TEST_F(CtApiTest, SecondInitLeavesTheFirstTerminalUsable) {
    auto terminal = start_terminal();
    ASSERT_TRUE(terminal);
    Brantel brantel;
    ASSERT_EQ(brantel.init(3, 0), OK);
    EXPECT_EQ(brantel.init(3, 0), ERR_INVALID);
    EXPECT_EQ(brantel.init(4, 0), ERR_CT);
    EXPECT_EQ(send_command(brantel, kGetStatus, 1, 4096, 3).result, OK);
    EXPECT_EQ(send_command(brantel, kGetStatus, 1, 4096, 4).result, ERR_INVALID);
    EXPECT_EQ(brantel.close(4), ERR_INVALID);
    EXPECT_EQ(brantel.close(3), OK);
}

TEST_F(CtApiTest, OpenResetMustBeAnswered9500) {
    sim::SimulatorOptions options;
    options.status.reset_status_word = 0x9000;
    auto terminal = start_terminal(options);
    ASSERT_TRUE(terminal);
    Brantel brantel;
    EXPECT_EQ(brantel.init(0, 0), ERR_INVALID);
    EXPECT_TRUE(eventually([&] { return saw(*terminal, sim::LineEvent::Kind::Disconnected); }));
    EXPECT_EQ(send_command(brantel, kGetStatus).result, ERR_INVALID);
}

TEST_F(CtApiTest, ArgumentsAreCheckedInOrder) {
    auto terminal = start_terminal();
    ASSERT_TRUE(terminal);
    Brantel brantel;
    ASSERT_EQ(brantel.init(0, 0), OK);
    terminal->clear_line_log();

    EXPECT_EQ(send_command(brantel, {0x20, 0x13, 0x00}).result, ERR_INVALID);
    EXPECT_EQ(send_command(brantel, Bytes(513, 0x00)).result, ERR_MEMORY);
    EXPECT_EQ(send_command(brantel, kGetStatus, 1, 1).result, ERR_INVALID);

    IU8 dad = 1, sad = 3;
    IU16 lenr = 100;
    Bytes command = kGetStatus, response(100);
    EXPECT_EQ(brantel.data(0, &dad, &sad, 5, command.data(), &lenr, response.data()), ERR_INVALID);
    EXPECT_EQ(dad, 2);
    EXPECT_EQ(sad, 1);
    dad = 15;
    sad = 2;
    EXPECT_EQ(brantel.data(0, &dad, &sad, 5, command.data(), &lenr, response.data()), ERR_INVALID);
    EXPECT_EQ(brantel.data(0, nullptr, &sad, 5, command.data(), &lenr, response.data()),
              ERR_INVALID);
    EXPECT_EQ(brantel.data(0, &dad, &sad, 5, command.data(), nullptr, response.data()),
              ERR_INVALID);
    EXPECT_EQ(brantel.data(0, &dad, &sad, 5, command.data(), &lenr, nullptr), ERR_INVALID);
    EXPECT_TRUE(blocks_in(*terminal).empty());

    // A remote host may send too.
    EXPECT_EQ(send_command(brantel, kGetStatus, 1, 4096, 0, 5).result, OK);
    EXPECT_EQ(brantel.close(0), OK);
}

TEST_F(CtApiTest, ResponseLargerThanTheBufferIsAMemoryError) {
    auto terminal = start_terminal();
    ASSERT_TRUE(terminal);
    Brantel brantel;
    ASSERT_EQ(brantel.init(0, 0), OK);
    IU8 dad = 1, sad = 2;
    IU16 lenr = 2;
    Bytes command = kGetStatus, response(2, 0x55);
    EXPECT_EQ(brantel.data(0, &dad, &sad, 5, command.data(), &lenr, response.data()), ERR_MEMORY);
    EXPECT_EQ(lenr, 2);
    EXPECT_EQ(dad, 1);
    EXPECT_EQ(response[0], 0x55);
    // The numbering is still in step.
    EXPECT_EQ(send_command(brantel, kGetStatus).result, OK);
    EXPECT_EQ(brantel.close(0), OK);
}

TEST_F(CtApiTest, LongCommandsAreChainedAndLongResponsesJoined) {
    sim::SimulatorOptions options;
    options.card_content.resize(4094);
    for (std::size_t i = 0; i < options.card_content.size(); ++i)
        options.card_content[i] = static_cast<IU8>(i * 7);
    auto terminal = start_terminal(options);
    ASSERT_TRUE(terminal);
    Brantel brantel;
    ASSERT_EQ(brantel.init(0, 0), OK);

    const Reply read = send_command(brantel, {0x00, 0xB0, 0x00, 0x00, 0x00, 0x00, 0x00}, 0);
    ASSERT_EQ(read.result, OK);
    ASSERT_EQ(read.bytes.size(), 4096u);
    EXPECT_TRUE(
        std::equal(options.card_content.begin(), options.card_content.end(), read.bytes.begin()));
    EXPECT_TRUE(ends_with(read.bytes, 0x90, 0x00));
    EXPECT_EQ(read.sad, 0);

    // 300 bytes go out as 254 with the more-data bit and then 46.
    terminal->clear_line_log();
    Bytes update = {0x00, 0xD6, 0x00, 0x00};
    update.resize(300, 0xA5);
    const Reply updated = send_command(brantel, update, 0);
    ASSERT_EQ(updated.result, OK);
    EXPECT_EQ(updated.bytes, (Bytes{0x6D, 0x00})); // the card's answer to the whole command
    EXPECT_EQ(updated.sad, 0);
    const auto blocks = blocks_in(*terminal);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].data.size(), 254u);
    EXPECT_NE(blocks[0].pcb & 0x20, 0);
    EXPECT_EQ(blocks[1].data.size(), 46u);
    EXPECT_EQ(blocks[1].pcb & 0x20, 0);
    Bytes joined = blocks[0].data;
    joined.insert(joined.end(), blocks[1].data.begin(), blocks[1].data.end());
    EXPECT_EQ(joined, update);
    EXPECT_EQ(brantel.close(0), OK);
}

TEST_F(CtApiTest, DamagedAnswersFailUntilResetCt) {
    auto terminal = start_terminal();
    ASSERT_TRUE(terminal);
    Brantel brantel;
    ASSERT_EQ(brantel.init(0, 0), OK);

    sim::Faults faults;
    faults.bad_check_response = 1;
    terminal->set_faults(faults);
    EXPECT_EQ(send_command(brantel, kGetStatus).result, ERR_TRANS);
    EXPECT_EQ(send_command(brantel, kResetCt).result, OK);
    EXPECT_EQ(send_command(brantel, kGetStatus).result, OK);

    faults = {};
    faults.wrong_sequence_response = 1;
    terminal->set_faults(faults);
    EXPECT_EQ(send_command(brantel, kGetStatus).result, ERR_TRANS);
    EXPECT_EQ(send_command(brantel, kResetCt).result, OK);

    faults = {};
    faults.silent_requests = 1;
    terminal->set_faults(faults);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(send_command(brantel, kGetStatus).result, ERR_TRANS);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_EQ(send_command(brantel, kResetCt).result, OK);
    EXPECT_EQ(send_command(brantel, kGetStatus).result, OK);
    EXPECT_EQ(brantel.close(0), OK);
}

// A slow terminal: its answers must never be taken for another command's, and a waiting-time
// extension it asks for gives it the time.
TEST_F(CtApiTest, SlowAnswersGoToTheirOwnCommand) {
    sim::SimulatorOptions options;
    options.card_content.assign(20, 0x3C);
    auto terminal = start_terminal(options);
    ASSERT_TRUE(terminal);
    Brantel brantel;
    ASSERT_EQ(brantel.init(0, 0), OK);

    sim::Faults faults;
    faults.late_answers = 1;
    terminal->set_faults(faults);
    EXPECT_EQ(send_command(brantel, kGetStatus).result, ERR_TRANS);
    // The status answer arrives meanwhile; READ BINARY (7 bytes: no purge before it) gets
    // the card's data.
    const Reply read = send_command(brantel, {0x00, 0xB0, 0x00, 0x00, 0x00, 0x00, 0x00}, 0);
    ASSERT_EQ(read.result, OK);
    Bytes card_answer = options.card_content;
    card_answer.insert(card_answer.end(), {0x90, 0x00});
    EXPECT_EQ(read.bytes, card_answer);
    EXPECT_EQ(read.sad, 0);
    const Reply status = send_command(brantel, kGetStatus);
    ASSERT_EQ(status.result, OK);
    EXPECT_GT(status.bytes.size(), 2u);
    EXPECT_EQ(status.sad, 1);

    faults = {};
    faults.wait_extensions = 1;
    terminal->set_faults(faults);
    terminal->clear_line_log();
    const Reply extended = send_command(brantel, kGetStatus);
    ASSERT_EQ(extended.result, OK);
    EXPECT_EQ(extended.bytes, status.bytes);
    const auto blocks = blocks_in(*terminal);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[1].pcb, 0xE3); // the extension's response
    EXPECT_EQ(blocks[1].data, (Bytes{2}));
    EXPECT_EQ(brantel.close(0), OK);
}

TEST_F(CtApiTest, ErrorResponsesFromTheTerminal) {
    auto terminal = start_terminal();
    ASSERT_TRUE(terminal);
    Brantel brantel;
    ASSERT_EQ(brantel.init(0, 0), OK);
    sim::Faults faults;
    faults.error_response = 1;
    faults.error_response_byte = 0x01;
    terminal->set_faults(faults);
    EXPECT_EQ(send_command(brantel, kGetStatus).result, ERR_MEMORY);
    faults.error_response_byte = 0x00;
    terminal->set_faults(faults);
    EXPECT_EQ(send_command(brantel, kGetStatus).result, ERR_TRANS);
    terminal->set_faults(faults);
    EXPECT_EQ(send_command(brantel, kGetStatus, 3).result, ERR_INVALID); // a further card slot
    EXPECT_EQ(brantel.close(0), OK);
}

class CardTerminalModeTest : public CtApiTest {
  protected:
    // READ BINARY variants: each comes back as the card sent it, except that in card-terminal
    // mode a READ BINARY of all data ends in 62 82 instead of 90 00.
    void expect_rewrite(Brantel& brantel, bool rewritten) {
        sim::SimulatorOptions options;
        options.card_content.assign(40, 0x77);
        auto terminal = start_terminal(options);
        ASSERT_TRUE(terminal);
        ASSERT_EQ(brantel.init(0, 0), OK);
        const struct {
            Bytes command;
            bool asks_for_all;
            IU16 card_word; // what the card answers
        } cases[] = {
            {kReadBinaryAll, true, 0x9000},
            {{0x00, 0xB0, 0x00, 0x00, 0x00, 0x00, 0x00}, true, 0x9000}, // extended length
            {{0x00, 0xB0, 0x81, 0x00, 0x00}, false, 0x9000},            // a short file ID
            {{0x00, 0xB0, 0x00, 0x00, 0x10}, false, 0x9000},            // 16 bytes
            {{0x00, 0xB0, 0x00, 0x00, 0x00, 0x00, 0x10}, false, 0x9000},
            {{0x00, 0xB0, 0x00, 0x00, 0x00, 0x00}, false, 0x6700}, // six bytes
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(::testing::PrintToString(c.command));
            terminal->clear_line_log();
            const Reply reply = send_command(brantel, c.command, 0);
            ASSERT_EQ(reply.result, OK);
            const auto log = terminal->line_log();
            const auto sent = std::find_if(log.rbegin(), log.rend(), [](const auto& e) {
                return e.kind == sim::LineEvent::Kind::BlockOut;
            });
            ASSERT_NE(sent, log.rend());
            ASSERT_TRUE(ends_with(sent->data, static_cast<IU8>(c.card_word >> 8),
                                  static_cast<IU8>(c.card_word & 0xFF)));
            Bytes expected = sent->data;
            if (rewritten && c.asks_for_all) {
                expected[expected.size() - 2] = 0x62;
                expected[expected.size() - 1] = 0x82;
            }
            EXPECT_EQ(reply.bytes, expected);
        }
        EXPECT_EQ(brantel.close(0), OK);
    }
};

TEST_F(CardTerminalModeTest, OnWhenConfiguredBesideTheLibrary) {
    Brantel brantel("[CARD_TERMINAL_CONFIG]\r\nCARDTERMINAL_MODE=1\r\n");
    expect_rewrite(brantel, true);
}

TEST_F(CardTerminalModeTest, OffWithModeZeroOrWithoutTheFile) {
    Brantel zero("[CARD_TERMINAL_CONFIG]\nCARDTERMINAL_MODE=0\n");
    expect_rewrite(zero, false);
    Brantel none;
    expect_rewrite(none, false);
}

TEST_F(CtApiTest, UnplugAndReplugThenResetCtReconnects) {
    auto terminal = start_terminal();
    ASSERT_TRUE(terminal);
    Brantel brantel;
    ASSERT_EQ(brantel.init(0, 0), OK);
    ASSERT_EQ(send_command(brantel, kGetStatus).result, OK);

    ASSERT_TRUE(terminal->unplug());
    EXPECT_TRUE(eventually([&] { return send_command(brantel, kGetStatus).result == ERR_TRANS; }));
    EXPECT_EQ(send_command(brantel, kResetCt).result, ERR_TRANS); // still unplugged

    ASSERT_TRUE(terminal->replug());
    terminal->clear_line_log();
    ASSERT_TRUE(eventually([&] { return send_command(brantel, kResetCt).result == OK; }));
    EXPECT_EQ(send_command(brantel, kGetStatus).result, OK);
    EXPECT_EQ(brantel.close(0), OK);
}

TEST_F(CtApiTest, UnplugDuringAnExchangeFailsIt) {
    sim::SimulatorOptions options;
    options.faults.unplug_after_status_queries = 1;
    options.replug_after_ms = 100;
    auto terminal = start_terminal(options);
    ASSERT_TRUE(terminal);
    Brantel brantel;
    ASSERT_EQ(brantel.init(0, 0), OK);
    send_command(brantel, kGetStatus);
    EXPECT_TRUE(eventually([&] { return send_command(brantel, kGetStatus).result == ERR_TRANS; }));
    EXPECT_TRUE(eventually([&] { return send_command(brantel, kResetCt).result == OK; }, 5000));
    EXPECT_EQ(send_command(brantel, kGetStatus).result, OK);
    EXPECT_EQ(brantel.close(0), OK);
}

// On Windows 95/98/Me the terminal is the modem device marked "Ostrum", not a USB port.
TEST_F(CtApiTest, Windows9xFindsTheTerminalAmongTheModems) {
    struct Windows98 {
        Windows98() { ::setenv("MORLIN_OS_VERSION", "win98", 1); }
        ~Windows98() { ::unsetenv("MORLIN_OS_VERSION"); }
    } windows98;
    sim::SimulatorOptions options;
    options.announce_as = sim::AnnounceAs::Modem9x;
    auto modem = start_terminal(options);
    ASSERT_TRUE(modem);
    Brantel brantel;
    ASSERT_EQ(brantel.init(0, 0), OK);
    EXPECT_EQ(send_command(brantel, kGetStatus).result, OK);
    ASSERT_TRUE(modem->unplug()); // only removals are looked at on this family
    EXPECT_TRUE(eventually([&] { return send_command(brantel, kGetStatus).result == ERR_TRANS; }));
    EXPECT_EQ(brantel.close(0), OK);

    modem.reset();
    auto port = start_terminal(); // a USB port is not what Windows 98 looks for
    ASSERT_TRUE(port);
    EXPECT_EQ(brantel.init(0, 0), ERR_INVALID);
}

TEST_F(CtApiTest, UnloadingClosesThePortWithoutACloseReset) {
    auto terminal = start_terminal();
    ASSERT_TRUE(terminal);
    {
        Brantel brantel;
        ASSERT_EQ(brantel.init(0, 0), OK);
        terminal->clear_line_log();
    }
    EXPECT_TRUE(eventually([&] { return saw(*terminal, sim::LineEvent::Kind::Disconnected); }));
    EXPECT_TRUE(blocks_in(*terminal).empty());
}

} // namespace
