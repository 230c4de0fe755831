// The reader route through a real pcscd: a private one, with the suite's driver
// ReaderSimIfd.so in front of simulated readers, reached through pcsc-lite as on a real
// machine. Checked on the detection pass and on the program's check mode.
#include "private_pcscd.h"
#include "sim/reader_simulator.h"
#include "tests/common/temp_dir.h"
#include "valdrun_runner.h"
#include "wrapper/detection/detection.h"
#include "wrapper/housekeeping/housekeeping.h"
#include "wrapper/result_codes.h"

#include <PCSC/winscard.h>
#include <gtest/gtest.h>
#include <memory>

namespace {

using valdrun::PassSettings;

constexpr const char* kDescribed = "Ostrum Kartenleser";

// One pcscd for the whole program: the client library keeps the socket name it read first.
struct Bench {
    std::unique_ptr<sim::ReaderSimulator> described; // 04E6:5720, firmware set per test
    std::unique_ptr<sim::ReaderSimulator> other;     // another maker's reader
    std::unique_ptr<valdrun_test::PrivatePcscd> pcscd;
    std::string why_not;

    Bench() {
        sim::ReaderOptions options;
        described = sim::ReaderSimulator::start(options);
        options.vid = 0x1234;
        options.pid = 0x0001;
        other = sim::ReaderSimulator::start(options);
        pcscd = std::make_unique<valdrun_test::PrivatePcscd>(
            std::vector<valdrun_test::PcscdReader>{{kDescribed, described->control_address()},
                                                   {"Fremder Leser", other->control_address()}});
        if (!pcscd->started()) {
            why_not = pcscd->why_not();
            return;
        }
        ::setenv("PCSCLITE_CSOCK_NAME", pcscd->socket_path().c_str(), 1);
        wait_for_readers(2);
    }

    // pcscd makes its socket before every reader of reader.conf is up.
    void wait_for_readers(DWORD wanted) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            SCARDCONTEXT context = 0;
            if (SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context) ==
                SCARD_S_SUCCESS) {
                char names[1024];
                DWORD length = sizeof names;
                DWORD count = 0;
                if (SCardListReaders(context, nullptr, names, &length) == SCARD_S_SUCCESS) {
                    for (DWORD i = 0; i + 1 < length; ++i)
                        count += names[i] == '\0' ? 1 : 0;
                    count += 1;
                }
                SCardReleaseContext(context);
                if (count >= wanted)
                    return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        why_not = "pcscd did not list the simulated readers";
    }
};

Bench& bench() {
    static Bench instance;
    return instance;
}

class ReaderRoute : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!bench().why_not.empty())
            GTEST_SKIP() << "no private pcscd here: " << bench().why_not;
        bench().described->set_faults({});
        bench().described->set_firmware(0x05, 0x10);
    }

    static valdrun::ReaderDescription description(const char* name, std::uint16_t fw_major,
                                                  std::uint16_t fw_minor) {
        valdrun::ReaderDescription d;
        d.slot_name[0] = name;
        d.vid = 0x04E6;
        d.pid = 0x5720;
        d.target_firmware = {fw_major, fw_minor, valdrun::kNoBuild};
        d.descriptor = "Kartenleser";
        return d;
    }
};

TEST_F(ReaderRoute, DescribedReaderAmongTwoIsCountedWithTheOther) {
    const auto outcome = valdrun::detection_pass(description(kDescribed, 5, 0x20), PassSettings{});
    EXPECT_EQ(outcome.result, valdrun::kDetectedUpdateDue);
    EXPECT_EQ(outcome.reader_count, 2);
    EXPECT_EQ(outcome.other_reader_name, "Fremder Leser 00 00");
    EXPECT_EQ(outcome.version_reply[6], 0x05);
    EXPECT_EQ(outcome.version_reply[7], 0x10);
}

TEST_F(ReaderRoute, NamesMatchAsSubstringsIgnoringCase) {
    const auto outcome =
        valdrun::detection_pass(description("kartenLESER", 5, 0x10), PassSettings{});
    EXPECT_EQ(outcome.result, valdrun::kDetectedUpToDate);
}

