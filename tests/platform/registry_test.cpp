#include "platform/winapi/registry.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

using Kind = platform::RegistryValue::Kind;
using test_support::EnvGuard;
using test_support::TempDir;

const char* const kExport = "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
                            "\r\n"
                            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ostrum\\DorvoMgmt\\DorvoConf]\r\n"
                            "\"LogFileLimitKB\"=dword:000000c8\r\n"
                            "\"Path\"=\"C:\\\\Program Files\\\\Morlin \\\"new\\\"\"\r\n"
                            "@=\"default\"\r\n"
                            "\"Blob\"=hex:01,02,\\\r\n"
                            "  ff\r\n"
                            "\"Names\"=hex(7):41,00,00,00,42,00,c4,00,00,00,00,00\r\n"
                            "\"Expand\"=hex(2):25,00,54,00,00,00\r\n"
                            "; a comment\r\n"
                            "\"Broken\"=dword:123456789\r\n"
                            "\"AlsoBroken\"=\"no end\r\n"
                            "\"Gone\"=-\r\n"
                            "[HKEY_CURRENT_USER\\Software\\Other]\r\n"
                            "\"Elsewhere\"=dword:00000001\r\n"
                            "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Removed]\r\n"
                            "\"Ignored\"=dword:00000001\r\n"
                            "[HKEY_LOCAL_MACHINE\\SYSTEM\\Empty]\r\n";

TEST(PlatformRegistryExport, ParsesEveryValueKind) {
    auto values = platform::parse_registry_export(kExport);
    ASSERT_EQ(values.size(), 6u);
    EXPECT_EQ(values[0].key, "SOFTWARE\\Ostrum\\DorvoMgmt\\DorvoConf");
    EXPECT_EQ(values[0].name, "LogFileLimitKB");
    EXPECT_EQ(values[0].kind, Kind::Dword);
    EXPECT_EQ(values[0].dword, 200u);
    EXPECT_EQ(values[1].text, "C:\\Program Files\\Morlin \"new\"");
    EXPECT_EQ(values[2].name, "");
    EXPECT_EQ(values[2].text, "default");
    EXPECT_EQ(values[3].kind, Kind::Binary);
    EXPECT_EQ(values[3].raw, (std::vector<std::uint8_t>{1, 2, 0xFF}));
    EXPECT_EQ(values[4].kind, Kind::MultiString);
    EXPECT_EQ(values[4].strings, (std::vector<std::string>{"A", "B\xC3\x84"}));
    EXPECT_EQ(values[5].kind, Kind::String);
    EXPECT_EQ(values[5].text, "%T");
}

TEST(PlatformRegistryExport, SkipsMalformedLinesAndForeignSections) {
    auto values = platform::parse_registry_export("\"Outside\"=dword:1\n"
                                                  "[HKEY_LOCAL_MACHINEX\\A]\n\"a\"=dword:1\n"
                                                  "[HKEY_LOCAL_MACHINE\\B\n\"b\"=dword:1\n"
                                                  "[hkey_local_machine\\C]\n"
                                                  "\"c\" = dword:0000000A\n"
                                                  "\"d\"=dword:\n\"e\"=hex:1,2\n\"f\"=text\n"
                                                  "\"g\"=hex(7):41\n");
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].key, "C");
    EXPECT_EQ(values[0].dword, 10u);
    EXPECT_EQ(values[1].name, "g");
    EXPECT_TRUE(values[1].strings.empty()); // an odd byte is no character
}

#ifndef _WIN32 // Windows reads the registry itself (tests/windows)
TEST(PlatformRegistryFile, ReadsValuesFromTheNamedFile) {
    TempDir dir;
    test_support::write_text(dir.file("registry.reg"), kExport);
    EnvGuard registry("MORLIN_REGISTRY", dir.file("registry.reg").c_str());
    const char* key = "SOFTWARE\\Ostrum\\DorvoMgmt\\DorvoConf";
    EXPECT_EQ(platform::registry_read_dword(key, "logfilelimitkb"), 200u);
    EXPECT_EQ(
        platform::registry_read_dword("software\\ostrum\\dorvomgmt\\dorvoconf\\", "LogFileLimitKB"),
        200u);
    EXPECT_FALSE(platform::registry_read_dword(key, "Path")); // a string, not a number
    EXPECT_EQ(platform::registry_read_string(key, "Path"), "C:\\Program Files\\Morlin \"new\"");
    EXPECT_EQ(platform::registry_read_string(key, ""), "default");
    EXPECT_FALSE(platform::registry_read_string(key, "Gone"));
    EXPECT_TRUE(platform::registry_key_exists(key));
    EXPECT_TRUE(platform::registry_key_exists("SOFTWARE\\Ostrum"));
    EXPECT_TRUE(platform::registry_key_exists("SYSTEM\\Empty"));
    EXPECT_FALSE(platform::registry_key_exists("SOFTWARE\\Ostr"));
    EXPECT_FALSE(platform::registry_key_exists("SOFTWARE\\Removed"));
    EXPECT_FALSE(platform::registry_key_exists("Software\\Other"));
}

TEST(PlatformRegistryFile, MissingFileHasNoKeysAndUtf16FilesAreRead) {
    TempDir dir;
    {
        EnvGuard registry("MORLIN_REGISTRY", dir.file("absent.reg").c_str());
        EXPECT_FALSE(platform::registry_key_exists("SOFTWARE"));
        EXPECT_FALSE(platform::registry_read_dword("SOFTWARE", "x"));
    }
    std::string text = "Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\K]\r\n"
                       "\"V\"=\"Gr\xC3\xBC\xC3\x9F\x65\"\r\n";
    std::string utf16 = "\xFF\xFE";
    // The test text is ASCII apart from two Latin-1 letters, written here as UTF-16LE.
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto byte = static_cast<unsigned char>(text[i]);
        if (byte == 0xC3) {
            auto next = static_cast<unsigned char>(text[++i]);
            utf16 += static_cast<char>(0xC0 | (next & 0x3F));
        } else {
            utf16 += static_cast<char>(byte);
        }
        utf16 += '\0';
    }
    test_support::write_text(dir.file("utf16.reg"), utf16);
    EnvGuard registry("MORLIN_REGISTRY", dir.file("utf16.reg").c_str());
    EXPECT_EQ(platform::registry_read_string("K", "V"), "Gr\xC3\xBC\xC3\x9F"
                                                        "e");
}

#endif

} // namespace
