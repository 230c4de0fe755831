#include "sim/terminal_commands.h"

#include "sim/status_response.h"

#include <algorithm>

namespace sim {
namespace {

constexpr std::uint8_t kClaCt = 0x20;
constexpr std::uint8_t kInsResetCt = 0x11;
constexpr std::uint8_t kInsRequestIcc = 0x12;
constexpr std::uint8_t kInsGetStatus = 0x13;
constexpr std::uint8_t kInsEjectIcc = 0x15;
constexpr std::uint8_t kInsShortStatus = 0x18;
constexpr std::uint8_t kInsReadBinary = 0xB0;
constexpr std::uint8_t kInsSelect = 0xA4;
constexpr std::uint8_t kTagManufacturer = 0x46;
constexpr std::uint8_t kTagIccStatus = 0x80;

void append_word(std::vector<std::uint8_t>& data, std::uint16_t word) {
    data.push_back(static_cast<std::uint8_t>(word >> 8));
    data.push_back(static_cast<std::uint8_t>(word & 0xFF));
}

CommandAnswer word_answer(std::uint16_t word) {
    CommandAnswer answer;
    append_word(answer.data, word);
    return answer;
}

CommandAnswer error_answer(std::uint8_t byte) {
    CommandAnswer answer;
    answer.error_response = true;
    answer.data.push_back(byte);
    return answer;
}

CommandAnswer answer_terminal(std::span<const std::uint8_t> command, const TerminalStatus& status,
                              std::uint8_t download_state, const CardState& card) {
    if (command[0] != kClaCt) {
        return word_answer(0x6E00);
    }
    const std::uint8_t p1 = command[2];
    const std::uint8_t p2 = command[3];
    switch (command[1]) {
    case kInsResetCt: {
        CommandAnswer answer = word_answer(p1 == 0 ? status.reset_status_word : 0x9000);
        answer.terminal_reset = p1 == 0;
        return answer;
    }
    case kInsGetStatus:
        if (p2 == kTagManufacturer) {
            CommandAnswer answer;
            answer.data = build_status_response(status, download_state);
            answer.manufacturer_status = true;
            return answer;
        }
        if (p2 == kTagIccStatus) {
            CommandAnswer answer;
            answer.data = {kTagIccStatus, 0x01, static_cast<std::uint8_t>(card.present ? 5 : 0)};
            append_word(answer.data, 0x9000);
            return answer;
        }
        return word_answer(0x6A80);
    case kInsShortStatus:
        return word_answer(status.short_status_word);
    case kInsRequestIcc:
        return word_answer(card.present ? 0x9001 : 0x6200);
    case kInsEjectIcc:
        return word_answer(0x9000);
    default:
        return word_answer(0x6D00);
    }
}

// READ BINARY 00 B0 P1 P2 with Le 00 (all), a short Le, or an extended Le 00 Lh Ll.
CommandAnswer read_binary(std::span<const std::uint8_t> command, const CardState& card) {
    const std::uint8_t p1 = command[2];
    const std::uint8_t p2 = command[3];
    // P1 bit 8 set: a short file identifier in P1, the offset in P2.
    const std::size_t offset = (p1 & 0x80) != 0 ? p2 : (std::size_t{p1} << 8 | p2);
    std::size_t wanted = 0; // 0: everything from the offset on
    if (command.size() == 5) {
        wanted = command[4];
    } else if (command.size() == 7 && command[4] == 0) {
        wanted = std::size_t{command[5]} << 8 | command[6];
    } else if (command.size() != 4) {
        return word_answer(0x6700);
    }
    if (offset > card.content.size()) {
        return word_answer(0x6B00);
    }
    const std::size_t available = card.content.size() - offset;
    const std::size_t count = wanted == 0 ? available : std::min(wanted, available);
    CommandAnswer answer;
    answer.data.assign(card.content.begin() + static_cast<std::ptrdiff_t>(offset),
                       card.content.begin() + static_cast<std::ptrdiff_t>(offset + count));
    append_word(answer.data, count < wanted ? 0x6282 : 0x9000);
    return answer;
}

CommandAnswer answer_card(std::span<const std::uint8_t> command, const CardState& card) {
    if (!card.present) {
        return error_answer(0x00);
    }
    switch (command[1]) {
    case kInsReadBinary:
        return read_binary(command, card);
    case kInsSelect:
        return word_answer(0x9000);
    default:
        return word_answer(0x6D00);
    }
}

} // namespace

std::vector<std::uint8_t> default_card_content() {
    std::vector<std::uint8_t> content(1024);
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<std::uint8_t>(i & 0xFF);
    }
    return content;
}

CommandAnswer answer_command(std::uint8_t destination, std::span<const std::uint8_t> command,
                             const TerminalStatus& status, std::uint8_t download_state,
                             const CardState& card) {
    if (destination != kAddressTerminal && destination != kAddressCard1) {
        return error_answer(0x00); // no such unit
    }
    if (command.size() < 4) {
        return word_answer(0x6700);
    }
    if (destination == kAddressTerminal) {
        return answer_terminal(command, status, download_state, card);
    }
    return answer_card(command, card);
}

} // namespace sim
