#include "fake_terminal.h"
#include "terminal-plugin/fixed_text.h"
#include "terminal-plugin/listing/display_info.h"
#include "test_support.h"

#include <array>
#include <gtest/gtest.h>
#include <map>

namespace vupporta {
namespace {

using testing::FakeTerminal;
using testing::make_image;
using testing::status_information;

// Terminals by port name, each with its own fake.
class DisplayTest : public ::testing::Test {
  protected:
    void SetUp() override { testing::prepare_fast_environment(); }

    SerialLink link() {
        return SerialLink([this](std::string_view path) -> std::unique_ptr<platform::SerialPort> {
            const std::string name(path.substr(4));
            auto found = terminals.find(name);
            if (found == terminals.end()) {
                return nullptr;
            }
            return found->second.open(path);
        });
    }

    void add(const std::string& port, const std::string& product,
             std::vector<std::uint8_t> status = status_information()) {
        auto& entry = list[static_cast<std::size_t>(count++)];
        auto& detail = details[static_cast<std::size_t>(count - 1)];
        copy_text(detail.port_name, port);
        copy_text(detail.product_name, product);
        copy_text(entry.name, port + " - " + product);
        entry.detail = &detail;
        terminals[port].status_answers = {std::move(status)};
    }

    std::vector<std::uint8_t> status_with_versions(std::uint8_t app_major, std::uint8_t app_minor,
                                                   std::uint8_t fw_major, std::uint8_t fw_minor,
                                                   std::uint8_t fw_patch) {
        auto info = status_information();
        info[13] = app_major;
        info[14] = app_minor;
        info[18] = fw_major;
        info[19] = fw_minor;
        info[20] = fw_patch;
        return info;
    }

