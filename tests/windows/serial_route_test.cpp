// Valdrun's serial route as the Windows build carries it: the port list from the registry's
// SerialComm values (contract_registry.reg), and the escape frames over Wine COM ports that
// lead to the Linux ReaderSim's serial readers (scripts/windows_smoke.sh names the ports).
#include "wrapper/detection/detection.h"
#include "wrapper/detection/serial_port_list.h"
#include "wrapper/result_codes.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

using Names = std::vector<std::string>;

// In the order of the values, not of the names; the twelve-character name skipped, the ninth
// port and Wine's own COM1 beyond the seven.
TEST(Win32SerialPortList, TheFirstSevenShortNamesOfTheSerialCommValues) {
    EXPECT_EQ(valdrun::read_serial_port_list(),
              (Names{"COM9", "COM10", "COM2", "COM31", "COM7", "COM12345678", "COM8"}));
}

// A reader at firmware 5.02 that asks to wait twice before each reply, and one whose replies
// carry status bit 6. The route by itself: a whole pass would first wait for Wine's WinSCard.
TEST(Win32SerialRoute, ReadsTheReadersFirmwareOverTheComPort) {
    const char* answering = std::getenv("MORLIN_TEST_READER_PORT");
    const char* faulty = std::getenv("MORLIN_TEST_FAULTY_READER_PORT");
    if (answering == nullptr || faulty == nullptr) {
        GTEST_SKIP() << "no serial readers given";
    }
    const struct {
        Names ports;
        std::uint8_t target_minor;
        int result;
    } cases[] = {
        {{answering}, 0x10, valdrun::kDetectedUpdateDue},
        {{"COM99", faulty, answering}, 0x02, valdrun::kDetectedUpToDate},
        {{faulty}, 0x02, valdrun::kDetectedNothing},
    };
    for (const auto& c : cases) {
        valdrun::ReaderDescription description;
        description.slot_name[1] = "Ostrum Serial";
        description.target_firmware = {5, c.target_minor, valdrun::kNoBuild};
        valdrun::PassSettings settings;
        settings.serial_ports = c.ports;
        valdrun::PassOutcome outcome;
        EXPECT_EQ(valdrun::serial_route(description, settings, outcome, nullptr), c.result)
            << c.ports.back();
        const bool found = c.result != valdrun::kDetectedNothing;
        EXPECT_EQ(outcome.reader_count, found ? 1 : 0);
        EXPECT_EQ(outcome.version_reply[valdrun::kFirmwareMajorByte], found ? 5 : 0);
        EXPECT_EQ(outcome.version_reply[valdrun::kFirmwareMinorByte], found ? 2 : 0);
    }
}

} // namespace
