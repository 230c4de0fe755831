// The terminal takes whatever a client sends: blocks, download bytes and break pulses in any
// order. The first input byte chooses a few settings; every following byte is line data,
// except that 0xFE followed by a byte n means n break pulses and 0xFD lets time pass.
#include "sim/terminal.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    sim::TerminalConfig config;
    config.image_size = (data[0] & 1) != 0 ? 1500 : 0;
    config.restart_requests = (data[0] >> 1) & 3;
    config.max_response_inf = static_cast<std::uint8_t>(16 + (data[0] & 0xF0));
    config.card.content.assign(700, 0x5A);
    sim::Faults faults;
    faults.bad_check_response = (data[0] >> 3) & 1;
    faults.silent_requests = (data[0] >> 4) & 1;
    sim::Terminal terminal(config, {}, faults);
    terminal.connected();
    auto now = sim::Terminal::Clock::now();
    std::vector<std::uint8_t> out;
    std::size_t i = 1;
    while (i < size) {
        if (data[i] == 0xFE && i + 1 < size) {
            for (int pulse = 0; pulse < (data[i + 1] & 3); ++pulse) {
                terminal.set_break(true, now);
                terminal.set_break(false, now);
            }
            i += 2;
            continue;
        }
        if (data[i] == 0xFD) {
            now += std::chrono::milliseconds(200);
            terminal.tick(now);
            ++i;
            continue;
        }
        std::size_t end = i + 1; // at least one byte (a trailing 0xFE is data)
        while (end < size && data[end] != 0xFE && data[end] != 0xFD) {
            ++end;
        }
        terminal.receive(std::span(data + i, end - i), now);
        i = end;
        out.clear();
        terminal.take_ready(now + std::chrono::seconds(1), out);
    }
    return 0;
}