    std::map<std::string, FakeTerminal> terminals;
    std::array<DeviceInfoEntry, VUP_DEVICE_LIST_SIZE> list{};
    std::array<TerminalDetail, VUP_DEVICE_LIST_SIZE> details{};
    int count = 0;
    testing::NumberedTexts texts;
    testing::TempFolder folder;
    std::array<DisplayRow, VUP_DISPLAY_ROWS> rows{};
};

TEST_F(DisplayTest, WithoutAFileShowsBothVersionsAndTheIdentification) {
    add("COM3", "Halvane");
    SerialLink serial = link();
    ASSERT_EQ(display_info(serial, terminal_at(list.data(), 0), nullptr, texts, rows.data()),
              VUP_OK);
    EXPECT_STREQ(rows[0].label, "T747");
    EXPECT_STREQ(rows[0].device_value, "Halvane");
    EXPECT_STREQ(rows[1].label, "T748");
    EXPECT_STREQ(rows[1].device_value, "2.05");
    EXPECT_STREQ(rows[2].label, "T749");
    EXPECT_STREQ(rows[2].device_value, "1.2.3");
    EXPECT_STREQ(rows[3].label, "T512");
    EXPECT_STREQ(rows[3].device_value, "TERMINAL-0042");
    EXPECT_STREQ(rows[3].file_value, "");
    EXPECT_STREQ(rows[4].label, "");
    EXPECT_FALSE(serial.is_open());
}

TEST_F(DisplayTest, WithAFirmwareFileShowsTheFileBesideTheTerminal) {
    add("COM3", "Halvane");
    const auto path = folder.write("fw.bin", make_image('0', 1000, "Halvane", 1, 4, 0));
    SerialLink serial = link();
    ASSERT_EQ(display_info(serial, terminal_at(list.data(), 0), path.c_str(), texts, rows.data()),
              VUP_OK);
    EXPECT_STREQ(rows[0].file_value, "Halvane");
    EXPECT_STREQ(rows[1].label, "T749");
    EXPECT_STREQ(rows[1].file_value, "1.4.0");
    EXPECT_STREQ(rows[2].label, "T512");
    EXPECT_STREQ(rows[2].file_value, "TERMINAL-0042");
    EXPECT_STREQ(rows[3].label, "");
}

TEST_F(DisplayTest, TextVersionsShowFiveCharactersAndNoIdentification) {
    auto info = status_information();
    const std::string text = "A1.23F9.87";
    std::copy(text.begin(), text.begin() + 5, info.begin() + 12);
    std::copy(text.begin() + 5, text.end(), info.begin() + 17);
    add("COM3", "Pellax", info);
    SerialLink serial = link();
    ASSERT_EQ(display_info(serial, terminal_at(list.data(), 0), nullptr, texts, rows.data()),
              VUP_OK);
    EXPECT_STREQ(rows[1].device_value, "A1.23");
    EXPECT_STREQ(rows[2].device_value, "F9.87");
    EXPECT_STREQ(rows[3].label, "");
}

TEST_F(DisplayTest, FailuresGiveTheirCodesAndCloseThePort) {
    add("COM3", "Halvane", {0x6A, 0x82});
    SerialLink serial = link();
    const auto path = folder.write("fw.bin", make_image('0', 1000, "Halvane"));
    EXPECT_EQ(display_info(serial, terminal_at(list.data(), 0), path.c_str(), texts, rows.data()),
              VUP_ERR_STATUS_WORD);
    EXPECT_FALSE(serial.is_open());
    EXPECT_EQ(
        display_info(serial, terminal_at(list.data(), 0), "/nonexistent/file", texts, rows.data()),
        VUP_ERR_FILE);
    EXPECT_EQ(display_info(serial, terminal_at(list.data(), 5), nullptr, texts, rows.data()),
              VUP_ERR_PORT);
    // Only the low 8 bits of the index count: 256 is entry 0.
    EXPECT_EQ(terminal_at(list.data(), 256), &details[0]);
}

TEST_F(DisplayTest, FilterMatchesByProductName) {
    add("COM3", "Halvane");
    add("COM4", "Pellax");
    const auto path = folder.write("fw.bin", make_image('0', 1000, "Pellax"));
    SerialLink serial = link();
    EXPECT_EQ(filter_devices(serial, list.data(), path.c_str(), false, false, texts), VUP_OK);
    EXPECT_EQ(list[0].candidate, 0u);
    EXPECT_EQ(list[1].candidate, 1u);
    // Every listed terminal is asked, whatever its product.
    EXPECT_EQ(terminals["COM3"].manufacturer_queries, 1);
}

TEST_F(DisplayTest, FilterWithTheIvFlagTakesEveryTerminal) {
    add("COM3", "Halvane");
    add("COM4", "Pellax");
    const auto path = folder.write("x.bin", make_image('0', 1000, ""));
    SerialLink serial = link();
    EXPECT_EQ(filter_devices(serial, list.data(), path.c_str(), true, true, texts), VUP_OK);
    EXPECT_EQ(list[0].candidate, 1u);
    EXPECT_EQ(list[1].candidate, 1u);
    EXPECT_EQ(filter_devices(serial, list.data(), path.c_str(), false, false, texts), VUP_OK);
    EXPECT_EQ(list[0].candidate, 0u);
    EXPECT_EQ(filter_devices(serial, list.data(), "/nonexistent", true, false, texts),
              VUP_ERR_FILE);
}

TEST_F(DisplayTest, UpgradeOnlyAllowsEqualAndNewerFirmware) {
    add("COM3", "Halvane", status_with_versions(2, 0, 1, 2, 3));
    const auto equal = folder.write("eq.bin", make_image('0', 1000, "Halvane", 1, 2, 3));
    const auto older = folder.write("old.bin", make_image('0', 1000, "Halvane", 1, 2, 2));
    SerialLink serial = link();
    EXPECT_EQ(filter_devices(serial, list.data(), equal.c_str(), false, true, texts), VUP_OK);
    EXPECT_EQ(list[0].candidate, 1u);
    EXPECT_EQ(filter_devices(serial, list.data(), older.c_str(), false, true, texts),
              VUP_ERR_FW_OLDER);
    EXPECT_EQ(list[0].candidate, 0u);
    // Without upgrade-only mode the older file is allowed.
    EXPECT_EQ(filter_devices(serial, list.data(), older.c_str(), false, false, texts), VUP_OK);
}

TEST_F(DisplayTest, UpgradeOnlyApplicationAgainstTwoTerminals) {
    add("COM3", "Halvane", status_with_versions(2, 10, 1, 0, 0));
    add("COM5", "Halvane", status_with_versions(1, 90, 1, 0, 0));
    const auto path = folder.write("app.bin", make_image('1', 1000, "Halvane", 2, 0));
    SerialLink serial = link();
    EXPECT_EQ(filter_devices(serial, list.data(), path.c_str(), false, true, texts), VUP_OK);
    EXPECT_EQ(list[0].candidate, 0u);
    EXPECT_EQ(list[1].candidate, 1u);
    list[1].name[0] = '\0';
    EXPECT_EQ(filter_devices(serial, list.data(), path.c_str(), false, true, texts),
              VUP_ERR_APP_OLDER);
}

TEST_F(DisplayTest, UpgradeOnlyLeavesOutATerminalWhoseVersionIsText) {
    auto info = status_information();
    const std::string text = "V1.2b";
    std::copy(text.begin(), text.end(), info.begin() + 17);
    add("COM3", "Halvane", info);
    const auto path = folder.write("fw.bin", make_image('0', 1000, "Halvane", 9, 9, 9));
    SerialLink serial = link();
    EXPECT_EQ(filter_devices(serial, list.data(), path.c_str(), false, true, texts),
              VUP_ERR_FW_OLDER);
    EXPECT_EQ(list[0].candidate, 0u);
}

TEST_F(DisplayTest, FilterLeavesOutTerminalsThatCannotBeAsked) {
    add("COM3", "Halvane", {0x6A, 0x82});
    add("COM4", "Halvane");
    add("COM8", "Halvane");
    terminals.erase("COM8");
    const auto path = folder.write("fw.bin", make_image('0', 1000, "Halvane"));
    SerialLink serial = link();
    EXPECT_EQ(filter_devices(serial, list.data(), path.c_str(), false, false, texts), VUP_OK);
    EXPECT_EQ(list[0].candidate, 0u);
    EXPECT_EQ(list[1].candidate, 1u);
    EXPECT_EQ(list[2].candidate, 0u);
}

} // namespace
} // namespace vupporta
