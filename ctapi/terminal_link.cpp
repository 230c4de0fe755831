#include "terminal_link.h"

#include "platform/foundation/clock.h"
#include "platform/foundation/last_error.h"
#include "port_search.h"

#include <algorithm>

namespace brantel {
namespace {

bool configure(platform::SerialPort& port) {
    if (!port.setup_queues(kQueueSize, kQueueSize)) {
        return false;
    }
    platform::Timeouts timeouts;
    if (!port.get_timeouts(timeouts)) {
        return false;
    }
    timeouts.read_interval = kReadIntervalMs;
    timeouts.read_total_multiplier = 0;
    timeouts.read_total_constant = kReadTotalConstantMs;
    timeouts.write_total_multiplier = kWriteTotalMultiplierMs;
    timeouts.write_total_constant = kWriteTotalConstantMs;
    if (!port.set_timeouts(timeouts)) {
        return false;
    }
    // Only the line fields the terminal needs; flow control stays as the driver has it.
    platform::LineSettings line;
    if (!port.get_line_settings(line)) {
        return false;
    }
    line.baud = kBaudRate;
    line.data_bits = 8;
    line.parity = platform::Parity::None;
    line.stop_bits = platform::StopBits::One;
    line.binary = true;
    line.dtr = platform::DtrControl::Disable;
    return port.set_line_settings(line);
}

bool device_gone() {
    return platform::last_error() == platform::kErrorDeviceNotConnected;
}

// Opens `path` exclusively and sets it up for the terminal; nothing when that fails, with
// `result` telling whether the port was busy.
std::unique_ptr<platform::SerialPort> open_configured(std::string_view path, OpenResult& result) {
    auto port = platform::SerialPort::open(path);
    if (!port) {
        result = platform::last_error() == platform::kErrorAccessDenied ? OpenResult::Busy
                                                                        : OpenResult::Failure;
        return nullptr;
    }
    if (!configure(*port)) {
        result = OpenResult::Failure;
        return nullptr; // the port closes as it goes out of scope
    }
    result = OpenResult::Success;
    return port;
}

} // namespace

TerminalLink::~TerminalLink() {
    close();
}

OpenResult TerminalLink::search_and_open() {
    if (running_in_remote_session()) {
        return OpenResult::Failure;
    }
    const auto paths = present_terminal_port_paths(os_family());
    if (!paths) {
        return OpenResult::Failure;
    }
    OpenResult last = OpenResult::Failure;
    for (const auto& path : *paths) {
        last = open(path);
        if (last == OpenResult::Success) {
            set_saved_path(path);
            return last;
        }
    }
    return last;
}

OpenResult TerminalLink::open(std::string_view path) {
    close();
    OpenResult result = OpenResult::Failure;
    auto port = open_configured(path, result);
    if (port) {
        std::lock_guard lock(mutex_);
        port_ = std::move(port);
    }
    return result;
}

void TerminalLink::close() {
    std::unique_ptr<platform::SerialPort> closing;
    {
        std::lock_guard lock(mutex_);
        closing = std::move(port_);
    }
}

void TerminalLink::close_gone_device() {
    // The device monitor may hear of the removal only after the terminal is back (a quick
    // unplug and replug) and then find nothing to do: without this the port would stay closed
    // with no way back. Marked lost, the next RESET CT reconnects.
    std::unique_ptr<platform::SerialPort> closing;
    std::lock_guard lock(mutex_);
    closing = std::move(port_);
    lost_.store(true);
    removal_.signal();
}

void TerminalLink::forget_loss() {
    std::lock_guard lock(mutex_);
    lost_.store(false);
    removal_.reset();
}

void TerminalLink::close_if_lost() {
    if (lost_.load() && port_) {
        close();
    }
}

bool TerminalLink::is_open() {
    close_if_lost();
    return port_ != nullptr;
}

void TerminalLink::set_saved_path(std::string_view path) {
    std::lock_guard lock(mutex_);
    saved_path_.assign(path.substr(0, kPortPathBufferSize - 1));
}

std::string TerminalLink::saved_path() const {
    std::lock_guard lock(mutex_);
    return saved_path_;
}

bool TerminalLink::saved_port_present() const {
    return present_.contains(os_family(), saved_path());
}

bool TerminalLink::purge() {
    if (!is_open()) {
        return false;
    }
    return port()->purge(platform::kPurgeTxClear | platform::kPurgeRxClear);
}

void TerminalLink::discard_input() {
    if (is_open()) {
        // A purge that fails leaves the bytes to the reads, which skip what does not fit.
        static_cast<void>(port()->purge(platform::kPurgeRxClear));
    }
}

bool TerminalLink::write(std::span<const std::uint8_t> data) {
    if (!is_open()) {
        return false;
    }
    if (!port()->write(data)) {
        if (device_gone()) {
            close_gone_device();
        }
        return false;
    }
    return true;
}

bool TerminalLink::read_exactly(std::span<std::uint8_t> buffer, std::uint8_t patience) {
    std::size_t gathered = 0;
    int waits_left = patience;
    while (gathered < buffer.size()) {
        if (!is_open()) {
            return false;
        }
        const auto count = port()->read(buffer.subspan(gathered));
        if (!count) {
            if (device_gone()) {
                close_gone_device();
            }
            return false;
        }
        if (!is_open()) {
            return false; // the monitor found the terminal gone meanwhile
        }
        if (!saved_port_present()) {
            return false;
        }
        if (*count == 0) {
            if (gathered == 0 && --waits_left > 0) {
                continue; // the terminal asked for longer
            }
            return false; // nothing within the read time-out
        }
        gathered += std::min(*count, buffer.size() - gathered);
    }
    return true;
}

bool TerminalLink::transceive(const BlockBuffer& transmit, BlockBuffer& receive,
                              std::uint8_t patience) {
    const std::size_t size = std::min(block_size(transmit), transmit.size());
    // The result of the write is not looked at: a failed write shows in the read.
    static_cast<void>(write(std::span(transmit).first(size)));
    if (!is_open()) {
        return false;
    }
    return this->receive(receive, patience);
}

bool TerminalLink::receive(BlockBuffer& receive, std::uint8_t patience) {
    if (!read_exactly(std::span(receive).first(kHeaderSize), patience)) {
        return false;
    }
    const std::size_t rest = std::size_t{receive[kLenOffset]} + 1;
    return read_exactly(std::span(receive).subspan(kHeaderSize, rest));
}

void TerminalLink::mark_lost() {
    std::lock_guard lock(mutex_);
    lost_.store(true);
    removal_.signal();
    if (port_) {
        port_->cancel(); // kept by the port until the read or write it was meant for sees it
    }
}

bool TerminalLink::reconnect() {
    if (!removal_.wait(kRemovalWaitMs)) {
        return false;
    }
    platform::sleep_ms(kReconnectSettleMs);
    close();
    // Once the terminal's port is present again the monitor has decided on its removal, so no
    // decision of it is still on its way to the port opened here.
    if (!saved_port_present()) {
        return false;
    }
    OpenResult result = OpenResult::Failure;
    auto port = open_configured(saved_path(), result);
    if (!port) {
        return false;
    }
    std::lock_guard lock(mutex_);
    port_ = std::move(port);
    removal_.reset();
    lost_.store(false);
    return true;
}

} // namespace brantel
