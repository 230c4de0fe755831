// The serial route (Windows 98/Me, slot 1): the system's serial ports one by one, each asked
// for the firmware version with the escape frames at 115200 baud.
#include "platform/foundation/clock.h"
#include "platform/serial/serial_port.h"
#include "wrapper/detection/detection.h"
#include "wrapper/detection/serial_reader_frame.h"
#include "wrapper/result_codes.h"

namespace valdrun {
namespace {

constexpr std::uint32_t kReadWriteLimitMs = 1500;
constexpr std::uint32_t kWaitFramePauseMs = 100;

class PortInput final : public FrameInput {
  public:
    PortInput(platform::SerialPort& port, StopSignal* stop) : port_(port), stop_(stop) {}
    bool read(std::span<std::uint8_t> bytes) override {
        if (stop_ && stop_->stopped())
            return false;
        // Each read ends when all its bytes are there, or after 1500 ms.
        const auto got = port_.read(bytes);
        return got && *got == bytes.size();
    }
    void pause_after_wait_frame() override {
        if (stop_)
            stop_->wait(platform::scaled(kWaitFramePauseMs));
        else
            platform::sleep_ms(kWaitFramePauseMs);
    }
    void purge() override { port_.purge(platform::kPurgeRxClear | platform::kPurgeTxClear); }

  private:
    platform::SerialPort& port_;
    StopSignal* stop_;
};

std::unique_ptr<platform::SerialPort> open_reader_port(const std::string& name) {
    auto port = platform::SerialPort::open(name);
    if (!port)
        return nullptr;
    platform::LineSettings line;
    line.baud = 115200;
    line.data_bits = 8;
    line.parity = platform::Parity::None;
    line.stop_bits = platform::StopBits::One;
    line.binary = true;
    platform::Timeouts timeouts;
    timeouts.read_total_constant = kReadWriteLimitMs;
    timeouts.write_total_constant = kReadWriteLimitMs;
    if (!port->set_line_settings(line) || !port->set_timeouts(timeouts))
        return nullptr;
    return port;
}

// One command: the reply data, or nothing.
std::optional<std::vector<std::uint8_t>> exchange(platform::SerialPort& port, std::uint8_t command,
                                                  StopSignal* stop) {
    PortInput input(port, stop);
    input.purge();
    const auto frame = escape_frame(command);
    const auto written = port.write(frame);
    if (!written || *written != frame.size())
        return std::nullopt;
    auto reply = receive_escape_reply(input);
    input.purge();
    return reply;
}

} // namespace

int serial_route(const ReaderDescription& description, const PassSettings& settings,
                 PassOutcome& outcome, StopSignal* stop) {
    for (const std::string& name : settings.serial_ports) {
        if (stop && stop->stopped())
            break;
        const auto port = open_reader_port(name);
        if (!port)
            continue;
        const CancelScope cancel(stop, [&port] { port->cancel(); });
        auto data = exchange(*port, kVersionCommand, stop);
        if (!data || data->size() < 2)
            data = exchange(*port, kLongVersionCommand, stop);
        if (!data || data->size() < 2)
            continue;
        // Kept where the other routes keep it: the report and the too-old message read it.
        outcome.reader_count = 1;
        outcome.version_reply.fill(0);
        outcome.version_reply[kFirmwareMajorByte] = (*data)[0];
        outcome.version_reply[kFirmwareMinorByte] = (*data)[1];
        return compare_reader_version((*data)[0], (*data)[1], description);
    }
    return kDetectedNothing;
}

} // namespace valdrun