TEST_F(ReaderRoute, ReaderThatCannotBeQueriedIsNoSecondReader) {
    sim::ReaderFaults faults;
    faults.zero_identifiers = true;
    bench().described->set_faults(faults);
    const auto outcome = valdrun::detection_pass(description(kDescribed, 5, 0x10), PassSettings{});
    EXPECT_EQ(outcome.reader_count, 1); // only the other reader
    EXPECT_EQ(outcome.result, valdrun::kDetectedOtherReader);
}

TEST_F(ReaderRoute, DifferentIdentifiersAreAnotherReader) {
    auto d = description(kDescribed, 5, 0x10);
    d.pid = 0x5721;
    EXPECT_EQ(valdrun::detection_pass(d, PassSettings{}).result, valdrun::kDetectedOtherReader);
}

TEST_F(ReaderRoute, SilentReaderGivesNothingUsable) {
    sim::ReaderFaults faults;
    faults.no_answer = true;
    bench().described->set_faults(faults);
    const auto outcome = valdrun::detection_pass(description(kDescribed, 5, 0x10), PassSettings{});
    EXPECT_EQ(outcome.result, valdrun::kDetectedOtherReader); // nothing, but readers counted
}

// The reader is still listed but can no longer be connected: it stays counted.
TEST_F(ReaderRoute, ReaderThatVanishedAfterTheListingStaysCounted) {
    sim::ReaderFaults faults;
    faults.vanished = true;
    bench().described->set_faults(faults);
    // pcscd notices the loss on its next presence poll of the reader.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    valdrun::PassOutcome outcome;
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        outcome = valdrun::detection_pass(description(kDescribed, 5, 0x10), PassSettings{});
    } while (outcome.reader_count != 2 && std::chrono::steady_clock::now() < deadline);
    EXPECT_EQ(outcome.reader_count, 2);
    EXPECT_EQ(outcome.result, valdrun::kDetectedOtherReader);
    bench().described->set_faults({});
    // Back again: pcscd reconnects the reader on a later poll.
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        outcome = valdrun::detection_pass(description(kDescribed, 5, 0x10), PassSettings{});
    } while (outcome.result != valdrun::kDetectedUpToDate &&
             std::chrono::steady_clock::now() < deadline + std::chrono::seconds(10));
    EXPECT_EQ(outcome.result, valdrun::kDetectedUpToDate);
}

// Records what detection asks of the housekeeping about the serial reader's device instance.
class InstanceRecorder final : public valdrun::Housekeeping {
  public:
    int stop_for_update(bool, int) override { return 0; }
    bool restart_service(int) override { return true; }
    bool restart_process() override { return true; }
    const valdrun::HousekeepingState& state() const override { return state_; }
    bool check_if_already_installed_and_remove_if(std::string_view hardware_id, bool remove,
                                                  bool hidden_too) override {
        asked.push_back(std::string(hardware_id) + (remove ? " remove" : " look") +
                        (hidden_too ? " hidden" : ""));
        return true;
    }
    bool request_restart(bool, int) override { return false; }

    std::vector<std::string> asked;

  private:
    valdrun::HousekeepingState state_;
};

struct InstanceCase {
    bool remove_instance; // false in check mode
    int os_type;
    std::vector<std::string> asked;
};

class SerialReaderInstance : public ReaderRoute,
                             public ::testing::WithParamInterface<InstanceCase> {};

// Slot 1 through PC/SC with an update due: the serial reader's device instance is removed on
// the older platforms (NT 4 here), only looked for on the 2000 and XP classes (XP here), left
// alone in check mode.
TEST_P(SerialReaderInstance, IsHandledWhenTheSerialReaderNeedsAnUpdate) {
    const InstanceCase& c = GetParam();
    valdrun::ReaderDescription d;
    d.slot_name[1] = kDescribed;
    d.hardware_id = "SERENUM\\OST5720";
    d.target_firmware = {5, 0x20, valdrun::kNoBuild};
    InstanceRecorder recorder;
    PassSettings settings;
    settings.os_type = c.os_type;
    settings.remove_instance = c.remove_instance;
    settings.housekeeping = &recorder;
    const auto outcome = valdrun::detection_pass(d, settings);
    EXPECT_EQ(outcome.result, valdrun::kDetectedUpdateDue);
    EXPECT_EQ(outcome.active_slot, 1);
    EXPECT_EQ(recorder.asked, c.asked);
}

