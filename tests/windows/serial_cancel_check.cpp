// The Win32 serial port's cancel on a real COM port: a cancel made while no read is pending
// ends the next read at once (it is kept), and only that one. Prints one line per step; the
// exit code is 0 when both did what they should.
//
//     serial-cancel-check <port name, such as COM5>
#include "platform/foundation/last_error.h"
#include "platform/serial/serial_port.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>

namespace {

constexpr std::uint32_t kReadWaitMs = 2000;

// Reads once; the milliseconds it took, and whether it ended as a cancel.
std::pair<long long, bool> timed_read(platform::SerialPort& port) {
    std::array<std::uint8_t, 16> buffer{};
    const auto begun = std::chrono::steady_clock::now();
    const auto read = port.read(buffer);
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - begun)
                           .count();
    return {spent, !read && platform::last_error() == platform::kErrorOperationAborted};
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: serial-cancel-check <port name>\n", stderr);
        return 2;
    }
    auto port = platform::SerialPort::open(argv[1]);
    platform::Timeouts timeouts;
    timeouts.read_total_constant = kReadWaitMs;
    if (!port || !port->set_timeouts(timeouts)) {
        std::printf("cannot open %s: %u\n", argv[1], platform::last_error());
        return 1;
    }
    port->cancel();
    const auto [cancelled_ms, cancelled] = timed_read(*port);
    std::printf("read after a cancel: %s in %lld ms\n", cancelled ? "cancelled" : "not cancelled",
                cancelled_ms);
    const auto [next_ms, next_cancelled] = timed_read(*port);
    std::printf("next read: %s in %lld ms\n", next_cancelled ? "cancelled" : "waited", next_ms);
    return cancelled && cancelled_ms < kReadWaitMs / 2 && !next_cancelled &&
                   next_ms >= kReadWaitMs / 2
               ? 0
               : 1;
}
