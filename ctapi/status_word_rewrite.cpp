#include "status_word_rewrite.h"

namespace brantel {
namespace {

bool asks_for_all_data(std::span<const std::uint8_t> command) {
    if (command.size() == 5) {
        return command[4] == 0x00;
    }
    if (command.size() == 7) {
        return command[5] == 0x00 && command[6] == 0x00;
    }
    return false;
}

} // namespace

bool rewrite_read_binary_status(std::span<const std::uint8_t> command,
                                std::span<std::uint8_t> response) {
    if (command.size() <= 4) {
        return false;
    }
    if (command[0] != 0x00 || command[1] != 0xB0) {
        return false;
    }
    const std::uint8_t p1 = command[2];
    if (p1 == 0x81 || p1 == 0x82 || p1 == 0x8C) {
        return false;
    }
    const std::size_t n = response.size();
    if (n < 2 || response[n - 2] != 0x90 || response[n - 1] != 0x00) {
        return false;
    }
    if (!asks_for_all_data(command)) {
        return false;
    }
    response[n - 2] = 0x62;
    response[n - 1] = 0x82;
    return true;
}

} // namespace brantel
