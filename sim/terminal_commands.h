#pragma once
// What the terminal and the card in its first slot answer to a complete command (the
// application layer above the block link).
#include "sim/terminal_simulator.h"

#include <cstdint>
#include <span>
#include <vector>

namespace sim {

// Addresses (nibbles of NAD).
inline constexpr std::uint8_t kAddressCard1 = 0;
inline constexpr std::uint8_t kAddressTerminal = 1;
inline constexpr std::uint8_t kAddressHost = 2;
inline constexpr std::uint8_t kAddressError = 8; // destination nibble of an error response

struct CommandAnswer {
    bool error_response = false;      // send with destination nibble 8
    bool manufacturer_status = false; // the answer was the status response
    bool terminal_reset = false;      // RESET CT of the terminal itself: numbering back to 0
    std::vector<std::uint8_t> data;
};

struct CardState {
    bool present = true;
    std::vector<std::uint8_t> content;
};

// Answers one command sent to `destination`. `download_state` goes into a status response.
CommandAnswer answer_command(std::uint8_t destination, std::span<const std::uint8_t> command,
                             const TerminalStatus& status, std::uint8_t download_state,
                             const CardState& card);

// The 1024 bytes a card holds when no content was given: 00 01 02 ... FF, four times.
std::vector<std::uint8_t> default_card_content();

} // namespace sim
