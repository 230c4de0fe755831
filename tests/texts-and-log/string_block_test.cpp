#include "platform/winapi/resource.h"
#include "texts-and-log/ansi_text.h"
#include "texts-and-log/string_block.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

std::vector<std::uint8_t> block_of(std::initializer_list<std::u16string> texts) {
    std::vector<std::uint8_t> bytes;
    for (const auto& text : texts) {
        bytes.push_back(static_cast<std::uint8_t>(text.size() & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(text.size() >> 8));
        for (char16_t unit : text) {
            bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
        }
    }
    return bytes;
}

TEST(SharedStringBlock, NumbersMapToBlockAndIndex) {
    EXPECT_EQ(shared::string_block_number(747), 47);
    EXPECT_EQ(shared::string_block_index(747), 11u);
    EXPECT_EQ(shared::string_block_number(512), 33);
    EXPECT_EQ(shared::string_block_index(512), 0u);
    EXPECT_EQ(shared::string_block_number(0), 1);
    EXPECT_EQ(shared::string_block_number(65535), 4096);
}

TEST(SharedStringBlock, WalksCountedStringsAndStopsAtTheEnd) {
    auto block = block_of({u"", u"one", u"", u"three"});
    EXPECT_EQ(shared::string_in_block(block, 0), u"");
    EXPECT_EQ(shared::string_in_block(block, 1), u"one");
    EXPECT_EQ(shared::string_in_block(block, 3), u"three");
    EXPECT_FALSE(shared::string_in_block(block, 4)); // the block ends early
    EXPECT_FALSE(shared::string_in_block(block, 16));
    // A count that runs past the end is refused, also for an odd trailing byte.
    std::vector<std::uint8_t> lying = {0xFF, 0x7F, 'a', 0};
    EXPECT_FALSE(shared::string_in_block(lying, 0));
    std::vector<std::uint8_t> odd = {1, 0, 'a'};
    EXPECT_FALSE(shared::string_in_block(odd, 0));
    EXPECT_FALSE(shared::string_in_block({}, 0));
}

TEST(SharedAnsiText, ConvertsSurrogatesAndReplacesUnpairedOnes) {
    EXPECT_EQ(shared::utf16_to_utf8(u"\u00e4\u20ac"), "\xC3\xA4\xE2\x82\xAC");
    EXPECT_EQ(shared::utf16_to_utf8(u"\xD834\xDD1E"), "\xF0\x9D\x84\x9E");
    std::u16string unpaired = {u'a', static_cast<char16_t>(0xD834), u'b',
                               static_cast<char16_t>(0xDC00)};
    EXPECT_EQ(shared::utf16_to_utf8(unpaired), "a?b?");
}

std::vector<std::uint8_t> image_with_entry(std::uint32_t offset, std::uint32_t length) {
    std::vector<std::uint8_t> image = {'M', 'R', 'E', 'S', 1, 0, 1,  0, 36, 0, 0, 0,
                                       0,   0,   0,   0,   6, 0, 47, 0, 9,  4, 0, 0};
    for (std::uint32_t value : {offset, length}) {
        for (int i = 0; i < 4; ++i) {
            image.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
        }
    }
    image.insert(image.end(), {1, 0, 'x', 0}); // bytes 32..35
    return image;
}

TEST(SharedResourceImage, LooksUpEntriesAndChecksEveryOffset) {
    auto image = image_with_entry(32, 4);
    auto found = platform::find_resource_in_image(image, 6, 47, 0x0409);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->size(), 4u);
    EXPECT_EQ(shared::string_in_block(*found, 0), u"x");
    EXPECT_FALSE(platform::find_resource_in_image(image, 6, 47, 0x0407));
    EXPECT_FALSE(platform::find_resource_in_image(image, 6, 48, 0x0409));

    EXPECT_FALSE(platform::find_resource_in_image(image_with_entry(32, 5), 6, 47, 0x0409));
    EXPECT_FALSE(
        platform::find_resource_in_image(image_with_entry(0xFFFFFFF0, 0x20), 6, 47, 0x0409));
    auto claims_more = image;
    claims_more[8] = 200;
    EXPECT_FALSE(platform::find_resource_in_image(claims_more, 6, 47, 0x0409));
    auto too_many_entries = image;
    too_many_entries[6] = 9;
    EXPECT_FALSE(platform::find_resource_in_image(too_many_entries, 6, 47, 0x0409));
    auto wrong_magic = image;
    wrong_magic[0] = 'X';
    EXPECT_FALSE(platform::find_resource_in_image(wrong_magic, 6, 47, 0x0409));
    EXPECT_FALSE(platform::find_resource_in_image(std::span(image).first(10), 6, 47, 0x0409));
}

} // namespace