INSTANTIATE_TEST_SUITE_P(
    Valdrun, SerialReaderInstance,
    ::testing::Values(InstanceCase{true, 4, {"SERENUM\\OST5720 remove hidden"}},
                      InstanceCase{true, 5, {"SERENUM\\OST5720 look hidden"}},
                      InstanceCase{false, 4, {}}));

struct CheckCase {
    const char* what;
    std::uint8_t fw_major, fw_minor;
    const char* ini;
    const char* arguments;
    int exit_code;
};

constexpr const char* kReaderIni = "[ReaderDetails]\nReaderName=Ostrum Kartenleser\nVID=04e6\n"
                                   "PID=5720\nFWVER=5.10\nDescriptor=Kartenleser\n";

class CheckMode : public ReaderRoute, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(CheckMode, ExitCodeTellsTheInstaller) {
    const CheckCase& c = GetParam();
    bench().described->set_firmware(c.fw_major, c.fw_minor);
    morlin_test::TempDir folder;
    if (c.ini != nullptr)
        morlin_test::write_text(folder.path() / "Valdrun.ini", c.ini);
    EXPECT_EQ(valdrun_test::run_valdrun(folder.path(), c.arguments,
                                        {{"PCSCLITE_CSOCK_NAME", bench().pcscd->socket_path()}}),
              c.exit_code)
        << c.what;
    EXPECT_EQ(morlin_test::read_text(folder.path() / "stderr.txt"), "")
        << "check mode shows nothing";
}

INSTANTIATE_TEST_SUITE_P(
    Valdrun, CheckMode,
    ::testing::Values(
        CheckCase{"up to date", 5, 0x10, kReaderIni, "-CHECK", 3},
        CheckCase{"update due", 5, 0x01, kReaderIni, "-Check", 1},
        CheckCase{"V4.14 is too old", 4, 0x14, kReaderIni, "-CHECK", 11},
        // The reader answered but gave no usable version: it stays counted, so the pass
        // reports that the described reader gave no usable answer (3, exit code 4).
        CheckCase{"version 0.0 over PC/SC", 0, 0, kReaderIni, "-CHECK", 4},
        CheckCase{"only another reader", 5, 0x10,
                  "[ReaderDetails]\nReaderName=Kartenleser X9\nVID=04E6\nPID=5799\nFWVER=5.10\n"
                  "Descriptor=X9\n",
                  "-CHECK", 4},
        CheckCase{"no description", 5, 0x10, nullptr, "-CHECK", 6},
        CheckCase{"terminal name read as a reader name", 5, 0x10,
                  "[ReaderDetails]\nTerminalName=Ostrum Kartenleser\nVID=04E6\nPID=5720\n"
                  "FWVER=5.10.0\nAPPVER=1.5\nDescriptor=Halvane\n",
                  "-fromInstaller -CHECK", 3}),
    [](const auto& param_info) { return "case" + std::to_string(param_info.index); });

TEST(CheckModeWithoutService, NoPcscdGivesTwoAtOnce) {
    morlin_test::TempDir folder;
    morlin_test::write_text(folder.path() / "Valdrun.ini",
                            "[ReaderDetails]\nTerminalName=Halvane\nVID=04E6\nPID=1A02\n"
                            "FWVER=2.1.4\nAPPVER=1.5\nDescriptor=Halvane\n");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(valdrun_test::run_valdrun(folder.path(), "-CHECK",
                                        {{"PCSCLITE_CSOCK_NAME", folder.file("no-pcscd.comm")},
                                         {"MORLIN_DEVICES", folder.file("devices")}}),
              2);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

} // namespace
