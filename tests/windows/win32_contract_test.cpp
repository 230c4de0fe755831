// What only the Windows files of the platform layer can show, run under Wine by
// scripts/windows_smoke.sh: texts between UTF-8 and the wide API, names outside the old code
// pages, the registry, SetupAPI's order of the ports, a kept serial cancel on a COM port and
// the single instance's answer on the console. The registry values and the devices come from
// tests/windows/contract_registry.reg, which the script imports into its throw-away prefix;
// the COM port is the prefix's link to a pseudo-terminal.
#include "platform/devices/usb_serial_ports.h"
#include "platform/files/files.h"
#include "platform/foundation/ansi_code_page.h"
#include "platform/foundation/last_error.h"
#include "platform/foundation/win32_text.h"
#include "platform/processes/single_instance.h"
#include "platform/serial/serial_port.h"
#include "platform/user_interface/ui.h"
#include "platform/winapi/registry.h"
#include "platform/winapi/version_info.h"
#include "tests/common/environment.h"
#include "tests/common/temp_dir.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>
#include <windows.h>

// The manifest comes with the version resource: the UTF-8 code page, as in every program.
MORLIN_VERSION_INFO("Platform contract tests", "1.24", "platform_contract_tests", "Morlin", "1.24",
                    "Copyright (C) 2026 Ostrum");

