#pragma once
// Hex text to bytes and back, for the command line: "20 13 00 46 00", "2013004600" and
// "20:13:00:46:00" all read as the same five bytes.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ctapi_send {

[[nodiscard]] std::optional<std::vector<std::uint8_t>> parse_hex(std::string_view text);
std::string format_hex(std::span<const std::uint8_t> bytes);

} // namespace ctapi_send
