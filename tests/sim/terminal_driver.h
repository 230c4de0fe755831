#pragma once
// Drives the transport-free terminal in tests: bytes and break pulses in, answers out, with a
// clock the test moves by hand.
#include "sim/terminal.h"
#include "sim/terminal_block.h"

#include <chrono>
#include <cstdint>
#include <vector>

namespace sim::test {

class TerminalDriver {
  public:
    explicit TerminalDriver(TerminalConfig config = {}, TerminalStatus status = {},
                            Faults faults = {})
        : terminal(std::move(config), std::move(status), faults) {
        terminal.connected();
    }

    // Sends bytes and returns what the terminal answers at once.
    std::vector<std::uint8_t> send(const std::vector<std::uint8_t>& bytes) {
        terminal.receive(bytes, now);
        return drain();
    }
    std::vector<std::uint8_t> send_block(std::uint8_t nad, std::uint8_t pcb,
                                         const std::vector<std::uint8_t>& inf) {
        std::vector<std::uint8_t> bytes;
        append_block(nad, pcb, inf, bytes);
        return send(bytes);
    }
    std::vector<std::uint8_t> break_pulse() {
        terminal.set_break(true, now);
        terminal.set_break(false, now);
        return drain();
    }
    // Lets time pass (timers fire) and returns what is ready then.
    std::vector<std::uint8_t> wait(std::chrono::milliseconds time) {
        now += time;
        terminal.tick(now);
        return drain();
    }
    std::vector<std::uint8_t> drain() {
        std::vector<std::uint8_t> out;
        unplug_requested = terminal.take_ready(now, out) || unplug_requested;
        return out;
    }
    // Puts the terminal into download mode for an image of the given type ('0' or '1').
    bool enter_download(std::uint8_t type) {
        break_pulse();
        const auto ack = break_pulse();
        const auto answer = send({type});
        return ack == std::vector<std::uint8_t>{kAck} && !answer.empty() && answer[0] == kAck;
    }
    std::vector<std::uint32_t> data_block_sizes() const {
        std::vector<std::uint32_t> sizes;
        for (const auto& event : terminal.log()) {
            if (event.kind == LineEvent::Kind::DataBlockIn) {
                sizes.push_back(event.value);
            }
        }
        return sizes;
    }
    std::vector<Block> blocks_out() const {
        std::vector<Block> blocks;
        for (const auto& event : terminal.log()) {
            if (event.kind == LineEvent::Kind::BlockOut) {
                blocks.push_back(Block{event.nad, event.pcb, event.data, event.check_ok});
            }
        }
        return blocks;
    }

    Terminal terminal;
    Terminal::TimePoint now = Terminal::Clock::now();
    bool unplug_requested = false;
};

// Splits the terminal's output into blocks.
inline std::vector<Block> parse_blocks(const std::vector<std::uint8_t>& bytes) {
    std::vector<Block> blocks;
    BlockReader reader;
    std::span<const std::uint8_t> rest(bytes);
    while (!rest.empty()) {
        rest = rest.subspan(reader.feed(rest));
        if (reader.complete()) {
            blocks.push_back(reader.block());
        }
    }
    return blocks;
}

inline std::vector<std::uint8_t> pattern(std::size_t size, std::uint32_t seed = 1) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t x = seed;
    for (auto& byte : bytes) {
        x = x * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(x >> 24);
    }
    return bytes;
}

} // namespace sim::test
