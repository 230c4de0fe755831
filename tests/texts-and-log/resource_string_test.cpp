#include "platform/winapi/library.h"
#include "texts-and-log/resource_string.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <gtest/gtest.h>

namespace {

using shared::kLanguageEnglish;
using shared::kLanguageGerman;

class SharedResourceStrings : public ::testing::Test {
  protected:
    void SetUp() override {
        module_ = platform::Library::load(TEST_RESOURCES);
        ASSERT_TRUE(module_);
    }
    std::string text(unsigned id, std::uint16_t language, std::size_t size = 260) {
        return shared::resource_string(*module_, id, language, size);
    }
    std::unique_ptr<platform::Library> module_;
};

TEST_F(SharedResourceStrings, FindsStringsByBlockAndPosition) {
    EXPECT_EQ(text(747, kLanguageEnglish), "Download failed (%d)");
    EXPECT_EQ(text(747, kLanguageGerman), "Download fehlgeschlagen (%d)");
    EXPECT_EQ(text(512, kLanguageEnglish), "First of block 33");
    EXPECT_EQ(text(0, kLanguageEnglish), "zero");
    EXPECT_EQ(text(15, kLanguageGerman), "Titel");
    EXPECT_EQ(text(750, kLanguageEnglish), "Line one\nLine two \\ end");
    EXPECT_EQ(text(751, kLanguageGerman), "Gr\xC3\xB6\xC3\x9F"
                                          "e");
    EXPECT_EQ(text(752, kLanguageEnglish), "Clef \xF0\x9D\x84\x9E");
}

TEST_F(SharedResourceStrings, NoFallbackToAnotherLanguage) {
    EXPECT_EQ(text(748, kLanguageEnglish), "English only");
    EXPECT_EQ(text(748, kLanguageGerman), "");
    EXPECT_EQ(text(512, kLanguageGerman), "");    // the whole block is missing
    EXPECT_EQ(text(749, kLanguageEnglish), "");   // empty slot in a present block
    EXPECT_EQ(text(747, 0x0807), "");             // Swiss German is not German
    EXPECT_EQ(text(70000, kLanguageEnglish), ""); // beyond the 16-bit numbers
    EXPECT_EQ(text(4000, kLanguageEnglish), "");
}

TEST_F(SharedResourceStrings, BufferIsClearedAndCutWithoutSplittingACharacter) {
    std::array<char, 8> buffer;
    buffer.fill('X');
    shared::load_resource_string(module_.get(), 751, kLanguageGerman, buffer);
    // "Größe" is 7 bytes: it fits with its terminator.
    EXPECT_STREQ(buffer.data(), "Gr\xC3\xB6\xC3\x9F"
                                "e");
    EXPECT_EQ(text(751, kLanguageGerman, 7), "Gr\xC3\xB6\xC3\x9F");
    EXPECT_EQ(text(751, kLanguageGerman, 5), "Gr\xC3\xB6");
    EXPECT_EQ(text(751, kLanguageGerman, 4), "Gr");
    EXPECT_EQ(text(752, kLanguageEnglish, 9), "Clef ");
    EXPECT_EQ(text(747, kLanguageEnglish, 1), "");
    EXPECT_EQ(text(747, kLanguageEnglish, 0), "");

    buffer.fill('X');
    shared::load_resource_string(module_.get(), 748, kLanguageGerman, buffer);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](char c) { return c == '\0'; }));
    buffer.fill('X');
    shared::load_resource_string(nullptr, 747, kLanguageEnglish, buffer);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](char c) { return c == '\0'; }));
}

TEST(SharedResourceLibrary, MorlnresLoadsByNameBesideThePrograms) {
    auto module = platform::Library::load(std::string(MORLIN_BIN_DIR) + "/MORLNRES.so");
    ASSERT_TRUE(module);
    EXPECT_FALSE(shared::resource_string(*module, 14, kLanguageEnglish).empty());
    EXPECT_FALSE(shared::resource_string(*module, 14, kLanguageGerman).empty());
}

} // namespace
