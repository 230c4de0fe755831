#pragma once
// One block of a string table: 16 strings, each a 16-bit little-endian character count
// followed by that many UTF-16 code units, without terminator (empty strings have count 0).
// String `id` lives in block id / 16 + 1 at index id mod 16.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace shared {

inline constexpr unsigned kStringsPerBlock = 16;

inline constexpr std::uint16_t string_block_number(unsigned id) {
    return static_cast<std::uint16_t>(id / kStringsPerBlock + 1);
}
inline constexpr unsigned string_block_index(unsigned id) {
    return id % kStringsPerBlock;
}

// The string at `index` (0..15) of a block, or nothing when the block's bytes end before it.
// The block bytes are untrusted.
[[nodiscard]] std::optional<std::u16string> string_in_block(std::span<const std::uint8_t> block,
                                                            unsigned index);

} // namespace shared
