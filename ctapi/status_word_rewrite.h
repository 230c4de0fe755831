#pragma once
// Card-terminal mode: a READ BINARY that asks for all data and ends in 90 00 is handed back
// ending in 62 82 ("end of file reached before the requested length") instead.
#include <cstdint>
#include <span>

namespace brantel {

// Rewrites the last two bytes of `response` in place when the command qualifies. True when
// it changed them.
bool rewrite_read_binary_status(std::span<const std::uint8_t> command,
                                std::span<std::uint8_t> response);

} // namespace brantel
