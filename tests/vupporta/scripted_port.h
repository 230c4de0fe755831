#pragma once
// A serial port that answers from a script, for driving the serial link without a line: each
// read takes the next scripted chunk (cut to the buffer) or, when none is left, passes its
// time-out at once. Writes, breaks, purges and read timings are recorded.
#include <cstdint>
#include <deque>
#include <memory>
#include <platform/serial_port.h>
#include <vector>

namespace vupporta::testing {

struct PortScript {
    std::deque<std::vector<std::uint8_t>> reads;
    bool connected = true;
    std::vector<std::size_t> write_sizes;
    std::vector<std::uint32_t> read_multipliers;
    int silent_reads = 0;
    int breaks = 0;
    int purges = 0;
    platform::LineSettings line{};

    std::unique_ptr<platform::SerialPort> open();
};

// A terminal block answer: NAD, PCB, LEN, the information field and the check byte.
std::vector<std::uint8_t> answer_block(const std::vector<std::uint8_t>& information);

} // namespace vupporta::testing
