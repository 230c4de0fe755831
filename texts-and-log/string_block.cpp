#include "texts-and-log/string_block.h"

namespace shared {

std::optional<std::u16string> string_in_block(std::span<const std::uint8_t> block, unsigned index) {
    if (index >= kStringsPerBlock) {
        return std::nullopt;
    }
    std::size_t at = 0;
    auto unit_at = [&block](std::size_t offset) {
        return static_cast<char16_t>(block[offset] | (block[offset + 1] << 8));
    };
    for (unsigned skipped = 0;; ++skipped) {
        if (block.size() - at < 2) {
            return std::nullopt;
        }
        std::size_t count = unit_at(at);
        at += 2;
        if (count > (block.size() - at) / 2) {
            return std::nullopt;
        }
        if (skipped == index) {
            std::u16string text(count, u'\0');
            for (std::size_t i = 0; i < count; ++i) {
                text[i] = unit_at(at + 2 * i);
            }
            return text;
        }
        at += 2 * count;
    }
}

} // namespace shared
