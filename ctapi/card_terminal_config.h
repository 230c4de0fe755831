#pragma once
// CTCONFIG.ini beside the library: [CARD_TERMINAL_CONFIG] CARDTERMINAL_MODE=<decimal>.
// Non-zero switches the card-terminal mode (the READ BINARY status-word rewrite) on.
#include <cstdint>
#include <string_view>

namespace brantel {

inline constexpr std::string_view kConfigFileName = "CTCONFIG.ini";
inline constexpr std::string_view kConfigSection = "CARD_TERMINAL_CONFIG";
inline constexpr std::string_view kCardTerminalModeKey = "CARDTERMINAL_MODE";
// The library's own file name is taken into a buffer of this size (with its zero).
inline constexpr std::size_t kModulePathBufferSize = 256;

// The card-terminal mode configured beside the library file `library_path`: 0 when the file,
// the section or the key is missing.
[[nodiscard]] std::uint32_t read_card_terminal_mode(std::string_view library_path);

} // namespace brantel
