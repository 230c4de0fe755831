#include "serial_link.h"

#include "terminal-plugin/plugin_log.h"

#include <algorithm>
#include <array>
#include <platform/foundation/clock.h>
#include <platform/foundation/last_error.h>
#include <string>
#include <utility>
#include <vup_plugin.h>

namespace vupporta {
namespace {

// GET STATUS for the manufacturer data object 0x46, and the short status query; both as
// I-blocks from the host (source 2) to the terminal (destination 1), check byte at the end.
constexpr std::array<std::uint8_t, 9> kManufacturerStatusQuery = {0x12, 0x40, 0x05, 0x20, 0x13,
                                                                  0x00, 0x46, 0x00, 0x22};
constexpr std::array<std::uint8_t, 9> kShortStatusQuery = {0x12, 0x40, 0x05, 0x20, 0x18,
                                                           0x00, 0x00, 0x00, 0x6F};
constexpr std::uint32_t kStatusTimeLimitMs = 10000;
constexpr std::size_t kBlockHeaderSize = 3;
constexpr int kBusyRetries = 3;
constexpr std::uint32_t kBusyRetryMs = 100;

// The answer's time limit counts from the moment the request has left the line. A write
// returns once the port has taken the bytes, which on a buffered port is long before they are
// on the line: the whole read attempts that the request takes on the line at 57600 baud
// (10 bits a byte) are added.
std::uint32_t line_time_allowance(std::size_t bytes) {
    const std::uint64_t line_ms = std::uint64_t{bytes} * 10 * 1000 / SerialLink::kBaud;
    return static_cast<std::uint32_t>(line_ms / SerialLink::kReadAttemptMs *
                                      SerialLink::kReadAttemptMs);
}

std::unique_ptr<platform::SerialPort> open_platform_port(std::string_view path) {
    return platform::SerialPort::open(path);
}

} // namespace

SerialLink::SerialLink(PortOpener opener)
    : opener_(opener ? std::move(opener) : PortOpener(open_platform_port)) {}

VUPResult SerialLink::open(std::string_view port_name) {
    close();
    device_lost_ = false;
    if (port_name.empty()) {
        return VUP_ERR_PORT;
    }
    const std::string path = "\\\\.\\" + std::string(port_name);
    auto port = opener_(path);
    // A port that the plug-in itself has just closed may still be reported busy for a moment
    // (the other end has not yet seen the close); it is tried again briefly.
    for (int retry = 0;
         !port && retry < kBusyRetries && platform::last_error() == platform::kErrorAccessDenied;
         ++retry) {
        platform::sleep_ms(kBusyRetryMs);
        port = opener_(path);
    }
    if (!port) {
        return VUP_ERR_PORT;
    }
    platform::LineSettings line;
    if (!port->get_line_settings(line)) {
        return VUP_ERR_PORT;
    }
    line.binary = true;
    line.baud = kBaud;
    line.data_bits = 8;
    line.parity = platform::Parity::None;
    line.stop_bits = platform::StopBits::One;
    if (!port->set_line_settings(line)) {
        return VUP_ERR_PORT;
    }
    replace_port(std::move(port));
    return VUP_OK;
}

void SerialLink::close() {
    replace_port(nullptr);
}

void SerialLink::replace_port(std::unique_ptr<platform::SerialPort> port) {
    std::unique_ptr<platform::SerialPort> old;
    {
        std::lock_guard lock(port_mutex_);
        old = std::exchange(port_, std::move(port));
    }
    // Closed outside the lock: closing may wait for the line.
}

void SerialLink::cancel_pending() {
    std::lock_guard lock(port_mutex_);
    if (port_) {
        port_->cancel();
    }
}

void SerialLink::note_failure() {
    if (platform::last_error() == platform::kErrorDeviceNotConnected ||
        (port_ && !port_->connected())) {
        device_lost_ = true;
    }
}

void SerialLink::bound_writes() {
    platform::Timeouts timeouts;
    if (port_->get_timeouts(timeouts)) {
        timeouts.write_total_multiplier = kWriteMsPerByte;
        timeouts.write_total_constant = kWriteMarginMs;
        // Ignored on purpose: a port that keeps its old limits still fails the write in time
        // or is cancelled by the monitor.
        static_cast<void>(port_->set_timeouts(timeouts));
    }
}

VUPResult SerialLink::transmit(std::span<const std::uint8_t> data) {
    if (!port_) {
        return VUP_ERR_ABORTED;
    }
    bound_writes();
    const auto written = port_->write(data);
    if (!written) {
        note_failure();
        log_line("%s(%i): GetOverlappedResult in TransmitData failed", kModule, __LINE__);
        return VUP_ERR_ABORTED;
    }
    return *written == data.size() ? VUP_OK : VUP_ERR_ABORTED;
}

VUPResult SerialLink::receive(std::span<std::uint8_t> buffer, std::uint32_t time_limit_ms) {
    std::size_t received = 0;
    std::size_t last_read = 0;
    std::uint32_t time_left = time_limit_ms;
    while (port_) {
        platform::Timeouts timeouts;
        port_->get_timeouts(timeouts);
        timeouts.read_interval = platform::kMaxDword;
        timeouts.read_total_constant = kReadAttemptMs;
        port_->set_timeouts(timeouts);

        const std::size_t wanted = buffer.size() - received;
        const auto count = port_->read(buffer.subspan(received));
        if (!count) {
            note_failure();
            log_line("%s(%i): GetOverlappedResult in ReceiveData failed", kModule, __LINE__);
            if (abort_.is_set()) {
                return VUP_ERR_ABORTED; // ended by the abort (the monitor cancels the read)
            }
            break;
        }
        if (*count < wanted) {
            // The read had to wait for the terminal rather than finding its answer complete.
            log_line("IO Pending Error in ReceiveData");
        }
        last_read = *count;
        received += *count;
        if (received == buffer.size()) {
            break;
        }
        time_left -= std::min(time_left, kReadAttemptMs);
        if (abort_.is_set()) {
            return VUP_ERR_ABORTED;
        }
        if (time_left == 0) {
            break;
        }
    }
    if (received == 0) {
        return VUP_ERR_NO_ANSWER;
    }
    if (received != buffer.size()) {
        log_line("%s(%i): ReceiveData failed - dwReceived:%d != wRxLen:%d", kModule, __LINE__,
                 static_cast<int>(last_read), static_cast<int>(buffer.size()));
        return VUP_ERR_GENERAL;
    }
    return VUP_OK;
}

VUPResult SerialLink::take_received(std::span<std::uint8_t> buffer) {
    if (!port_) {
        return VUP_ERR_NO_ANSWER;
    }
    platform::Timeouts timeouts;
    port_->get_timeouts(timeouts);
    timeouts.read_interval = platform::kMaxDword;
    timeouts.read_total_multiplier = 0;
    timeouts.read_total_constant = 0;
    port_->set_timeouts(timeouts);
    const auto count = port_->read(buffer);
    return count && *count == buffer.size() ? VUP_OK : VUP_ERR_NO_ANSWER;
}

VUPResult SerialLink::exchange(std::span<const std::uint8_t> request,
                               std::span<std::uint8_t> answer, std::uint32_t time_limit_ms) {
    if (request.empty()) {
        log_line("%s(%i): TransmitData during Exchange failed", kModule, __LINE__);
        return VUP_ERR_GENERAL;
    }
    for (std::size_t sent = 0; sent < request.size(); sent += kPieceSize) {
        VUPResult result =
            transmit(request.subspan(sent, std::min(kPieceSize, request.size() - sent)));
        if (result == VUP_OK && abort_.is_set()) {
            result = VUP_ERR_ABORTED;
        }
        if (result != VUP_OK) {
            log_line("%s(%i): TransmitData during Exchange failed", kModule, __LINE__);
            return result;
        }
    }
    set_read_timing(platform::kMaxDword);
    const VUPResult result = receive(answer, time_limit_ms + line_time_allowance(request.size()));
    if (result != VUP_OK) {
        log_line("%s(%i): ReceiveData during Exchange failed: %d", kModule, __LINE__, result);
    }
    return result;
}

bool SerialLink::break_pulse() {
    if (!port_) {
        return false;
    }
    const bool set = port_->set_break(true);
    const bool cleared = port_->set_break(false);
    if (!set || !cleared) {
        note_failure();
    }
    return set && cleared;
}

void SerialLink::purge() {
    if (port_) {
        port_->purge(platform::kPurgeTxAbort | platform::kPurgeRxAbort);
    }
}

void SerialLink::set_read_timing(std::uint32_t multiplier) {
    if (!port_) {
        return;
    }
    platform::Timeouts timeouts;
    if (port_->get_timeouts(timeouts)) {
        timeouts.read_total_multiplier = multiplier;
        port_->set_timeouts(timeouts);
    }
}

VUPResult SerialLink::query_status_block(std::span<const std::uint8_t> block,
                                         StatusResponse& response) {
    std::array<std::uint8_t, kBlockHeaderSize> header{};
    VUPResult result = exchange(block, header, kStatusTimeLimitMs);
    if (result != VUP_OK) {
        return result;
    }
    // The information field and the check byte; LEN is at most 255, so they fit in 256 bytes.
    const std::size_t length = header[2];
    std::array<std::uint8_t, StatusResponse::kCapacity> information{};
    result = receive(std::span(information).first(length + 1), kStatusTimeLimitMs);
    if (result != VUP_OK) {
        return result;
    }
    response = StatusResponse(std::span(information).first(length));
    return VUP_OK;
}

VUPResult SerialLink::manufacturer_status(StatusResponse& response) {
    log_line("%s(%i): Obtaining device status", kModule, __LINE__);
    VUPResult result = VUP_ERR_STATUS_WORD;
    for (int attempt = 0; attempt < 2; ++attempt) {
        result = query_status_block(kManufacturerStatusQuery, response);
        if (result != VUP_OK) {
            return result;
        }
        if (response.status_ok()) {
            return VUP_OK;
        }
        purge();
        result = VUP_ERR_STATUS_WORD;
    }
    return result;
}

VUPResult SerialLink::short_status() {
    log_line("%s(%i): Obtaining device status", kModule, __LINE__);
    StatusResponse response;
    if (query_status_block(kShortStatusQuery, response) != VUP_OK) {
        return VUP_ERR_SHORT_STATUS;
    }
    const bool good =
        response.length() >= 2 && response.byte(0) == 0x90 && response.byte(1) == 0x00;
    return good ? VUP_OK : VUP_ERR_SHORT_STATUS;
}

} // namespace vupporta