namespace {

using namespace std::string_literals;

const char* const kGerman = "Gr\xC3\xBC\xC3\x9F"
                            "e";
const char* const kCyrillic = "\xD0\x9F\xD1\x80\xD0\xBE\xD1\x88\xD0\xB8\xD0\xB2\xD0\xBA\xD0\xB0";

TEST(Win32Text, Utf8AndWideTextsConvertBothWays) {
    const std::pair<std::string, std::wstring> cases[] = {
        {"", L""},
        {kGerman, L"Gr\u00FC\u00DFe"},
        {kCyrillic, L"\u041F\u0440\u043E\u0448\u0438\u0432\u043A\u0430"},
        {"\xF0\x9D\x84\x9E", L"\xD834\xDD1E"}, // outside the first plane: two wide characters
    };
    for (const auto& [utf8, wide] : cases) {
        EXPECT_EQ(platform::win32::wide(utf8), wide) << utf8;
        EXPECT_EQ(platform::win32::utf8(wide), utf8) << utf8;
    }
    EXPECT_EQ(platform::win32::wide("a\xC3("), L"a\uFFFD("); // no UTF-8
}

// The buffer grows until the text fits, whichever way a function says that it did not.
TEST(Win32Text, WholeTextIsNeverCut) {
    enum class Answer { NeededSize, CutToSize }; // GetCurrentDirectory; GetModuleFileName
    const struct {
        std::size_t length;
        Answer answer;
        bool whole;
    } cases[] = {
        {10, Answer::NeededSize, true},     {263, Answer::CutToSize, true},
        {264, Answer::NeededSize, true},    {300, Answer::CutToSize, true},
        {32767, Answer::NeededSize, true},  {32767, Answer::CutToSize, true},
        {200000, Answer::CutToSize, false},
    };
    for (const auto& c : cases) {
        const std::string text(c.length, 'x');
        const auto got = platform::win32::whole_text([&](char* buffer, unsigned long size) {
            if (text.size() < size) {
                text.copy(buffer, text.size());
                buffer[text.size()] = '\0';
                return static_cast<unsigned long>(text.size());
            }
            if (c.answer == Answer::CutToSize) {
                text.copy(buffer, size);
                return size;
            }
            return static_cast<unsigned long>(text.size() + 1);
        });
        EXPECT_EQ(got == text, c.whole) << c.length;
    }
    EXPECT_FALSE(platform::win32::whole_text([](char*, unsigned long) { return 0ul; }));
}

// A folder and a file whose names the old code pages cannot hold, through the 8-bit calls.
TEST(Win32Text, NamesOutsideTheOldCodePagesReachTheFiles) {
    ASSERT_TRUE(platform::ansi_code_page_is_utf8());
    morlin_test::TempDir dir;
    const std::string folder = platform::join_path(dir.path().string(), kCyrillic);
    ASSERT_TRUE(platform::create_directory(folder));
    const std::string path = platform::join_path(folder, kGerman + ".bin"s);
    const std::uint8_t bytes[] = {1, 2, 3};
    ASSERT_TRUE(platform::save_file_replacing(path, bytes));
    EXPECT_EQ(platform::find_files(folder, "*.bin"), std::vector<std::string>{kGerman + ".bin"s});
    EXPECT_EQ(platform::read_file(path)->size(), 3u);
}

TEST(Win32Registry, ReadsTheMachinesValues) {
    const char* key = "SOFTWARE\\Morlin\\ContractTest";
    ASSERT_TRUE(platform::registry_key_exists("software\\morlin\\contracttest"));
    EXPECT_EQ(platform::registry_read_dword(key, "limit"), 200u);
    EXPECT_FALSE(platform::registry_read_dword(key, "Name")); // a text, not a number
    EXPECT_EQ(platform::registry_read_string(key, "Name"), kGerman + " "s + kCyrillic);
    EXPECT_EQ(platform::registry_read_string(key, ""), "default");
    EXPECT_FALSE(platform::registry_read_string(key, "Absent"));
    EXPECT_FALSE(platform::registry_key_exists("SOFTWARE\\Morlin\\Absent"));
}

// The ports in the device set's order (COM3 before COM10), not sorted as text.
TEST(Win32DeviceList, PortsComeInTheDeviceSetsOrder) {
    const char* expected = std::getenv("MORLIN_TEST_LISTED_PORTS"); // "COM3 COM10"
    if (expected == nullptr) {
        GTEST_SKIP() << "no devices given to the device installer";
    }
    std::vector<std::string> wanted;
    std::istringstream words(expected);
    for (std::string word; words >> word;) {
        wanted.push_back(word);
    }
    morlin_test::set_environment("MORLIN_REAL_PORTS", nullptr); // the machine's ports listed
    std::vector<std::string> listed;
    for (const auto& port : platform::usb_serial_ports()) {
        const auto name = port.key_value("PortName");
        if (name && std::find(wanted.begin(), wanted.end(), *name) != wanted.end()) {
            listed.push_back(*name);
        }
    }
    EXPECT_EQ(listed, wanted);
}

// A cancel made while no read is pending ends the next read at once, and only that one (the
// far end sends nothing unasked).
TEST(Win32SerialPort, ACancelIsKeptForTheNextRead) {
    const char* name = std::getenv("MORLIN_TEST_COM_PORT");
    if (name == nullptr) {
        GTEST_SKIP() << "no COM port given";
    }
    auto port = platform::SerialPort::open(name);
    ASSERT_TRUE(port) << platform::last_error();
    constexpr std::uint32_t kWaitMs = 2000;
    platform::Timeouts timeouts;
    timeouts.read_total_constant = kWaitMs;
    ASSERT_TRUE(port->set_timeouts(timeouts));
    port->cancel();
    for (const bool cancelled : {true, false}) {
        std::array<std::uint8_t, 16> buffer{};
        const auto begun = std::chrono::steady_clock::now();
        const auto read = port->read(buffer);
        const auto spent = std::chrono::steady_clock::now() - begun;
        EXPECT_EQ(!read && platform::last_error() == platform::kErrorOperationAborted, cancelled);
        EXPECT_EQ(spent < std::chrono::milliseconds(kWaitMs / 2), cancelled);
    }
}

// A second start of a program without a window (Morlin on the console) does not say that a
// window came to the front.
TEST(Win32SingleInstance, ASecondStartOfAProgramWithoutAWindowBringsNoneToTheFront) {
    const std::string section = "MorlinContractTest" + std::to_string(::GetCurrentProcessId());
    const auto first = platform::SingleInstance::acquire(section);
    ASSERT_TRUE(first);
    EXPECT_FALSE(platform::SingleInstance::acquire(section));
    EXPECT_EQ(platform::last_error(), platform::kErrorAlreadyExists);
    EXPECT_FALSE(platform::SingleInstance::running_instance_came_to_front());
}

// A long German text with a word longer than a line (the length of a progress text) is
// wrapped whole into the wait window, drawn down to its last line, on the screen.
TEST(Win32WaitWindow, ALongTextIsShownWhole) {
    std::string text = "Die Firmware wird in das Gerät geladen: " + std::string(100, 'W');
    while (text.size() < 190) {
        text += " Übertragung";
    }
    const auto ui = platform::make_default_user_interface();
    ui->show_wait(text);
    HWND wait = ::FindWindowW(L"#32770", L"Morlin");
    if (wait == nullptr) {
        // No display (the smoke checks): scripts/windows_dialogs.sh runs it on one.
        GTEST_SKIP() << "no window without a display";
    }
    HWND label = ::GetDlgItem(wait, 1039);
    RECT area{};
    ::GetClientRect(label, &area);
    const std::wstring wide = platform::win32::wide_from_ansi(text);
    RECT needed{0, 0, area.right, 0};
    HDC dc = ::GetDC(label);
    ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(label, WM_GETFONT, 0, 0)));
    ::DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &needed,
                DT_CALCRECT | DT_CENTER | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    // What the label draws, on white: the rows with ink.
    HDC memory = ::CreateCompatibleDC(dc);
    HBITMAP picture = ::CreateCompatibleBitmap(dc, area.right, area.bottom);
    ::SelectObject(memory, picture);
    ::FillRect(memory, &area, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::SendMessageW(label, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
    int top = area.bottom;
    int bottom = -1;
    for (int y = 0; y < area.bottom; ++y) {
        for (int x = 0; x < area.right; ++x) {
            if (GetRValue(::GetPixel(memory, x, y)) < 0x80) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    ::DeleteDC(memory);
    ::DeleteObject(picture);
    ::ReleaseDC(label, dc);
    RECT frame{};
    ::GetWindowRect(wait, &frame);
    ui->hide_wait();
    EXPECT_GT(bottom - top, needed.bottom - 2 * metrics.tmHeight) << "not drawn to its last line";
    EXPECT_LE(needed.bottom, area.bottom);
    EXPECT_LE(needed.right, area.right);
    EXPECT_LE(frame.right - frame.left, ::GetSystemMetrics(SM_CXSCREEN));
}

} // namespace
